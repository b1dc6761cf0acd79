#include "engine/FileIdentity.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

TFileIdentity FromStat(const struct stat& info)
{
    TFileIdentity identity;
    identity.valid = true;
    identity.device = quint64(info.st_dev);
    identity.inode = quint64(info.st_ino);
    identity.size = qint64(info.st_size);
    identity.changeSeconds = qint64(info.st_ctim.tv_sec);
    identity.changeNanoseconds = qint64(info.st_ctim.tv_nsec);
    return identity;
}

} // namespace

TFileIdentity TFileIdentity::Of(const QString& path)
{
    struct stat info;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return FromStat(info);
}

TFileIdentity TFileIdentity::Reached(const QString& path)
{
    struct stat info;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return FromStat(info);
}

bool TFileIdentity::SameFile(const TFileIdentity& other) const
{
    return valid && other.valid && device == other.device && inode == other.inode;
}

bool TFileIdentity::Unchanged(const TFileIdentity& other) const
{
    return SameFile(other) && size == other.size && changeSeconds == other.changeSeconds &&
           changeNanoseconds == other.changeNanoseconds;
}

QString TFileIdentity::Text() const
{
    if (!valid)
        return QString();
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(device)
        .arg(inode)
        .arg(size)
        .arg(changeSeconds)
        .arg(changeNanoseconds, 9, 10, QChar(u'0'));
}

TFileIdentity TFileIdentity::FromText(const QString& text)
{
    static const QRegularExpression form(
        QStringLiteral("^([0-9]{1,20}):([0-9]{1,20}):([0-9]{1,19}):(-?[0-9]{1,19})\\.([0-9]{9})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return {};
    bool ok[5] = {};
    TFileIdentity identity;
    identity.device = match.captured(1).toULongLong(&ok[0]);
    identity.inode = match.captured(2).toULongLong(&ok[1]);
    identity.size = match.captured(3).toLongLong(&ok[2]);
    identity.changeSeconds = match.captured(4).toLongLong(&ok[3]);
    identity.changeNanoseconds = match.captured(5).toLongLong(&ok[4]);
    for (const bool fine : ok) {
        if (!fine)
            return {};
    }
    identity.valid = true;
    return identity;
}
