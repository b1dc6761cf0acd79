#include "profiles/VideoProfile.h"

#include "platform/AppError.h"
#include "profiles/ProfileText.h"
#include "profiles/TLbDES.h"
#include "profiles/TPassphraseDigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace {

AppError ListIndexError(qsizetype index)
{
    return AppError(QStringLiteral("List index out of bounds (%1)").arg(index));
}

const QString& Piece(const QStringList& list, qsizetype index)
{
    if (index >= list.size())
        throw ListIndexError(index);
    return list.at(index);
}

// Writes the pieces one by one, so a short field leaves the earlier pieces assigned.
void AssignChoice(ProfileChoice& choice, const QString& field)
{
    const QStringList pieces = SplitProfileText(field, QStringLiteral("|"));
    choice.Value = Piece(pieces, 0);
    choice.Choices = Piece(pieces, 1);
    choice.Enabled = ProfileFlag(Piece(pieces, 2));
}

TLbDES ProfileCipher()
{
    TLbDES cipher;
    cipher.CipherMode = cmECB;
    cipher.SetKey(KeyFromPassphrase(QByteArray(TVideoProfile::Passphrase)));
    return cipher;
}

} // namespace

QByteArray TVideoProfile::ReadFirstLine(const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        throw AppError(QStringLiteral("File not found: %1").arg(shown));
    if (info.isDir())
        throw AppError(QStringLiteral("Cannot read %1: it is a folder").arg(shown));
    // A pipe or device could block the window for good or never end.
    if (!info.isFile())
        throw AppError(QStringLiteral("Cannot read %1: not a regular file").arg(shown));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot read %1: %2").arg(shown, file.errorString()));

    QByteArray line;
    char buffer[65536];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got < 0)
            throw AppError(QStringLiteral("Cannot read %1: %2").arg(shown, file.errorString()));
        if (got == 0)
            break;
        qint64 end = 0;
        while (end < got && buffer[end] != '\n' && buffer[end] != '\r')
            ++end;
        line.append(buffer, end);
        if (line.size() > MaxLineLength)
            throw AppError(QStringLiteral("Invalid file format"));
        if (end < got)
            break;
    }
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    return line;
}

QByteArray TVideoProfile::PlainLine(const QByteArray& line)
{
    if (line.contains(FieldSeparator))
        return line;
    return ProfileCipher().DecryptText(line);
}

QByteArray TVideoProfile::EncipherLine(const QByteArray& plainLine)
{
    return ProfileCipher().EncryptText(plainLine);
}

void TVideoProfile::LoadFromFile(const QString& path)
{
    LoadFromLine(ReadFirstLine(path));
}

void TVideoProfile::LoadFromLine(const QByteArray& line)
{
    const QStringList fields =
        SplitProfileText(QString::fromUtf8(PlainLine(line)), QLatin1String(FieldSeparator));

    // Field by field in file order: a failure leaves the earlier members assigned.
    displayName = Piece(fields, 0);
    spareText = Piece(fields, 1);
    extension = Piece(fields, 2);
    containerFormat = Piece(fields, 3);
    AssignChoice(videoCodec, Piece(fields, 4));
    AssignChoice(videoBitrate, Piece(fields, 5));
    AssignChoice(frameRate, Piece(fields, 6));
    AssignChoice(videoSize, Piece(fields, 7));
    hasVideo = ProfileFlag(Piece(fields, 8));
    AssignChoice(audioCodec, Piece(fields, 9));
    AssignChoice(audioBitrate, Piece(fields, 10));
    AssignChoice(sampleRate, Piece(fields, 11));
    AssignChoice(channel, Piece(fields, 12));
    trailingFlag = ProfileFlag(Piece(fields, 13));
}
