// Ten 10-second 640x480 clips converted with the MPEG-4 video profile by velmora-cli --jobs 1,
// by libm9s.exe alone and by plain ffmpeg, each with the very arguments velmora-cli gives them,
// one file after another, in rotating order over several rounds. Prints the wall-time ratio
// velmora-cli / plain ffmpeg (goal <= 1.03), the ratio to the adapter alone (what the command
// line itself adds) and velmora-cli's own CPU time without its encoders' (goal < 1% of the
// batch's wall time).
// Usage: bench_cli_conversion [rounds]

#include "support/CliBench.h"
#include "support/Media.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <functional>

using namespace TestSupport;

namespace {

constexpr int clipCount = 10;
const char* const profile = "33-mp4-mpeg4-aac.pf";

// One file after another, outputs in a fresh folder.
TMeasuredRun RunEach(const QString& program, const QStringList& clips, const QString& folder,
                     const std::function<QStringList(const QString&, const QString&)>& arguments)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    TMeasuredRun all;
    all.status = 0;
    for (const QString& clip : clips) {
        const TMeasuredRun one =
            RunMeasured(program, arguments(clip, folder + QFileInfo(clip).completeBaseName() + ".mp4"));
        all.wall += one.wall;
        all.totalCpu += one.totalCpu;
        all.status = qMax(all.status, one.status);
    }
    return all;
}

int ValidOutputs(const QStringList& clips, const QString& folder)
{
    int valid = 0;
    for (const QString& clip : clips)
        valid += Probe(folder + QFileInfo(clip).completeBaseName() + ".mp4").ok ? 1 : 0;
    return valid;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 6;
    QTemporaryDir work;
    const QString appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");

    QStringList clips;
    for (int i = 0; i < clipCount; ++i) {
        clips << work.path() + QStringLiteral("/media/clip%1.avi").arg(i);
        if (!MakeClip(clips.last(), 10, QStringLiteral("640x480"))) {
            std::fprintf(stderr, "could not make %s\n", qPrintable(clips.last()));
            return 1;
        }
    }
    const TRecordedCommands commands =
        RecordCommands(appFolder, work.path() + "/record", QLatin1String(profile), clips.first());
    if (!commands.IsValid()) {
        std::fprintf(stderr, "could not record the commands of %s\n", profile);
        return 1;
    }
    std::printf("libm9s.exe %s\nffmpeg %s\n", qPrintable(commands.adapter.join(u' ')),
                qPrintable(commands.ffmpeg.join(u' ')));

    const QString plainFolder = work.path() + "/out plain/";
    const QString adapterFolder = work.path() + "/out adapter/";
    const QString cliFolder = work.path() + "/out cli/";
    const std::array<std::function<TMeasuredRun()>, 3> ways{
        [&] {
            return RunEach("ffmpeg", clips, plainFolder, [&](const QString& in, const QString& out) {
                return FfmpegArgumentsFor(commands.ffmpeg, in, out);
            });
        },
        [&] {
            return RunEach(appFolder + "libm9s.exe", clips, adapterFolder,
                           [&](const QString& in, const QString& out) {
                               return AdapterArgumentsFor(commands.adapter, in, out);
                           });
        },
        [&] {
            QDir(cliFolder).removeRecursively();
            return RunMeasured(appFolder + "velmora-cli",
                               QStringList{"--jobs", "1", "--profile", profile, "--output", cliFolder} +
                                   clips);
        },
    };

    std::array<double, 3> wallSum{}, cpuSum{}, best{1e9, 1e9, 1e9};
    double ownSum = 0;
    for (int round = 1; round <= rounds; ++round) {
        std::array<TMeasuredRun, 3> runs;
        // Each way goes first, second and last in turn, so a machine that gets busier or
        // quieter during a round favours none of them.
        for (int step = 0; step < 3; ++step) {
            const int way = (round + step) % 3;
            runs[way] = ways[way]();
        }
        const TMeasuredRun& cli = runs[2];
        std::printf(
            "round %d: wall plain ffmpeg %.2f s, libm9s.exe %.2f s, velmora-cli %.2f s (ratio %.3f); "
            "encoders' CPU %.2f / %.2f / %.2f s; velmora-cli's own CPU %.3f s (%.3f%% of its wall time); "
            "status %d/%d/%d, %d/%d/%d of %d outputs valid\n",
            round, runs[0].wall, runs[1].wall, cli.wall, cli.wall / runs[0].wall, runs[0].totalCpu,
            runs[1].totalCpu, cli.totalCpu - cli.ownCpu, cli.ownCpu, 100.0 * cli.ownCpu / cli.wall,
            runs[0].status, runs[1].status, cli.status, ValidOutputs(clips, plainFolder),
            ValidOutputs(clips, adapterFolder), ValidOutputs(clips, cliFolder), clipCount);
        std::fflush(stdout);
        for (int way = 0; way < 3; ++way) {
            wallSum[way] += runs[way].wall;
            cpuSum[way] += runs[way].totalCpu - (way == 2 ? runs[way].ownCpu : 0);
            best[way] = qMin(best[way], runs[way].wall);
        }
        ownSum += cli.ownCpu;
    }
    std::printf(
        "wall-time ratio velmora-cli --jobs 1 / plain ffmpeg: %.3f over all rounds, %.3f best against "
        "best (goal <= 1.03)\n",
        wallSum[2] / wallSum[0], best[2] / best[0]);
    std::printf(
        "wall-time ratio velmora-cli --jobs 1 / libm9s.exe alone: %.3f over all rounds, %.3f best against "
        "best\n",
        wallSum[2] / wallSum[1], best[2] / best[1]);
    std::printf("encoder CPU ratio velmora-cli / libm9s.exe alone / plain ffmpeg: %.3f / %.3f / 1\n",
                cpuSum[2] / cpuSum[0], cpuSum[1] / cpuSum[0]);
    std::printf("velmora-cli's own CPU: %.3f%% of its batches' wall time (goal < 1%%)\n",
                100.0 * ownSum / wallSum[2]);
    return 0;
}
