// The profile cipher: passphrase digest, DES, profile Base64 and the cipher text layout.

#include "profiles/ECipherException.h"
#include "profiles/ProfileBase64.h"
#include "profiles/TDes.h"
#include "profiles/TLbDES.h"
#include "profiles/TPassphraseDigest.h"
#include "profiles/VideoProfile.h"
#include "support/ErrorOf.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

namespace {
TDes::Key KeyFromHex(const QByteArray& hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    TDes::Key key{};
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

QByteArray HexOf(const TDes::Key& key)
{
    return QByteArray(reinterpret_cast<const char*>(key.data()), 8).toHex().toUpper();
}

TLbDES CipherWithKey(const QByteArray& hexKey)
{
    TLbDES cipher;
    cipher.SetKey(KeyFromHex(hexKey));
    return cipher;
}

QByteArray RandomBytes(QRandomGenerator& rng, int n)
{
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng.bounded(256));
    return bytes;
}

// Runs openssl's DES-ECB without padding; an empty result when openssl cannot do it.
QByteArray OpenSslDes(const QByteArray& hexKey, const QByteArray& data, bool decrypt)
{
    QProcess p;
    QStringList args{"enc",    "-des-ecb",  "-provider",
                     "legacy", "-provider", "default",
                     "-nopad", "-K",        QString::fromLatin1(hexKey)};
    if (decrypt)
        args << "-d";
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(data);
    p.closeWriteChannel();
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}
} // namespace

using TestSupport::ErrorOf;

class tst_ProfileCipher : public QObject
{
    Q_OBJECT

private slots:
    void passphraseDigest_data();
    void passphraseDigest();
    void digestLengthAndClamp();
    void desKnownAnswers_data();
    void desKnownAnswers();
    void desAgainstOpenSsl();
    void base64Groups_data();
    void base64Groups();
    void base64Refuses_data();
    void base64Refuses();
    void base64ChunksMatchOnePass();
    void roundTrips();
    void layoutMatchesOpenSsl();
    void decryptSpecialCases();
    void decryptErrors_data();
    void decryptErrors();
    void profileKey();
};

void tst_ProfileCipher::passphraseDigest_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("first8");
    QTest::newRow("empty") << QByteArray() << QByteArray("0BD132AA831C56AC");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray("2AA17BAA76A4C4CD");
    // Ten bytes run through one mix while absorbing.
    QTest::newRow("abcdefghij") << QByteArray("abcdefghij") << QByteArray("EB8A1F1513FEE484");
}

void tst_ProfileCipher::passphraseDigest()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, first8);
    QCOMPARE(TPassphraseDigest::Compute(input, 8).toHex().toUpper(), first8);
    QCOMPARE(HexOf(KeyFromPassphrase(input)), first8);
    // Absorbing byte by byte is the same as at once.
    TPassphraseDigest d;
    for (char c : input)
        d.Absorb(static_cast<std::uint8_t>(c));
    QCOMPARE(d.Finish(8).toHex().toUpper(), first8);
}

void tst_ProfileCipher::digestLengthAndClamp()
{
    const QByteArray full = TPassphraseDigest::Compute("abc", 256);
    QCOMPARE(full.size(), 256);
    QCOMPARE(TPassphraseDigest::Compute("abc", 1000), full);
    QCOMPARE(TPassphraseDigest::Compute("abc", 16), full.left(16));
    // Eight input bytes get a whole block of padding; seven get one byte.
    QVERIFY(TPassphraseDigest::Compute("abcdefgh", 8) != TPassphraseDigest::Compute("abcdefg", 8));
    QVERIFY(TPassphraseDigest::Compute("abcdefgh", 8) !=
            TPassphraseDigest::Compute(QByteArray("abcdefgh\x01", 9), 8));
}

void tst_ProfileCipher::desKnownAnswers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");
    QTest::newRow("textbook") << QByteArray("133457799BBCDFF1") << QByteArray("0123456789ABCDEF")
                              << QByteArray("85E813540F0AB405");
    QTest::newRow("now is t") << QByteArray("0123456789ABCDEF") << QByteArray("4E6F772069732074")
                              << QByteArray("3FA40E8A984D4815");
    QTest::newRow("to zero") << QByteArray("0E329232EA6D0D73") << QByteArray("8787878787878787")
                             << QByteArray("0000000000000000");
    QTest::newRow("zero key") << QByteArray("0000000000000000") << QByteArray("0000000000000000")
                              << QByteArray("8CA64DE9C1B123A7");
    // Parity bits are ignored: 01 bytes are the zero key.
    QTest::newRow("parity ignored") << QByteArray("0101010101010101") << QByteArray("0000000000000000")
                                    << QByteArray("8CA64DE9C1B123A7");
    QTest::newRow("variable plain") << QByteArray("0101010101010101") << QByteArray("8000000000000000")
                                    << QByteArray("95F8A5E5DD31D900");
    QTest::newRow("variable key") << QByteArray("8001010101010101") << QByteArray("0000000000000000")
                                  << QByteArray("95A8D72813DAA94D");
    QTest::newRow("all ones") << QByteArray("FFFFFFFFFFFFFFFF") << QByteArray("FFFFFFFFFFFFFFFF")
                              << QByteArray("7359B2163E4EDC58");
    QTest::newRow("eay set") << QByteArray("7CA110454A1A6E57") << QByteArray("01A1D6D039776742")
                             << QByteArray("690F5B0D9A26939B");
}

void tst_ProfileCipher::desKnownAnswers()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);
    TDes des;
    des.SetKey(KeyFromHex(key));
    const std::uint64_t p = plain.toULongLong(nullptr, 16);
    const std::uint64_t c = cipher.toULongLong(nullptr, 16);
    QCOMPARE(des.EncryptBlock(p), c);
    QCOMPARE(des.DecryptBlock(c), p);
}

void tst_ProfileCipher::desAgainstOpenSsl()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        QSKIP("openssl is not installed");
    QRandomGenerator rng(20261209);
    for (int round = 0; round < 12; ++round) {
        const QByteArray hexKey = RandomBytes(rng, 8).toHex();
        const QByteArray plain = RandomBytes(rng, 8 * 6);
        const QByteArray expected = OpenSslDes(hexKey, plain, false);
        if (round == 0 && expected.isEmpty())
            QFAIL("openssl enc -des-ecb with the legacy provider did not run");
        QCOMPARE(expected.size(), plain.size());

        TDes des;
        des.SetKey(KeyFromHex(hexKey));
        for (int b = 0; b < 6; ++b) {
            const auto* in = reinterpret_cast<const std::uint8_t*>(plain.constData() + 8 * b);
            const auto* want = reinterpret_cast<const std::uint8_t*>(expected.constData() + 8 * b);
            QCOMPARE(des.EncryptBlock(TDes::LoadBlock(in)), TDes::LoadBlock(want));
            QCOMPARE(des.DecryptBlock(TDes::LoadBlock(want)), TDes::LoadBlock(in));
        }
    }
}

void tst_ProfileCipher::base64Groups_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("three bytes") << QByteArray("QUJD") << QByteArray("ABC");
    QTest::newRow("fourth is =") << QByteArray("QUI=") << QByteArray("AB");
    QTest::newRow("third is =") << QByteArray("QQ==") << QByteArray("A");
    QTest::newRow("third = fourth not") << QByteArray("QQ=Q") << QByteArray("A");
    QTest::newRow("two groups") << QByteArray("QUJDREVG") << QByteArray("ABCDEF");
    QTest::newRow("+ and /") << QByteArray("+/+/") << QByteArray::fromHex("FBFFBF");
    // "=" elsewhere and other in-range characters outside the alphabet count as 127.
    QTest::newRow("= at 2") << QByteArray("Q=Q=") << QByteArray::fromHex("47F4");
    QTest::newRow("brackets") << QByteArray("[[[[") << QByteArray::fromHex("FFFFFF");
    QTest::newRow("underscore") << QByteArray("_AAA") << QByteArray::fromHex("FC0000");
    QTest::newRow("colon") << QByteArray("A:AA") << QByteArray::fromHex("07F000");
    // Incomplete last groups give the bytes they hold; nothing is read past the end.
    QTest::newRow("one char") << QByteArray("Q") << QByteArray();
    QTest::newRow("two chars") << QByteArray("QU") << QByteArray("A");
    QTest::newRow("three chars") << QByteArray("QUJ") << QByteArray("AB");
    QTest::newRow("group and two") << QByteArray("QUJDRE") << QByteArray("ABCD");
}

void tst_ProfileCipher::base64Groups()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(DecodeProfileBase64(text), bytes);
}

void tst_ProfileCipher::base64Refuses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("blank") << QByteArray("QU D");
    QTest::newRow("bar") << QByteArray("QU|D");
    QTest::newRow("star below +") << QByteArray("*UJD");
    QTest::newRow("brace above z") << QByteArray("QUJ{");
    QTest::newRow("line break") << QByteArray("QUJD\n");
    QTest::newRow("non-ASCII") << QByteArray("QUJ\xc3\xa4");
    QTest::newRow("nul") << QByteArray("QU\0D", 4);
    QTest::newRow("in a short last group") << QByteArray("QUJDQ ");
    QTest::newRow("plain profile line") << QByteArray("MP4[MORVANE] [MORVANE]mp4");
}

void tst_ProfileCipher::base64Refuses()
{
    QFETCH(QByteArray, text);
    QCOMPARE(ErrorOf([&] { DecodeProfileBase64(text); }), QStringLiteral("Invalid Base64 Character"));
    const TLbDES cipher = CipherWithKey("0123456789ABCDEF");
    QCOMPARE(ErrorOf([&] { cipher.DecryptText(text); }), QStringLiteral("Invalid Base64 Character"));
}

void tst_ProfileCipher::base64ChunksMatchOnePass()
{
    QRandomGenerator rng(7);
    for (int n : {0, 1, 65, 66, 67, 131, 132, 133, 200}) {
        const QByteArray bytes = RandomBytes(rng, n);
        const QByteArray text = bytes.toBase64();
        QCOMPARE(EncodeProfileBase64(bytes), text);
        QCOMPARE(DecodeProfileBase64(text), bytes);
    }
    // 176 characters: two chunks of 88, the same as one pass.
    const QByteArray bytes = RandomBytes(rng, 132);
    QCOMPARE(bytes.toBase64().size(), 176);
    QCOMPARE(DecodeProfileBase64(bytes.toBase64()), bytes);
    // A chunk of 88 followed by an incomplete group.
    const QByteArray text = bytes.toBase64().left(90);
    QCOMPARE(DecodeProfileBase64(text), bytes.left(67));
}

void tst_ProfileCipher::roundTrips()
{
    QRandomGenerator rng(11);
    const TLbDES cipher = CipherWithKey("3B3898371520F75E");
    TDes des;
    des.SetKey(cipher.Key());
    for (int n = 0; n <= 40; ++n) {
        const QByteArray plain = RandomBytes(rng, n);
        const QByteArray raw = cipher.EncryptBytes(plain);
        QCOMPARE(raw.size(), 8 * (n / 8 + 1));
        // The final block: the rest, zeros, and the count in byte 8.
        std::uint8_t last[8];
        TDes::StoreBlock(des.DecryptBlock(TDes::LoadBlock(
                             reinterpret_cast<const std::uint8_t*>(raw.constData() + raw.size() - 8))),
                         last);
        QCOMPARE(int(last[7]), n % 8);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(last), n % 8), plain.right(n % 8));
        for (int i = n % 8; i < 7; ++i)
            QCOMPARE(int(last[i]), 0);

        const QByteArray text = cipher.EncryptText(plain);
        QCOMPARE(text, raw.toBase64());
        QCOMPARE(cipher.DecryptText(text), plain);
        QCOMPARE(cipher.DecryptText(QString::fromLatin1(text)), plain);
    }
}

void tst_ProfileCipher::layoutMatchesOpenSsl()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        QSKIP("openssl is not installed");
    const QByteArray hexKey = "0E329232EA6D0D73";
    const QByteArray plain = "MP4[MORVANE]x"; // 13 bytes: one full block and five in the last
    QByteArray padded = plain + QByteArray(2, '\0');
    padded.append(char(5));
    QCOMPARE(CipherWithKey(hexKey).EncryptBytes(plain), OpenSslDes(hexKey, padded, false));
    QCOMPARE(CipherWithKey(hexKey).DecryptBytes(OpenSslDes(hexKey, padded, false)), plain);
}

void tst_ProfileCipher::decryptSpecialCases()
{
    const TLbDES cipher = CipherWithKey("133457799BBCDFF1");
    // One block whose count byte is 0 is the empty text.
    const QByteArray empty = cipher.EncryptText(QByteArray());
    QCOMPARE(empty.size(), 12);
    QCOMPARE(cipher.DecryptText(empty), QByteArray());

    // 12 characters are 9 bytes: the first block alone is the final block.
    const QByteArray nine = (cipher.EncryptBytes("abc") + 'X').toBase64();
    QCOMPARE(nine.size(), 12);
    QCOMPARE(cipher.DecryptText(nine), QByteArray("abc"));

    // A multiple of 8 ends in a block of eight zero bytes.
    const QByteArray eight = cipher.EncryptBytes("12345678");
    QCOMPARE(eight.size(), 16);
    QCOMPARE(cipher.DecryptBytes(eight.left(8) + cipher.EncryptBytes(QByteArray())), QByteArray("12345678"));
}

void tst_ProfileCipher::decryptErrors_data()
{
    const TLbDES cipher = CipherWithKey("133457799BBCDFF1");
    TDes des;
    des.SetKey(cipher.Key());
    auto blockWithCount = [&](int count) {
        std::uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, std::uint8_t(count)};
        std::uint8_t out[8];
        TDes::StoreBlock(des.EncryptBlock(TDes::LoadBlock(bytes)), out);
        return QByteArray(reinterpret_cast<const char*>(out), 8).toBase64();
    };

    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << QByteArray() << "Invalid file format";
    QTest::newRow("three bytes") << QByteArray("QUJD") << "Invalid file format";
    QTest::newRow("seven bytes") << QByteArray("QUJDREVGRw==") << "Invalid file format";
    QTest::newRow("count 8") << blockWithCount(8) << "Invalid file format";
    QTest::newRow("count 255") << blockWithCount(255) << "Invalid file format";
    QTest::newRow("count 7 is fine") << blockWithCount(7) << QString();
}

void tst_ProfileCipher::decryptErrors()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    const TLbDES cipher = CipherWithKey("133457799BBCDFF1");
    bool cipherException = false;
    QString got;
    try {
        cipher.DecryptText(text);
    } catch (const ECipherException& e) {
        cipherException = true;
        got = e.Text();
    }
    QCOMPARE(got, error);
    QCOMPARE(cipherException, !error.isEmpty());
}

void tst_ProfileCipher::profileKey()
{
    // The profile key comes from the passphrase "tarn"; enciphered lines round-trip with it.
    QCOMPARE(HexOf(KeyFromPassphrase("tarn")), QByteArray("B82CC9087369798E"));
    const QByteArray plain = "Name[MORVANE]x";
    const QByteArray line = TVideoProfile::EncipherLine(plain);
    QVERIFY(!line.contains('['));
    QCOMPARE(TVideoProfile::PlainLine(line), plain);
    QCOMPARE(TVideoProfile::PlainLine(plain), plain);
}

QTEST_GUILESS_MAIN(tst_ProfileCipher)
#include "tst_ProfileCipher.moc"
