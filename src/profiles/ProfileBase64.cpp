#include "profiles/ProfileBase64.h"

#include "platform/AppError.h"

#include <array>

namespace {
constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int chunkLength = 88;

// Values of the characters "+" (0x2B) to "z" (0x7A); 127 for those outside the alphabet.
constexpr std::array<std::uint8_t, 0x7A - 0x2B + 1> MakeDecodeTable()
{
    std::array<std::uint8_t, 0x7A - 0x2B + 1> table{};
    for (auto& v : table)
        v = 127;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i]) - 0x2B] = static_cast<std::uint8_t>(i);
    return table;
}
constexpr auto decodeTable = MakeDecodeTable();

unsigned ValueOf(char c)
{
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x2B || code > 0x7A)
        throw AppError(QStringLiteral("Invalid Base64 Character"));
    return decodeTable[code - 0x2B];
}

// One group of one to four characters; a missing character reads as "=".
void DecodeGroup(const char* group, qsizetype length, QByteArray& out)
{
    unsigned g[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < length; ++i)
        g[i] = ValueOf(group[i]);
    if (length < 2)
        return; // a lone character holds no whole byte
    const bool thirdPad = length < 3 || group[2] == '=';
    const bool fourthPad = length < 4 || group[3] == '=';
    out.append(static_cast<char>(((g[0] << 2) | (g[1] >> 4)) & 0xFF));
    if (!thirdPad)
        out.append(static_cast<char>(((g[1] << 4) | (g[2] >> 2)) & 0xFF));
    if (!thirdPad && !fourthPad)
        out.append(static_cast<char>(((g[2] << 6) | g[3]) & 0xFF));
}
} // namespace

QByteArray DecodeProfileBase64(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() / 4 * 3 + 3);
    // Chunks of 88 characters; as 88 is a multiple of four only the last chunk can end
    // in a short group.
    for (qsizetype chunk = 0; chunk < text.size(); chunk += chunkLength) {
        const qsizetype chunkEnd = std::min<qsizetype>(chunk + chunkLength, text.size());
        for (qsizetype pos = chunk; pos < chunkEnd; pos += 4)
            DecodeGroup(text.constData() + pos, std::min<qsizetype>(4, chunkEnd - pos), out);
    }
    return out;
}

QByteArray EncodeProfileBase64(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (qsizetype pos = 0; pos < bytes.size(); pos += 3) {
        const qsizetype left = bytes.size() - pos;
        const unsigned b0 = static_cast<unsigned char>(bytes[pos]);
        const unsigned b1 = left > 1 ? static_cast<unsigned char>(bytes[pos + 1]) : 0;
        const unsigned b2 = left > 2 ? static_cast<unsigned char>(bytes[pos + 2]) : 0;
        out.append(alphabet[b0 >> 2]);
        out.append(alphabet[((b0 & 3u) << 4) | (b1 >> 4)]);
        out.append(left > 1 ? alphabet[((b1 & 0xFu) << 2) | (b2 >> 6)] : '=');
        out.append(left > 2 ? alphabet[b2 & 0x3Fu] : '=');
    }
    return out;
}
