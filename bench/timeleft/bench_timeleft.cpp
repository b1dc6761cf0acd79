// Ten equal 10-second 640x480 clips converted through the main window (offscreen): the batch's
// time left that the status line shows at the half-way point (the first figure after the fifth
// file is done) against the time the rest of the batch really took. Goal: within 15%. Several
// rounds, each printed, since the machine may be shared.

#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"

#include "dialogs/TMessageBox.h"
#include "engine/TBatchRun.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

using namespace TestSupport;

namespace {

constexpr int clipCount = 10;
constexpr int rounds = 3;

struct TRound
{
    double shownSeconds = -1; // the batch figure at half-way
    double restSeconds = -1;  // what the rest took
};

TRound RunOnce(const QString& appFolder, const QStringList& clips, const QString& outFolder)
{
    QDir(outFolder).removeRecursively();
    IniFile(appFolder + "config.ini").WriteString("setting", "outputFolder", outFolder);
    TfrmCommon common(appFolder);
    common.urlOpener = [](const QString&) {};
    TfrmMain frm(&common);
    frm.CreateOtherWindows();
    frm.show();
    QCoreApplication::processEvents();
    SelectProfile(frm, QStringLiteral("01-mp4-h264-aac.pf"));
    for (const QString& clip : clips)
        frm.AddJobFile(clip);
    TMessageBox::nextAnswers = {QMessageBox::No};

    // "(batch 1:23)" as the language file words it.
    const QString batchFormat = IniFile(common.languageFile).ReadString("frmMain", "msgStatusBatchLeft", "");
    const QRegularExpression batch(QRegularExpression::escape(batchFormat.section("%s", 0, 0)) +
                                   "(?:(\\d+):)?(\\d+):(\\d\\d)" +
                                   QRegularExpression::escape(batchFormat.section("%s", 1)));
    auto* run = Child<TBatchRun>(&frm, QStringLiteral("BatchRun"));
    auto* status = Child<QLabel>(&frm, QStringLiteral("labelCurrentInfo"));
    TRound result;
    int finished = 0;
    QElapsedTimer sinceShown;
    QObject::connect(run, &TBatchRun::ItemFinished, &frm, [&finished] { ++finished; });
    QObject::connect(run, &TBatchRun::ItemProgress, &frm, [&] {
        if (finished < clipCount / 2 || result.shownSeconds >= 0)
            return;
        const QRegularExpressionMatch match = batch.match(status->text());
        if (!match.hasMatch())
            return;
        result.shownSeconds = match.captured(1).toDouble() * 3600 + match.captured(2).toDouble() * 60 +
                              match.captured(3).toDouble();
        sinceShown.start();
    });
    QEventLoop wait;
    QObject::connect(run, &TBatchRun::RunFinished, &wait, &QEventLoop::quit);
    Child<QPushButton>(&frm, QStringLiteral("buttonConvert"))->click();
    wait.exec();
    if (sinceShown.isValid())
        result.restSeconds = double(sinceShown.nsecsElapsed()) / 1e9;
    frm.close();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    QTemporaryDir work;
    const QString appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.filePath("app"));
    IniFile(appFolder + "config.ini").WriteInteger("setting", "displayHelpDialog", 0);
    QStringList clips;
    for (int i = 0; i < clipCount; ++i) {
        clips << work.filePath(QStringLiteral("media/clip%1.avi").arg(i));
        if (!MakeClip(clips.last(), 10, QStringLiteral("640x480"))) {
            std::printf("bench_timeleft: ffmpeg could not make the clips\n");
            return 1;
        }
    }
    double worst = 0;
    for (int round = 1; round <= rounds; ++round) {
        const TRound r = RunOnce(appFolder, clips, work.filePath("out"));
        if (r.shownSeconds < 0 || r.restSeconds <= 0) {
            std::printf("bench_timeleft: round %d showed no batch figure at half-way\n", round);
            return 1;
        }
        const double error = std::abs(r.shownSeconds - r.restSeconds) / r.restSeconds;
        worst = std::max(worst, error);
        std::printf(
            "bench_timeleft: round %d: shown at half-way %.0f s, the rest took %.1f s: off by %.1f%%\n",
            round, r.shownSeconds, r.restSeconds, 100.0 * error);
    }
    std::printf("bench_timeleft: worst %.1f%% (goal within 15%%)\n", 100.0 * worst);
    return 0;
}
