#include "profiles/TProfileCatalogue.h"

#include "platform/AppError.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <climits>

QStringList TProfileCatalogue::ListProfileFiles(const QString& profileFolder)
{
    QDir folder(profileFolder);
    if (!folder.exists())
        return {};
    // Hidden and system entries count as well; folders named *.pf do not.
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    QStringList names;
    for (const QFileInfo& entry : entries) {
        if (entry.suffix().compare(QLatin1String("pf"), Qt::CaseInsensitive) == 0 && entry.isFile())
            names << entry.fileName();
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    QStringList paths;
    const QString prefix = profileFolder.endsWith(u'/') ? profileFolder : profileFolder + u'/';
    for (const QString& name : names)
        paths << prefix + name;
    return paths;
}

QString TProfileEntry::FileName() const
{
    return QFileInfo(file).fileName();
}

QString TProfileEntry::EntryText() const
{
    return TProfileCatalogue::EntryText(profile.DisplayName(), profile.Extension());
}

TProfileCatalogue TProfileCatalogue::Load(const QString& profileFolder)
{
    TProfileCatalogue catalogue;
    for (const QString& path : ListProfileFiles(profileFolder)) {
        // One broken file must not hide the profiles after it; it is left out and named.
        TProfileEntry entry;
        entry.file = path;
        try {
            entry.profile.LoadFromFile(path);
        } catch (const AppError& error) {
            catalogue.failures << QFileInfo(path).fileName() + QStringLiteral(": ") + error.Text();
            continue;
        }
        catalogue.entries << entry;
    }
    return catalogue;
}

int TProfileCatalogue::IndexOfFile(const QString& fileName) const
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].FileName() == fileName)
            return int(i);
    }
    return -1;
}

int TProfileCatalogue::IndexOf(const QString& name) const
{
    if (const int byFile = IndexOfFile(name); byFile >= 0)
        return byFile;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].profile.DisplayName() == name)
            return int(i);
    }
    return -1;
}

TChoiceItems TProfileCatalogue::MakeChoiceItems(const QString& value, const QString& choices)
{
    TChoiceItems result;
    // The same cut as SplitText: non-empty pieces between the separators.
    const QStringList pieces = choices.split(u';', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (pieces[i] == value)
            result.match = int(i);
        result.items << (pieces[i] == QLatin1String("-1") ? QStringLiteral("auto") : pieces[i]);
    }
    return result;
}

void TProfileCatalogue::ApplyEncoders(const TEncoderAnswer& answer)
{
    for (TProfileEntry& entry : entries)
        entry.missingEncoders = answer.known
                                    ? TEncoderAvailability::MissingEncoders(entry.profile, answer.encoders)
                                    : QStringList();
}

int TProfileCatalogue::FirstAvailable() const
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].Available())
            return int(i);
    }
    return -1;
}

QString TProfileCatalogue::FormerFormatFile(int formerIndex)
{
    // The shipped catalogue before the formats of today came first, in its order then.
    static const char* const former[] = {"33-mp4-mpeg4-aac.pf",
                                         "01-mp4-h264-aac.pf",
                                         "34-avi-xvid-mp3.pf",
                                         "35-avi-mpeg4-mp3.pf",
                                         "36-wmv-wmv2-wma.pf",
                                         "37-asf-mpeg4-wma.pf",
                                         "38-flv-flash.pf",
                                         "39-3gp-h263-aac.pf",
                                         "40-mpeg1.pf",
                                         "41-mpeg2.pf",
                                         "42-dvd-pal.pf",
                                         "43-dvd-ntsc.pf",
                                         "31-mkv-h264-vorbis.pf",
                                         "32-webm-vp8-vorbis.pf",
                                         "44-ogg-theora.pf",
                                         "51-ipod.pf",
                                         "52-psp.pf",
                                         "53-phone-mp4.pf",
                                         "54-portable-avi.pf",
                                         "21-mp3.pf",
                                         "22-m4a-aac.pf",
                                         "26-wav.pf",
                                         "27-ogg-vorbis.pf",
                                         "61-wma.pf",
                                         "62-ac3.pf",
                                         "63-mp2.pf"};
    if (formerIndex < 0 || formerIndex >= int(std::size(former)))
        return QString();
    return QString::fromLatin1(former[formerIndex]);
}

int TProfileCatalogue::SavedEntryIndex(const std::optional<QString>& formatFile,
                                       const std::optional<int>& formatIndex) const
{
    int index = formatFile ? IndexOfFile(*formatFile) : -1;
    // A position saved before the renumbering would otherwise pick another format silently.
    if (index < 0 && !formatFile && formatIndex)
        index = IndexOfFile(FormerFormatFile(*formatIndex));
    if (index < 0) {
        index = formatIndex.value_or(0);
        if (index > entries.size() - 1)
            index = 0;
        if (index < 0 || index >= entries.size())
            return -1;
    }
    if (!entries[index].Available()) {
        const int first = FirstAvailable();
        if (first >= 0)
            return first;
    }
    return index;
}

int TProfileCatalogue::SavedEntryIndex(const QString& configFile) const
{
    const IniFile config(configFile);
    const QString section = QStringLiteral("setting");
    // A key that is not there reads as its default: "/" is no file name, and no saved number
    // reads both as INT_MIN and as INT_MAX.
    const QString file = config.ReadString(section, QStringLiteral("formatFile"), QStringLiteral("/"));
    const int low = config.ReadInteger(section, QStringLiteral("iComboxFormatIndex"), INT_MIN);
    const int high = config.ReadInteger(section, QStringLiteral("iComboxFormatIndex"), INT_MAX);
    return SavedEntryIndex(file == QLatin1String("/") ? std::nullopt : std::optional(file),
                           low == high ? std::optional(low) : std::nullopt);
}
