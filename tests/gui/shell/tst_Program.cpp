// The real program started from a copy of its program folder: it comes up, writes what it
// should, and SIGTERM or SIGINT close it through the window's closing steps.

#include "platform/IniFile.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestProgram : public QObject
{
    Q_OBJECT

    // A whole copy of the assembled program folder, with a config.ini of the test's own.
    static bool CopyProgramFolder(const QString& target)
    {
        return !TestSupport::CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), target).isEmpty() &&
               QFileInfo::exists(target + QStringLiteral("/velmora"));
    }

    static void WriteConfig(const QString& folder, const QByteArray& text)
    {
        QFile file(folder + QStringLiteral("/config.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    static void Start(QProcess& program, const QString& folder, const QStringList& arguments = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), folder + QStringLiteral("/home"));
        env.remove(QStringLiteral("XDG_VIDEOS_DIR"));
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        QDir().mkpath(folder + QStringLiteral("/home"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(folder + QStringLiteral("/velmora"), arguments);
        QVERIFY(program.waitForStarted(5000));
    }

private slots:
    void closesOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void closesOnSignal()
    {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/program folder 视频");
        QVERIFY(CopyProgramFolder(folder));
        // A saved format position beyond the list selects the first entry; the closing steps
        // then save that position, which shows they ran.
        WriteConfig(folder, "[setting]\ndisplayHelpDialog=0\niComboxFormatIndex=999\n");
        QProcess program;
        Start(program, folder);
        const IniFile config(folder + QStringLiteral("/config.ini"));
        // The first show writes the output folder; then the window is up.
        QTRY_VERIFY_WITH_TIMEOUT(!config.ReadString("setting", "outputFolder", QString()).isEmpty(), 10000);
        const QString videos = folder + QStringLiteral("/home/Videos");
        QCOMPARE(config.ReadString("setting", "outputFolder", QString()), videos);
        ::kill(program.processId(), signal);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(config.ReadString("setting", "outputFolder", QString()), videos);
        QCOMPARE(config.ReadInteger("setting", "iComboxFormatIndex", -2), 0);
    }

    void signalEndsTheProgramWhenClosingStepsFail()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/app");
        QVERIFY(CopyProgramFolder(folder));
        WriteConfig(folder, "[setting]\ndisplayHelpDialog=0\n");
        QProcess program;
        Start(program, folder);
        const IniFile config(folder + QStringLiteral("/config.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(!config.ReadString("setting", "outputFolder", QString()).isEmpty(), 10000);
        // config.ini turns into a folder: saving the format while closing fails. Nobody may be
        // there to answer a message box, so the program must end all the same.
        QVERIFY(QFile::remove(folder + QStringLiteral("/config.ini")));
        QVERIFY(QDir().mkdir(folder + QStringLiteral("/config.ini")));
        ::kill(program.processId(), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    }

    void startsWithoutConfigAndWithPathsOnTheCommandLine()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/app");
        QVERIFY(CopyProgramFolder(folder));
        QFile::remove(folder + QStringLiteral("/config.ini"));
        QProcess program;
        // Paths that look like options or hold blanks must not upset the start.
        Start(program, folder,
              {QStringLiteral("--"), QStringLiteral("-x.avi"), QStringLiteral("my clip.mp4")});
        const IniFile config(folder + QStringLiteral("/config.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(!config.ReadString("setting", "outputFolder", QString()).isEmpty(), 10000);
        ::kill(program.processId(), SIGTERM);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_Program.moc"
