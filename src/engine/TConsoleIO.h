#pragma once
// Runs one console child process at a time with pipes on its standard input, output and error,
// reports what it writes as events on the GUI thread, and stops it (with its whole process
// group) on request.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QProcess;
class TConsoleIO;

enum TSplitMode
{
    smNone = 0,
    sm0D0A = 1,
    smSplitchar = 2,
};

// Sender is the runner; Cmd one piece of output, one chunk of standard error or an error text.
using TReceiveEvent = std::function<void(TConsoleIO* Sender, const QString& Cmd)>;
// IsRunning is the runner's new state.
using TProcessStatusChangeEvent = std::function<void(TConsoleIO* Sender, bool IsRunning)>;

// The child runs without a shell, as the leader of a process group of its own, so Stop can end
// everything it started; it is killed as well should the program die without stopping it. Events are raised
// only while the GUI thread runs an event loop (a local QEventLoop will do) and never from another thread.
// Texts are UTF-8 both ways.
//
// Output is cut into pieces by SplitMode; a piece that grows to MaxPendingOutput bytes without
// a separator is delivered as it stands, so a runaway line cannot exhaust memory. Standard
// error arrives in chunks of at most ReadChunkSize bytes, cut only between characters.
// Everything the child wrote before it ended is delivered before the end is reported.
class TConsoleIO : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReadChunkSize = 1025;
    static constexpr qsizetype MaxPendingOutput = 1024 * 1024;

    explicit TConsoleIO(QObject* parent = nullptr);
    // Stops a running child when StopProcessOnFree is true (without EnableKill the child gets
    // WaitTimeout to obey the terminate command); in any case nothing of the child's process
    // group outlives the runner. No event is raised from here: the owner is going away.
    ~TConsoleIO() override;

    // Starts CommandLine; its first word is the program. Words are separated by blanks, and
    // double quotes keep blanks inside one word; no shell is involved. CurrentDirectory empty
    // means the runner's own. ShowWindow has no meaning here: the child never gets a terminal.
    // Raises AppError "System Error.  Code: %d." plus a line break and the system's text when
    // the program cannot be started; the runner then stays idle.
    void Start(const QString& CommandLine, const QString& CurrentDirectory = QString(),
               bool ShowWindow = false);
    // Starts Program with one argument per entry of Arguments, each passed on unchanged.
    void Start(const QString& Program, const QStringList& Arguments, const QString& CurrentDirectory);

    // Writes Text and the terminator of SplitMode (unless SplitSend is false) to the child's
    // standard input. Raises AppError when no child can take it.
    void SendLine(const QString& Text);

    // Writes TerminateCommand (if any); with EnableKill, waits up to WaitTimeout for the child
    // to end and then kills its whole process group. The end is reported later, by the event
    // loop, like any other end.
    void Stop();

    // Stop without waiting: the terminate command goes now and, with EnableKill, the process
    // group is killed WaitTimeout later unless the child has ended by then. For callers that
    // must never block, such as a run with several children to stop at once.
    void StopSoon();

    // True from Start until the end of the child has been handled (OnProcessStatusChange false).
    bool IsRunning() const;

    // Of the last child whose end was handled (read them in OnProcessStatusChange false or
    // afterwards): its exit status, 4 when Stop killed it; whether it ended by a signal
    // (Stop's kill included; ExitCode is then the signal number unless Stop killed it).
    // -1 and false before any child ended.
    int ExitCode() const { return exitCode; }
    bool ExitCrashed() const { return exitCrashed; }
    // The tracked child's process id (also its process group id), 0 when idle.
    qint64 ProcessId() const;

    QString TerminateCommand = QStringLiteral("quit");
    bool EnableKill = false;
    int WaitTimeout = 1000; // milliseconds
    bool StopProcessOnFree = true;
    TSplitMode SplitMode = sm0D0A;
    char SplitChar = '\n';
    bool SplitReceive = true;
    bool SplitSend = true;

    TReceiveEvent OnReceiveOutput;
    TReceiveEvent OnReceiveError;
    TReceiveEvent OnError;
    TProcessStatusChangeEvent OnProcessStatusChange;

signals:
    // Emitted right after OnProcessStatusChange, for waiters such as a local QEventLoop.
    void ProcessStatusChanged(bool running);

private:
    void Pump();
    void PumpLater();
    bool DeliverOutput(const std::shared_ptr<bool>& token);
    bool DeliverError(const QByteArray& chunk, const std::shared_ptr<bool>& token);
    bool HandleEnd(const std::shared_ptr<bool>& token);
    bool Raise(const TReceiveEvent& event, const QString& text, const std::shared_ptr<bool>& token);
    bool RaiseStatus(bool running, const std::shared_ptr<bool>& token);
    bool WaitForChildEnd(int milliseconds);
    void SendTerminateCommand();
    void KillGroup();
    void ReleaseProcess();

    QProcess* process = nullptr; // the tracked child
    qint64 processId = 0;
    bool childEnded = false; // the child has ended, its end not handled yet
    bool killedByStop = false;
    int exitCode = -1;
    bool exitCrashed = false;

    QByteArray pending;        // output not delivered yet; starts at pendingHead
    qsizetype pendingHead = 0; // bytes at the front already delivered
    qsizetype pendingScan = 0; // bytes from pendingHead known to hold no separator
    QByteArray errorTail;      // an unfinished character at the end of the last error chunk
    QStringList readErrors;    // read errors waiting for OnError

    // A notice of one kind is never handled inside the handler of the same kind, which keeps
    // the order of each pipe; the end waits until both pipes are delivered.
    bool outputBusy = false;
    bool errorBusy = false;
    bool endBusy = false;
    int pumpDepth = 0;
    int noticesHeld = 0; // while Stop or SendLine wait on the child, notices wait too
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
