#pragma once
// The catalogue of output profiles: the .pf files of the program's profile folder in a
// stable order, the text each shows in the format list, and the items a settings box gets
// from one profile choice.

#include "profiles/TEncoderAvailability.h"
#include "profiles/VideoProfile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

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
    // The encoders it needs that the installed ffmpeg lacks; empty while nothing is known.
    QStringList missingEncoders;

    QString FileName() const;
    bool Available() const { return missingEncoders.isEmpty(); }
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
    // The entry whose file name (without folder) is fileName, else -1.
    int IndexOfFile(const QString& fileName) const;

    // Marks the entries whose encoders the answer lacks; an unknown answer marks none.
    void ApplyEncoders(const TEncoderAnswer& answer);
    // The first entry that is available, else -1.
    int FirstAvailable() const;

    // The entry the saved choice names (nullopt: the key is not there). A saved formatFile that
    // the catalogue holds names its entry. Without a formatFile (a config.ini written before the
    // catalogue was renumbered) a saved position is first taken as a position in that former
    // catalogue. Otherwise the position counts, as it always has: none saved gives 0, past the
    // end 0, a negative one -1 (no entry). An entry that is not available gives the first
    // available one.
    int SavedEntryIndex(const std::optional<QString>& formatFile,
                        const std::optional<int>& formatIndex) const;
    // The same from [setting] formatFile and iComboxFormatIndex of a config.ini.
    int SavedEntryIndex(const QString& configFile) const;

    // The file name today of the profile at a position of the catalogue as it was before it was
    // renumbered; empty for a position it did not have.
    static QString FormerFormatFile(int formerIndex);

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
