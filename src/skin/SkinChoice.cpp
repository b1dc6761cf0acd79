#include "skin/SkinChoice.h"

#include "platform/TfrmCommon.h"
#include "skin/TSkinEngine.h"

namespace SkinChoice {

QString SkinFileName(int number)
{
    static const char* const files[SkinCount] = {
        "Calmness.ssk",    "DiamondBlue.ssk", "DiamondGreen.ssk", "GlassGreen.ssk", "Longhorn.ssk",
        "MacOS.ssk",       "MP10.ssk",        "MSN.ssk",          "OneBlue.ssk",    "Silver.ssk",
        "SportsBlack.ssk", "SportsBlue.ssk",  "Midsummer.ssk",    "Emerald.ssk",    "Warm.ssk",
        "XPBlue.ssk",      "XPGreen.ssk",     "XPSilver.ssk",
    };
    if (number < 1 || number > SkinCount)
        number = DefaultSkin;
    return QString::fromLatin1(files[number - 1]);
}

QString SkinFilePath(const TfrmCommon& common, int number)
{
    return common.appFolder + QStringLiteral("skins/") + SkinFileName(number);
}

} // namespace SkinChoice

void ApplySkin(const TfrmCommon& common, TSkinEngine& engine, int number)
{
    engine.SetSkinFile(SkinChoice::SkinFilePath(common, number));
}
