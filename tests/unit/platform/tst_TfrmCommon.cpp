// The services object: program folder paths, the language edition and its links from
// config.ini, the two setting reads and OpenURL.
#include "platform/TfrmCommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class TestfrmCommon : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void paths();
    void programFolderOfTheExecutable();
    void edition_data();
    void edition();
    void displayHelpDialog_data();
    void displayHelpDialog();
    void logFile_data();
    void logFile();
    void settingsAreReadAnew();
    void openUrlPassesTheTextOn_data();
    void openUrlPassesTheTextOn();

private:
    void WriteConfig(const QByteArray& data);
    QTemporaryDir dir;
    QString folder;
};

void TestfrmCommon::init()
{
    QVERIFY(dir.isValid());
    // Blanks and non-ASCII letters in the program folder must not matter.
    folder = dir.filePath(QStringLiteral(u"Program Files/Vidéo 转换"));
    QVERIFY(QDir().mkpath(folder));
    QFile::remove(folder + QStringLiteral("/config.ini"));
}

void TestfrmCommon::WriteConfig(const QByteArray& data)
{
    QFile file(folder + QStringLiteral("/config.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

void TestfrmCommon::paths()
{
    const TfrmCommon common(folder + QStringLiteral("/sub/.."));
    QCOMPARE(common.appFolder, folder + u'/');
    QCOMPARE(common.configFile, folder + QStringLiteral("/config.ini"));
    QCOMPARE(common.languageFile, folder + QStringLiteral("/language/en.ini"));
    QCOMPARE(common.splashFile, folder + QStringLiteral("/splash-en.bmp"));
    // Reading settings creates no file.
    QVERIFY(common.DisplayHelpDialogEnabled());
    QVERIFY(!QFile::exists(common.configFile));
}

void TestfrmCommon::programFolderOfTheExecutable()
{
    const TfrmCommon common;
    QCOMPARE(common.appFolder, QCoreApplication::applicationDirPath() + u'/');
    QCOMPARE(common.configFile, common.appFolder + QStringLiteral("config.ini"));
}

void TestfrmCommon::edition_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("languageId");
    QTest::addColumn<bool>("chinese");

    QTest::newRow("no config.ini") << QByteArray() << 2 << false;
    QTest::newRow("1 is Chinese") << QByteArray("[common]\nlanguage=1\n") << 1 << true;
    QTest::newRow("hex 1 is Chinese") << QByteArray("[COMMON]\nLanguage=$1\n") << 1 << true;
    QTest::newRow("0 is English") << QByteArray("[common]\nlanguage=0\n") << 0 << false;
    QTest::newRow("2 is English") << QByteArray("[common]\nlanguage=2\n") << 2 << false;
    QTest::newRow("3 is English") << QByteArray("[common]\nlanguage=3\n") << 3 << false;
    QTest::newRow("text is missing") << QByteArray("[common]\nlanguage=chinese\n") << 2 << false;
    QTest::newRow("other section") << QByteArray("[setting]\nlanguage=1\n") << 2 << false;
}

void TestfrmCommon::edition()
{
    QFETCH(QByteArray, config);
    QFETCH(int, languageId);
    QFETCH(bool, chinese);
    if (!config.isEmpty())
        WriteConfig(config);
    const TfrmCommon common(folder);
    QCOMPARE(common.languageId, languageId);
    QCOMPARE(common.IsChineseEdition(), chinese);

    const QString app = folder + u'/';
    const QString site = chinese ? QStringLiteral("http://cn.velmora.example/")
                                 : QStringLiteral("http://www.velmora.example/");
    QCOMPARE(common.languageFile,
             app + (chinese ? QStringLiteral("language/gb.ini") : QStringLiteral("language/en.ini")));
    QCOMPARE(common.splashFile,
             app + (chinese ? QStringLiteral("splash-gb.bmp") : QStringLiteral("splash-en.bmp")));
    QCOMPARE(common.homePageLink, site);
    QCOMPARE(common.feedbackLink,
             site + (chinese ? QStringLiteral("contactus.htm") : QStringLiteral("feedback.htm")));
    QCOMPARE(common.codecsLink, site + QStringLiteral("codecs.php"));
    QCOMPARE(common.helpLink, site + QStringLiteral("help-mp4-converter.php"));
    QCOMPARE(common.errorReportLink, site + QStringLiteral("bug_report_submit.php"));
    QVERIFY(common.supportLink.startsWith(QStringLiteral("mailto:")));
    // Every link stays on the reserved .example domain.
    QVERIFY(common.supportLink.endsWith(QStringLiteral(".example")));
    for (const QString& link : {common.homePageLink, common.feedbackLink, common.codecsLink, common.helpLink,
                                common.errorReportLink})
        QVERIFY2(QUrl(link).host().endsWith(QStringLiteral(".example")), qPrintable(link));

    // The two editions differ in their support address as well.
    WriteConfig(chinese ? QByteArray("[common]\nlanguage=2\n") : QByteArray("[common]\nlanguage=1\n"));
    QVERIFY(TfrmCommon(folder).supportLink != common.supportLink);
}

void TestfrmCommon::displayHelpDialog_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("shown");
    QTest::newRow("no config.ini") << QByteArray() << true;
    QTest::newRow("no key") << QByteArray("[setting]\nlogfile=1\n") << true;
    QTest::newRow("1") << QByteArray("[setting]\ndisplayHelpDialog=1\n") << true;
    QTest::newRow("0x1") << QByteArray("[Setting]\nDISPLAYHELPDIALOG=0x1\n") << true;
    QTest::newRow("0") << QByteArray("[setting]\ndisplayHelpDialog=0\n") << false;
    QTest::newRow("2") << QByteArray("[setting]\ndisplayHelpDialog=2\n") << false;
    QTest::newRow("not a number") << QByteArray("[setting]\ndisplayHelpDialog=no\n") << true;
}

void TestfrmCommon::displayHelpDialog()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, shown);
    if (!config.isEmpty())
        WriteConfig(config);
    QCOMPARE(TfrmCommon(folder).DisplayHelpDialogEnabled(), shown);
}

void TestfrmCommon::logFile_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("no config.ini") << QByteArray() << false;
    QTest::newRow("1") << QByteArray("[setting]\nlogfile=1\n") << true;
    QTest::newRow("LogFile=$1") << QByteArray("[SETTING]\nLogFile=$1\n") << true;
    QTest::newRow("0") << QByteArray("[setting]\nlogfile=0\n") << false;
    QTest::newRow("2") << QByteArray("[setting]\nlogfile=2\n") << false;
    QTest::newRow("yes") << QByteArray("[setting]\nlogfile=yes\n") << false;
}

void TestfrmCommon::logFile()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, enabled);
    if (!config.isEmpty())
        WriteConfig(config);
    QCOMPARE(TfrmCommon(folder).LogFileEnabled(), enabled);
}

void TestfrmCommon::settingsAreReadAnew()
{
    const TfrmCommon common(folder);
    QVERIFY(!common.LogFileEnabled());
    WriteConfig("[setting]\nlogfile=1\ndisplayHelpDialog=0\n");
    QVERIFY(common.LogFileEnabled());
    QVERIFY(!common.DisplayHelpDialogEnabled());
    // The edition is fixed for the life of the object.
    WriteConfig("[common]\nlanguage=1\n");
    QCOMPARE(common.languageId, 2);
}

void TestfrmCommon::openUrlPassesTheTextOn_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("web page") << QStringLiteral("http://www.velmora.example/codecs.php?format=.rmvb,.mkv");
    QTest::newRow("mail link") << QStringLiteral("mailto:support@velmora.example");
    QTest::newRow("folder with blanks") << QStringLiteral(u"/home/me/My Vidéos/");
    QTest::newRow("empty") << QString();
}

void TestfrmCommon::openUrlPassesTheTextOn()
{
    QFETCH(QString, text);
    TfrmCommon common(folder);
    QStringList opened;
    common.urlOpener = [&](const QString& url) { opened << url; };
    common.OpenURL(text);
    QCOMPARE(opened, QStringList{text});
    // Without an opener nothing happens, and nothing fails.
    common.urlOpener = nullptr;
    common.OpenURL(text);
}

QTEST_GUILESS_MAIN(TestfrmCommon)
#include "tst_TfrmCommon.moc"
