// Skin side of the main window: the Skin menu and its queued apply, the Help menu, the splash
// window and the welcome window.

#include "shell/TfrmMain.h"

#include "dialogs/TfrmHelpDialog.h"
#include "dialogs/TfrmSplash.h"
#include "platform/AppError.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "skin/SkinChoice.h"
#include "skin/TSkinEngine.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// The skin request travels through the main window's own event queue, so a skin chosen in the
// menu is applied only after the click handler has returned and the menu has closed.
constexpr int WM_APPLYSKIN = 1124;
const QEvent::Type applySkinEventType = static_cast<QEvent::Type>(QEvent::User + WM_APPLYSKIN);

class TApplySkinEvent : public QEvent
{
public:
    TApplySkinEvent(int wParam, int lParam) : QEvent(applySkinEventType), wParam(wParam), lParam(lParam) {}
    const int wParam; // the skin number
    const int lParam; // always 0
};

} // namespace

TSkinEngine& TfrmMain::SkinEngine()
{
    if (!suiSkinEngine) {
        suiSkinEngine = new TSkinEngine(this);
        suiSkinEngine->setObjectName(QStringLiteral("suiSkinEngine"));
    }
    return *suiSkinEngine;
}

TfrmSplash* TfrmMain::CreateSplash(TfrmCommon* common)
{
    auto* splash = new TfrmSplash(common);
    try {
        splash->FormShow();
    } catch (const AppError& error) {
        // No event loop runs yet: report here, as the loop would, and go on starting.
        TApplication::ShowException(error.Text());
    }
    return splash;
}

void TfrmMain::HideSplash(TfrmSplash* splash)
{
    if (splash)
        splash->hide();
}

void TfrmMain::DestroySplash(TfrmSplash* splash)
{
    delete splash;
}

void TfrmMain::CreateHelpDialog()
{
    frmHelpDialog = new TfrmHelpDialog(frmCommon, this);
}

void TfrmMain::LoadLanguageHelpDialog(const QString& fileName)
{
    if (frmHelpDialog)
        frmHelpDialog->LoadLanguage(fileName);
}

void TfrmMain::RepaintHelpDialog()
{
    if (frmHelpDialog)
        frmHelpDialog->update();
}

void TfrmMain::ApplySkinAtStart()
{
    // A bad skin file raises its error to FormShow, which reports it once the window is on the
    // screen and still runs the rest of the first show (without it the saved format would be
    // overwritten with another choice when the window closes).
    ApplySkin(*frmCommon, SkinEngine(), frmCommon->ReadSkinIndex());
}

void TfrmMain::ShowHelpDialog()
{
    if (frmHelpDialog)
        frmHelpDialog->show();
}

void TfrmMain::customEvent(QEvent* event)
{
    if (event->type() == applySkinEventType) {
        ApplySkin(*frmCommon, SkinEngine(), static_cast<TApplySkinEvent*>(event)->wParam);
        return;
    }
    QMainWindow::customEvent(event);
}

void TfrmMain::N_SkinClick(int skinNumber)
{
    QCoreApplication::postEvent(this, new TApplySkinEvent(skinNumber, 0));
    frmCommon->WriteSkinIndex(skinNumber);
}

void TfrmMain::N_LocalHelpClick()
{
    frmCommon->OpenOnlineHelp();
}

void TfrmMain::N_HomePageClick()
{
    frmCommon->OpenHomePage();
}

void TfrmMain::N_SupportClick()
{
    frmCommon->OpenSupport();
}

void TfrmMain::N_FeedBackClick()
{
    frmCommon->OpenFeedBack();
}

void TfrmMain::N_UpdateClick()
{
    frmCommon->RunUpdate();
    // The program ends through the main window's normal closing steps, whatever the start gave.
    close();
    QCoreApplication::quit();
}
