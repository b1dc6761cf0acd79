// The console runner against small child programs, with the event loop running.
#include "engine/TConsoleIO.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"

#include <QPointer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

namespace {

QString Child(const char* name)
{
    return QStringLiteral(CHILD_DIR "/") + QLatin1String(name);
}

// A pid is gone when it no longer exists or is a zombie nobody has reaped yet.
bool ProcessGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

// Everything the runner reported, in order.
struct Recorder
{
    QStringList output;
    QStringList errors;
    QStringList readErrors;
    QList<bool> status;
    QList<bool> runningDuringOutput;

    void Attach(TConsoleIO& io)
    {
        io.OnReceiveOutput = [this](TConsoleIO* sender, const QString& cmd) {
            output << cmd;
            runningDuringOutput << sender->IsRunning();
        };
        io.OnReceiveError = [this](TConsoleIO*, const QString& cmd) { errors << cmd; };
        io.OnError = [this](TConsoleIO*, const QString& cmd) { readErrors << cmd; };
        io.OnProcessStatusChange = [this](TConsoleIO*, bool running) { status << running; };
    }
};

// Waits in a local event loop, as the batch run does, until the runner reports the end.
bool WaitForEnd(TConsoleIO& io, int guardMs = 20000)
{
    if (!io.IsRunning())
        return true;
    QEventLoop loop;
    QObject::connect(&io, &TConsoleIO::ProcessStatusChanged, &loop, [&](bool running) {
        if (!running)
            loop.quit();
    });
    QTimer::singleShot(guardMs, &loop, &QEventLoop::quit);
    loop.exec();
    return !io.IsRunning();
}

} // namespace

class TestConsoleIO : public QObject
{
    Q_OBJECT

private slots:
    void initialProperties();
    void splitting_data();
    void splitting();
    void outputWithoutHandlerIsKeptBack();
    void errorChunksAreBoundedAndComplete();
    void everythingWrittenArrivesBeforeTheEnd();
    void exitStatus_data();
    void exitStatus();
    void statusChangesOncePerChild();
    void eventsWaitForTheEventLoop();
    void startFailures_data();
    void startFailures();
    void argumentsStayWhole();
    void commandLineAndCurrentDirectory();
    void sendLine_data();
    void sendLine();
    void sendLineWithoutChild();
    void stopAsksThenKills_data();
    void stopAsksThenKills();
    void stopWithoutKillOnlyAsks();
    void stopWhenIdleDoesNothing();
    void stopKillsTheWholeGroup();
    void destroyingStopsTheChild();
    void destroyedInsideItsOwnHandler();
    void runawayLineIsDeliveredInPieces();
    void childClosingOutputEarly();
    void handlerErrorsAreReportedAndRunGoesOn();
    void nextChildStartedFromTheEndEvent();
    void secondStartWhileRunningIsRefused();
    void stopAfterAnUnnoticedEnd_data();
    void stopAfterAnUnnoticedEnd();
    void childThatNeverReadsInput();
    void childDiesWithACrashedProgram();
    void handlerRunningItsOwnEventLoop();
};

void TestConsoleIO::initialProperties()
{
    TConsoleIO io;
    QCOMPARE(io.TerminateCommand, QStringLiteral("quit"));
    QCOMPARE(io.EnableKill, false);
    QCOMPARE(io.WaitTimeout, 1000);
    QCOMPARE(io.StopProcessOnFree, true);
    QCOMPARE(io.SplitMode, sm0D0A);
    QCOMPARE(io.SplitChar, '\n');
    QCOMPARE(io.SplitReceive, true);
    QCOMPARE(io.SplitSend, true);
    QCOMPARE(io.IsRunning(), false);
    QVERIFY(!io.OnReceiveOutput && !io.OnReceiveError && !io.OnError && !io.OnProcessStatusChange);
    QCOMPARE(int(smNone), 0);
    QCOMPARE(int(sm0D0A), 1);
    QCOMPARE(int(smSplitchar), 2);
}

void TestConsoleIO::splitting_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<char>("splitChar");
    QTest::addColumn<bool>("splitReceive");
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("expected");

    const QString end; // the end of the child always adds the pending rest, maybe empty
    QTest::newRow("lf keeps cr, end adds empty")
        << int(smSplitchar) << '\n'
        << true << QStringList{"out:abc\\r\\ndef\\n"} << QStringList{"abc\r", "def", end};
    QTest::newRow("last figure without lf arrives at the end")
        << int(smSplitchar) << '\n'
        << true << QStringList{"out:1\\n12.5"} << QStringList{"1", "12.5"};
    QTest::newRow("line split across chunks")
        << int(smSplitchar) << '\n'
        << true << QStringList{"out:ab", "sleep:150", "out:c\\n"} << QStringList{"abc", end};
    QTest::newRow("carriage returns alone stay together")
        << int(smSplitchar) << '\n'
        << true << QStringList{"out:5%\\r6%\\r7%\\n"} << QStringList{"5%\r6%\r7%", end};
    QTest::newRow("0d0a ignores a lone lf")
        << int(sm0D0A) << '\n'
        << true << QStringList{"out:a\\nb\\r\\nc"} << QStringList{"a\nb", "c"};
    QTest::newRow("0d0a pair split across chunks")
        << int(sm0D0A) << '\n'
        << true << QStringList{"out:x\\r", "sleep:150", "out:\\ny\\r\\n"} << QStringList{"x", "y", end};
    QTest::newRow("own split char") << int(smSplitchar) << ';' << true << QStringList{"out:a;b\\n;c"}
                                    << QStringList{"a", "b\n", "c"};
    QTest::newRow("empty lines are pieces too")
        << int(smSplitchar) << '\n'
        << true << QStringList{"out:\\n\\nx\\n"} << QStringList{"", "", "x", end};
    QTest::newRow("none delivers chunks as read")
        << int(smNone) << '\n'
        << true << QStringList{"out:ab\\n", "sleep:150", "out:cd"} << QStringList{"ab\n", "cd", end};
    QTest::newRow("split receive off delivers chunks as read")
        << int(smSplitchar) << '\n'
        << false << QStringList{"out:ab\\n", "sleep:150", "out:cd\\n"} << QStringList{"ab\n", "cd\n", end};
    QTest::newRow("non-ascii text split across chunks")
        << int(smSplitchar) << '\n'
        << true << QStringList{"out:Gr\\xc3", "sleep:150", "out:\\xb6\\xc3\\x9fe \xe4\xb8\xad\\n"}
        << QStringList{QStringLiteral(u"Größe 中"), end};
    QTest::newRow("non-ascii chunk cut inside a letter, no splitting")
        << int(smNone) << '\n'
        << true << QStringList{"out:a\\xc3", "sleep:150", "out:\\xb6b"}
        << QStringList{"a", QStringLiteral(u"öb"), end};
}

void TestConsoleIO::splitting()
{
    QFETCH(int, mode);
    QFETCH(char, splitChar);
    QFETCH(bool, splitReceive);
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);

    TConsoleIO io;
    io.SplitMode = TSplitMode(mode);
    io.SplitChar = splitChar;
    io.SplitReceive = splitReceive;
    Recorder r;
    r.Attach(io);
    io.Start(Child("child_script"), script, QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output, expected);
    QVERIFY(!r.runningDuringOutput.contains(false));
}

void TestConsoleIO::outputWithoutHandlerIsKeptBack()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    Recorder r;
    r.Attach(io);
    io.OnReceiveOutput = nullptr;
    io.Start(Child("child_script"), {"out:one\\n", "err:warn\\n", "out:two\\n"}, QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.errors.join(QString()), QStringLiteral("warn\n"));
    QCOMPARE(r.status, (QList<bool>{true, false}));

    // Nothing of the first child is left over for the next.
    r.Attach(io);
    io.Start(Child("child_script"), {"out:three\\n"}, QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output, (QStringList{"three", ""}));
}

void TestConsoleIO::errorChunksAreBoundedAndComplete()
{
    TConsoleIO io;
    Recorder r;
    r.Attach(io);
    // Two-byte letters throughout, so a cut in the middle of one would show.
    const QString letter = QStringLiteral(u"ä");
    QString expected;
    QStringList script;
    for (int i = 0; i < 5; ++i) {
        script << QStringLiteral("err:") +
                      QString(3000, letter.front()).toUtf8().toPercentEncoding().replace('%', "\\x");
        expected += QString(3000, letter.front());
    }
    io.Start(Child("child_script"), script, QString());
    QVERIFY(WaitForEnd(io));
    QVERIFY(r.errors.size() >= 30000 / TConsoleIO::ReadChunkSize);
    for (const QString& chunk : r.errors)
        QVERIFY2(chunk.toUtf8().size() <= TConsoleIO::ReadChunkSize,
                 qPrintable(QString::number(chunk.size())));
    QCOMPARE(r.errors.join(QString()), expected);
}

void TestConsoleIO::everythingWrittenArrivesBeforeTheEnd()
{
    // The child writes a lot on both pipes and ends at once: nothing may be lost and the end
    // comes after the last piece.
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    qsizetype outBytes = 0, errBytes = 0;
    int lines = 0;
    bool endSeen = false, lateData = false;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) {
        lateData |= endSeen;
        outBytes += cmd.size();
        ++lines;
    };
    io.OnReceiveError = [&](TConsoleIO*, const QString& cmd) {
        lateData |= endSeen;
        errBytes += cmd.size();
    };
    io.OnProcessStatusChange = [&](TConsoleIO*, bool running) { endSeen = !running; };
    QStringList script;
    for (int i = 0; i < 20; ++i)
        script << "outfill:49999:y"
               << "out:\\n"
               << "errfill:15000:e";
    script << "out:last";
    io.Start(Child("child_script"), script, QString());
    QVERIFY(WaitForEnd(io));
    QVERIFY(endSeen);
    QVERIFY(!lateData);
    QCOMPARE(outBytes, 20 * 49999 + 4);
    QCOMPARE(errBytes, 20 * 15000);
    QCOMPARE(lines, 21);
}

void TestConsoleIO::exitStatus_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("crashed");
    QTest::newRow("success") << QStringList{"out:ok\\n"} << 0 << false;
    QTest::newRow("failure") << QStringList{"exit:3"} << 3 << false;
    QTest::newRow("status 255") << QStringList{"exit:255"} << 255 << false;
    QTest::newRow("crash") << QStringList{"signal:11"} << int(SIGSEGV) << true;
    QTest::newRow("abort") << QStringList{"signal:6"} << int(SIGABRT) << true;
}

void TestConsoleIO::exitStatus()
{
    QFETCH(QStringList, script);
    QFETCH(int, exitCode);
    QFETCH(bool, crashed);
    TConsoleIO io;
    QCOMPARE(io.ExitCode(), -1);
    int codeAtEnd = -2;
    io.OnProcessStatusChange = [&](TConsoleIO* sender, bool running) {
        if (!running)
            codeAtEnd = sender->ExitCode();
    };
    io.Start(Child("child_script"), script, QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(codeAtEnd, exitCode);
    QCOMPARE(io.ExitCode(), exitCode);
    QCOMPARE(io.ExitCrashed(), crashed);
}

void TestConsoleIO::statusChangesOncePerChild()
{
    TConsoleIO io;
    Recorder r;
    r.Attach(io);
    bool runningInsideStart = false;
    io.OnProcessStatusChange = [&](TConsoleIO* sender, bool running) {
        r.status << running;
        if (running)
            runningInsideStart = sender->IsRunning();
    };
    for (int i = 0; i < 2; ++i) {
        io.Start(Child("child_script"), {"out:x\\n"}, QString());
        QCOMPARE(r.status.size(), 2 * i + 1); // raised before Start returns
        QVERIFY(io.IsRunning());
        QVERIFY(io.ProcessId() > 0);
        QVERIFY(WaitForEnd(io));
        QCOMPARE(io.ProcessId(), qint64(0));
    }
    QVERIFY(runningInsideStart);
    QCOMPARE(r.status, (QList<bool>{true, false, true, false}));
}

void TestConsoleIO::eventsWaitForTheEventLoop()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    Recorder r;
    r.Attach(io);
    io.Start(Child("child_script"), {"out:hello\\n", "err:e\\n"}, QString());
    // The child has long written and ended, but without an event loop nothing is reported.
    QThread::msleep(300);
    QVERIFY(r.output.isEmpty());
    QVERIFY(r.errors.isEmpty());
    QVERIFY(io.IsRunning());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output, (QStringList{"hello", ""}));
}

void TestConsoleIO::startFailures_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("code");

    QTest::newRow("missing program") << QStringLiteral("/nonexistent/libm9s.exe") << QString() << ENOENT;
    QTest::newRow("missing on PATH") << QStringLiteral("no-such-program-velmora") << QString() << ENOENT;
    QTest::newRow("not executable") << QStringLiteral(VELMORA_SOURCE_DIR "/CMakeLists.txt") << QString()
                                    << EACCES;
    QTest::newRow("a folder") << QStringLiteral(VELMORA_SOURCE_DIR) << QString() << EACCES;
    QTest::newRow("missing start-in folder")
        << Child("child_script") << QStringLiteral("/nonexistent/folder") << ENOENT;
    QTest::newRow("empty") << QString() << QString() << ENOENT;
    QTest::newRow("executable text without interpreter")
        << QStringLiteral("<script>") << QString() << ENOEXEC;
}

void TestConsoleIO::startFailures()
{
    QFETCH(QString, program);
    QFETCH(QString, folder);
    QFETCH(int, code);
    QTemporaryDir dir;
    if (program == QLatin1String("<script>")) {
        program = dir.filePath(QStringLiteral("not a program.exe"));
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("just text\n");
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser));
    }
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    Recorder r;
    r.Attach(io);
    try {
        io.Start(program, {}, folder);
        QFAIL("Start did not fail");
    } catch (const AppError& e) {
        const QString expected = QStringLiteral("System Error.  Code: %1.\n%2")
                                     .arg(code)
                                     .arg(QString::fromLocal8Bit(std::strerror(code)));
        QCOMPARE(e.Text(), expected);
    }
    QVERIFY(!io.IsRunning());
    QVERIFY(r.status.isEmpty());
    // Still usable afterwards.
    io.Start(Child("child_script"), {"out:fine\\n"}, QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output.value(0), QStringLiteral("fine"));
}

void TestConsoleIO::argumentsStayWhole()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    Recorder r;
    r.Attach(io);
    const QStringList values{
        "C:/My Videos/clip one.avi",       "say \"hi\"", "-leading-dash", " ",      "'single'",
        QStringLiteral(u"Größe_视频.mp4"), "*.avi",      "$HOME",         "a;b|c&d"};
    io.Start(Child("child_script"), QStringList{"args"} + values, QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output, values + QStringList{""});
}

void TestConsoleIO::commandLineAndCurrentDirectory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral(u"start in ö"));
    QVERIFY(QDir().mkpath(folder));

    TConsoleIO io;
    io.SplitMode = smSplitchar;
    Recorder r;
    r.Attach(io);
    io.Start(QStringLiteral("\"%1\" cwd args \"two words\" plain").arg(Child("child_script")), folder, false);
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output, (QStringList{QFileInfo(folder).canonicalFilePath(), "two words", "plain", ""}));
}

void TestConsoleIO::sendLine_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("splitSend");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected"); // what the child read, line by line

    QTest::newRow("lf") << int(smSplitchar) << true << QStringList{"q", "x"} << QStringList{"got:q", "got:x"};
    QTest::newRow("crlf") << int(sm0D0A) << true << QStringList{"q", "x"}
                          << QStringList{"got:q\\r", "got:x\\r"};
    QTest::newRow("no terminator") << int(smSplitchar) << false << QStringList{"a", "b"}
                                   << QStringList{"got:ab"};
    QTest::newRow("none mode has no terminator")
        << int(smNone) << true << QStringList{"a", "b"} << QStringList{"got:ab"};
    QTest::newRow("non-ascii") << int(smSplitchar) << true << QStringList{QStringLiteral(u"ä中")}
                               << QStringList{QStringLiteral(u"got:ä中")};
}

void TestConsoleIO::sendLine()
{
    QFETCH(int, mode);
    QFETCH(bool, splitSend);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    TConsoleIO io;
    io.SplitMode = TSplitMode(mode);
    io.SplitSend = splitSend;
    io.SplitReceive = false; // output as read, whatever the mode
    QString all;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) { all += cmd; };
    io.Start(Child("child_echo"), {}, QString());
    for (const QString& line : lines)
        io.SendLine(line);
    // Ends the child's line (if the mode left it open) and the child.
    io.SplitMode = smSplitchar;
    io.SplitSend = true;
    if (!splitSend || mode == smNone)
        io.SendLine(QString());
    io.SendLine(QStringLiteral("quit"));
    QVERIFY(WaitForEnd(io));
    QCOMPARE(io.ExitCode(), 0);
    QStringList got = all.split(QRegularExpression(QStringLiteral("\\r?\\n")), Qt::SkipEmptyParts);
    QCOMPARE(got.takeFirst(), QStringLiteral("ready"));
    QCOMPARE(got.takeLast(), QStringLiteral("got:quit"));
    QCOMPARE(got, expected);
}

void TestConsoleIO::sendLineWithoutChild()
{
    TConsoleIO io;
    QVERIFY_THROWS_EXCEPTION(AppError, io.SendLine(QStringLiteral("q")));
}

void TestConsoleIO::stopAsksThenKills_data()
{
    QTest::addColumn<QString>("child");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("terminateCommand");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<bool>("quitSeen");

    QTest::newRow("child obeys quit") << Child("child_echo") << QStringList() << "quit" << 0 << false << true;
    QTest::newRow("no terminate command kills at once")
        << Child("child_echo") << QStringList() << "" << 4 << true << false;
    QTest::newRow("child deaf to quit is killed after the wait")
        << Child("child_script") << QStringList{"out:ready\\n", "sleep:30000"} << "quit" << 4 << true
        << false;
}

void TestConsoleIO::stopAsksThenKills()
{
    QFETCH(QString, child);
    QFETCH(QStringList, arguments);
    QFETCH(QString, terminateCommand);
    QFETCH(int, exitCode);
    QFETCH(bool, crashed);
    QFETCH(bool, quitSeen);

    TConsoleIO io;
    io.SplitMode = smSplitchar;
    io.EnableKill = true;
    io.WaitTimeout = 300;
    io.TerminateCommand = terminateCommand;
    Recorder r;
    r.Attach(io);
    io.Start(child, arguments, QString());
    QTRY_VERIFY(r.output.contains(QStringLiteral("ready")));
    const qint64 pid = io.ProcessId();
    io.Stop();
    // The end is reported by the event loop, not by Stop.
    QVERIFY(io.IsRunning());
    QCOMPARE(r.status, QList<bool>{true});
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output.contains(QStringLiteral("got:quit")), quitSeen);
    QCOMPARE(io.ExitCode(), exitCode);
    QCOMPARE(io.ExitCrashed(), crashed);
    QTRY_VERIFY(ProcessGone(pid));
}

void TestConsoleIO::stopWithoutKillOnlyAsks()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    io.EnableKill = false;
    Recorder r;
    r.Attach(io);
    io.Start(Child("child_script"), {"out:ready\\n", "sleep:30000"}, QString());
    QTRY_VERIFY(r.output.contains(QStringLiteral("ready")));
    io.Stop();
    QTest::qWait(200);
    QVERIFY(io.IsRunning());
    QVERIFY(!ProcessGone(io.ProcessId()));

    // The echo child does as it is told.
    TConsoleIO echo;
    echo.SplitMode = smSplitchar;
    Recorder e;
    e.Attach(echo);
    echo.Start(Child("child_echo"), {}, QString());
    echo.Stop();
    QVERIFY(WaitForEnd(echo));
    QVERIFY(e.output.contains(QStringLiteral("got:quit")));
    QCOMPARE(echo.ExitCode(), 0);

    io.EnableKill = true;
    io.TerminateCommand.clear();
    io.Stop();
    QVERIFY(WaitForEnd(io));
    QCOMPARE(io.ExitCode(), 4);
}

void TestConsoleIO::stopWhenIdleDoesNothing()
{
    TConsoleIO io;
    io.EnableKill = true;
    Recorder r;
    r.Attach(io);
    io.Stop(); // no child: no write, no error, no event
    QVERIFY(r.status.isEmpty());
    io.Start(Child("child_script"), {"exit:0"}, QString());
    QVERIFY(WaitForEnd(io));
    io.Stop();
    QCOMPARE(r.status, (QList<bool>{true, false}));
}

void TestConsoleIO::stopKillsTheWholeGroup()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    io.EnableKill = true;
    io.WaitTimeout = 200;
    qint64 grandchild = 0;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) {
        if (cmd.startsWith(QStringLiteral("grandchild:")))
            grandchild = cmd.mid(11).toLongLong();
    };
    io.Start(Child("child_spawn"), {}, QString());
    const qint64 child = io.ProcessId();
    QTRY_VERIFY(grandchild > 0);
    QVERIFY(!ProcessGone(grandchild));
    io.Stop();
    QVERIFY(WaitForEnd(io));
    QCOMPARE(io.ExitCode(), 4);
    QTRY_VERIFY(ProcessGone(child));
    QTRY_VERIFY(ProcessGone(grandchild));
}

void TestConsoleIO::destroyingStopsTheChild()
{
    auto io = std::make_unique<TConsoleIO>();
    io->SplitMode = smSplitchar;
    io->EnableKill = false; // even so, nothing of the child's group may outlive the runner
    qint64 grandchild = 0;
    bool eventAfterDestruction = false;
    bool destroyed = false;
    io->OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) {
        eventAfterDestruction |= destroyed;
        if (cmd.startsWith(QStringLiteral("grandchild:")))
            grandchild = cmd.mid(11).toLongLong();
    };
    io->OnProcessStatusChange = [&](TConsoleIO*, bool) { eventAfterDestruction |= destroyed; };
    io->Start(Child("child_spawn"), {}, QString());
    const qint64 child = io->ProcessId();
    QTRY_VERIFY(grandchild > 0);
    QElapsedTimer clock;
    clock.start();
    destroyed = true;
    io.reset();
    QVERIFY2(clock.elapsed() < 10000, "destruction hung");
    QTest::qWait(100); // anything left queued runs now
    QVERIFY(!eventAfterDestruction);
    QTRY_VERIFY(ProcessGone(child));
    QTRY_VERIFY(ProcessGone(grandchild));
}

void TestConsoleIO::destroyedInsideItsOwnHandler()
{
    auto* io = new TConsoleIO;
    io->SplitMode = smSplitchar;
    int calls = 0;
    QPointer<TConsoleIO> watch(io);
    io->OnReceiveOutput = [&](TConsoleIO* sender, const QString&) {
        ++calls;
        delete sender;
    };
    io->Start(Child("child_script"), {"out:a\\nb\\nc\\n", "sleep:30000"}, QString());
    const qint64 pid = io->ProcessId();
    QTRY_VERIFY(watch.isNull());
    QTest::qWait(100);
    QCOMPARE(calls, 1);
    QTRY_VERIFY(ProcessGone(pid));
}

void TestConsoleIO::runawayLineIsDeliveredInPieces()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    qsizetype total = 0, largest = 0;
    int pieces = 0;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) {
        total += cmd.size();
        largest = qMax(largest, cmd.size());
        ++pieces;
    };
    const qsizetype size = 50 * 1024 * 1024;
    io.Start(Child("child_script"), {QStringLiteral("outfill:%1:z").arg(size), "out:\\nend\\n"}, QString());
    QVERIFY(WaitForEnd(io, 120000));
    QCOMPARE(total, size + 3);
    QVERIFY(largest <= TConsoleIO::MaxPendingOutput);
    QVERIFY(pieces >= size / TConsoleIO::MaxPendingOutput);
}

void TestConsoleIO::childClosingOutputEarly()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    Recorder r;
    r.Attach(io);
    io.Start(Child("child_script"), {"out:bye\\n", "closeout", "sleep:300", "exit:7"}, QString());
    QTRY_VERIFY(r.output.contains(QStringLiteral("bye")));
    QVERIFY(io.IsRunning());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(r.output, (QStringList{"bye", ""}));
    QCOMPARE(io.ExitCode(), 7);
}

void TestConsoleIO::handlerErrorsAreReportedAndRunGoesOn()
{
    QStringList reported;
    const TExceptionReporter previous = SetExceptionReporter([&](const QString& text) { reported << text; });
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    QStringList seen;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) {
        seen << cmd;
        if (cmd == QStringLiteral("bad"))
            throw AppError(QStringLiteral("cannot handle bad"));
    };
    io.OnProcessStatusChange = [&](TConsoleIO*, bool running) {
        if (!running)
            throw AppError(QStringLiteral("end handler failed"));
    };
    io.Start(Child("child_script"), {"out:good\\nbad\\nafter\\n"}, QString());
    QVERIFY(WaitForEnd(io));
    SetExceptionReporter(previous);
    QCOMPARE(seen, (QStringList{"good", "bad", "after", ""}));
    QCOMPARE(reported, (QStringList{"cannot handle bad", "end handler failed"}));
}

void TestConsoleIO::nextChildStartedFromTheEndEvent()
{
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    QStringList seen;
    int started = 0;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) { seen << cmd; };
    io.OnProcessStatusChange = [&](TConsoleIO* sender, bool running) {
        if (!running && started < 3) {
            ++started;
            sender->Start(Child("child_script"), {QStringLiteral("out:run%1\\n").arg(started)}, QString());
        }
    };
    io.Start(Child("child_script"), {"out:run0\\n"}, QString());
    QTRY_VERIFY(started == 3 && !io.IsRunning());
    QCOMPARE(seen, (QStringList{"run0", "", "run1", "", "run2", "", "run3", ""}));
}

void TestConsoleIO::secondStartWhileRunningIsRefused()
{
#ifndef QT_NO_DEBUG
    QSKIP("a debug build stops at the assertion");
#endif
    TConsoleIO io;
    io.EnableKill = true;
    io.TerminateCommand.clear();
    Recorder r;
    r.Attach(io);
    io.Start(Child("child_script"), {"sleep:30000"}, QString());
    const qint64 pid = io.ProcessId();
    QVERIFY_THROWS_EXCEPTION(AppError, io.Start(Child("child_script"), {"exit:0"}, QString()));
    QCOMPARE(io.ProcessId(), pid); // the first child is still the tracked one
    QCOMPARE(r.status, QList<bool>{true});
    io.Stop();
    QVERIFY(WaitForEnd(io));
}

void TestConsoleIO::stopAfterAnUnnoticedEnd_data()
{
    QTest::addColumn<QString>("terminateCommand");
    QTest::newRow("with terminate command") << "quit";
    QTest::newRow("kill only") << "";
}

void TestConsoleIO::stopAfterAnUnnoticedEnd()
{
    // The child has ended but the event loop has not reported it yet: a stop now is no error
    // and does not turn a good end into a kill.
    QFETCH(QString, terminateCommand);
    TConsoleIO io;
    io.EnableKill = true;
    io.TerminateCommand = terminateCommand;
    io.Start(Child("child_script"), {"exit:0"}, QString());
    const qint64 pid = io.ProcessId();
    for (int i = 0; i < 500 && !ProcessGone(pid); ++i)
        QThread::msleep(20); // no event loop here on purpose
    QVERIFY(ProcessGone(pid));
    QVERIFY(io.IsRunning());
    io.Stop();
    QVERIFY(WaitForEnd(io));
    QCOMPARE(io.ExitCode(), 0);
    QVERIFY(!io.ExitCrashed());
}

void TestConsoleIO::childThatNeverReadsInput()
{
    // Far more than a pipe holds: the writes must not block the GUI thread.
    TConsoleIO io;
    io.EnableKill = true;
    io.WaitTimeout = 100;
    io.Start(Child("child_script"), {"sleep:30000"}, QString());
    const QString line(10000, u'x');
    for (int i = 0; i < 100; ++i)
        io.SendLine(line);
    QVERIFY(io.IsRunning());
    io.Stop();
    QVERIFY(WaitForEnd(io));
    QCOMPARE(io.ExitCode(), 4);
}

void TestConsoleIO::childDiesWithACrashedProgram()
{
    // The program itself dies without a stop: its encoder must not run on as an orphan.
    QProcess host;
    host.start(Child("runner_host"), {Child("child_script"), "sleep:60000"});
    QVERIFY(host.waitForStarted());
    QVERIFY(host.waitForFinished(20000));
    QCOMPARE(host.exitStatus(), QProcess::CrashExit);
    const QByteArray line = host.readAllStandardOutput().trimmed();
    QVERIFY2(line.startsWith("child:"), line.constData());
    const qint64 child = line.mid(6).toLongLong();
    QVERIFY(child > 0);
    QTRY_VERIFY(ProcessGone(child));
}

void TestConsoleIO::handlerRunningItsOwnEventLoop()
{
    // An error handler that runs an event loop of its own (as a message box does): output goes
    // on arriving meanwhile, but the next error chunk and the end wait until it returns.
    TConsoleIO io;
    io.SplitMode = smSplitchar;
    QStringList output, errors;
    bool inside = false, errorNested = false, endNested = false;
    int outputWhileInside = 0;
    io.OnReceiveOutput = [&](TConsoleIO*, const QString& cmd) {
        output << cmd;
        outputWhileInside += inside ? 1 : 0;
    };
    io.OnReceiveError = [&](TConsoleIO*, const QString& cmd) {
        errorNested |= inside;
        errors << cmd;
        if (!cmd.startsWith(QStringLiteral("first")))
            return;
        inside = true;
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (output.size() >= 2)
                loop.quit();
        });
        poll.start(10);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        inside = false;
    };
    io.OnProcessStatusChange = [&](TConsoleIO*, bool running) { endNested |= !running && inside; };
    io.Start(Child("child_script"), {"err:first\\n", "sleep:50", "out:a\\n", "err:second\\n", "out:b\\n"},
             QString());
    QVERIFY(WaitForEnd(io));
    QCOMPARE(outputWhileInside, 2);
    QVERIFY(!errorNested);
    QVERIFY(!endNested);
    QCOMPARE(output, (QStringList{"a", "b", ""}));
    QCOMPARE(errors.join(QString()), QStringLiteral("first\nsecond\n"));
}

QTEST_GUILESS_MAIN(TestConsoleIO)
#include "tst_TConsoleIO.moc"
