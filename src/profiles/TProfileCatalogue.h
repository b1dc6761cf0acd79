#pragma once
// The catalogue of output profiles: the .pf files of the program's profile folder in a
// stable order, the text each shows in the format list, and the items a settings box gets
// from one profile choice.

#include <QString>
#include <QStringList>

struct TChoiceItems
{
    QStringList items; // the box's items, "-1" shown as "auto"
    int match = -1;    // the item equal to the default value (the last such), or -1
};

class TProfileCatalogue
{
public:
    // appFolder + "profile/".
    static QString ProfileFolder(const QString& appFolder) { return appFolder + QStringLiteral("profile/"); }

    // Full paths of the files ending in ".pf" (any letter case), sorted by file name so that a
    // saved position keeps naming the same profile. A missing or empty folder gives none.
    static QStringList ListProfileFiles(const QString& profileFolder);

    // "MP4 Video(*.mp4)".
    static QString EntryText(const QString& displayName, const QString& extension)
    {
        return displayName + QStringLiteral("(*.") + extension + u')';
    }

    // The items of a ";"-separated choice list (empty pieces dropped), and which of them is
    // the default value; compared exactly, before "-1" becomes "auto".
    static TChoiceItems MakeChoiceItems(const QString& value, const QString& choices);
};
