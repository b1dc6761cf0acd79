// Ten 10-second 640x480 clips converted through the main window (offscreen) and by plain ffmpeg
// with the same settings, in alternating rounds. Prints the wall-time ratio (goal <= 1.05), the
// program's own CPU time during its batches (goal < 2% of their wall time) and the time from
// pressing Convert to the first encoder's start (goal < 50 ms).

#include "e2e/conversion/ConversionFixture.h"

#include "engine/TConsoleIO.h"
#include "joblist/TMessageBox.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

using namespace ConversionFixture;

namespace {

constexpr int clipCount = 10;
constexpr int rounds = 3;

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TAppRun
{
    double wall = 0;
    double cpu = 0;
    double toStartMs = -1;
};

TAppRun RunThroughWindow(const QString& appFolder, const QStringList& clips)
{
    TfrmCommon common(appFolder);
    TfrmMain frm(&common);
    frm.CreateOtherWindows();
    frm.show();
    QCoreApplication::processEvents();
    for (int i = 0; i < frm.ComboBoxFormatSelect->count(); ++i) {
        if (frm.ComboBoxFormatSelect->itemData(i).toString().endsWith(
                QLatin1String("/01-mp4-mpeg4-aac.pf"))) {
            frm.ComboBoxFormatSelect->setCurrentIndex(i);
            frm.ComboBoxFormatSelectChange(i);
        }
    }
    for (const QString& clip : clips)
        frm.AddJobFile(clip);
    TMessageBox::nextAnswers = {QMessageBox::No};

    TAppRun run;
    QElapsedTimer sincePress;
    QObject::connect(frm.ConsoleIO, &TConsoleIO::ProcessStatusChanged, &frm, [&](bool running) {
        if (running && run.toStartMs < 0)
            run.toStartMs = double(sincePress.nsecsElapsed()) / 1e6;
    });
    const double cpuBefore = CpuSeconds();
    sincePress.start();
    frm.buttonConvert->click();
    run.wall = double(sincePress.nsecsElapsed()) / 1e9;
    run.cpu = CpuSeconds() - cpuBefore;
    frm.close();
    return run;
}

double RunSequentially(const QString& program, const QStringList& clips, const QString& outFolder,
                       const std::function<QStringList(const QString&, const QString&)>& arguments)
{
    QDir().mkpath(outFolder);
    QElapsedTimer wall;
    wall.start();
    for (const QString& clip : clips) {
        QProcess child;
        child.setStandardOutputFile(QProcess::nullDevice());
        child.setStandardErrorFile(QProcess::nullDevice());
        child.start(program, arguments(clip, outFolder + QFileInfo(clip).completeBaseName() + ".mp4"));
        child.waitForFinished(-1);
    }
    return double(wall.nsecsElapsed()) / 1e9;
}

// Exactly what the encoder adapter runs for the profile's defaults, without its progress pipe.
double RunPlainFfmpeg(const QStringList& clips, const QString& outFolder)
{
    return RunSequentially("ffmpeg", clips, outFolder, [](const QString& in, const QString& out) {
        return QStringList{"-nostdin",   "-nostats", "-y",    "-ss",     "00:00:00", "-i",
                           "file:" + in, "-f",       "mp4",   "-aspect", "4:3",      "-c:v",
                           "mpeg4",      "-b:v",     "1200k", "-b:a",    "128k",     "-ar",
                           "44100",      "-ac",      "2",     "-c:a",    "aac",      "file:" + out};
    });
}

// The adapter alone, with the command line the window gives it.
double RunAdapter(const QString& appFolder, const QStringList& clips, const QString& outFolder)
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

    double plainTotal = 0;
    double adapterTotal = 0;
    double appTotal = 0;
    double cpuTotal = 0;
    double worstStart = 0;
    for (int round = 1; round <= rounds; ++round) {
        QDir(outApp).removeRecursively();
        const double plain = RunPlainFfmpeg(clips, work.path() + "/out-plain/");
        const double adapter = RunAdapter(appFolder, clips, work.path() + "/out-adapter/");
        const TAppRun run = RunThroughWindow(appFolder, clips);
        int converted = 0;
        for (const QString& clip : clips)
            converted += Probe(outApp + QFileInfo(clip).completeBaseName() + ".mp4").ok ? 1 : 0;
        std::printf(
            "round %d: plain ffmpeg %.2f s, libm9s.exe alone %.2f s, window %.2f s (ratio %.3f to ffmpeg, "
            "%.3f to libm9s.exe), program CPU %.3f s (%.2f%%), Convert to encoder start %.1f ms, "
            "%d/%d outputs valid\n",
            round, plain, adapter, run.wall, run.wall / plain, run.wall / adapter, run.cpu,
            100.0 * run.cpu / run.wall, run.toStartMs, converted, clipCount);
        std::fflush(stdout);
        plainTotal += plain;
        adapterTotal += adapter;
        appTotal += run.wall;
        cpuTotal += run.cpu;
        worstStart = qMax(worstStart, run.toStartMs);
    }
    std::printf(
        "total: wall-time ratio %.3f to plain ffmpeg (goal <= 1.05), %.3f to libm9s.exe alone; program CPU "
        "%.2f%% of its wall time (goal < 2%%); Convert to encoder start at most %.1f ms (goal < 50 ms)\n",
        appTotal / plainTotal, appTotal / adapterTotal, 100.0 * cpuTotal / appTotal, worstStart);
    return 0;
}
