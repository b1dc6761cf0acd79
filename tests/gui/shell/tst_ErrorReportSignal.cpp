// The error report of the real main window, in a process of its own, while its server sends a
// huge reply or trickles one in: SIGTERM still ends the program at once and through the
// window's closing steps. The test runs itself a second time as the program and signals that
// copy; the server is the test's own, on 127.0.0.1.

#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/ReportServer.h"

#include "dialogs/TfrmUnSupportFormat.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TfrmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace TestSupport;

namespace {

// The program's side: <appFolder> <report address>; sends a report from the failed-format
// notice and says "sending" once the click is over.
int StartProgram(int argc, char** argv)
{
    return RunAsProgram(argc, argv, [](TfrmMain& frmMain, const QStringList& arguments) {
        frmMain.Common()->errorReportLink = arguments.value(0);
        auto* notice = Child<TfrmUnSupportFormat>(&frmMain, QStringLiteral("frmUnSupportFormat"));
        notice->ShowFailedFormats(QStringLiteral(".xyz"));
        notice->EditUserEmail->setText(QStringLiteral("li@x.example"));
        notice->ButtonSendErrorReport->click();
        std::printf("sending\n");
        std::fflush(stdout);
    });
}

} // namespace

class tst_ErrorReportSignal : public QObject
{
    Q_OBJECT

private slots:
    void signalWhileTheReportTravels_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("huge reply") << int(ReportServer::Mode::Huge);
        QTest::newRow("trickling reply") << int(ReportServer::Mode::Trickle);
    }
    void signalWhileTheReportTravels()
    {
        QFETCH(int, mode);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString appFolder = work.path() + QStringLiteral("/app/");
        QVERIFY(QDir().mkpath(appFolder + QStringLiteral("language")));
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/en.ini"),
                            appFolder + QStringLiteral("language/en.ini")));
        IniFile(appFolder + QStringLiteral("config.ini"))
            .WriteInteger(QStringLiteral("setting"), QStringLiteral("displayHelpDialog"), 0);

        ReportServer server;
        server.mode = ReportServer::Mode(mode);
        server.rawReply = "HTTP/1.0 200 OK\r\n\r\nReport received\r\n";
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), work.path());
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      {QString::fromLatin1(RunAsProgramSwitch), appFolder, server.Url()});
        QVERIFY(program.waitForStarted(10000));

        // The report has reached the server, and the server has sent what it had to send.
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, 30000);
        if (mode == int(ReportServer::Mode::Huge))
            QTRY_VERIFY_WITH_TIMEOUT(server.hugeDone, 60000);
        // Time for the program to take in what came and show it, which is where a huge reply
        // held it.
        QTest::qWait(3000);
        QVERIFY(program.state() == QProcess::Running);

        QVERIFY(::kill(static_cast<pid_t>(program.processId()), SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 10000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(program.readAllStandardOutput().contains("sending"));
        // The closing steps ran: they save the format choice.
        QVERIFY(IniFile(appFolder + QStringLiteral("config.ini"))
                    .ReadInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), -5) != -5);
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], RunAsProgramSwitch) == 0)
        return StartProgram(argc, argv);
    QApplication app(argc, argv);
    tst_ErrorReportSignal test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ErrorReportSignal.moc"
