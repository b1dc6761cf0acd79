// INI access with the Windows profile semantics: what a read finds in a given file, and what a
// write leaves in it.
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::ReadAll;

namespace {

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void readString_data();
    void readString();
    void readInteger_data();
    void readInteger();
    void unusualFiles_data();
    void unusualFiles();
    void write_data();
    void write();
    void writeThenRead();
    void valuesReadBackExactly_data();
    void valuesReadBackExactly();
    void nothingIsCached();
    void writeFailure_data();
    void writeFailure();
    void readAllAsReadString_data();
    void readAllAsReadString();
    void readAllUnreadable();
    void writeAllReadsBack();
    void writeAllFailure();
    void writerWithoutCommit();
    void writerInPieces();

private:
    QTemporaryDir dir;
    QString path;
};

void TestIniFile::init()
{
    QVERIFY(dir.isValid());
    path = dir.filePath(QStringLiteral("config.ini"));
    QFile::remove(path);
}

void TestIniFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // "<default>" when the key counts as missing

    const QByteArray basic = "[setting]\noutputFolder=c:\\\nlogfile=1\n[skin]\nskin=4\n";
    QTest::newRow("plain") << basic << "setting"
                           << "outputFolder"
                           << "c:\\";
    QTest::newRow("section without regard to case") << basic << "SETTING"
                                                    << "logfile"
                                                    << "1";
    QTest::newRow("key without regard to case") << basic << "skin"
                                                << "SKIN"
                                                << "4";
    QTest::newRow("key of another section") << basic << "skin"
                                            << "logfile"
                                            << "<default>";
    QTest::newRow("missing section") << basic << "common"
                                     << "language"
                                     << "<default>";
    QTest::newRow("missing key") << basic << "setting"
                                 << "displayHelpDialog"
                                 << "<default>";
    QTest::newRow("blanks around name and value")
        << QByteArray("  [ setting ]  \n  logfile   =   2  \n") << "setting"
        << "logfile"
        << "2";
    QTest::newRow("double quotes stripped") << QByteArray("[a]\nk=\"  x y  \"\n") << "a"
                                            << "k"
                                            << "  x y  ";
    QTest::newRow("single quotes stripped") << QByteArray("[a]\nk='x'\n") << "a"
                                            << "k"
                                            << "x";
    QTest::newRow("unmatched quotes kept") << QByteArray("[a]\nk=\"x'\n") << "a"
                                           << "k"
                                           << "\"x'";
    QTest::newRow("one quote alone kept") << QByteArray("[a]\nk=\"\n") << "a"
                                          << "k"
                                          << "\"";
    QTest::newRow("empty value is a value") << QByteArray("[a]\nk=\n") << "a"
                                            << "k"
                                            << "";
    QTest::newRow("equals sign inside value") << QByteArray("[a]\nk=b=c\n") << "a"
                                              << "k"
                                              << "b=c";
    QTest::newRow("first of duplicate keys wins") << QByteArray("[a]\nk=1\nK=2\n") << "a"
                                                  << "k"
                                                  << "1";
    QTest::newRow("first of duplicate sections wins")
        << QByteArray("[a]\nk=1\n[b]\nk=2\n[A]\nk=3\nonlyhere=4\n") << "a"
        << "k"
        << "1";
    QTest::newRow("keys of a repeated section are not seen")
        << QByteArray("[a]\nk=1\n[A]\nonlyhere=4\n") << "a"
        << "onlyhere"
        << "<default>";
    QTest::newRow("entries before any section belong to none") << QByteArray("k=0\n[a]\n") << "a"
                                                               << "k"
                                                               << "<default>";
    QTest::newRow("crlf lines") << QByteArray("[a]\r\nk=v\r\nj=w\r\n") << "a"
                                << "j"
                                << "w";
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[a]\nk=v\n") << "a"
                                     << "k"
                                     << "v";
    QTest::newRow("non-ascii value") << QByteArray("[a]\nk=C:\\Vid\xC3\xA9os \xE4\xB8\xAD\n") << "a"
                                     << "k" << QStringLiteral(u"C:\\Vidéos 中");
    QTest::newRow("comment line") << QByteArray("[a]\n;k=x\nk=y\n") << "a"
                                  << "k"
                                  << "y";
    QTest::newRow("line without equals sign") << QByteArray("[a]\nk\nk=z\n") << "a"
                                              << "k"
                                              << "z";
    QTest::newRow("no line end at the end") << QByteArray("[a]\nk=last") << "a"
                                            << "k"
                                            << "last";
    QTest::newRow("value up to 2047 characters") << QByteArray("[a]\nk=") + QByteArray(3000, 'v') + "\n"
                                                 << "a"
                                                 << "k" << QString(2047, u'v');
    QTest::newRow("value of exactly 2047 characters") << QByteArray("[a]\nk=") + QByteArray(2047, 'w') << "a"
                                                      << "k" << QString(2047, u'w');
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    WriteFile(path, content);
    QCOMPARE(IniFile(path).ReadString(section, key, QStringLiteral("<default>")), expected);
}

void TestIniFile::readInteger_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected"); // the default is 77

    QTest::newRow("decimal") << QByteArray("12") << 12;
    QTest::newRow("negative") << QByteArray("-5") << -5;
    QTest::newRow("plus sign") << QByteArray("+7") << 7;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("blanks around") << QByteArray("  42  ") << 42;
    QTest::newRow("quoted") << QByteArray("\"3\"") << 3;
    QTest::newRow("0x") << QByteArray("0x1F") << 31;
    QTest::newRow("0X") << QByteArray("0X1f") << 31;
    QTest::newRow("dollar") << QByteArray("$FF") << 255;
    QTest::newRow("dollar all ones is -1") << QByteArray("$FFFFFFFF") << -1;
    QTest::newRow("0x largest") << QByteArray("0x7FFFFFFF") << 2147483647;
    QTest::newRow("largest decimal") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("smallest decimal") << QByteArray("-2147483648") << int(-2147483648LL);
    QTest::newRow("text") << QByteArray("abc") << 77;
    QTest::newRow("digits then text") << QByteArray("12abc") << 77;
    QTest::newRow("empty") << QByteArray("") << 77;
    QTest::newRow("0x alone") << QByteArray("0x") << 77;
    QTest::newRow("dollar alone") << QByteArray("$") << 77;
    QTest::newRow("too many hex digits") << QByteArray("0x123456789") << 77;
    QTest::newRow("decimal too large") << QByteArray("99999999999") << 77;
    QTest::newRow("blank inside") << QByteArray("1 2") << 77;
    QTest::newRow("blank after dollar") << QByteArray("$ FF") << 77;
    QTest::newRow("signed hex") << QByteArray("0x-1") << 77;
    QTest::newRow("not a hex digit") << QByteArray("$FG") << 77;
    QTest::newRow("decimal point") << QByteArray("1.5") << 77;
    QTest::newRow("sign alone") << QByteArray("-") << 77;
}

void TestIniFile::readInteger()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    WriteFile(path, "[setting]\nlogfile=" + value + "\n");
    QCOMPARE(IniFile(path).ReadInteger(QStringLiteral("Setting"), QStringLiteral("LOGFILE"), 77), expected);
}

void TestIniFile::unusualFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");

    QByteArray garbage(64 * 1024, '\0');
    auto* random = QRandomGenerator::global();
    for (char& c : garbage)
        c = char(random->bounded(256));
    QTest::newRow("missing") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("binary garbage") << garbage << true;
    QTest::newRow("zero bytes") << QByteArray(1000, '\0') << true;
    QTest::newRow("one huge line") << QByteArray(8 * 1024 * 1024, '[') << true;
}

void TestIniFile::unusualFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    if (exists)
        WriteFile(path, content);
    const IniFile ini(path);
    QCOMPARE(
        ini.ReadString(QStringLiteral("setting"), QStringLiteral("outputFolder"), QStringLiteral("c:\\")),
        QStringLiteral("c:\\"));
    QCOMPARE(ini.ReadInteger(QStringLiteral("skin"), QStringLiteral("skin"), 10), 10);

    // A write keeps whatever was there and adds the entry readably.
    ini.WriteInteger(QStringLiteral("skin"), QStringLiteral("skin"), 3);
    QCOMPARE(ini.ReadInteger(QStringLiteral("skin"), QStringLiteral("skin"), 10), 3);
    QVERIFY(ReadAll(path).startsWith(content));
}

void TestIniFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << "setting"
                              << "outputFolder"
                              << "c:\\" << QByteArray("[setting]\noutputFolder=c:\\\n");
    QTest::newRow("replaces in place, keeps the rest")
        << QByteArray("; my notes\n[a]\nx=1\ny=2\n\n[b]\nx=3\n") << "A"
        << "x"
        << "9" << QByteArray("; my notes\n[a]\nx=9\ny=2\n\n[b]\nx=3\n");
    QTest::newRow("adds key after the section's last entry")
        << QByteArray("[a]\nx=1\n\n[b]\ny=2\n") << "a"
        << "z"
        << "5" << QByteArray("[a]\nx=1\nz=5\n\n[b]\ny=2\n");
    QTest::newRow("adds section at the end") << QByteArray("[a]\nx=1\n") << "b"
                                             << "k"
                                             << "v" << QByteArray("[a]\nx=1\n[b]\nk=v\n");
    QTest::newRow("last line without line end") << QByteArray("[a]\nx=1") << "b"
                                                << "k"
                                                << "v" << QByteArray("[a]\nx=1\n[b]\nk=v\n");
    QTest::newRow("key in last line without line end") << QByteArray("[a]\nx=1") << "a"
                                                       << "x"
                                                       << "2" << QByteArray("[a]\nx=2");
    QTest::newRow("crlf file stays crlf") << QByteArray("[a]\r\nx=1\r\n") << "a"
                                          << "y"
                                          << "2" << QByteArray("[a]\r\nx=1\r\ny=2\r\n");
    QTest::newRow("crlf replaced in place") << QByteArray("[a]\r\nx=1\r\n[b]\r\n") << "a"
                                            << "x"
                                            << "2" << QByteArray("[a]\r\nx=2\r\n[b]\r\n");
    QTest::newRow("first of duplicate sections") << QByteArray("[a]\nx=1\n[a]\nx=2\n") << "a"
                                                 << "x"
                                                 << "3" << QByteArray("[a]\nx=3\n[a]\nx=2\n");
    QTest::newRow("first of duplicate keys") << QByteArray("[a]\nx=1\nx=2\n") << "a"
                                             << "x"
                                             << "3" << QByteArray("[a]\nx=3\nx=2\n");
    QTest::newRow("other bytes kept exactly")
        << QByteArray("\xFF\xFE\x00junk\n[a]\nx=1\n\xC3(bad\n", 23) << "a"
        << "x"
        << "2" << QByteArray("\xFF\xFE\x00junk\n[a]\nx=2\n\xC3(bad\n", 23);
    QTest::newRow("line break in value becomes a blank")
        << QByteArray("[a]\n") << "a"
        << "x"
        << "one\r\ntwo\nthree" << QByteArray("[a]\nx=one two three\n");
    QTest::newRow("non-ascii") << QByteArray() << "setting"
                               << "outputFolder" << QStringLiteral(u"/home/我/Vidéos")
                               << QByteArray("[setting]\noutputFolder=/home/\xE6\x88\x91/Vid\xC3\xA9os\n");
}

void TestIniFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    if (!before.isEmpty())
        WriteFile(path, before);
    IniFile(path).WriteString(section, key, value);
    QCOMPARE(ReadAll(path), after);
}

void TestIniFile::writeThenRead()
{
    const IniFile ini(path);
    const QString longValue(5000, u'x');
    ini.WriteString(QStringLiteral("setting"), QStringLiteral("outputFolder"),
                    QStringLiteral(u"/media/my disk/視頻"));
    ini.WriteInteger(QStringLiteral("SETTING"), QStringLiteral("iComboxFormatIndex"), -1);
    ini.WriteString(QStringLiteral("other"), QStringLiteral("long"), longValue);
    QCOMPARE(ini.ReadString(QStringLiteral("Setting"), QStringLiteral("OUTPUTFOLDER"), QString()),
             QStringLiteral(u"/media/my disk/視頻"));
    QCOMPARE(ini.ReadInteger(QStringLiteral("setting"), QStringLiteral("icomboxformatindex"), 0), -1);
    QCOMPARE(ini.ReadString(QStringLiteral("other"), QStringLiteral("long"), QString()),
             longValue.left(2047));
    QCOMPARE(ReadAll(path).count("[setting]"), 1);
}

void TestIniFile::valuesReadBackExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("plain") << "/home/me/Videos" << QByteArray("k=/home/me/Videos");
    QTest::newRow("leading blank") << " /home/me/out" << QByteArray("k=\" /home/me/out\"");
    QTest::newRow("trailing blank") << "/home/me/out " << QByteArray("k=\"/home/me/out \"");
    QTest::newRow("trailing tab") << "/home/me/out\t" << QByteArray("k=\"/home/me/out\t\"");
    QTest::newRow("quoted already") << "\"/a b\"" << QByteArray("k=\"\"/a b\"\"");
    QTest::newRow("single quotes around") << "'x'" << QByteArray("k=\"'x'\"");
    QTest::newRow("one quote only") << "\"/a" << QByteArray("k=\"/a");
    QTest::newRow("only blanks") << "   " << QByteArray("k=\"   \"");
    QTest::newRow("empty") << "" << QByteArray("k=");
}

void TestIniFile::valuesReadBackExactly()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    const IniFile ini(path);
    ini.WriteString(QStringLiteral("s"), QStringLiteral("k"), value);
    QCOMPARE(ReadAll(path), QByteArray("[s]\n") + line + '\n');
    QCOMPARE(ini.ReadString(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("default")), value);
}

void TestIniFile::nothingIsCached()
{
    const IniFile ini(path);
    QCOMPARE(ini.ReadInteger(QStringLiteral("setting"), QStringLiteral("logfile"), 0), 0);
    WriteFile(path, "[setting]\nlogfile=1\n");
    QCOMPARE(ini.ReadInteger(QStringLiteral("setting"), QStringLiteral("logfile"), 0), 1);
    WriteFile(path, "[setting]\nlogfile=0\n");
    QCOMPARE(ini.ReadInteger(QStringLiteral("setting"), QStringLiteral("logfile"), 0), 0);
}

void TestIniFile::writeFailure_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("parent is a file") << "parent file";
    QTest::newRow("config.ini is a folder") << "folder";
    QTest::newRow("parent missing") << "no parent";
    QTest::newRow("read-only file") << "read-only";
}

void TestIniFile::writeFailure()
{
    // The tests run as root, so permissions cannot make a file unwritable; these targets are.
    QFETCH(QString, kind);
    QString target;
    if (kind == QLatin1String("parent file")) {
        WriteFile(dir.filePath(QStringLiteral("plain")), "not a folder");
        target = dir.filePath(QStringLiteral("plain/config.ini"));
    } else if (kind == QLatin1String("folder")) {
        target = dir.filePath(QStringLiteral("folder/config.ini"));
        QVERIFY(QDir().mkpath(target + QStringLiteral("/inside")));
    } else if (kind == QLatin1String("read-only")) {
        target = dir.filePath(QStringLiteral("config.ini"));
        WriteFile(target, "[setting]\noutputFolder=kept\n");
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else {
        target = dir.filePath(QStringLiteral("missing/deeper/config.ini"));
    }
    const IniFile ini(target);
    try {
        ini.WriteString(QStringLiteral("setting"), QStringLiteral("outputFolder"), QStringLiteral("x"));
        QFAIL("the write did not fail");
    } catch (const AppError& e) {
        QCOMPARE(e.Text(), QStringLiteral("Unable to write to ") + target);
    }
    QCOMPARE(ini.ReadString(QStringLiteral("setting"), QStringLiteral("outputFolder"), QStringLiteral("d")),
             kind == QLatin1String("read-only") ? QStringLiteral("kept") : QStringLiteral("d"));
    if (kind == QLatin1String("folder"))
        QVERIFY(QFileInfo(target + QStringLiteral("/inside")).isDir());
}

// Every value ReadAll gives is what ReadString gives for the same section and key, for the
// same files as ReadString's own table.
void TestIniFile::readAllAsReadString_data()
{
    readString_data();
}

void TestIniFile::readAllAsReadString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    WriteFile(path, content);
    const TIniValues values = IniFile(path).ReadAll();
    const auto found = values.value(IniFile::CaseKey(section)).constFind(IniFile::CaseKey(key));
    const QString value =
        found == values.value(IniFile::CaseKey(section)).constEnd() ? QStringLiteral("<default>") : *found;
    QCOMPARE(value, expected);
}

void TestIniFile::readAllUnreadable()
{
    bool readable = false;
    QVERIFY(IniFile(path).ReadAll(&readable).isEmpty());
    QVERIFY(readable); // a missing file is an empty one
    WriteFile(path, "[a]\nk=v\n");
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    const bool denied = !QFile(path).open(QIODevice::ReadOnly); // the superuser reads anything
    const TIniValues values = IniFile(path).ReadAll(&readable);
    QCOMPARE(readable, !denied);
    QCOMPARE(values.isEmpty(), denied);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

// A whole file written at once reads back, key by key, exactly as written.
void TestIniFile::writeAllReadsBack()
{
    WriteFile(path, "[old]\nkept=no\n");
    const QList<TIniSection> sections{
        {"queue", {{"count", "2"}, {"folder", "  blanks at both ends  "}}},
        {"item1", {{"source", "\"quoted\""}, {"state", "done"}, {"empty", ""}}},
        {"item2", {{"source", "line\nbreak"}, {"name", QStringLiteral(u"视频 ;=[x]")}}},
    };
    IniFile(path).WriteAll(sections);
    const IniFile ini(path);
    QCOMPARE(ini.ReadString("old", "kept", "<gone>"), QStringLiteral("<gone>"));
    QCOMPARE(ini.ReadInteger("QUEUE", "count", -1), 2);
    QCOMPARE(ini.ReadString("queue", "folder", ""), QStringLiteral("  blanks at both ends  "));
    QCOMPARE(ini.ReadString("item1", "source", ""), QStringLiteral("\"quoted\""));
    QCOMPARE(ini.ReadString("item1", "empty", "<default>"), QString());
    // A line break cannot be kept in one line: it becomes a blank, as WriteString does it.
    QCOMPARE(ini.ReadString("item2", "source", ""), QStringLiteral("line break"));
    QCOMPARE(ini.ReadString("item2", "name", ""), QStringLiteral(u"视频 ;=[x]"));
    QCOMPARE(ini.ReadAll().value("item1").value("state"), QStringLiteral("done"));
}

void TestIniFile::writeAllFailure()
{
    QVERIFY(QDir().mkpath(path));
    try {
        IniFile(path).WriteAll({{"a", {{"k", "v"}}}});
        QFAIL("no error raised");
    } catch (const AppError& error) {
        QCOMPARE(error.Text(), QStringLiteral("Unable to write to ") + path);
    }
    QDir().rmdir(path);
    // No file name: nothing to write, nothing said.
    IniFile(QString()).WriteAll({{"a", {{"k", "v"}}}});
}

// A writer that never commits leaves the file as it was, and nothing beside it.
void TestIniFile::writerWithoutCommit()
{
    WriteFile(path, "[a]\nk=old\n");
    {
        TIniWriter writer(path);
        writer.Section("a");
        writer.Entry("k", "new");
    }
    QCOMPARE(ReadAll(path), QByteArray("[a]\nk=old\n"));
    QCOMPARE(QDir(dir.path()).entryList({"config.ini*"}, QDir::Files | QDir::Hidden),
             QStringList{"config.ini"});
}

// More text than one piece the writer hands on: every section and value arrives, in order.
void TestIniFile::writerInPieces()
{
    {
        TIniWriter writer(path);
        for (int i = 0; i < 20000; ++i) {
            writer.Section(QStringLiteral("s%1").arg(i));
            writer.Entry("value", QStringLiteral("%1 ").arg(i).repeated(3) + QStringLiteral(u"中"));
        }
        writer.Commit();
    }
    const TIniValues values = IniFile(path).ReadAll();
    QCOMPARE(values.size(), 20000);
    QCOMPARE(values.value("s0").value("value"), QStringLiteral(u"0 0 0 中"));
    QCOMPARE(values.value("s19999").value("value"), QStringLiteral(u"19999 19999 19999 中"));
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_IniFile.moc"
