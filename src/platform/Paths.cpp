#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ShortPath(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    QString result = QDir::cleanPath(info.absoluteFilePath());
    if (info.isDir() && path.endsWith(u'/') && !result.endsWith(u'/'))
        result += u'/';
    return result;
}

QString ExtensionWithDot(const QString& path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < path.lastIndexOf(u'/'))
        return {};
    return path.mid(dot);
}

QString TempFolder()
{
    QString folder = QDir::tempPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString DefaultOutputFolder()
{
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return movies.isEmpty() ? QDir::homePath() : movies;
}
