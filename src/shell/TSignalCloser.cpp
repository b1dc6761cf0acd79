#include "shell/TSignalCloser.h"

#include "shell/TApplication.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int number)
{
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TSignalCloser::TSignalCloser(QWidget* mainWindow) : QObject(mainWindow), window(mainWindow)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TSignalCloser::SignalArrived);

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

TSignalCloser::~TSignalCloser()
{
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    if (signalPipe[0] >= 0) {
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

void TSignalCloser::SignalArrived()
{
    char buffer[16];
    while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    // A closing step that fails (config.ini unwritable, say) must not stop the end in a box.
    TApplication::ReportOnConsole();
    // Open modal windows are closed first: the main window's close must not wait for them.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    window->close();
    QApplication::quit();
}
