// Test host: starts the program given as its first argument (remaining arguments passed on)
// through TConsoleIO, writes "child:<pid>" and then dies by abort() without stopping it.
#include "engine/TConsoleIO.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty())
        return 2;
    const QString program = arguments.takeFirst();
    auto* io = new TConsoleIO; // never freed: the host dies with it running
    io->Start(program, arguments, QString());
    std::printf("child:%lld\n", static_cast<long long>(io->ProcessId()));
    std::fflush(stdout);
    std::abort();
}
