// A program folder its user may not write, as an installed copy is: the window starts without
// an error, the settings and the log live in ~/.config/velmora/ and survive a restart, while a
// writable copy keeps them beside itself. A home folder that cannot hold them is told once,
// and the program still converts.

#include "e2e/package/InstalledFixture.h"
#include "support/AsNobody.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"

#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace InstalledFixture;
using namespace TestSupport;

class TestInstalledCopy : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString clip;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TEnvironment> environment;
    QString app;  // a copy of the program folder, ending in "/"
    QString home; // the test's HOME
    QString out;  // the output folder

    // Where the settings must be for a row: beside the program, or in the home folder.
    QString Place(const QString& kind) const
    {
        return kind == QLatin1String("writable copy") ? app : home + QStringLiteral("/.config/velmora/");
    }
    QString OtherPlace(const QString& kind) const
    {
        return kind == QLatin1String("writable copy") ? home + QStringLiteral("/.config/velmora/") : app;
    }

    void PrepareCopy(const QString& kind)
    {
        if (kind == QLatin1String("read-only copy"))
            LockFolder(app);
        else if (kind == QLatin1String("copy of another user"))
            QVERIFY(GiveToNobody(app));
    }

    static void ForRoot(const QString& kind)
    {
        if (kind == QLatin1String("copy of another user") && ::geteuid() != 0)
            QSKIP("only the superuser can hand a folder to another user");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        clip = work.path() + QStringLiteral("/media/clip one.avi");
        QVERIFY(MakeClip(clip, 1));
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        environment = std::make_unique<TEnvironment>();
        app = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), dir->path() + QStringLiteral("/app"));
        QVERIFY(!app.isEmpty());
        home = dir->path() + QStringLiteral(u"/home/Zoë");
        out = dir->path() + QStringLiteral("/out");
        QVERIFY(QDir().mkpath(home));
        TEnvironment::SetHome(home);
    }

    void cleanup()
    {
        UnlockFolder(dir->path());
        environment.reset();
        dir.reset();
    }

    void choicesSurviveARestart_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("writable copy") << "writable copy";
        QTest::newRow("read-only copy") << "read-only copy";
        QTest::newRow("copy of another user") << "copy of another user";
    }
    void choicesSurviveARestart()
    {
        QFETCH(QString, kind);
        ForRoot(kind);
        PrepareCopy(kind);
        const QString config = Place(kind) + QStringLiteral("config.ini");
        // An error box would be answered here rather than wait for somebody.
        TMessageBox::nextAnswers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
        {
            TWindow w(app);
            auto* welcome = w.frm->findChild<QDialog*>(QStringLiteral("frmHelpDialog"));
            QVERIFY(welcome);
            QTRY_VERIFY(welcome->isVisible());
            // The first show saved the output folder it shows: config.ini is there now.
            QCOMPARE(IniFile(config).ReadString("setting", "outputFolder", QString()), w.OutputFolderText());
            QVERIFY(TMessageBox::shownTexts.isEmpty());

            QTest::mouseClick(welcome->findChild<QCheckBox*>(QStringLiteral("CheckBoxDontDisplay")),
                              Qt::LeftButton);
            w.frm->findChild<QAction*>(QStringLiteral("N_Skin3"))->trigger();
            w.SetOutputFolder(out);
            QVERIFY(w.SelectProfile(QStringLiteral("21-mp3.pf")));
        }
        QVERIFY2(TMessageBox::shownTexts.isEmpty(), qPrintable(TMessageBox::shownTexts.join(u'\n')));
        const IniFile saved(config);
        QCOMPARE(saved.ReadInteger("setting", "displayHelpDialog", -1), 0);
        QCOMPARE(saved.ReadInteger("skin", "skin", -1), 3);
        QCOMPARE(saved.ReadString("setting", "outputFolder", QString()), out);
        const int formatIndex = saved.ReadInteger("setting", "iComboxFormatIndex", -1);
        QVERIFY(formatIndex > 0);
        QVERIFY(!QFileInfo::exists(OtherPlace(kind) + QStringLiteral("config.ini")));

        TWindow again(app);
        QCOMPARE(again.OutputFolderText(), out);
        QCOMPARE(again.Control<QComboBox>("ComboBoxFormatSelect")->currentIndex(), formatIndex);
        QCOMPARE(again.common->ReadSkinIndex(), 3);
        QVERIFY(TMessageBox::shownTexts.isEmpty());
    }

    void logGoesWithTheSettings_data() { choicesSurviveARestart_data(); }
    void logGoesWithTheSettings()
    {
        QFETCH(QString, kind);
        ForRoot(kind);
        // The user's own settings, in the place the program keeps them.
        IniFile config(Place(kind) + QStringLiteral("config.ini"));
        QDir().mkpath(Place(kind));
        config.WriteInteger("setting", "displayHelpDialog", 0);
        config.WriteInteger("setting", "logfile", 1);
        PrepareCopy(kind);

        TWindow w(app);
        const QString output = w.ConvertOne(clip, out);
        QVERIFY(!output.isEmpty());
        QCOMPARE(TMessageBox::shownTexts.size(), 1); // the question at the end, nothing else
        QVERIFY(Probe(output).ok);
        QCOMPARE(Probe(output).videoCodec, QStringLiteral("mpeg4"));

        const QString log = QString::fromUtf8(ReadAll(Place(kind) + QStringLiteral("logFile.txt")));
        QVERIFY2(log.contains(app + QStringLiteral("libm9s.exe ")), qPrintable(log.left(400)));
        QVERIFY(log.contains(QStringLiteral("ffmpeg_release_time=")));
        QVERIFY(!QFileInfo::exists(OtherPlace(kind) + QStringLiteral("logFile.txt")));
    }

    // No place for the settings at all: told once, then the program converts on its defaults.
    void unusableHomeIsToldOnce_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("HOME unset") << "unset";
        QTest::newRow("HOME is a file") << "file";
        QTest::newRow("HOME names a missing folder") << "missing";
        QTest::newRow("read-only ~/.config") << "read-only";
        QTest::newRow("~/.config/velmora loops") << "loop";
    }
    void unusableHomeIsToldOnce()
    {
        QFETCH(QString, setup);
        // Without a usable HOME the home folder of the user's account counts; that of "nobody"
        // does not exist.
        if (setup == QLatin1String("unset") || setup == QLatin1String("file") ||
            setup == QLatin1String("missing")) {
            VELMORA_RUN_AS_NOBODY_WHEN_ROOT();
            if (QFileInfo(AccountHomeFolder()).isDir())
                QSKIP("the account of this user has a home folder");
        }
        const QString dotConfig = home + QStringLiteral("/.config");
        const QString gone = dir->path() + QStringLiteral("/gone");
        if (setup == QLatin1String("unset")) {
            TEnvironment::SetHome(QString());
        } else if (setup == QLatin1String("file")) {
            QVERIFY(QDir(home).removeRecursively());
            WriteText(home, "not a folder");
        } else if (setup == QLatin1String("missing")) {
            TEnvironment::SetHome(gone + QStringLiteral("/home"));
        } else if (setup == QLatin1String("read-only")) {
            QVERIFY(QDir().mkpath(dotConfig));
            LockFolder(dotConfig);
        } else {
            QVERIFY(QDir().mkpath(dotConfig));
            QVERIFY(
                QFile::link(dotConfig + QStringLiteral("/velmora"), dotConfig + QStringLiteral("/velmora")));
        }
        LockFolder(app);

        TMessageBox::nextAnswers = {QMessageBox::Ok};
        {
            TWindow w(app);
            QTRY_COMPARE(TMessageBox::shownTexts.size(), 1);
            const QString warning = TMessageBox::shownTexts.first();
            QCOMPARE(warning, w.common->SettingsWarning());
            QVERIFY2(warning.contains(w.common->settingsPlace.wanted), qPrintable(warning));

            const QString output = w.ConvertOne(clip, out);
            QVERIFY(!output.isEmpty());
            QCOMPARE(TMessageBox::shownTexts.size(), 2);
            QVERIFY(Probe(output).ok);
            // Choices made now go nowhere, quietly.
            w.frm->findChild<QAction*>(QStringLiteral("N_Skin5"))->trigger();
        }
        QCOMPARE(TMessageBox::shownTexts.size(), 2);
        QVERIFY(!QFileInfo::exists(app + QStringLiteral("config.ini")));
        QVERIFY(!QFileInfo::exists(dotConfig + QStringLiteral("/velmora/config.ini")));
        // Nothing was made where a home folder should have been, not even by the toolkit.
        QVERIFY(!QFileInfo::exists(gone));
    }

    // The program itself run by an ordinary user from a folder that belongs to root: the
    // system's own access check sends the settings home.
    void programRunByAnotherUser()
    {
        if (::geteuid() != 0)
            QSKIP("only the superuser can start the program as another user");
        // The user must reach the copy and own the home folder, as on an installed system; a
        // temporary folder of the superuser's own may lie where others cannot go.
        QTemporaryDir shared(QStringLiteral("/tmp/velmora-XXXXXX"));
        QVERIFY(shared.isValid());
        const QString copy =
            CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), shared.filePath(QStringLiteral("app")));
        QVERIFY(!copy.isEmpty());
        const QString userHome = shared.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(userHome));
        UnlockFolder(shared.path());
        QVERIFY(GiveToNobody(userHome));
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), userHome);
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(Nobody), QStringLiteral("--regid=%1").arg(NoGroup),
                       QStringLiteral("--clear-groups"), QStringLiteral("--"),
                       copy + QStringLiteral("velmora")});
        QVERIFY(program.waitForStarted());
        const IniFile config(userHome + QStringLiteral("/.config/velmora/config.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(!config.ReadString("setting", "outputFolder", QString()).isEmpty(), 60000);
        QCOMPARE(config.ReadString("setting", "outputFolder", QString()),
                 userHome + QStringLiteral("/Videos"));
        ::kill(program.processId(), SIGTERM);
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitCode(), 0);
        // The closing steps saved there too, and nothing landed in the program folder.
        QVERIFY(config.ReadInteger("setting", "iComboxFormatIndex", -1) >= 0);
        QVERIFY(!QFileInfo::exists(copy + QStringLiteral("config.ini")));
        QCOMPARE(QFileInfo(userHome + QStringLiteral("/.config/velmora/config.ini")).ownerId(), Nobody);
    }
};

VELMORA_GUI_TEST_MAIN(TestInstalledCopy)
#include "tst_InstalledCopy.moc"
