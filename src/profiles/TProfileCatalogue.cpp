#include "profiles/TProfileCatalogue.h"

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
