// The program's entry: services object, splash, main window, the other windows, then the
// event loop. Paths on the command line join the job list once the window is shown.

#include "platform/ExceptionReport.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TSignalCloser.h"
#include "shell/TfrmMain.h"

#include <QFileInfo>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <memory>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.velmora.Velmora"));

    // Everything after the program name is a path; "--" ends the options a file manager adds.
    QStringList paths = QApplication::arguments().mid(1);
    paths.removeAll(QStringLiteral("--"));

    auto frmCommon = std::make_unique<TfrmCommon>();
    app.InstallQtTranslations(frmCommon->IsChineseEdition());
    // No error before the event loop may end the start-up: each is shown and start-up goes on.
    TfrmSplash* frmSplash = nullptr;
    try {
        frmSplash = TfrmMain::CreateSplash(frmCommon.get());
    } catch (...) {
        TApplication::ShowException(CurrentExceptionText());
    }

    TfrmMain frmMain(frmCommon.get());
    frmMain.SetSplash(frmSplash);
    frmMain.CreateOtherWindows();
    TfrmMain::HideSplash(frmSplash);

    TSignalCloser closer(&frmMain);

    if (const QScreen* screen = QApplication::primaryScreen()) {
        frmMain.adjustSize();
        QRect frame = frmMain.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        frmMain.move(frame.topLeft());
    }
    frmMain.show();
    if (!paths.isEmpty()) {
        QTimer::singleShot(0, &frmMain, [&frmMain, paths] {
            for (const QString& path : paths)
                frmMain.AddJobFile(QFileInfo(path).absoluteFilePath());
        });
    }
    return app.exec();
}
