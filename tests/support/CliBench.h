#pragma once
// What the command-line benchmarks share: the exact ffmpeg command the encoder adapter runs for
// a profile (recorded once through a stand-in ffmpeg beside the adapter, so plain ffmpeg does
// the very same conversion), and a child program's wall time and CPU time, its own apart from
// that of the programs it started.

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

// Runs program with its output thrown away and waits for it. The own CPU time is read from
// /proc while the ended program is not reaped yet, so its children's time is not in it.
inline TMeasuredRun RunMeasured(const QString& program, const QStringList& arguments)
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
    TMeasuredRun run;
    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
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

// The arguments the adapter gives ffmpeg when velmora-cli converts source with profile, with
// the source's and output's names replaced by "<in>" and "<out>" and without the progress
// pipe. Recorded in a scratch copy of the program folder, where a stand-in ffmpeg beside the
// adapter writes down its arguments and hands over to the real one. Empty on failure.
inline QStringList RecordFfmpegArguments(const QString& appFolder, const QString& scratch,
                                         const QString& profile, const QString& source)
{
    const QString folder = CopyProgramFolder(appFolder, scratch + QStringLiteral("/app"));
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (folder.isEmpty() || ffmpeg.isEmpty())
        return {};
    const QString record = scratch + QStringLiteral("/arguments");
    WriteText(folder + QStringLiteral("ffmpeg"),
              QStringLiteral("#!/bin/sh\nprintf '%s\\0' \"$@\" > '%1'\nexec '%2' \"$@\"\n")
                  .arg(record, ffmpeg)
                  .toUtf8());
    QFile::setPermissions(folder + QStringLiteral("ffmpeg"),
                          QFile::permissions(folder + QStringLiteral("ffmpeg")) | QFile::ExeOwner);
    const QString output = scratch + QStringLiteral("/out/");
    const TMeasuredRun run =
        RunMeasured(folder + QStringLiteral("velmora-cli"),
                    {QStringLiteral("--profile"), profile, QStringLiteral("--output"), output,
                     QStringLiteral("--overwrite"), QStringLiteral("overwrite"), source});
    const QList<QByteArray> recorded = ReadAll(record).split('\0');
    if (run.status != 0 || recorded.size() < 4)
        return {};
    const QStringList outputs = QDir(output).entryList(QDir::Files);
    QStringList arguments;
    for (qsizetype i = 0; i + 1 < recorded.size(); ++i) {
        const QString argument = QString::fromUtf8(recorded[i]);
        if (argument == QLatin1String("-progress")) {
            ++i; // and its pipe
            continue;
        }
        if (argument == QStringLiteral("file:") + source)
            arguments << QStringLiteral("<in>");
        else if (outputs.size() == 1 && argument == QStringLiteral("file:") + output + outputs.first())
            arguments << QStringLiteral("<out>");
        else
            arguments << argument;
    }
    if (!arguments.contains(QStringLiteral("<in>")) || !arguments.contains(QStringLiteral("<out>")))
        return {};
    return arguments;
}

// The recorded arguments for one source and output.
inline QStringList FfmpegArgumentsFor(const QStringList& recorded, const QString& source,
                                      const QString& output)
{
    QStringList arguments;
    for (const QString& argument : recorded) {
        if (argument == QLatin1String("<in>"))
            arguments << QStringLiteral("file:") + source;
        else if (argument == QLatin1String("<out>"))
            arguments << QStringLiteral("file:") + output;
        else
            arguments << argument;
    }
    return arguments;
}

} // namespace TestSupport
