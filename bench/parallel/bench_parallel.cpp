// Twelve 4-second 640x480 clips converted with the MP3 audio profile and with the default video
// profile: by velmora-cli --jobs <cores>, and by plain ffmpeg with the very same arguments one
// file after another, in alternating rounds. Prints the wall-time ratio per profile and over
// all (goal <= 0.65 on a 2-core machine) and the core count.
// Usage: bench_parallel [rounds]

#include "support/CliBench.h"
#include "support/Media.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace TestSupport;

namespace {

constexpr int clipCount = 12;

struct TProfileRun
{
    const char* profile;
    const char* extension;
    QStringList ffmpegArguments;
    double plainWall = 0;
    double cliWall = 0;
    double plainBest = 1e9;
    double cliBest = 1e9;
    double plainCpu = 0; // every process's CPU time, so waiting can be told from working
    double cliCpu = 0;
};

// Other programs on a shared machine take cores from the parallel run: the load says how many.
QString LoadAverage()
{
    return QString::fromLatin1(ReadAll(QStringLiteral("/proc/loadavg"))).section(u' ', 0, 2);
}

TMeasuredRun RunPlain(const TProfileRun& run, const QStringList& clips, const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    TMeasuredRun all;
    for (const QString& clip : clips) {
        const QString output =
            folder + QFileInfo(clip).completeBaseName() + u'.' + QLatin1String(run.extension);
        const TMeasuredRun one =
            RunMeasured(QStringLiteral("ffmpeg"), FfmpegArgumentsFor(run.ffmpegArguments, clip, output));
        if (one.status != 0) {
            std::fprintf(stderr, "ffmpeg failed on %s\n", qPrintable(clip));
            std::exit(1);
        }
        all.wall += one.wall;
        all.totalCpu += one.totalCpu;
    }
    return all;
}

TMeasuredRun RunCli(const QString& appFolder, const TProfileRun& run, const QStringList& clips,
                    const QString& folder, int jobs)
{
    QDir(folder).removeRecursively();
    const TMeasuredRun cli =
        RunMeasured(appFolder + QStringLiteral("velmora-cli"),
                    QStringList{QStringLiteral("--jobs"), QString::number(jobs), QStringLiteral("--profile"),
                                QLatin1String(run.profile), QStringLiteral("--output"), folder} +
                        clips);
    int valid = 0;
    for (const QString& clip : clips)
        valid += Probe(folder + QFileInfo(clip).completeBaseName() + u'.' + QLatin1String(run.extension)).ok
                     ? 1
                     : 0;
    if (cli.status != 0 || valid != clips.size()) {
        std::fprintf(stderr, "velmora-cli: status %d, %d of %d outputs valid\n", cli.status, valid,
                     int(clips.size()));
        std::exit(1);
    }
    return cli;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    const int cores = QThread::idealThreadCount();
    QTemporaryDir work;
    const QString appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");

    QStringList clips;
    for (int i = 0; i < clipCount; ++i) {
        clips << work.path() + QStringLiteral("/media/clip %1.avi").arg(i + 1, 2, 10, QLatin1Char('0'));
        if (!MakeClip(clips.last(), 4, QStringLiteral("640x480"))) {
            std::fprintf(stderr, "could not make %s\n", qPrintable(clips.last()));
            return 1;
        }
    }

    // The default video profile is the first of the list (a missing iComboxFormatIndex is 0).
    TProfileRun runs[] = {{"30-mp3.pf", "mp3", {}}, {"01-mp4-mpeg4-aac.pf", "mp4", {}}};
    for (TProfileRun& run : runs) {
        run.ffmpegArguments = RecordCommands(appFolder, work.path() + "/record " + run.profile,
                                             QLatin1String(run.profile), clips.first())
                                  .ffmpeg;
        if (run.ffmpegArguments.isEmpty()) {
            std::fprintf(stderr, "could not record the ffmpeg command of %s\n", run.profile);
            return 1;
        }
        std::printf("%s: ffmpeg %s\n", run.profile, qPrintable(run.ffmpegArguments.join(u' ')));
    }
    std::printf("cores: %d; velmora-cli --jobs %d against plain ffmpeg one file after another, %d clips\n",
                cores, cores, clipCount);
    std::fflush(stdout);

    for (int round = 1; round <= rounds; ++round) {
        for (TProfileRun& run : runs) {
            const QString plainFolder = work.path() + "/out plain/";
            const QString cliFolder = work.path() + "/out cli/";
            TMeasuredRun plain;
            TMeasuredRun cli;
            // Alternating which goes first evens out a machine that warms up or gets busier.
            if (round % 2) {
                plain = RunPlain(run, clips, plainFolder);
                cli = RunCli(appFolder, run, clips, cliFolder, cores);
            } else {
                cli = RunCli(appFolder, run, clips, cliFolder, cores);
                plain = RunPlain(run, clips, plainFolder);
            }
            run.plainWall += plain.wall;
            run.cliWall += cli.wall;
            run.plainBest = qMin(run.plainBest, plain.wall);
            run.cliBest = qMin(run.cliBest, cli.wall);
            run.plainCpu += plain.totalCpu;
            run.cliCpu += cli.totalCpu;
            std::printf(
                "round %d %s: plain ffmpeg %.2f s, velmora-cli %.2f s, ratio %.3f; CPU %.2f / %.2f s; "
                "load %s\n",
                round, run.profile, plain.wall, cli.wall, cli.wall / plain.wall, plain.totalCpu, cli.totalCpu,
                qPrintable(LoadAverage()));
            std::fflush(stdout);
        }
    }
    double plainAll = 0;
    double cliAll = 0;
    double plainBestAll = 0;
    double cliBestAll = 0;
    for (const TProfileRun& run : runs) {
        std::printf(
            "%s: wall-time ratio velmora-cli / plain ffmpeg %.3f over %d rounds, %.3f best against best; "
            "CPU ratio %.3f\n",
            run.profile, run.cliWall / run.plainWall, rounds, run.cliBest / run.plainBest,
            run.cliCpu / run.plainCpu);
        plainAll += run.plainWall;
        cliAll += run.cliWall;
        plainBestAll += run.plainBest;
        cliBestAll += run.cliBest;
    }
    std::printf("both profiles: wall-time ratio %.3f over all rounds, %.3f best against best, on %d cores "
                "(goal <= 0.65)\n",
                cliAll / plainAll, cliBestAll / plainBestAll, cores);
    return 0;
}
