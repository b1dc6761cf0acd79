// Loading profile files into TVideoProfile: the field and piece rules, partial assignment on
// failure, the first-line rule and files that are not profiles at all.

#include "profiles/ProfileFolder.h"
#include "profiles/ProfileText.h"
#include "profiles/VideoProfile.h"
#include "support/AsNobody.h"
#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QStringList oldFields = {"Old",   "old spare", "avi",       "avi",   "xvid|xvid|1", "1|1|0", "2|2|0",
                               "3|3|0", "0",         "mp3|mp3|1", "4|4|0", "5|5|0",       "6|6|0", "1"};
const QStringList newFields = {"New Video",
                               "spare",
                               "mp4",
                               "mp4",
                               "mpeg4|mpeg4|0",
                               "768|512;768;-1|1",
                               "-1|-1;25;29.97|1",
                               "[iPod]320x240|[iPod]320x240;[PSP]480x272;-1|1",
                               "1",
                               "aac|aac|0",
                               "128|96;128;-1|1",
                               "44100|44100;48000|1",
                               "2|1;2|0",
                               "0"};

QByteArray Line(const QStringList& fields)
{
    return fields.join(QStringLiteral("[MORVANE]")).toUtf8();
}

QStringList With(QStringList fields, int index, const QString& value)
{
    fields[index] = value;
    return fields;
}

QString ChoiceText(const ProfileChoice& c)
{
    return c.Value + '|' + c.Choices + '|' + (c.Enabled ? '1' : '0');
}

// Every member in field order, flags as 1 and 0, so whole states compare in one go.
QStringList Dump(const TVideoProfile& p)
{
    return {p.DisplayName(),
            p.SpareText(),
            p.Extension(),
            p.ContainerFormat(),
            ChoiceText(p.VideoCodec()),
            ChoiceText(p.VideoBitrate()),
            ChoiceText(p.FrameRate()),
            ChoiceText(p.VideoSize()),
            p.HasVideo() ? "1" : "0",
            ChoiceText(p.AudioCodec()),
            ChoiceText(p.AudioBitrate()),
            ChoiceText(p.SampleRate()),
            ChoiceText(p.Channel()),
            p.TrailingFlag() ? "1" : "0"};
}

// What a loaded profile should show for these fields: flags reduced to 1 or 0.
QStringList Expected(QStringList fields)
{
    for (int i : {8, 13})
        fields[i] = ProfileFlag(fields[i]) ? "1" : "0";
    return fields;
}

} // namespace

using TestSupport::ErrorOf;
using TestSupport::WriteTempFile;

class tst_VideoProfile : public QObject
{
    Q_OBJECT

private slots:
    void splitRule_data();
    void splitRule();
    void startsEmpty();
    void loadLine_data();
    void loadLine();
    void flags_data();
    void flags();
    void encipheredLoadsLikePlain();
    void firstLineOnly_data();
    void firstLineOnly();
    void unreadable_data();
    void unreadable();
    void unreadableByPermission();
    void readErrorMidFile();
    void badBytes();
    void truncatedCipherText();
    void hugeLine();
    void folderListing();

private:
    QTemporaryDir tmp;
};

void tst_VideoProfile::splitRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("no separator") << "abc" << QStringList{"abc"};
    QTest::newRow("empty") << "" << QStringList{""};
    QTest::newRow("empty fields count") << "a[MORVANE][MORVANE]" << QStringList{"a", "", ""};
    QTest::newRow("leading") << "[MORVANE]b" << QStringList{"", "b"};
    QTest::newRow("blanks kept") << " a [MORVANE] mp4" << QStringList{" a ", " mp4"};
    QTest::newRow("case counts") << "a[morvane]b[MORVANE]c" << QStringList{"a[morvane]b", "c"};
    QTest::newRow("overlap") << "[MORVANE[MORVANE]]" << QStringList{"[MORVANE", "]"};
}

void tst_VideoProfile::splitRule()
{
    QFETCH(QString, text);
    QFETCH(QStringList, fields);
    QCOMPARE(SplitProfileText(text, "[MORVANE]"), fields);
}

void tst_VideoProfile::startsEmpty()
{
    const TVideoProfile p;
    QCOMPARE(Dump(p),
             QStringList({"", "", "", "", "||0", "||0", "||0", "||0", "0", "||0", "||0", "||0", "||0", "0"}));
}

// Each row loads `line` over a profile holding oldFields and compares the whole state.
void tst_VideoProfile::loadLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("fourteen fields") << Line(newFields) << QString() << Expected(newFields);
    QTest::newRow("extra fields ignored")
        << Line(newFields + QStringList{"x", "y|z"}) << QString() << Expected(newFields);
    QTest::newRow("fourth piece ignored") << Line(With(newFields, 5, "768|512;768|1|extra")) << QString()
                                          << Expected(With(newFields, 5, "768|512;768|1"));
    QTest::newRow("empty texts and choices")
        << Line(With(With(With(newFields, 0, ""), 3, ""), 4, "||")) << QString()
        << Expected(With(With(With(newFields, 0, ""), 3, ""), 4, "||1"));
    QTest::newRow("blank before extension")
        << Line(With(newFields, 2, " mp4")) << QString() << Expected(With(newFields, 2, " mp4"));
    QTest::newRow("non-ASCII name") << Line(With(newFields, 0, "视频 Vidéo")) << QString()
                                    << Expected(With(newFields, 0, "视频 Vidéo"));

    // Ten fields: fields 1 to 10 are new, the rest old; the missing field is number 10.
    QStringList ten = Expected(newFields).mid(0, 10) + Expected(oldFields).mid(10);
    QTest::newRow("ten fields") << Line(newFields.mid(0, 10)) << "List index out of bounds (10)" << ten;
    QStringList thirteen = Expected(newFields).mid(0, 13) + Expected(oldFields).mid(13);
    QTest::newRow("thirteen fields") << Line(newFields.mid(0, 13)) << "List index out of bounds (13)"
                                     << thirteen;
    // One separator: two fields.
    QStringList two = Expected(newFields).mid(0, 2) + Expected(oldFields).mid(2);
    QTest::newRow("one separator") << Line(newFields.mid(0, 2)) << "List index out of bounds (2)" << two;

    // Field 11 is just 128: its Value is new, its other pieces and everything after old.
    QStringList eleven = Expected(newFields).mid(0, 10);
    eleven << "128|4|0" << Expected(oldFields).mid(11);
    QTest::newRow("choice of one piece")
        << Line(With(newFields, 10, "128")) << "List index out of bounds (1)" << eleven;
    // Two pieces: Value and Choices are new, Enabled old.
    QStringList six = Expected(newFields).mid(0, 5);
    six << "128|96;128|0" << Expected(oldFields).mid(6);
    QTest::newRow("choice of two pieces")
        << Line(With(newFields, 5, "128|96;128")) << "List index out of bounds (2)" << six;
    // An empty choice field is one empty piece.
    QStringList emptyChoice = Expected(newFields).mid(0, 4);
    emptyChoice << "|xvid|1" << Expected(oldFields).mid(5);
    QTest::newRow("empty choice field")
        << Line(With(newFields, 4, "")) << "List index out of bounds (1)" << emptyChoice;

    // A separator in other letter case makes the line enciphered, and deciphering fails.
    QTest::newRow("lower-case separator")
        << newFields.join("[morvane]").toUtf8() << "Invalid Base64 Character" << Expected(oldFields);
    QTest::newRow("empty line") << QByteArray() << "Invalid file format" << Expected(oldFields);
}

void tst_VideoProfile::loadLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, error);
    QFETCH(QStringList, after);

    TVideoProfile p;
    p.LoadFromLine(Line(oldFields));
    QCOMPARE(Dump(p), Expected(oldFields));

    QCOMPARE(ErrorOf([&] { p.LoadFromLine(line); }), error);
    QCOMPARE(Dump(p), after);

    // The same through a file.
    TVideoProfile q;
    q.LoadFromLine(Line(oldFields));
    const QString path = WriteTempFile(tmp, "load.pf", line + "\r\n");
    QCOMPARE(ErrorOf([&] { q.LoadFromFile(path); }), error);
    QCOMPARE(Dump(q), after);
}

void tst_VideoProfile::flags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("on");
    QTest::newRow("0") << "0" << false;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("00") << "00" << true;
    QTest::newRow("blank 0") << " 0" << true;
    QTest::newRow("0 blank") << "0 " << true;
    QTest::newRow("yes") << "yes" << true;
    QTest::newRow("false") << "false" << true;
}

void tst_VideoProfile::flags()
{
    QFETCH(QString, text);
    QFETCH(bool, on);
    // The same rule for HasVideo, TrailingFlag and a choice's Enabled piece.
    QStringList fields = newFields;
    fields[8] = text;
    fields[13] = text;
    fields[12] = "2|1;2|" + text;
    TVideoProfile p;
    p.LoadFromLine(Line(fields));
    QCOMPARE(p.HasVideo(), on);
    QCOMPARE(p.TrailingFlag(), on);
    QCOMPARE(p.Channel().Enabled, on);
}

void tst_VideoProfile::encipheredLoadsLikePlain()
{
    const QString plain = WriteTempFile(tmp, "plain.pf", Line(newFields) + "\n");
    const QString ciphered =
        WriteTempFile(tmp, "ciphered.pf", TVideoProfile::EncipherLine(Line(newFields)) + "\r\n");
    TVideoProfile a, b;
    a.LoadFromFile(plain);
    b.LoadFromFile(ciphered);
    QCOMPARE(Dump(b), Dump(a));
    QCOMPARE(Dump(a), Expected(newFields));
    // A second load replaces every member.
    const QString other = WriteTempFile(tmp, "other.pf", Line(oldFields));
    b.LoadFromFile(other);
    QCOMPARE(Dump(b), Expected(oldFields));
}

void tst_VideoProfile::firstLineOnly_data()
{
    const QByteArray line = Line(newFields);
    const QByteArray head = Line(newFields.mid(0, 7));
    const QByteArray tail = "[MORVANE]" + Line(newFields.mid(7));
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("no break") << line << QString();
    QTest::newRow("LF") << line + "\nrubbish" << QString();
    QTest::newRow("CR LF") << line + "\r\n" + line << QString();
    QTest::newRow("CR") << line + "\r" << QString();
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + line << QString();
    QTest::newRow("fields past LF") << head + "\n" + tail << "List index out of bounds (7)";
    QTest::newRow("fields past CR LF") << head + "\r\n" + tail << "List index out of bounds (7)";
    QTest::newRow("empty file") << QByteArray() << "Invalid file format";
    QTest::newRow("only a break") << QByteArray("\n") << "Invalid file format";
    QTest::newRow("empty first line") << "\n" + line << "Invalid file format";
}

void tst_VideoProfile::firstLineOnly()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const QString path = WriteTempFile(tmp, "first.pf", content);
    TVideoProfile p;
    QCOMPARE(ErrorOf([&] { p.LoadFromFile(path); }), error);
    if (error.isEmpty())
        QCOMPARE(Dump(p), Expected(newFields));
}

void tst_VideoProfile::unreadable_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("error");
    QDir(tmp.path()).mkpath("folder.pf");
    const QString missing = tmp.filePath("missing.pf");
    const QString folder = tmp.filePath("folder.pf");
    const QString dangling = tmp.filePath("dangling.pf");
    QFile::link(tmp.filePath("nowhere"), dangling);
    QTest::newRow("missing") << missing << "File not found: " + missing;
    QTest::newRow("folder") << folder << "Cannot read " + folder + ": it is a folder";
    QTest::newRow("dangling link") << dangling << "File not found: " + dangling;
    const QString pipe = tmp.filePath("pipe.pf");
    if (mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0)
        QTest::newRow("named pipe") << pipe << "Cannot read " + pipe + ": not a regular file";
    QTest::newRow("device") << "/dev/zero"
                            << "Cannot read /dev/zero: not a regular file";
}

void tst_VideoProfile::unreadable()
{
    QFETCH(QString, path);
    QFETCH(QString, error);
    TVideoProfile p;
    p.LoadFromLine(Line(oldFields));
    QCOMPARE(ErrorOf([&] { p.LoadFromFile(path); }), error);
    QCOMPARE(Dump(p), Expected(oldFields)); // nothing changed
}

void tst_VideoProfile::unreadableByPermission()
{
    // File permissions do not stop the superuser: the check runs as an ordinary user then.
    VELMORA_RUN_AS_NOBODY_WHEN_ROOT();
    const QString path = WriteTempFile(tmp, "locked.pf", Line(newFields));
    QFile::setPermissions(path, QFileDevice::Permissions());
    TVideoProfile p;
    const QString error = ErrorOf([&] { p.LoadFromFile(path); });
    QVERIFY2(error.startsWith("Cannot read " + path + ": "), qPrintable(error));
}

void tst_VideoProfile::readErrorMidFile()
{
    // Reading a process's own memory from address 0 opens but fails to read (EIO), even as root.
    const QString path = QStringLiteral("/proc/self/mem");
    if (!QFile::exists(path))
        QSKIP("no /proc");
    TVideoProfile p;
    const QString error = ErrorOf([&] { p.LoadFromFile(path); });
    QVERIFY2(error.startsWith("Cannot read /proc/self/mem: "), qPrintable(error));
}

void tst_VideoProfile::badBytes()
{
    // Random bytes: every load ends in one of the profile errors, never a crash.
    QRandomGenerator rng(4711);
    const QStringList known = {"Invalid Base64 Character", "Invalid file format", "List index out of bounds"};
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes(rng.bounded(1, 300), '\0');
        for (char& c : bytes)
            c = static_cast<char>(round < 150 ? rng.bounded(256) : rng.bounded(0x2B, 0x7B));
        TVideoProfile p;
        const QString error = ErrorOf([&] { p.LoadFromLine(bytes); });
        const bool ok =
            std::any_of(known.begin(), known.end(), [&](const QString& k) { return error.startsWith(k); });
        QVERIFY2(ok, qPrintable(QString("%1: %2").arg(QString::fromLatin1(bytes.toHex()), error)));
    }
}

void tst_VideoProfile::truncatedCipherText()
{
    const QByteArray line = TVideoProfile::EncipherLine(Line(newFields));
    QVERIFY(line.size() > 100);
    // Lost "=" padding changes nothing (a short last group gives its bytes); any more lost
    // characters lose bytes of the final block, and the load fails.
    const qsizetype whole = line.size() - line.count('=');
    for (qsizetype n = 0; n < whole; ++n) {
        TVideoProfile p;
        const QString error = ErrorOf([&] { p.LoadFromLine(line.left(n)); });
        QVERIFY2(!error.isEmpty(), qPrintable(QString::number(n)));
    }
    for (qsizetype n = whole; n <= line.size(); ++n) {
        TVideoProfile p;
        p.LoadFromLine(line.left(n));
        QCOMPARE(Dump(p), Expected(newFields));
    }
}

void tst_VideoProfile::hugeLine()
{
    const QByteArray ten = QByteArray(10 * 1024 * 1024, 'A');
    TVideoProfile p;
    // Enciphered: the final block of zero bytes deciphers to garbage.
    const QString a = ErrorOf([&] { p.LoadFromFile(WriteTempFile(tmp, "huge1.pf", ten)); });
    QVERIFY2(a == "Invalid file format" || a.startsWith("List index out of bounds"), qPrintable(a));
    // Plain: many fields, but the fifth is no choice.
    QByteArray plain;
    while (plain.size() < ten.size())
        plain += "abcdefgh[MORVANE]";
    QCOMPARE(ErrorOf([&] { p.LoadFromFile(WriteTempFile(tmp, "huge2.pf", plain)); }),
             QStringLiteral("List index out of bounds (1)"));
    QCOMPARE(p.DisplayName(), QStringLiteral("abcdefgh"));
    // Past the length limit a line is refused before it is taken apart.
    const QString endless = tmp.filePath("endless.pf");
    {
        QFile f(endless);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(TVideoProfile::MaxLineLength + 1)); // sparse: zeros without a line break
    }
    QCOMPARE(ErrorOf([&] { p.LoadFromFile(endless); }), QStringLiteral("Invalid file format"));
    QFile::remove(endless);
}

void tst_VideoProfile::folderListing()
{
    QTemporaryDir dir;
    WriteTempFile(dir, "b.pf", Line(newFields));
    WriteTempFile(dir, "a.PF", TVideoProfile::EncipherLine(Line(oldFields)));
    WriteTempFile(dir, "c.txt", "x");
    WriteTempFile(dir, "d.pf", "broken");
    QDir(dir.path()).mkpath("e.pf");
    const QStringList files = ListProfileFiles(dir.path());
    QCOMPARE(files, QStringList({dir.filePath("a.PF"), dir.filePath("b.pf"), dir.filePath("d.pf")}));
    int loaded = 0;
    const QStringList failures = CheckProfileFolder(dir.path(), &loaded);
    QCOMPARE(loaded, 2);
    QCOMPARE(failures, QStringList({dir.filePath("d.pf") + ": Invalid file format"}));
    QCOMPARE(ErrorOf([&] { ListProfileFiles(dir.filePath("none")); }),
             "Folder not found: " + dir.filePath("none"));
}

QTEST_GUILESS_MAIN(tst_VideoProfile)
#include "tst_VideoProfile.moc"
