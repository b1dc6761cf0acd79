// libFuzzer target over the profile cipher and the profile line parser. Besides "no crash"
// it checks the properties a profile maker relies on: enciphering round-trips, Base64
// round-trips, and splitting loses nothing.

#include "platform/AppError.h"
#include "profiles/ProfileBase64.h"
#include "profiles/ProfileText.h"
#include "profiles/TLbDES.h"
#include "profiles/TPassphraseDigest.h"
#include "profiles/VideoProfile.h"

#include <cstdint>
#include <cstdlib>

namespace {
const TLbDES& ProfileCipher()
{
    static const TLbDES cipher = [] {
        TLbDES c;
        c.SetKey(KeyFromPassphrase(QByteArray(TVideoProfile::Passphrase)));
        return c;
    }();
    return cipher;
}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // The cipher text path on its own.
    try {
        const QByteArray plain = ProfileCipher().DecryptText(bytes);
        Check(plain.size() <= bytes.size());
    } catch (const AppError&) {
    }

    // The whole line parser, plain or enciphered.
    try {
        TVideoProfile profile;
        profile.LoadFromLine(bytes);
    } catch (const AppError&) {
    }

    // Enciphering any bytes and deciphering them gives them back.
    Check(ProfileCipher().DecryptText(ProfileCipher().EncryptText(bytes)) == bytes);
    Check(DecodeProfileBase64(EncodeProfileBase64(bytes)) == bytes);

    // Splitting and joining again gives the text back.
    const QString text = QString::fromUtf8(bytes);
    const QString separator = QLatin1String(TVideoProfile::FieldSeparator);
    const QStringList fields = SplitProfileText(text, separator);
    Check(fields.join(separator) == text);
    Check(SplitProfileText(text, QStringLiteral("|")).join('|') == text);
    return 0;
}
