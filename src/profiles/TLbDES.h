#pragma once
// The cipher object of enciphered profiles: DES in electronic code book mode over Base64
// text, with the count of plain bytes kept in the last byte of the final block.

#include "profiles/TDes.h"

#include <QByteArray>
#include <QString>

enum TLbCipherMode
{
    cmECB,
    cmCBC
};

class TLbDES
{
public:
    // Only cmECB is built; any other mode is refused by the operations.
    TLbCipherMode CipherMode = cmECB;

    void SetKey(const TDes::Key& key);
    const TDes::Key& Key() const { return key; }

    // Base64 cipher text in, plain bytes out. Raises AppError "Invalid Base64 Character"
    // or ECipherException "Invalid file format"; no partial result.
    QByteArray DecryptText(const QByteArray& text) const;
    QByteArray DecryptText(const QString& text) const { return DecryptText(text.toUtf8()); }

    // The mirror image: plain bytes in, Base64 cipher text out.
    QByteArray EncryptText(const QByteArray& plain) const;

    // The same without Base64: raw cipher bytes.
    QByteArray DecryptBytes(const QByteArray& cipher) const;
    QByteArray EncryptBytes(const QByteArray& plain) const;

private:
    void CheckMode() const;

    TDes::Key key{};
    TDes des;
};
