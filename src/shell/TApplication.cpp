#include "shell/TApplication.h"

#include "joblist/TMessageBox.h"
#include "platform/AppError.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppError& error) {
        ShowException(error.Text());
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void TApplication::ShowException(const QString& text)
{
    TMessageBox::ShowError(QApplication::activeWindow(), text);
}
