// Ten 10-second 640x480 clips converted by velmora-cli --jobs 1 with the default video profile,
// and by plain ffmpeg with the very same arguments one file after another, in alternating
// rounds. Prints the wall-time ratio (goal <= 1.03) and velmora-cli's own CPU time, without its
// encoders' (goal < 1% of the batch's wall time).
// Usage: bench_cli_conversion [rounds]

#include "support/CliBench.h"
#include "support/Media.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace TestSupport;

namespace {

constexpr int clipCount = 10;
const char* const profile = "01-mp4-mpeg4-aac.pf";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
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
    const QStringList ffmpegArguments =
        RecordFfmpegArguments(appFolder, work.path() + "/record", QLatin1String(profile), clips.first());
    if (ffmpegArguments.isEmpty()) {
        std::fprintf(stderr, "could not record the ffmpeg command of %s\n", profile);
        return 1;
    }
    std::printf("ffmpeg %s\n", qPrintable(ffmpegArguments.join(u' ')));

    double plainSum = 0, cliSum = 0, ownSum = 0, plainCpuSum = 0, cliCpuSum = 0;
    double plainBest = 1e9, cliBest = 1e9;
    for (int round = 1; round <= rounds; ++round) {
        const QString plainFolder = work.path() + "/out plain/";
        const QString cliFolder = work.path() + "/out cli/";
        const auto plainBatch = [&] {
            QDir(plainFolder).removeRecursively();
            QDir().mkpath(plainFolder);
            TMeasuredRun all;
            for (const QString& clip : clips) {
                const TMeasuredRun one = RunMeasured(
                    "ffmpeg", FfmpegArgumentsFor(ffmpegArguments, clip,
                                                 plainFolder + QFileInfo(clip).completeBaseName() + ".mp4"));
                all.wall += one.wall;
                all.totalCpu += one.totalCpu;
                all.status = qMax(all.status, one.status);
            }
            return all;
        };
        const auto cliBatch = [&] {
            QDir(cliFolder).removeRecursively();
            return RunMeasured(appFolder + "velmora-cli",
                               QStringList{"--jobs", "1", "--profile", profile, "--output", cliFolder} +
                                   clips);
        };
        TMeasuredRun plain, cli;
        if (round % 2) {
            plain = plainBatch();
            cli = cliBatch();
        } else {
            cli = cliBatch();
            plain = plainBatch();
        }
        int valid = 0;
        for (const QString& clip : clips)
            valid += Probe(cliFolder + QFileInfo(clip).completeBaseName() + ".mp4").ok ? 1 : 0;
        std::printf(
            "round %d: wall plain ffmpeg %.2f s, velmora-cli %.2f s (ratio %.3f); encoders' CPU %.2f / "
            "%.2f s; velmora-cli's own CPU %.3f s (%.3f%% of its wall time); status %d, %d/%d outputs "
            "valid\n",
            round, plain.wall, cli.wall, cli.wall / plain.wall, plain.totalCpu, cli.totalCpu - cli.ownCpu,
            cli.ownCpu, 100.0 * cli.ownCpu / cli.wall, cli.status, valid, clipCount);
        std::fflush(stdout);
        plainSum += plain.wall;
        cliSum += cli.wall;
        ownSum += cli.ownCpu;
        plainCpuSum += plain.totalCpu;
        cliCpuSum += cli.totalCpu - cli.ownCpu;
        plainBest = qMin(plainBest, plain.wall);
        cliBest = qMin(cliBest, cli.wall);
    }
    std::printf(
        "wall-time ratio velmora-cli --jobs 1 / plain ffmpeg: %.3f over all rounds, %.3f best against "
        "best (goal <= 1.03)\n",
        cliSum / plainSum, cliBest / plainBest);
    std::printf("encoder CPU ratio velmora-cli / plain ffmpeg: %.3f\n", cliCpuSum / plainCpuSum);
    std::printf("velmora-cli's own CPU: %.3f%% of its batches' wall time (goal < 1%%)\n",
                100.0 * ownSum / cliSum);
    return 0;
}
