#pragma once
// The unkeyed 2048-bit digest that turns a passphrase into cipher key bytes.

#include <QByteArray>
#include <array>
#include <cstdint>

class TPassphraseDigest
{
public:
    TPassphraseDigest();

    void Absorb(const QByteArray& bytes);
    void Absorb(std::uint8_t b);

    // Pads, mixes and enciphers the digest; returns its first min(256, wanted) bytes.
    // The object is spent afterwards.
    QByteArray Finish(int wanted);

    // The whole digest of some bytes in one call.
    static QByteArray Compute(const QByteArray& bytes, int wanted);

private:
    std::array<std::uint8_t, 256> digest;
    int digestIndex = 0;
    std::array<std::uint8_t, 16> mixingKey; // K0..K3, little-endian
    int keyIndex = 0;
};

// The first 8 bytes of the digest of the passphrase's bytes (UTF-8, no terminator).
std::array<std::uint8_t, 8> KeyFromPassphrase(const QByteArray& passphrase);
