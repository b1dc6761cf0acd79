#include "engine/OutputFile.h"

#include "platform/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Reasons that belong to the one name; anything else (a full disk, a folder that cannot be
// written or is gone) would meet every other name in the folder as well.
bool NameOnly(int code)
{
    return code == ENAMETOOLONG || code == EEXIST || code == EISDIR || code == EILSEQ || code == EINVAL;
}

[[noreturn]] void CannotCreate(const QString& path, int code)
{
    throw TOutputError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, SystemText(code)),
                       !NameOnly(code));
}

// 0 when made, else the reason.
int TryPlaceholder(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL and O_NOFOLLOW: nothing at the name is ever opened, not even through a link.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    const QByteArray text = PlaceholderText();
    const ssize_t written = ::write(fd, text.constData(), size_t(text.size()));
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (written == text.size() && closed)
        return 0;
    // A full disk leaves no empty file that looks like an output.
    ::unlink(name.constData());
    return written < 0 ? writeError : written != text.size() ? ENOSPC : closeError;
}

const QString partialMark = QStringLiteral(".velmora-");
constexpr int partialRandomLength = 6;

qsizetype NameMax(const QString& folder)
{
    const long most = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return most > 0 ? qsizetype(most) : 255;
}

QString RandomPart()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString text;
    for (int i = 0; i < partialRandomLength; ++i)
        text += QChar(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return text;
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

void ReservePlaceholder(const QString& path)
{
    if (const int code = TryPlaceholder(path))
        CannotCreate(path, code);
}

bool StillPlaceholder(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = PlaceholderText();
    return file.size() == text.size() && file.readAll() == text;
}

QString CreatePartial(const QString& outputPath)
{
    const QFileInfo output(outputPath);
    const QString folder = output.path() + u'/';
    const QString extension = ExtensionWithDot(output.fileName());
    QString kept = output.fileName();
    // The output's own name may just fit: the partial one then keeps only what fits of it.
    const qsizetype most = NameMax(folder);
    const qsizetype fixedPart = QFile::encodeName(u'.' + partialMark + RandomPart() + extension).size();
    while (!kept.isEmpty() && QFile::encodeName(kept).size() + fixedPart > most) {
        kept.chop(1);
        if (!kept.isEmpty() && kept.back().isHighSurrogate())
            kept.chop(1);
    }
    int code = 0;
    QString path;
    // A random name that is taken already is tried again with another.
    for (int attempt = 0; attempt < 20; ++attempt) {
        path = folder + u'.' + kept + partialMark + RandomPart() + extension;
        code = TryPlaceholder(path);
        if (code != EEXIST)
            break;
    }
    if (code != 0)
        CannotCreate(path, code);
    return path;
}

bool IsPartialOf(const QString& candidate, const QString& outputPath)
{
    const QFileInfo output(outputPath);
    const QFileInfo partial(candidate);
    if (partial.path() != output.path())
        return false;
    const QString name = partial.fileName();
    const QString extension = ExtensionWithDot(output.fileName());
    static const QRegularExpression tail(QStringLiteral("\\.velmora-[a-z0-9]{%1}$").arg(partialRandomLength));
    if (!name.startsWith(u'.') || !name.endsWith(extension))
        return false;
    const QString head = name.left(name.size() - extension.size());
    const QRegularExpressionMatch match = tail.match(head);
    if (!match.hasMatch())
        return false;
    // What is left of the output's name: all of it, or the start of it when it was too long.
    const QString kept = head.mid(1, match.capturedStart() - 1);
    return output.fileName().startsWith(kept);
}
