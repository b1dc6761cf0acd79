// The program as a process of its own dies or is told to end while it converts: the encoder and
// its ffmpeg never outlive it. The test runs itself a second time as the program (main window,
// signal handling and event loop as the program's entry sets them up) and signals that copy.

#include "support/ConversionFixture.h"
#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include "engine/TBatchRun.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"

#include <QAction>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <cstdio>

using namespace ConversionFixture;
using namespace TestSupport;

namespace {

const char* const profileName = "01-mp4-h264-aac.pf";

// The program's side: <appFolder> <source>...; converts the sources and writes
// "encoder:<process group>" once ffmpeg converts the first of them.
int StartProgram(int argc, char** argv)
{
    return RunAsProgram(argc, argv, [](TfrmMain& frmMain, const QStringList& sources) {
        SelectProfile(frmMain, QLatin1String(profileName));
        std::printf("format:%d\n", Child<QComboBox>(&frmMain, QStringLiteral("ComboBoxFormatSelect"))->currentIndex());
        // Slow enough to be caught.
        Child<QComboBox>(&frmMain, QStringLiteral("comboBoxVideoSize"))->setEditText(QStringLiteral("1280x720"));
        for (const QString& path : sources)
            frmMain.AddJobFile(path);
        auto* run = Child<TBatchRun>(&frmMain, QStringLiteral("BatchRun"));
        auto told = std::make_shared<bool>(false);
        QObject::connect(run, &TBatchRun::ItemProgress, &frmMain, [run, told](int index, const TItemProgress& progress) {
            if (*told || progress.totalSeconds <= 0)
                return;
            *told = true;
            std::printf("encoder:%lld\n", run->ProcessId(index));
            std::fflush(stdout);
        });
        Child<QAction>(&frmMain, QStringLiteral("ActionConvertNow"))->trigger();
    });
}

} // namespace

class tst_ConversionProcess : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString appFolder;
    QString longClip;
    QString shortClip;
    QString outFolder;

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
        QVERIFY(QFile::exists(appFolder + "libm9s.exe"));
        longClip = work.path() + "/media/long clip.avi";
        shortClip = work.path() + "/media/short.avi";
        QVERIFY(MakeClip(longClip, 30, "640x480"));
        QVERIFY(MakeClip(shortClip, 1));
    }

    void signalDuringRun_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGKILL") << int(SIGKILL);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    // Killed outright the program leaves nothing running; told to end it stops the encoder,
    // starts no further item and saves the format as on a close.
    void signalDuringRun()
    {
        QFETCH(int, signal);
        outFolder = work.path() + "/out " + QString::fromLatin1(QTest::currentDataTag()) + "/";
        QFile::remove(appFolder + "config.ini");
        IniFile ini(appFolder + "config.ini");
        ini.WriteInteger("setting", "displayHelpDialog", 0);
        ini.WriteInteger("setting", "logfile", 1);
        ini.WriteString("setting", "outputFolder", outFolder);
        // Another format than the one the program picks, so that saving it shows.
        ini.WriteString("setting", "formatFile", "21-mp3.pf");
        ini.WriteInteger("setting", "iComboxFormatIndex", 9);

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(RunAsProgramSwitch), appFolder, longClip, shortClip});
        QVERIFY(program.waitForStarted(10000));

        QByteArray said;
        QDeadlineTimer deadline(60000);
        while (!said.contains("encoder:") || !said.endsWith('\n')) {
            QVERIFY2(!deadline.hasExpired() && program.state() == QProcess::Running, said.constData());
            program.waitForReadyRead(100);
            said += program.readAllStandardOutput();
        }
        qint64 group = 0;
        int format = -1;
        for (const QByteArray& line : said.split('\n')) {
            if (line.startsWith("encoder:"))
                group = line.mid(8).toLongLong();
            else if (line.startsWith("format:"))
                format = line.mid(7).toInt();
        }
        QVERIFY(group > 0);
        QVERIFY(format >= 0);
        const QStringList running = ProcessesInGroup(group);
        QVERIFY2(running.filter("(ffmpeg)").size() == 1 && running.filter("(libm9s.exe)").size() == 1,
                 qPrintable(running.join(u'\n')));

        QVERIFY(::kill(static_cast<pid_t>(program.processId()), signal) == 0);
        QVERIFY(program.waitForFinished(10000));
        // The encoder's end follows the program's at once, not when the conversion would be done.
        QTRY_VERIFY2_WITH_TIMEOUT(ProcessesInGroup(group).isEmpty(),
                                  qPrintable(ProcessesInGroup(group).join(u'\n')), 3000);
        QVERIFY(!QFile::exists(outFolder + "short.mp4"));
        if (signal == SIGKILL) {
            QCOMPARE(program.exitStatus(), QProcess::CrashExit);
            // The journal of the cut-off run stays for the next start to offer.
            QVERIFY(QFile::exists(appFolder + "queue.ini"));
            QVERIFY(QFile::remove(appFolder + "queue.ini"));
            return;
        }
        // Told to end, the program closed the run and with it its journal.
        QVERIFY(!QFile::exists(appFolder + "queue.ini"));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // The window's closing steps ran: the format is saved and the second file never started.
        QCOMPARE(QString::fromUtf8(ReadAll(appFolder + "logFile.txt")).count("libm9s.exe "), 1);
        QCOMPARE(IniFile(appFolder + "config.ini").ReadInteger("setting", "iComboxFormatIndex", -5), format);
        QCOMPARE(IniFile(appFolder + "config.ini").ReadString("setting", "formatFile", "-"),
                 QString::fromLatin1(profileName));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], RunAsProgramSwitch) == 0)
        return StartProgram(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_ConversionProcess test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ConversionProcess.moc"
