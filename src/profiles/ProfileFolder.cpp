#include "profiles/ProfileFolder.h"

#include "platform/AppError.h"
#include "profiles/TProfileCatalogue.h"
#include "profiles/VideoProfile.h"

#include <QDir>
#include <QFileInfo>

QStringList ListProfileFiles(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        throw AppError(QStringLiteral("Folder not found: %1").arg(QDir::toNativeSeparators(folder)));
    // The program's own listing, so a check sees the files the format list sees.
    return TProfileCatalogue::ListProfileFiles(folder);
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
