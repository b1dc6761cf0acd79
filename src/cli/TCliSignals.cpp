#include "cli/TCliSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int number)
{
    const int saved = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Not SIG_IGN: an ignored signal stays ignored in the encoders this program starts.
void OnBrokenPipe(int) {}

} // namespace

TCliSignals::TCliSignals(QObject* parent) : QObject(parent)
{
    struct sigaction brokenPipe = {};
    brokenPipe.sa_handler = OnBrokenPipe;
    sigemptyset(&brokenPipe.sa_mask);
    sigaction(SIGPIPE, &brokenPipe, nullptr);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TCliSignals::PipeReadable);

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : handledSignals)
        sigaction(number, &action, nullptr);
}

TCliSignals::~TCliSignals()
{
    for (const int number : handledSignals)
        ::signal(number, SIG_DFL);
    if (signalPipe[0] >= 0) {
        delete notifier;
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

void TCliSignals::PipeReadable()
{
    char buffer[16];
    ssize_t count;
    while ((count = ::read(signalPipe[0], buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit Arrived(buffer[i]);
    }
}
