#include "shell/TApplication.h"

#include "joblist/TMessageBox.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Errors caught where a runner notice is handled are shown like those at the loop's edge.
    SetExceptionReporter(&TApplication::ShowException);
}

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
