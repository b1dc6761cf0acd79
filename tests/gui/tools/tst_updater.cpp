// The updater's window: the installed version and the edition's home page, which its button
// opens; the real update.EXE starts from the program folder and shows that window.

#include "TfrmUpdate.h"

#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void tellsVersionAndHomePage_data();
    void tellsVersionAndHomePage();
    void programStartsAndCloses();
};

void TestUpdater::tellsVersionAndHomePage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("caption"); // [frmMain] caption of the edition's language file
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("home");
    QTest::newRow("English") << 2 << "Velmora MP4 Converter"
                             << "Velmora MP4 Converter"
                             << "http://www.velmora.example/";
    QTest::newRow("Chinese") << 1 << ""
                             << "Velmora 视频转换器"
                             << "http://cn.velmora.example/";
}

void TestUpdater::tellsVersionAndHomePage()
{
    QFETCH(int, language);
    QFETCH(QString, caption);
    QFETCH(QString, product);
    QFETCH(QString, home);
    QTemporaryDir dir;
    IniFile(dir.filePath(QStringLiteral("config.ini")))
        .WriteInteger(QStringLiteral("common"), QStringLiteral("language"), language);
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("language")));
    if (!caption.isEmpty())
        IniFile(dir.filePath(language == 1 ? QStringLiteral("language/gb.ini")
                                           : QStringLiteral("language/en.ini")))
            .WriteString(QStringLiteral("frmMain"), QStringLiteral("Caption"), caption);
    TfrmCommon common(dir.path());
    QStringList opened;
    common.urlOpener = [&](const QString& url) { opened << url; };

    TfrmUpdate window(&common, QStringLiteral("1.2.3"));
    window.show();
    QVERIFY(window.labelVersion->text().contains(product));
    QVERIFY(window.labelVersion->text().contains(QStringLiteral("1.2.3")));
    QVERIFY(window.labelHomePage->text().contains(home));
    QVERIFY(window.windowTitle().startsWith(product));

    window.buttonHomePage->click();
    QCOMPARE(opened, QStringList{home});
    QVERIFY(!window.isVisible());
}

void TestUpdater::programStartsAndCloses()
{
    // The program folder's own update.EXE, run against a copy of its folder.
    const QString program = QStringLiteral(VELMORA_APP_DIR "/update.EXE");
    if (!QFile::exists(program))
        QSKIP("update.EXE is not built in this build folder");
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velmora up 'date'-XXXXXX"));
    QVERIFY(QFile::copy(program, dir.filePath(QStringLiteral("update.EXE"))));
    QFile::setPermissions(dir.filePath(QStringLiteral("update.EXE")),
                          QFileDevice::ExeOwner | QFileDevice::ReadOwner);
    QProcess process;
    process.setProgram(dir.filePath(QStringLiteral("update.EXE")));
    process.start();
    QVERIFY(process.waitForStarted(5000));
    // It waits for the user; it must not end on its own, nor write anything into the folder.
    QVERIFY(!process.waitForFinished(1000));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"update.EXE"});
    process.terminate();
    QVERIFY(process.waitForFinished(5000));
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
