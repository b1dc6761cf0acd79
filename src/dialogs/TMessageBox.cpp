#include "dialogs/TMessageBox.h"

QString TMessageBox::applicationTitle;
QList<QMessageBox::StandardButton> TMessageBox::nextAnswers;
QStringList TMessageBox::shownTexts;

QMessageBox::StandardButton TMessageBox::Show(QWidget* parent, const QString& text,
                                              QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)
{
    return ShowTitled(parent, applicationTitle, text, buttons, icon);
}

QMessageBox::StandardButton TMessageBox::ShowTitled(QWidget* parent, const QString& title,
                                                    const QString& text, QMessageBox::StandardButtons buttons,
                                                    QMessageBox::Icon icon)
{
    shownTexts.append(text);
    if (!nextAnswers.isEmpty())
        return nextAnswers.takeFirst();
    QMessageBox box(icon, title, text, buttons, parent);
    box.setObjectName(QStringLiteral("TMessageBox"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TMessageBox::ShowError(QWidget* parent, const QString& text)
{
    Show(parent, text, QMessageBox::Ok, QMessageBox::Critical);
}
