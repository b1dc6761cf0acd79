#include "engine/OutputFile.h"

#include "platform/AppError.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void CannotCreate(const QString& path, const QString& reason)
{
    throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
}

QString SystemText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString OutputNameFor(const QString& sourcePath, const QString& extension)
{
    const QString name = QFileInfo(sourcePath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    // A name that only starts with a dot has no extension to replace.
    const QString base = dot > 0 ? name.left(dot) : name;
    return base + u'.' + extension;
}

bool SameFile(const QString& a, const QString& b)
{
    struct stat first;
    struct stat second;
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

QByteArray PlaceholderText()
{
    return QByteArrayLiteral("temp\r\n");
}

void CreatePlaceholder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat existing;
    if (::lstat(name.constData(), &existing) == 0) {
        // Opening a pipe or a device would wait for a reader for ever, or write where no file
        // is meant to be.
        if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
            CannotCreate(path, QStringLiteral("It is not a regular file."));
        // The answer was to replace it: the name, not whatever a link at the name points to.
        if (::unlink(name.constData()) != 0)
            CannotCreate(path, SystemText(errno));
    }
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        CannotCreate(path, SystemText(errno));
    const QByteArray text = PlaceholderText();
    const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (written != text.size() || !closed) {
        // A full disk leaves no empty file that looks like an output.
        ::unlink(name.constData());
        CannotCreate(path, SystemText(written < 0              ? writeError
                                      : written != text.size() ? ENOSPC
                                                               : closeError));
    }
}

bool StillPlaceholder(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = PlaceholderText();
    return file.size() == text.size() && file.readAll() == text;
}
