// The defaults the command line takes from config.ini, which it only reads.

#include "cli/CliConfig.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

class tst_CliConfig : public QObject
{
    Q_OBJECT

private slots:
    void defaults_data()
    {
        QTest::addColumn<QByteArray>("config"); // empty: no config.ini
        QTest::addColumn<QString>("folder");    // empty: the window's default folder
        QTest::addColumn<int>("simultaneous");
        QTest::newRow("no config.ini") << QByteArray() << "" << 1;
        QTest::newRow("every key") << QByteArray("[setting]\noutputFolder=/v/out put\niComboxFormatIndex=29\n"
                                                 "simultaneous=4\n")
                                   << "/v/out put" << 4;
        QTest::newRow("keys in other letter case")
            << QByteArray("[SETTING]\nOUTPUTFOLDER=\"/v/q \"\nicomboxformatindex=$1F\nSimultaneous=0x2\n")
            << "/v/q " << 2;
        QTest::newRow("empty folder") << QByteArray("[setting]\noutputFolder=\n") << "" << 1;
        QTest::newRow("blank folder") << QByteArray("[setting]\noutputFolder=\"  \"\n") << "" << 1;
        QTest::newRow("simultaneous 0") << QByteArray("[setting]\nsimultaneous=0\n") << "" << 1;
        QTest::newRow("simultaneous 1025") << QByteArray("[setting]\nsimultaneous=1025\n") << "" << 1;
        QTest::newRow("simultaneous 1024") << QByteArray("[setting]\nsimultaneous=1024\n") << "" << 1024;
        QTest::newRow("simultaneous text") << QByteArray("[setting]\nsimultaneous=two\n") << "" << 1;
    }
    void defaults()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const TfrmCommon common(dir.path());
        if (!config.isEmpty())
            WriteText(CliConfigFile(common), config);
        const QByteArray before = ReadAll(CliConfigFile(common));

        const TCliDefaults defaults = ReadCliDefaults(CliConfigFile(common));
        QCOMPARE(defaults.outputFolder, folder.isEmpty() ? DefaultOutputFolder() : folder);
        QTEST(defaults.simultaneous, "simultaneous");
        // Read only: not made when missing, not changed when there.
        QCOMPARE(QFile::exists(CliConfigFile(common)), !config.isEmpty());
        QCOMPARE(ReadAll(CliConfigFile(common)), before);
    }

    void configFileIsTheProgramFolders()
    {
        QTemporaryDir dir;
        const TfrmCommon common(dir.path());
        QCOMPARE(CliConfigFile(common), common.appFolder + "config.ini");
    }
};

QTEST_GUILESS_MAIN(tst_CliConfig)
#include "tst_CliConfig.moc"
