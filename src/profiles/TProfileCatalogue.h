#pragma once
// The catalogue of output profiles: the .pf files of the program's profile folder in a
// stable order, the text each shows in the format list, and the items a settings box gets
// from one profile choice.

#include "profiles/VideoProfile.h"

#include <QList>
#include <QString>
#include <QStringList>

struct TChoiceItems
{
    QStringList items; // the box's items, "-1" shown as "auto"
    int match = -1;    // the item equal to the default value (the last such), or -1
};

// One profile of the catalogue, read once.
struct TProfileEntry
{
    QString file; // full path
    TVideoProfile profile;

    QString FileName() const;
    // The text the format list shows.
    QString EntryText() const;
};

class TProfileCatalogue
{
public:
    // The profiles of a folder in list order, each read once, and one "<file name>: <error>"
    // text for each file that failed (left out of the list). A missing folder is an empty
    // one: no profiles and no failures.
    QList<TProfileEntry> entries;
    QStringList failures;

    static TProfileCatalogue Load(const QString& profileFolder);

    // The entry whose file name (without folder) or display name is name, else -1.
    int IndexOf(const QString& name) const;

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
