#include "profiles/ProfileFolder.h"

#include "platform/AppError.h"
#include "profiles/VideoProfile.h"

#include <QDir>
#include <QFileInfo>

QStringList ListProfileFiles(const QString& folder)
{
    QDir dir(folder);
    if (!dir.exists())
        throw AppError(QStringLiteral("Folder not found: %1").arg(QDir::toNativeSeparators(folder)));
    const QFileInfoList entries =
        dir.entryInfoList({QStringLiteral("*.pf")},
                          QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList paths;
    for (const QFileInfo& entry : entries) {
        // The pattern matches any letter case, but make sure of "pf" itself.
        if (entry.suffix().compare(QLatin1String("pf"), Qt::CaseInsensitive) == 0 && !entry.isDir())
            paths.append(entry.filePath());
    }
    return paths;
}

QStringList CheckProfileFolder(const QString& folder, int* loadedCount)
{
    QStringList failures;
    int loaded = 0;
    for (const QString& path : ListProfileFiles(folder)) {
        TVideoProfile profile;
        try {
            profile.LoadFromFile(path);
            ++loaded;
        } catch (const AppError& e) {
            failures.append(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), e.Text()));
        }
    }
    if (loadedCount)
        *loadedCount = loaded;
    return failures;
}
