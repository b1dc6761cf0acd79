// Ten 10-second 640x480 clips converted through the main window (offscreen), by libm9s.exe
// alone and by plain ffmpeg with the same settings, in alternating rounds. Prints the wall-time
// ratio (goal <= 1.03), the program's own CPU time during its batches (goal < 1% of their wall
// time) and the time from pressing Convert to the first encoder's start (goal < 50 ms).
// The machine may be shared: besides totals, the best round of each way is compared, and the
// CPU time of the converting processes shows whether a difference is work or waiting.

#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"

#include "engine/TBatchRun.h"
#include "dialogs/TMessageBox.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

using namespace TestSupport;

namespace {

constexpr int clipCount = 10;
constexpr int rounds = 5;

double CpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TMeasure
{
    double wall = 0;
    double childCpu = 0; // the encoders' CPU time
    double ownCpu = 0;   // this process's CPU time
    double toStartMs = -1;
};

// Measures one way of converting the ten clips.
TMeasure Measure(const std::function<void(TMeasure&, QElapsedTimer&)>& work)
{
    TMeasure m;
    const double ownBefore = CpuSeconds(RUSAGE_SELF);
    const double childBefore = CpuSeconds(RUSAGE_CHILDREN);
    QElapsedTimer wall;
    wall.start();
    work(m, wall);
    m.wall = double(wall.nsecsElapsed()) / 1e9;
    m.ownCpu = CpuSeconds(RUSAGE_SELF) - ownBefore;
    m.childCpu = CpuSeconds(RUSAGE_CHILDREN) - childBefore;
    return m;
}

TMeasure RunThroughWindow(const QString& appFolder, const QStringList& clips)
{
    TfrmCommon common(appFolder);
    TfrmMain frm(&common);
    frm.CreateOtherWindows();
    frm.show();
    QCoreApplication::processEvents();
    SelectProfile(frm, QStringLiteral("33-mp4-mpeg4-aac.pf"));
    for (const QString& clip : clips)
        frm.AddJobFile(clip);
    TMessageBox::nextAnswers = {QMessageBox::No};

    auto* run = Child<TBatchRun>(&frm, QStringLiteral("BatchRun"));
    const TMeasure m = Measure([&frm, run](TMeasure& measure, QElapsedTimer& sincePress) {
        QObject::connect(run, &TBatchRun::ItemStarted, &frm, [&] {
            if (measure.toStartMs < 0)
                measure.toStartMs = double(sincePress.nsecsElapsed()) / 1e6;
        });
        // The run goes on in the window's event loop; the measure ends with it.
        QEventLoop wait;
        QObject::connect(run, &TBatchRun::RunFinished, &wait, &QEventLoop::quit);
        Child<QPushButton>(&frm, QStringLiteral("buttonConvert"))->click();
        wait.exec();
    });
    frm.close();
    return m;
}

TMeasure RunSequentially(const QString& program, const QStringList& clips, const QString& outFolder,
                         const std::function<QStringList(const QString&, const QString&)>& arguments)
{
    QDir().mkpath(outFolder);
    return Measure([&](TMeasure&, QElapsedTimer&) {
        for (const QString& clip : clips) {
            QProcess child;
            child.setStandardOutputFile(QProcess::nullDevice());
            child.setStandardErrorFile(QProcess::nullDevice());
            child.start(program, arguments(clip, outFolder + QFileInfo(clip).completeBaseName() + ".mp4"));
            child.waitForFinished(-1);
        }
    });
}

// Exactly what the encoder adapter runs for the profile's defaults, without its progress pipe.
TMeasure RunPlainFfmpeg(const QStringList& clips, const QString& outFolder)
{
    return RunSequentially("ffmpeg", clips, outFolder, [](const QString& in, const QString& out) {
        return QStringList{"-nostdin",   "-nostats", "-y",    "-ss",     "00:00:00", "-i",
                           "file:" + in, "-f",       "mp4",   "-aspect", "4:3",      "-c:v",
                           "mpeg4",      "-b:v",     "1200k", "-b:a",    "128k",     "-ar",
                           "44100",      "-ac",      "2",     "-c:a",    "aac",      "file:" + out};
    });
}

// The adapter alone, with the command line the window gives it.
TMeasure RunAdapter(const QString& appFolder, const QStringList& clips, const QString& outFolder)
{
    return RunSequentially(
        appFolder + "libm9s.exe", clips, outFolder, [](const QString& in, const QString& out) {
            return QStringList{"-i",    in,        "-y",  "-f",      "mp4",   "-ss", "00:00:00", "-b",
                               "1200k", "-aspect", "4:3", "-vcodec", "mpeg4", "-ab", "128k",     "-ar",
                               "44100", "-ac",     "2",   "-acodec", "aac",   out};
        });
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir work;
    qputenv("TMPDIR", QFile::encodeName(work.path()));
    TApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const QString appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
    const QString outApp = work.path() + "/out-app/";
    IniFile ini(appFolder + "config.ini");
    ini.WriteInteger("setting", "displayHelpDialog", 0);
    ini.WriteInteger("setting", "logfile", qEnvironmentVariableIntValue("BENCH_LOGFILE"));
    ini.WriteString("setting", "outputFolder", outApp);

    QStringList clips;
    for (int i = 0; i < clipCount; ++i) {
        clips << work.path() + QStringLiteral("/media/clip%1.avi").arg(i);
        if (!MakeClip(clips.last(), 10, "640x480")) {
            std::fprintf(stderr, "could not make %s\n", qPrintable(clips.last()));
            return 1;
        }
    }

    TMeasure plainSum, adapterSum, appSum;
    double plainBest = 1e9, adapterBest = 1e9, appBest = 1e9, worstStart = 0;
    for (int round = 1; round <= rounds; ++round) {
        QDir(outApp).removeRecursively();
        const TMeasure plain = RunPlainFfmpeg(clips, work.path() + "/out-plain/");
        const TMeasure adapter = RunAdapter(appFolder, clips, work.path() + "/out-adapter/");
        const TMeasure app = RunThroughWindow(appFolder, clips);
        int converted = 0;
        for (const QString& clip : clips)
            converted += Probe(outApp + QFileInfo(clip).completeBaseName() + ".mp4").ok ? 1 : 0;
        std::printf(
            "round %d: wall plain ffmpeg %.2f s, libm9s.exe %.2f s, window %.2f s; encoder CPU %.2f / %.2f / "
            "%.2f s; program CPU %.3f s (%.2f%%); Convert to encoder start %.1f ms; %d/%d outputs valid\n",
            round, plain.wall, adapter.wall, app.wall, plain.childCpu, adapter.childCpu, app.childCpu,
            app.ownCpu, 100.0 * app.ownCpu / app.wall, app.toStartMs, converted, clipCount);
        std::fflush(stdout);
        for (auto [sum, one] : {std::pair{&plainSum, &plain}, {&adapterSum, &adapter}, {&appSum, &app}}) {
            sum->wall += one->wall;
            sum->childCpu += one->childCpu;
            sum->ownCpu += one->ownCpu;
        }
        plainBest = qMin(plainBest, plain.wall);
        adapterBest = qMin(adapterBest, adapter.wall);
        appBest = qMin(appBest, app.wall);
        worstStart = qMax(worstStart, app.toStartMs);
    }
    std::printf("wall-time ratio window / plain ffmpeg: %.3f over all rounds, %.3f best against best "
                "(goal <= 1.03)\n",
                appSum.wall / plainSum.wall, appBest / plainBest);
    std::printf("wall-time ratio window / libm9s.exe alone: %.3f over all rounds, %.3f best against best\n",
                appSum.wall / adapterSum.wall, appBest / adapterBest);
    std::printf("encoder CPU ratio window / plain ffmpeg: %.3f\n", appSum.childCpu / plainSum.childCpu);
    std::printf("program CPU: %.2f%% of its batches' wall time (goal < 1%%)\n",
                100.0 * appSum.ownCpu / appSum.wall);
    std::printf("Convert to first encoder start: at most %.1f ms (goal < 50 ms)\n", worstStart);
    return 0;
}
