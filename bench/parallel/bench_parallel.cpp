// Twelve 4-second 640x480 clips converted with the MP3 audio profile and with the default video
// profile: by velmora-cli --jobs <cores>, by plain ffmpeg with the very same arguments one file
// after another, and, as the machine's own ceiling, by plain ffmpeg <cores> files at a time.
// The three ways take turns at going first. Prints the wall-time ratio velmora-cli / plain
// ffmpeg one after another per profile and over all (goal <= 0.65 on a 2-core machine), the
// ceiling's ratio, the CPU time of each way, the load average and the core count.
// Usage: bench_parallel [rounds]

#include "support/CliBench.h"
#include "support/Media.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <cstdio>
#include <functional>
#include <set>

using namespace TestSupport;

namespace {

constexpr int clipCount = 12;
enum TWay
{
    wPlain,
    wPlainParallel,
    wCli,
    wayCount,
};

struct TProfileRun
{
    const char* profile;
    const char* extension;
    QStringList ffmpegArguments;
    std::array<double, wayCount> wall{};
    std::array<double, wayCount> best{1e9, 1e9, 1e9};
    std::array<double, wayCount> cpu{}; // every process's CPU time, so waiting can be told from working
};

// Other programs on a shared machine take cores from the parallel ways: the load says how many.
QString LoadAverage()
{
    return QString::fromLatin1(ReadAll(QStringLiteral("/proc/loadavg"))).section(u' ', 0, 2);
}

QString OutputOf(const TProfileRun& run, const QString& clip, const QString& folder)
{
    return folder + QFileInfo(clip).completeBaseName() + u'.' + QLatin1String(run.extension);
}

void RequireOutputs(const TProfileRun& run, const QStringList& clips, const QString& folder, const char* way)
{
    int valid = 0;
    for (const QString& clip : clips)
        valid += Probe(OutputOf(run, clip, folder)).ok ? 1 : 0;
    if (valid != clips.size()) {
        std::fprintf(stderr, "%s: %d of %d outputs valid\n", way, valid, int(clips.size()));
        std::exit(1);
    }
}

TMeasuredRun RunPlain(const TProfileRun& run, const QStringList& clips, const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    TMeasuredRun all;
    for (const QString& clip : clips) {
        const TMeasuredRun one =
            RunMeasured(QStringLiteral("ffmpeg"),
                        FfmpegArgumentsFor(run.ffmpegArguments, clip, OutputOf(run, clip, folder)));
        all.wall += one.wall;
        all.totalCpu += one.totalCpu;
    }
    RequireOutputs(run, clips, folder, "plain ffmpeg");
    return all;
}

// Plain ffmpeg, up to jobs files at a time, each next one started as soon as one ends.
TMeasuredRun RunPlainParallel(const TProfileRun& run, const QStringList& clips, const QString& folder,
                              int jobs)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    TMeasuredRun all;
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = ChildCpuSeconds();
    std::set<pid_t> running;
    qsizetype next = 0;
    while (next < clips.size() || !running.empty()) {
        while (next < clips.size() && int(running.size()) < jobs) {
            const QString& clip = clips[next++];
            const pid_t pid =
                SpawnQuiet(QStringLiteral("ffmpeg"),
                           FfmpegArgumentsFor(run.ffmpegArguments, clip, OutputOf(run, clip, folder)));
            if (pid > 0)
                running.insert(pid);
        }
        int status = 0;
        const pid_t ended = ::wait(&status);
        if (ended < 0)
            break;
        running.erase(ended);
    }
    all.wall = double(wall.nsecsElapsed()) / 1e9;
    all.totalCpu = ChildCpuSeconds() - cpuBefore;
    RequireOutputs(run, clips, folder, "plain ffmpeg in parallel");
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
    if (cli.status != 0) {
        std::fprintf(stderr, "velmora-cli: status %d\n", cli.status);
        std::exit(1);
    }
    RequireOutputs(run, clips, folder, "velmora-cli");
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

    // MPEG-4 rather than the default H.264 keeps the figures comparable with earlier runs.
    TProfileRun runs[] = {{"21-mp3.pf", "mp3", {}}, {"33-mp4-mpeg4-aac.pf", "mp4", {}}};
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
    std::printf("cores: %d; velmora-cli --jobs %d against plain ffmpeg one file after another (and %d at a "
                "time), %d clips\n",
                cores, cores, cores, clipCount);
    std::fflush(stdout);

    const QString folder = work.path() + "/out/";
    for (int round = 1; round <= rounds; ++round) {
        for (TProfileRun& run : runs) {
            std::array<TMeasuredRun, wayCount> measured;
            for (int step = 0; step < wayCount; ++step) {
                const int way = (round + step) % wayCount;
                measured[way] = way == wPlain           ? RunPlain(run, clips, folder)
                                : way == wPlainParallel ? RunPlainParallel(run, clips, folder, cores)
                                                        : RunCli(appFolder, run, clips, folder, cores);
            }
            for (int way = 0; way < wayCount; ++way) {
                run.wall[way] += measured[way].wall;
                run.best[way] = qMin(run.best[way], measured[way].wall);
                run.cpu[way] += measured[way].totalCpu;
            }
            std::printf(
                "round %d %s: plain ffmpeg %.2f s, %d at a time %.2f s, velmora-cli %.2f s, ratio %.3f; CPU "
                "%.2f / %.2f / %.2f s; load %s\n",
                round, run.profile, measured[wPlain].wall, cores, measured[wPlainParallel].wall,
                measured[wCli].wall, measured[wCli].wall / measured[wPlain].wall, measured[wPlain].totalCpu,
                measured[wPlainParallel].totalCpu, measured[wCli].totalCpu, qPrintable(LoadAverage()));
            std::fflush(stdout);
        }
    }
    std::array<double, wayCount> wallAll{};
    std::array<double, wayCount> bestAll{};
    for (const TProfileRun& run : runs) {
        std::printf(
            "%s: wall-time ratio velmora-cli / plain ffmpeg %.3f over %d rounds, %.3f best against best; "
            "plain ffmpeg %d at a time %.3f; CPU ratio velmora-cli / plain %.3f\n",
            run.profile, run.wall[wCli] / run.wall[wPlain], rounds, run.best[wCli] / run.best[wPlain], cores,
            run.wall[wPlainParallel] / run.wall[wPlain], run.cpu[wCli] / run.cpu[wPlain]);
        for (int way = 0; way < wayCount; ++way) {
            wallAll[way] += run.wall[way];
            bestAll[way] += run.best[way];
        }
    }
    std::printf(
        "both profiles: wall-time ratio %.3f over all rounds, %.3f best against best, on %d cores (goal <= "
        "0.65); plain ffmpeg %d at a time: %.3f, %.3f\n",
        wallAll[wCli] / wallAll[wPlain], bestAll[wCli] / bestAll[wPlain], cores, cores,
        wallAll[wPlainParallel] / wallAll[wPlain], bestAll[wPlainParallel] / bestAll[wPlain]);
    return 0;
}
