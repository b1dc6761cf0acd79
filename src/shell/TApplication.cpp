#include "shell/TApplication.h"

#include "joblist/TMessageBox.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/ProgramIcon.h"

#include <cstdio>
#include <exception>

bool TApplication::reportOnConsole = false;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    // Errors caught where a runner notice is handled are shown like those at the loop's edge.
    SetExceptionReporter(&TApplication::ShowException);
    // Every window, dialog and message box takes the program's icon from here.
    setWindowIcon(ProgramIcon());
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
    if (reportOnConsole) {
        std::fprintf(stderr, "velmora: %s\n", text.toLocal8Bit().constData());
        return;
    }
    TMessageBox::ShowError(QApplication::activeWindow(), text);
}

void TApplication::ReportOnConsole()
{
    reportOnConsole = true;
}
