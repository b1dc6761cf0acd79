#include "platform/SettingsPlace.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool InGroup(gid_t group)
{
    if (group == getegid())
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int filled = getgroups(count, groups.data());
    return filled > 0 && std::find(groups.begin(), groups.begin() + filled, group) != groups.begin() + filled;
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Creates folder and its missing parents, each with mode 0700 as the base directory rules ask.
// Returns 0, or the error of the step that failed: a parent that is a file, a symbolic link
// loop, a parent the user may not write.
int MakeFolder(const QString& folder)
{
    const QStringList parts = QDir::cleanPath(folder).split(u'/', Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        const QString parent = path.isEmpty() ? QStringLiteral("/") : path;
        path += u'/' + part;
        const QByteArray name = QFile::encodeName(path);
        struct stat info;
        if (::stat(name.constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                return ENOTDIR;
            continue;
        }
        if (errno != ENOENT)
            return errno;
        // mkdir would let the superuser through a parent whose bits say no.
        if (!FolderWritable(parent))
            return EACCES;
        if (::mkdir(name.constData(), 0700) != 0)
            return errno;
    }
    return 0;
}

} // namespace

bool FolderWritable(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat info;
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    // A read-only file system says no even to the superuser.
    if (::faccessat(AT_FDCWD, name.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    if (::geteuid() != 0)
        return true;
    const mode_t needed = info.st_uid == 0       ? (S_IWUSR | S_IXUSR)
                          : InGroup(info.st_gid) ? (S_IWGRP | S_IXGRP)
                                                 : (S_IWOTH | S_IXOTH);
    return (info.st_mode & needed) == needed;
}

namespace {

// homeFolder is asked only when the place is needed: the password database may be a network
// service.
TSettingsPlace FindPlace(const QString& appFolder, const std::function<QString()>& homeFolder)
{
    TSettingsPlace place;
    struct stat info;
    // A program folder that is not there (a test's, a deleted one) keeps the old place: its
    // files fail as they always did, and nothing is written into somebody's home.
    if (::stat(QFile::encodeName(appFolder).constData(), &info) != 0 || FolderWritable(appFolder)) {
        place.folder = appFolder;
        place.wanted = appFolder;
        return place;
    }

    place.inHome = true;
    // The base directory rules: a relative path in XDG_CONFIG_HOME is invalid and ignored.
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base)) {
        const QString home = homeFolder();
        if (home.isEmpty()) {
            place.homeMissing = true;
            place.wanted = QStringLiteral("~/.config/velmora/");
            return place;
        }
        base = home + QStringLiteral("/.config");
    }
    place.wanted = QDir::cleanPath(base + QStringLiteral("/velmora")) + u'/';
    int error = MakeFolder(place.wanted);
    if (error == 0 && !FolderWritable(place.wanted))
        error = EACCES;
    if (error != 0) {
        place.cause = SystemError(error);
        return place;
    }
    place.folder = place.wanted;
    return place;
}

} // namespace

TSettingsPlace FindSettingsPlace(const QString& appFolder)
{
    return FindPlace(appFolder, HomeFolder);
}

TSettingsPlace FindSettingsPlace(const QString& appFolder, const QString& home)
{
    return FindPlace(appFolder, [&home] { return home; });
}

void PlaceToolkitSettings()
{
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(folder)) {
        const QString home = HomeFolder();
        // No home folder: a "folder" below a device, where nothing can ever be made.
        folder = home.isEmpty() ? QStringLiteral("/dev/null") : home + QStringLiteral("/.config");
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}
