// Adds a folder of 100,000 supported (empty) files through AddFolderFiles to the real main window,
// offscreen, over a copy of the program folder. Goal: under 5 s.

#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"
#include "support/FindChild.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;

    QTemporaryDir work;
    const QString programFolder = work.filePath(QStringLiteral("app"));
    TestSupport::CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), programFolder);
    TestSupport::WriteText(programFolder + QStringLiteral("/config.ini"), "[setting]\ndisplayHelpDialog=0\n");
    const QString media = work.filePath(QStringLiteral("media"));
    QDir().mkpath(media);
    static const char* const extensions[] = {"mp4", "avi", "mkv", "wav", "mov"};
    for (int i = 0; i < count; ++i) {
        QFile file(QStringLiteral("%1/clip %2.%3")
                       .arg(media)
                       .arg(i, 6, 10, QChar(u'0'))
                       .arg(QLatin1String(extensions[i % 5])));
        file.open(QIODevice::WriteOnly);
    }

    TfrmCommon common(programFolder);
    TfrmMain window(&common);
    window.CreateOtherWindows();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::printf("bench_addfolder: the window was not exposed\n");

    QElapsedTimer timer;
    timer.start();
    window.AddFolderFiles(media, true, QStringLiteral("*"));
    const qint64 added = timer.elapsed();
    // Until the list has been laid out and painted once with all items.
    TestSupport::Child<QTreeWidget>(&window, QStringLiteral("listViewFiles"))->scrollToBottom();
    window.repaint();
    QCoreApplication::processEvents();
    const qint64 shown = timer.elapsed();

    // Counted before the close, which empties the list.
    const int listed = window.JobCount();
    std::printf("bench_addfolder: %d files, %d in the list: AddFolderFiles %lld ms, painted %lld ms (goal < "
                "5000 ms)\n",
                count, listed, static_cast<long long>(added), static_cast<long long>(shown));
    window.close();
    return listed == count ? 0 : 1;
}
