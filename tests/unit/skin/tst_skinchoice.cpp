// The skin number in config.ini, the file it stands for, and the Help menu's links of each
// edition as TfrmCommon opens them.

#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "skin/SkinChoice.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

class TestSkinChoice : public QObject
{
    Q_OBJECT

private slots:
    void readSkinIndex_data();
    void readSkinIndex();
    void writeSkinIndexKeepsOtherKeys();
    void writeSkinIndexToUnwritableConfig();
    void skinFileOfNumber_data();
    void skinFileOfNumber();
    void helpLinks_data();
    void helpLinks();
    void runUpdateStartsTheProgram();
};

void TestSkinChoice::readSkinIndex_data()
{
    QTest::addColumn<QByteArray>("config"); // empty: no config.ini at all
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("file");

    QTest::newRow("no config.ini") << QByteArray() << 10 << "Silver.ssk";
    QTest::newRow("no [skin] section") << QByteArray("[common]\nlanguage=2\n") << 10 << "Silver.ssk";
    QTest::newRow("key missing") << QByteArray("[skin]\nother=3\n") << 10 << "Silver.ssk";
    QTest::newRow("3") << QByteArray("[skin]\nskin=3\n") << 3 << "DiamondGreen.ssk";
    QTest::newRow("1") << QByteArray("[Skin]\nSKIN=1\n") << 1 << "Calmness.ssk";
    QTest::newRow("18") << QByteArray("[skin]\nskin=18\n") << 18 << "XPSilver.ssk";
    QTest::newRow("hex 0x0B") << QByteArray("[skin]\nskin=0x0B\n") << 11 << "SportsBlack.ssk";
    QTest::newRow("0") << QByteArray("[skin]\nskin=0\n") << 0 << "Silver.ssk";
    QTest::newRow("19") << QByteArray("[skin]\nskin=19\n") << 19 << "Silver.ssk";
    QTest::newRow("-5") << QByteArray("[skin]\nskin=-5\n") << -5 << "Silver.ssk";
    QTest::newRow("text") << QByteArray("[skin]\nskin=Emerald\n") << 10 << "Silver.ssk";
    QTest::newRow("empty value") << QByteArray("[skin]\nskin=\n") << 10 << "Silver.ssk";
    QTest::newRow("$FFFFFFFF") << QByteArray("[skin]\nskin=$FFFFFFFF\n") << -1 << "Silver.ssk";
    QTest::newRow("beyond 32 bits") << QByteArray("[skin]\nskin=99999999999\n") << 10 << "Silver.ssk";
}

void TestSkinChoice::readSkinIndex()
{
    QFETCH(QByteArray, config);
    QFETCH(int, index);
    QFETCH(QString, file);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!config.isEmpty()) {
        QFile f(dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(config);
    }
    const TfrmCommon common(dir.path());
    QCOMPARE(common.ReadSkinIndex(), index);
    QCOMPARE(SkinChoice::SkinFilePath(common, common.ReadSkinIndex()), common.appFolder + "skins/" + file);
}

void TestSkinChoice::writeSkinIndexKeepsOtherKeys()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        QFile f(dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[common]\r\nlanguage=1\r\n[skin]\r\nskin=4\r\n[setting]\r\noutputFolder=/tmp/out put\r\n");
    }
    const TfrmCommon common(dir.path());
    common.WriteSkinIndex(16);
    QCOMPARE(common.ReadSkinIndex(), 16);
    const IniFile ini(common.configFile);
    QCOMPARE(ini.ReadString(QStringLiteral("skin"), QStringLiteral("skin"), QString()), QStringLiteral("16"));
    QCOMPARE(ini.ReadInteger(QStringLiteral("common"), QStringLiteral("language"), 0), 1);
    QCOMPARE(ini.ReadString(QStringLiteral("setting"), QStringLiteral("outputFolder"), QString()),
             QStringLiteral("/tmp/out put"));

    // Without config.ini the first choice creates it.
    QTemporaryDir empty;
    const TfrmCommon fresh(empty.path());
    fresh.WriteSkinIndex(3);
    QCOMPARE(fresh.ReadSkinIndex(), 3);
}

void TestSkinChoice::writeSkinIndexToUnwritableConfig()
{
    // A folder in place of config.ini cannot be written, even by root.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("config.ini")));
    const TfrmCommon common(dir.path());
    try {
        common.WriteSkinIndex(7);
        QFAIL("the write succeeded");
    } catch (const AppError& error) {
        QCOMPARE(error.Text(), QStringLiteral("Unable to write to %1").arg(common.configFile));
    }
    QCOMPARE(common.ReadSkinIndex(), 10);
}

void TestSkinChoice::skinFileOfNumber_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("file");
    const char* files[] = {"Calmness",    "DiamondBlue", "DiamondGreen", "GlassGreen", "Longhorn",
                           "MacOS",       "MP10",        "MSN",          "OneBlue",    "Silver",
                           "SportsBlack", "SportsBlue",  "Midsummer",    "Emerald",    "Warm",
                           "XPBlue",      "XPGreen",     "XPSilver"};
    for (int n = 1; n <= 18; ++n)
        QTest::addRow("%d", n) << n << QString::fromLatin1(files[n - 1]) + ".ssk";
    QTest::newRow("INT_MIN") << std::numeric_limits<int>::min() << "Silver.ssk";
    QTest::newRow("INT_MAX") << std::numeric_limits<int>::max() << "Silver.ssk";
}

void TestSkinChoice::skinFileOfNumber()
{
    QFETCH(int, number);
    QFETCH(QString, file);
    QCOMPARE(SkinChoice::SkinFileName(number), file);
    // Every file the numbers name ships with the program.
    QVERIFY(QFile::exists(QStringLiteral(VELMORA_SOURCE_DIR "/data/skins/") + file));
}

void TestSkinChoice::helpLinks_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("mail");
    QTest::addColumn<QString>("feedback");

    const QString en = QStringLiteral("http://www.velmora.example/");
    const QString cn = QStringLiteral("http://cn.velmora.example/");
    QTest::newRow("no config: English") << QByteArray() << en << "mailto:support@velmora.example"
                                        << "feedback.htm";
    QTest::newRow("language=2") << QByteArray("[common]\nlanguage=2\n") << en
                                << "mailto:support@velmora.example"
                                << "feedback.htm";
    QTest::newRow("language=0") << QByteArray("[common]\nlanguage=0\n") << en
                                << "mailto:support@velmora.example"
                                << "feedback.htm";
    QTest::newRow("language=1: Chinese")
        << QByteArray("[common]\nlanguage=1\n") << cn << "mailto:support-cn@velmora.example"
        << "contactus.htm";
}

void TestSkinChoice::helpLinks()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, site);
    QFETCH(QString, mail);
    QFETCH(QString, feedback);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velmora ünï 'x'-XXXXXX"));
    QVERIFY(dir.isValid());
    if (!config.isEmpty()) {
        QFile f(dir.filePath(QStringLiteral("config.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(config);
    }
    TfrmCommon common(dir.path());
    QStringList opened;
    common.urlOpener = [&opened](const QString& url) { opened << url; };

    common.OpenOnlineHelp();
    common.OpenHomePage();
    common.OpenSupport();
    common.OpenFeedBack();
    common.RunUpdate();
    const QStringList expected{site + "help-mp4-converter.php", site, mail, site + feedback,
                               QDir(dir.path()).absolutePath() + "/update.EXE"};
    QCOMPARE(opened, expected);
}

void TestSkinChoice::runUpdateStartsTheProgram()
{
    // The shell's "open" of the updater starts it (in its own folder), it does not show it.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velmora up 'q' ü-XXXXXX"));
    QVERIFY(dir.isValid());
    const QString updater = dir.filePath(QStringLiteral("update.EXE"));
    {
        QFile f(updater);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\npwd > started.txt\n");
    }
    QVERIFY(QFile::setPermissions(updater,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const TfrmCommon common(dir.path());
    common.RunUpdate();
    const QString marker = dir.filePath(QStringLiteral("started.txt"));
    QTRY_VERIFY(QFile::exists(marker) && QFileInfo(marker).size() > 0);
    QFile f(marker);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()).trimmed(), QDir(dir.path()).canonicalPath());
}

QTEST_GUILESS_MAIN(TestSkinChoice)
#include "tst_skinchoice.moc"
