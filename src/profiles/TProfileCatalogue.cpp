#include "profiles/TProfileCatalogue.h"

#include "platform/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

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

int TProfileCatalogue::IndexOf(const QString& name) const
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].FileName() == name)
            return int(i);
    }
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
