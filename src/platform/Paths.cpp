#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

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

QString ChooseHomeFolder(const QString& homeVariable, const QString& accountHome)
{
    for (const QString& candidate : {homeVariable, accountHome}) {
        if (QDir::isAbsolutePath(candidate) && QFileInfo(candidate).isDir())
            return QDir::cleanPath(candidate);
    }
    return QString();
}

QString AccountHomeFolder()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (size_t(1) << 20))
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir ? QFile::decodeName(found->pw_dir) : QString();
}

QString HomeFolder()
{
    return ChooseHomeFolder(qEnvironmentVariable("HOME"), AccountHomeFolder());
}

QString VideosFolder(const QString& home, const QString& configFolder)
{
    // The same reading as the desktop's own: XDG_VIDEOS_DIR="$HOME/Videos" or an absolute path.
    QFile dirs(configFolder + QStringLiteral("/user-dirs.dirs"));
    if (dirs.open(QIODevice::ReadOnly)) {
        static const QRegularExpression line(
            QStringLiteral("^\\s*XDG_VIDEOS_DIR\\s*=\\s*\"?([^\"]*)\"?\\s*$"));
        for (const QString& text : QString::fromUtf8(dirs.readAll()).split(u'\n')) {
            const QRegularExpressionMatch match = line.match(text);
            if (!match.hasMatch())
                continue;
            QString value = match.captured(1);
            if (value.startsWith(QLatin1String("$HOME")))
                value.replace(0, 5, home);
            if (QDir::isAbsolutePath(value))
                return QDir::cleanPath(value);
        }
    }
    return QDir(home).filePath(QStringLiteral("Videos"));
}

QString DefaultOutputFolder()
{
    const QString home = HomeFolder();
    if (home.isEmpty())
        return QString();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = home + QStringLiteral("/.config");
    return VideosFolder(home, config);
}
