#include "profiles/TLbDES.h"

#include "profiles/ECipherException.h"
#include "profiles/ProfileBase64.h"

void TLbDES::SetKey(const TDes::Key& newKey)
{
    key = newKey;
    des.SetKey(key);
}

void TLbDES::CheckMode() const
{
    if (CipherMode != cmECB)
        throw ECipherException(QStringLiteral("Cipher mode not supported"));
}

QByteArray TLbDES::DecryptText(const QByteArray& text) const
{
    return DecryptBytes(DecodeProfileBase64(text));
}

QByteArray TLbDES::EncryptText(const QByteArray& plain) const
{
    return EncodeProfileBase64(EncryptBytes(plain));
}

QByteArray TLbDES::DecryptBytes(const QByteArray& cipher) const
{
    CheckMode();
    const qsizetype blocks = cipher.size() / 8;
    if (blocks == 0)
        throw ECipherException(QStringLiteral("Invalid file format"));

    const auto* in = reinterpret_cast<const std::uint8_t*>(cipher.constData());
    QByteArray plain(blocks * 8, Qt::Uninitialized);
    auto* out = reinterpret_cast<std::uint8_t*>(plain.data());
    for (qsizetype i = 0; i < blocks; ++i)
        TDes::StoreBlock(des.DecryptBlock(TDes::LoadBlock(in + 8 * i)), out + 8 * i);

    // The final block holds its byte count in its last byte; more than 7 means a wrong key
    // or damaged data, and reading on would pass the block's end.
    const int count = out[blocks * 8 - 1];
    if (count > 7)
        throw ECipherException(QStringLiteral("Invalid file format"));
    plain.truncate((blocks - 1) * 8 + count);
    return plain;
}

QByteArray TLbDES::EncryptBytes(const QByteArray& plain) const
{
    CheckMode();
    const qsizetype fullBlocks = plain.size() / 8;
    const int rest = static_cast<int>(plain.size() % 8);

    QByteArray padded(plain);
    padded.append(QByteArray(8 - rest, '\0'));
    padded[padded.size() - 1] = static_cast<char>(rest);

    QByteArray cipher(padded.size(), Qt::Uninitialized);
    const auto* in = reinterpret_cast<const std::uint8_t*>(padded.constData());
    auto* out = reinterpret_cast<std::uint8_t*>(cipher.data());
    for (qsizetype i = 0; i <= fullBlocks; ++i)
        TDes::StoreBlock(des.EncryptBlock(TDes::LoadBlock(in + 8 * i)), out + 8 * i);
    return cipher;
}
