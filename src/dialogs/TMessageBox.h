#pragma once
// Every message box of the program goes through here: caption = the application title. Tests
// queue the next answers here, so a question is answered without a modal window, and read what
// would have been shown.

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class TMessageBox
{
public:
    // The application title from the language file ([App] Title).
    static QString applicationTitle;

    static QMessageBox::StandardButton Show(QWidget* parent, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::Icon icon = QMessageBox::Information);
    // The same with a caption of the caller's own (a window that reads the title itself).
    static QMessageBox::StandardButton ShowTitled(QWidget* parent, const QString& title, const QString& text,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::Icon icon);
    static void ShowError(QWidget* parent, const QString& text);

    // When not empty, Show takes its answer from the front instead of asking.
    static QList<QMessageBox::StandardButton> nextAnswers;
    // Every text shown (or answered from nextAnswers), oldest first.
    static QStringList shownTexts;
};
