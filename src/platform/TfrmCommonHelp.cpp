// The skin number in config.ini and the Help menu's links of TfrmCommon.

#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

int TfrmCommon::ReadSkinIndex() const
{
    return IniFile(configFile).ReadInteger(QStringLiteral("skin"), QStringLiteral("skin"), 10);
}

void TfrmCommon::WriteSkinIndex(int number) const
{
    IniFile(configFile).WriteInteger(QStringLiteral("skin"), QStringLiteral("skin"), number);
}

void TfrmCommon::OpenOnlineHelp() const
{
    OpenURL(helpLink);
}

void TfrmCommon::OpenHomePage() const
{
    OpenURL(homePageLink);
}

void TfrmCommon::OpenSupport() const
{
    OpenURL(supportLink);
}

void TfrmCommon::OpenFeedBack() const
{
    OpenURL(feedbackLink);
}

void TfrmCommon::RunUpdate() const
{
    OpenURL(appFolder + QStringLiteral("update.EXE"));
}
