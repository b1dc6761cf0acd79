// Console runner figures:
//   throughput: a child writes 200 MB of 80-byte lines, delivered line by line to a handler on
//               the GUI thread (goal: at least 50 MB/s);
//   idle cost:  the GUI thread's CPU time while the child sleeps 10 s (goal: under 50 ms).
// Usage: bench_runner [megabytes] [sleep seconds]
#include "engine/TConsoleIO.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

void WaitForEnd(TConsoleIO& io)
{
    QEventLoop loop;
    QObject::connect(&io, &TConsoleIO::ProcessStatusChanged, &loop, [&](bool running) {
        if (!running)
            loop.quit();
    });
    if (io.IsRunning())
        loop.exec();
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ProcessCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 200;
    const int sleepSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    {
        TConsoleIO io;
        io.SplitMode = smSplitchar;
        long long lines = 0, bytes = 0;
        bool wrongLength = false;
        io.OnReceiveOutput = [&](TConsoleIO*, const QString& line) {
            if (line.isEmpty())
                return; // the end's pending rest
            ++lines;
            bytes += line.size() + 1;
            wrongLength |= line.size() != 79;
        };
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = ProcessCpuMs();
        io.Start(QStringLiteral(WRITER), {QString::number(megabytes)}, QString());
        WaitForEnd(io);
        const double seconds = clock.nsecsElapsed() / 1e9;
        std::printf("throughput: %lld lines, %.1f MB in %.2f s = %.1f MB/s (runner CPU %.0f ms)%s%s\n", lines,
                    bytes / 1e6, seconds, bytes / 1e6 / seconds, ProcessCpuMs() - cpu0,
                    bytes == megabytes * 1000000LL ? "" : " BYTES LOST", wrongLength ? " BAD LINE" : "");
    }

    {
        TConsoleIO io;
        io.SplitMode = smSplitchar;
        QElapsedTimer clock;
        const double thread0 = ThreadCpuMs();
        const double process0 = ProcessCpuMs();
        clock.start();
        io.Start(QStringLiteral("sleep"), {QString::number(sleepSeconds)}, QString());
        WaitForEnd(io);
        std::printf("idle cost: child slept %.1f s; GUI thread CPU %.1f ms, whole process CPU %.1f ms\n",
                    clock.elapsed() / 1e3, ThreadCpuMs() - thread0, ProcessCpuMs() - process0);
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("peak resident memory: %.1f MB\n", u.ru_maxrss / 1024.0);
    return 0;
}
