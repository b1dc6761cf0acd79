#pragma once
// Which skin file a skin number stands for, and applying a skin by number. The number is
// kept in config.ini through TfrmCommon::ReadSkinIndex and WriteSkinIndex.

#include <QString>

class TfrmCommon;
class TSkinEngine;

namespace SkinChoice {

constexpr int SkinCount = 18;
constexpr int DefaultSkin = 10;

// The file name of skin n; every number outside 1..18 stands for the default skin.
QString SkinFileName(int number);

// The full path of skin n in the program folder's "skins/".
QString SkinFilePath(const TfrmCommon& common, int number);

} // namespace SkinChoice

// Turns the number into the skin file's full path and hands it to the skin engine, which
// loads it and restyles every window.
void ApplySkin(const TfrmCommon& common, TSkinEngine& engine, int number);
