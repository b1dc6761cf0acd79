#include "support/MainWindow.h"

#include <QTest>

namespace TestSupport {

TMainWindow::TMainWindow(const QString& appFolder, bool show, TExposure exposure) : exposure(exposure)
{
    common = std::make_unique<TfrmCommon>(appFolder);
    common->urlOpener = [this](const QString& url) { opened << url; };
    frm = std::make_unique<TfrmMain>(common.get());
    frm->CreateOtherWindows();
    if (show)
        Show();
}

TMainWindow::~TMainWindow()
{
    Close();
}

void TMainWindow::Show()
{
    frm->show();
    switch (exposure) {
    case TExposure::Verified:
        QVERIFY(QTest::qWaitForWindowExposed(frm.get()));
        break;
    case TExposure::Warned:
        if (!QTest::qWaitForWindowExposed(frm.get()))
            qWarning("main window not exposed");
        break;
    case TExposure::NotAwaited:
        break;
    }
}

void TMainWindow::Close()
{
    if (frm && !closed)
        frm->close();
    closed = true;
}

} // namespace TestSupport
