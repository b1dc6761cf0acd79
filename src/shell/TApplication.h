#pragma once
// The application object: every error that escapes an event handler ends here and is shown in
// a message box with the application title and the error's text; the program carries on.

#include <QApplication>

class QTranslator;

class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Qt's own texts (dialog buttons, the file dialog, edit menus) in the edition's language:
    // Simplified Chinese for the Chinese edition, Qt's English otherwise. Returns whether a
    // translation was installed.
    bool InstallQtTranslations(bool chineseEdition);

    // Shows one error; tests answer it through TMessageBox.
    static void ShowException(const QString& text);
    // From now on errors go to standard error instead of a message box: the program is ending
    // on a signal, and a box nobody may answer must not keep it alive.
    static void ReportOnConsole();

private:
    static bool reportOnConsole;
    QTranslator* qtTranslator = nullptr;
};
