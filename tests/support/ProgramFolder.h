#pragma once
// A private copy of the assembled program folder, for tests and benchmarks that change its
// settings, log or files without touching the build's own.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace TestSupport {

// Copies the program folder without its config.ini and logFile.txt, so that the copy's
// settings and log are the caller's own. Returns the copy's path with a trailing "/", or an
// empty string when a file could not be copied.
inline QString CopyProgramFolder(const QString& from, const QString& to)
{
    const QDir source(from);
    bool copied = true;
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = source.relativeFilePath(path);
        if (relative == QLatin1String("config.ini") || relative == QLatin1String("logFile.txt"))
            continue;
        const QString target = to + u'/' + relative;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(path, target)) {
            copied = false;
            continue;
        }
        QFile::setPermissions(target, QFile::permissions(path));
    }
    if (!copied)
        return QString();
    return to.endsWith(u'/') ? to : to + u'/';
}

} // namespace TestSupport
