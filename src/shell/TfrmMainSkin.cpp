// Skin side of the main window: the Skin menu and its queued apply, the Help menu, the splash
// window and the welcome window.

#include "shell/TfrmMain.h"

#include <QEvent>

TfrmSplash* TfrmMain::CreateSplash(TfrmCommon*)
{
    return nullptr;
}

void TfrmMain::HideSplash(TfrmSplash*) {}

void TfrmMain::DestroySplash(TfrmSplash*) {}

void TfrmMain::CreateHelpDialog() {}

void TfrmMain::LoadLanguageHelpDialog(const QString&) {}

void TfrmMain::RepaintHelpDialog() {}

void TfrmMain::ApplySkinAtStart() {}

void TfrmMain::ShowHelpDialog() {}

void TfrmMain::customEvent(QEvent* event)
{
    QMainWindow::customEvent(event);
}

void TfrmMain::N_SkinClick(int) {}

void TfrmMain::N_Skin1Click()
{
    N_SkinClick(1);
}

void TfrmMain::N_Skin2Click()
{
    N_SkinClick(2);
}

void TfrmMain::N_Skin3Click()
{
    N_SkinClick(3);
}

void TfrmMain::N_Skin4Click()
{
    N_SkinClick(4);
}

void TfrmMain::N_Skin5Click()
{
    N_SkinClick(5);
}

void TfrmMain::N_Skin6Click()
{
    N_SkinClick(6);
}

void TfrmMain::N_Skin7Click()
{
    N_SkinClick(7);
}

void TfrmMain::N_Skin8Click()
{
    N_SkinClick(8);
}

void TfrmMain::N_Skin9Click()
{
    N_SkinClick(9);
}

void TfrmMain::N_Skin10Click()
{
    N_SkinClick(10);
}

void TfrmMain::N_Skin11Click()
{
    N_SkinClick(11);
}

void TfrmMain::N_Skin12Click()
{
    N_SkinClick(12);
}

void TfrmMain::N_Skin13Click()
{
    N_SkinClick(13);
}

void TfrmMain::N_Skin14Click()
{
    N_SkinClick(14);
}

void TfrmMain::N_Skin15Click()
{
    N_SkinClick(15);
}

void TfrmMain::N_Skin16Click()
{
    N_SkinClick(16);
}

void TfrmMain::N_Skin17Click()
{
    N_SkinClick(17);
}

void TfrmMain::N_Skin18Click()
{
    N_SkinClick(18);
}

void TfrmMain::N_LocalHelpClick() {}

void TfrmMain::N_HomePageClick() {}

void TfrmMain::N_SupportClick() {}

void TfrmMain::N_FeedBackClick() {}

void TfrmMain::N_UpdateClick() {}
