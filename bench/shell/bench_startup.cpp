// Start-up to the main window's first paint with the real program folder (offscreen), measured
// from outside: the bench starts itself as a child, which runs the program's start-up order and
// reports the first paint, with and without a cached list of the installed ffmpeg's encoders. The
// splash and its fade are left out. Goal: under 400 ms.

#include "platform/TfrmCommon.h"
#include "profiles/TEncoderAvailability.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

class TFirstPaint : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            // Reported once the paint has been handled.
            QTimer::singleShot(0, [] {
                std::printf("painted\n");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
            watched->removeEventFilter(this);
        }
        return false;
    }
};

int RunChild(int argc, char** argv, const QString& programFolder)
{
    TApplication app(argc, argv);
    TfrmCommon common(programFolder);
    TfrmMain window(&common);
    window.CreateOtherWindows();
    if (const QScreen* screen = QApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    TFirstPaint probe;
    window.installEventFilter(&probe);
    window.show();
    return app.exec();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2 && QByteArray(argv[1]) == "--child")
        return RunChild(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("app"));
    TestSupport::CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), programFolder);
    TestSupport::WriteText(programFolder + QStringLiteral("/config.ini"), "[setting]\ndisplayHelpDialog=0\n");

    // Without the cached encoder list (the adapter is asked after the first paint), then with
    // it (read before the window shows): the first paint must come no later either way.
    const QString cache = programFolder + u'/' + TEncoderAvailability::CacheFileName();
    for (const bool cached : {false, true}) {
        QFile::remove(cache);
        if (cached && !TEncoderAvailability(programFolder + u'/', cache).AnswerNow().known) {
            std::printf("bench_startup: libm9s.exe --encoders gave no list\n");
            return 1;
        }
        std::vector<qint64> runs;
        for (int i = 0; i < 7; ++i) {
            if (!cached)
                QFile::remove(cache); // a child that got as far as asking must not help the next
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QElapsedTimer timer;
            timer.start();
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), programFolder});
            while (!child.canReadLine() && child.waitForReadyRead(5000)) {
            }
            const qint64 elapsed = timer.elapsed();
            const QByteArray line = child.readLine().trimmed();
            child.waitForFinished(5000);
            if (line != "painted") {
                std::printf("bench_startup: the child did not paint\n");
                return 1;
            }
            runs.push_back(elapsed);
        }
        std::sort(runs.begin(), runs.end());
        std::printf(
            "bench_startup: start-up to first paint (%s): median %lld ms, best %lld ms, worst %lld ms "
            "(goal < 400 ms)\n",
            cached ? "encoder list cached" : "no encoder list cached",
            static_cast<long long>(runs[runs.size() / 2]), static_cast<long long>(runs.front()),
            static_cast<long long>(runs.back()));
    }
    return 0;
}
