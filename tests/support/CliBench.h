#pragma once
// What the command-line benchmarks share: the exact adapter and ffmpeg commands of a profile's
// job (recorded once through stand-ins, so the adapter alone and plain ffmpeg do the very same
// conversion), and a child program's wall time and CPU time, its own apart from that of the
// programs it started.

#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace TestSupport {

struct TMeasuredRun
{
    int status = -1;
    double wall = 0;     // seconds
    double ownCpu = 0;   // the program's own CPU seconds
    double totalCpu = 0; // its own and that of every program it started and waited for
};

inline double Seconds(const timeval& time)
{
    return double(time.tv_sec) + double(time.tv_usec) / 1e6;
}

// The CPU time of every child ended and waited for so far, their own children included.
inline double ChildCpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// Starts program with no input and its output thrown away; its process id, or 0.
inline pid_t SpawnQuiet(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : 0;
}

// Runs program with its output thrown away and waits for it. The own CPU time is read from
// /proc while the ended program is not reaped yet, so its children's time is not in it.
inline TMeasuredRun RunMeasured(const QString& program, const QStringList& arguments)
{
    TMeasuredRun run;
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = SpawnQuiet(program, arguments);
    if (pid <= 0)
        return run;
    siginfo_t info = {};
    waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT);
    run.wall = double(wall.nsecsElapsed()) / 1e9;
    // pid (comm) state ... utime stime: fields 14 and 15, in clock ticks.
    const QByteArray stat = ReadAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() > 12)
        run.ownCpu = double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
    int status = 0;
    rusage usage = {};
    wait4(pid, &status, 0, &usage);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.totalCpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return run;
}

// The commands of one job, with the source's and output's names replaced by "<in>" and
// "<out>": what velmora-cli gives the adapter, and what the adapter gives ffmpeg (without its
// progress pipe, which plain ffmpeg has no use for).
struct TRecordedCommands
{
    QStringList adapter;
    QStringList ffmpeg;
    bool IsValid() const { return !adapter.isEmpty() && !ffmpeg.isEmpty(); }
};

// Records the commands while velmora-cli converts source with profile, in a scratch copy of the
// program folder where stand-ins for the adapter and for ffmpeg write down their arguments and
// hand over to the real programs. Nothing is recorded on failure.
inline TRecordedCommands RecordCommands(const QString& appFolder, const QString& scratch,
                                        const QString& profile, const QString& source)
{
    const QString folder = CopyProgramFolder(appFolder, scratch + QStringLiteral("/app"));
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (folder.isEmpty() || ffmpeg.isEmpty())
        return {};
    const QString adapter = folder + QStringLiteral("libm9s.exe");
    const QString realAdapter = folder + QStringLiteral("libm9s.real");
    if (!QFile::rename(adapter, realAdapter))
        return {};
    const auto standIn = [](const QString& path, const QString& record, const QString& real) {
        WriteText(path, QStringLiteral("#!/bin/sh\nprintf '%s\\0' \"$@\" > '%1'\nexec '%2' \"$@\"\n")
                            .arg(record, real)
                            .toUtf8());
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    };
    // The adapter looks for ffmpeg beside itself first.
    standIn(adapter, scratch + QStringLiteral("/adapter"), realAdapter);
    standIn(folder + QStringLiteral("ffmpeg"), scratch + QStringLiteral("/ffmpeg"), ffmpeg);

    const QString output = scratch + QStringLiteral("/out/");
    const TMeasuredRun run =
        RunMeasured(folder + QStringLiteral("velmora-cli"),
                    {QStringLiteral("--profile"), profile, QStringLiteral("--output"), output,
                     QStringLiteral("--overwrite"), QStringLiteral("overwrite"), source});
    const QStringList outputs = QDir(output).entryList(QDir::Files);
    if (run.status != 0 || outputs.size() != 1)
        return {};
    const QString outputPath = output + outputs.first();

    const auto read = [&](const QString& record, const QString& prefix) {
        const QList<QByteArray> recorded = ReadAll(record).split('\0');
        QStringList arguments;
        for (qsizetype i = 0; i + 1 < recorded.size(); ++i) {
            const QString argument = QString::fromUtf8(recorded[i]);
            if (argument == QLatin1String("-progress")) {
                ++i; // and its pipe
                continue;
            }
            if (argument == prefix + source)
                arguments << QStringLiteral("<in>");
            else if (argument == prefix + outputPath)
                arguments << QStringLiteral("<out>");
            else
                arguments << argument;
        }
        if (!arguments.contains(QStringLiteral("<in>")) || !arguments.contains(QStringLiteral("<out>")))
            return QStringList();
        return arguments;
    };
    return {read(scratch + QStringLiteral("/adapter"), QString()),
            read(scratch + QStringLiteral("/ffmpeg"), QStringLiteral("file:"))};
}

// The recorded adapter arguments for one source and output.
inline QStringList AdapterArgumentsFor(const QStringList& recorded, const QString& source,
                                       const QString& output)
{
    QStringList arguments;
    for (const QString& argument : recorded)
        arguments << (argument == QLatin1String("<in>")    ? source
                      : argument == QLatin1String("<out>") ? output
                                                           : argument);
    return arguments;
}

// The recorded ffmpeg arguments for one source and output.
inline QStringList FfmpegArgumentsFor(const QStringList& recorded, const QString& source,
                                      const QString& output)
{
    return AdapterArgumentsFor(recorded, QStringLiteral("file:") + source, QStringLiteral("file:") + output);
}

} // namespace TestSupport
