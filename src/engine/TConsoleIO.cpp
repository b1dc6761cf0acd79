#include "engine/TConsoleIO.h"

#include "platform/AppError.h"
#include "platform/ExceptionReport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

QString SystemErrorText(int code)
{
    return QStringLiteral("System Error.  Code: %1.\n%2")
        .arg(code)
        .arg(QString::fromLocal8Bit(std::strerror(code)));
}

[[noreturn]] void RaiseSystemError(int code)
{
    throw AppError(SystemErrorText(code));
}

// The error number whose system text ends QProcess's own message ("execve: Exec format
// error"), so a failed start reports a code like every other system error.
int ErrorCodeOf(const QString& message)
{
    for (int code = 1; code < 200; ++code) {
        const QString text = QString::fromLocal8Bit(std::strerror(code));
        if (!text.isEmpty() && message.endsWith(text))
            return code;
    }
    return 0;
}

// Whether a child's pipes would not fit under the limit of open files: the three channels, the
// start report and the process descriptor take up to nine at once.
bool OutOfDescriptors()
{
    constexpr rlim_t needed = 9;
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return errno == EMFILE || errno == ENFILE;
    rlim_t open = 0;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] != '.')
            ++open;
    }
    ::closedir(folder);
    rlimit limit{};
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
           open + needed > limit.rlim_cur;
}

// The checks execve would make, done first so a missing or unusable program gets its own
// error code instead of a generic start failure.
void CheckProgram(const QString& program, const QString& currentDirectory)
{
    if (!currentDirectory.isEmpty() && !QFileInfo(currentDirectory).isDir())
        RaiseSystemError(ENOENT);
    if (program.isEmpty())
        RaiseSystemError(ENOENT);
    QString path = program;
    if (!program.contains(u'/')) {
        path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            RaiseSystemError(QFileInfo(program).exists() ? EACCES : ENOENT);
        return;
    }
    const QFileInfo info(currentDirectory.isEmpty() || QDir::isAbsolutePath(program)
                             ? program
                             : QDir(currentDirectory).filePath(program));
    if (!info.exists())
        RaiseSystemError(ENOENT);
    if (info.isDir() || !info.isExecutable())
        RaiseSystemError(EACCES);
}

// Length of the longest prefix that does not end inside a UTF-8 sequence.
qsizetype CompleteUtf8Length(const char* data, qsizetype size)
{
    for (qsizetype i = size - 1; i >= 0 && i >= size - 4; --i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        const qsizetype need = c >= 0xF8 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return size - i < need ? i : size;
    }
    return size;
}

QByteArray ReadChannel(QProcess* process, QProcess::ProcessChannel channel, qint64 maxSize)
{
    process->setReadChannel(channel);
    return process->read(maxSize);
}

bool ChannelEmpty(QProcess* process, QProcess::ProcessChannel channel)
{
    process->setReadChannel(channel);
    return process->bytesAvailable() == 0;
}

} // namespace

TConsoleIO::TConsoleIO(QObject* parent) : QObject(parent) {}

TConsoleIO::~TConsoleIO()
{
    if (process && StopProcessOnFree) {
        try {
            Stop();
            // Without EnableKill the child still gets its time to obey the terminate command.
            if (process && !EnableKill && !TerminateCommand.isEmpty() && pumpDepth == 0 && noticesHeld == 0)
                WaitForChildEnd(WaitTimeout);
        } catch (...) {
            // The child is killed below whatever Stop managed.
        }
    }
    if (process) {
        KillGroup();
        QProcess* p = process;
        process = nullptr;
        p->disconnect(this);
        if (pumpDepth == 0 && noticesHeld == 0) {
            p->waitForFinished(5000);
            delete p;
        } else {
            // Destroyed from inside one of its own notices: the QProcess is still on the stack.
            // It goes once it has collected the killed child.
            if (p->state() == QProcess::NotRunning)
                p->deleteLater();
            else
                connect(p, &QProcess::finished, p, &QObject::deleteLater);
        }
    }
    *alive = false;
}

bool TConsoleIO::IsRunning() const
{
    return process != nullptr;
}

qint64 TConsoleIO::ProcessId() const
{
    return process ? processId : 0;
}

void TConsoleIO::Start(const QString& CommandLine, const QString& CurrentDirectory, bool ShowWindow)
{
    Q_UNUSED(ShowWindow);
    QStringList words = QProcess::splitCommand(CommandLine);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    Start(program, words, CurrentDirectory);
}

void TConsoleIO::Start(const QString& Program, const QStringList& Arguments, const QString& CurrentDirectory)
{
    Q_ASSERT_X(!process, "TConsoleIO::Start", "a child is still running");
    if (process)
        throw AppError(QStringLiteral("TConsoleIO::Start: a child is still running."));

    CheckProgram(Program, CurrentDirectory);

    auto* p = new QProcess;
    p->setProgram(Program);
    p->setArguments(Arguments);
    if (!CurrentDirectory.isEmpty())
        p->setWorkingDirectory(CurrentDirectory);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    // Its own process group (and session, so no terminal), so a stop reaches its children too;
    // and it dies with the program should the program itself die without a stop.
    const pid_t parent = ::getpid();
    p->setChildProcessModifier([parent] {
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
    });

    connect(p, &QProcess::readyReadStandardOutput, this, &TConsoleIO::Pump);
    connect(p, &QProcess::readyReadStandardError, this, &TConsoleIO::Pump);
    connect(p, &QProcess::finished, this, [this, p](int code, QProcess::ExitStatus status) {
        if (p != process)
            return;
        exitCrashed = status == QProcess::CrashExit;
        exitCode = exitCrashed && killedByStop ? 4 : code;
        childEnded = true;
        Pump();
    });
    connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError error) {
        if (p != process || error != QProcess::ReadError)
            return;
        readErrors << p->errorString();
        Pump();
    });

    p->start(QIODevice::ReadWrite);
    if (!p->waitForStarted(-1)) {
        const QString message = p->errorString();
        delete p;
        // Out of file descriptors, Qt cannot make the child's pipes and words it as a program
        // that is not there (which was checked above): say what really is missing.
        if (OutOfDescriptors())
            RaiseSystemError(EMFILE);
        const int code = ErrorCodeOf(message);
        if (code != 0)
            RaiseSystemError(code);
        throw AppError(QStringLiteral("System Error.  Code: 0.\n%1").arg(message));
    }

    process = p;
    processId = p->processId();
    childEnded = false;
    killedByStop = false;
    exitCode = -1;
    exitCrashed = false;
    pending.clear();
    pendingHead = 0;
    pendingScan = 0;
    errorTail.clear();
    readErrors.clear();
    RaiseStatus(true, alive);
}

void TConsoleIO::SendLine(const QString& Text)
{
    QByteArray data = Text.toUtf8();
    if (SplitSend) {
        if (SplitMode == sm0D0A)
            data += "\r\n";
        else if (SplitMode == smSplitchar)
            data += SplitChar;
    }
    if (!process || childEnded || process->state() != QProcess::Running)
        RaiseSystemError(EPIPE);
    if (process->write(data) != data.size())
        RaiseSystemError(EPIPE);
    // Hand it to the pipe now rather than at the next turn of the event loop; a child that does
    // not read gets it later from QProcess's buffer.
    ++noticesHeld;
    process->waitForBytesWritten(0);
    --noticesHeld;
    PumpLater();
}

void TConsoleIO::SendTerminateCommand()
{
    if (TerminateCommand.isEmpty())
        return;
    try {
        SendLine(TerminateCommand);
    } catch (const AppError&) {
        // A child that has already ended cannot take the command; that is no failure of a stop.
        if (process && !childEnded && process->state() == QProcess::Running)
            throw;
    }
}

void TConsoleIO::Stop()
{
    if (!process)
        return;
    SendTerminateCommand();
    if (!EnableKill || !process)
        return;
    if (!TerminateCommand.isEmpty() && WaitForChildEnd(WaitTimeout))
        return;
    KillGroup();
}

void TConsoleIO::StopSoon()
{
    if (!process)
        return;
    try {
        SendTerminateCommand();
    } catch (const AppError&) {
        // A child that cannot take it any more is killed below all the same.
    }
    if (!EnableKill)
        return;
    QTimer::singleShot(qMax(0, WaitTimeout), this, [this, child = process, pid = processId] {
        if (process == child && processId == pid && !childEnded && process->state() != QProcess::NotRunning)
            KillGroup();
    });
}

bool TConsoleIO::WaitForChildEnd(int milliseconds)
{
    if (childEnded || process->state() == QProcess::NotRunning)
        return true;
    if (milliseconds > 0) {
        // QProcess may read output while it waits; it is delivered once the event loop runs.
        ++noticesHeld;
        process->waitForFinished(milliseconds);
        --noticesHeld;
        PumpLater();
    }
    return childEnded || process->state() == QProcess::NotRunning;
}

void TConsoleIO::KillGroup()
{
    if (!process || processId <= 0)
        return;
    const bool childAlive = !childEnded && process->state() != QProcess::NotRunning;
    // The child leads its group, so the group id is its pid; it stays reserved while any
    // member of the group lives, so this never reaches a stranger.
    ::kill(-static_cast<pid_t>(processId), SIGKILL);
    if (childAlive) {
        killedByStop = true;
        process->kill();
    }
}

void TConsoleIO::PumpLater()
{
    QTimer::singleShot(0, this, &TConsoleIO::Pump);
}

void TConsoleIO::Pump()
{
    if (noticesHeld > 0)
        return;
    const std::shared_ptr<bool> token = alive;
    ++pumpDepth;
    for (;;) {
        bool worked = false;

        if (process && !outputBusy) {
            const qsizetype old = pending.size();
            pending.resize(old + ReadChunkSize);
            process->setReadChannel(QProcess::StandardOutput);
            const qint64 n = process->read(pending.data() + old, ReadChunkSize);
            pending.resize(old + qMax<qint64>(n, 0));
            if (n > 0) {
                worked = true;
                outputBusy = true;
                if (!DeliverOutput(token))
                    return;
                outputBusy = false;
            }
        }

        if (process && !errorBusy) {
            const QByteArray chunk =
                ReadChannel(process, QProcess::StandardError, ReadChunkSize - errorTail.size());
            if (!chunk.isEmpty()) {
                worked = true;
                errorBusy = true;
                if (!DeliverError(chunk, token))
                    return;
                errorBusy = false;
            }
        }

        if (!readErrors.isEmpty()) {
            worked = true;
            const QString text = readErrors.takeFirst();
            if (!Raise(OnError, text, token))
                return;
        }

        if (!worked && process && childEnded && !outputBusy && !errorBusy && !endBusy &&
            ChannelEmpty(process, QProcess::StandardOutput) &&
            ChannelEmpty(process, QProcess::StandardError)) {
            worked = true;
            if (!HandleEnd(token))
                return;
        }

        if (!worked)
            break;
    }
    --pumpDepth;
}

bool TConsoleIO::DeliverOutput(const std::shared_ptr<bool>& token)
{
    for (;;) {
        const char* data = pending.constData() + pendingHead;
        const qsizetype size = pending.size() - pendingHead;
        if (!OnReceiveOutput) {
            // Kept for a handler that may come, but only the newest part of it.
            if (size > MaxPendingOutput) {
                pendingHead += size - MaxPendingOutput;
                pendingScan = 0;
            }
            break;
        }
        qsizetype pieceLength = -1;
        qsizetype separatorLength = 0;
        if (!SplitReceive || SplitMode == smNone) {
            pieceLength = CompleteUtf8Length(data, size);
            if (pieceLength == 0)
                break;
        } else if (SplitMode == sm0D0A || SplitMode == smSplitchar) {
            const QByteArrayView rest(data, size);
            const qsizetype from = qMax<qsizetype>(0, pendingScan - 1);
            const qsizetype at = SplitMode == sm0D0A ? rest.indexOf(QByteArrayView("\r\n"), from)
                                                     : rest.indexOf(SplitChar, from);
            if (at >= 0) {
                pieceLength = at;
                separatorLength = SplitMode == sm0D0A ? 2 : 1;
            } else if (size >= MaxPendingOutput) {
                // A runaway line: delivered as it stands, cut between characters.
                pieceLength = CompleteUtf8Length(data, MaxPendingOutput);
                if (pieceLength == 0)
                    pieceLength = MaxPendingOutput;
            } else {
                pendingScan = size;
                break;
            }
        } else {
            break;
        }
        const QString piece = QString::fromUtf8(data, pieceLength);
        pendingHead += pieceLength + separatorLength;
        pendingScan = 0;
        if (!Raise(OnReceiveOutput, piece, token))
            return false;
    }
    if (pendingHead > 0) {
        pending.remove(0, pendingHead);
        pendingHead = 0;
    }
    return true;
}

bool TConsoleIO::DeliverError(const QByteArray& chunk, const std::shared_ptr<bool>& token)
{
    if (!OnReceiveError) {
        errorTail.clear();
        return true;
    }
    const QByteArray bytes = errorTail + chunk;
    const qsizetype complete = CompleteUtf8Length(bytes.constData(), bytes.size());
    errorTail = bytes.mid(complete);
    if (complete == 0)
        return true;
    return Raise(OnReceiveError, QString::fromUtf8(bytes.constData(), complete), token);
}

bool TConsoleIO::HandleEnd(const std::shared_ptr<bool>& token)
{
    endBusy = true;
    if (!errorTail.isEmpty()) {
        const QString rest = QString::fromUtf8(errorTail);
        errorTail.clear();
        if (OnReceiveError && !Raise(OnReceiveError, rest, token))
            return false;
    }
    if (OnReceiveOutput) {
        const QString rest =
            QString::fromUtf8(pending.constData() + pendingHead, pending.size() - pendingHead);
        pending.clear();
        pendingHead = 0;
        pendingScan = 0;
        if (!Raise(OnReceiveOutput, rest, token))
            return false;
    }
    pending.clear();
    pendingHead = 0;
    pendingScan = 0;
    ReleaseProcess();
    endBusy = false;
    return RaiseStatus(false, token);
}

void TConsoleIO::ReleaseProcess()
{
    if (!process)
        return;
    // The child has ended; whatever it left behind in its group would be an orphan.
    ::kill(-static_cast<pid_t>(processId), SIGKILL);
    QProcess* p = process;
    process = nullptr;
    processId = 0;
    childEnded = false;
    p->disconnect(this);
    p->deleteLater();
}

bool TConsoleIO::Raise(const TReceiveEvent& event, const QString& text, const std::shared_ptr<bool>& token)
{
    if (!event)
        return true;
    // A copy: the handler may replace or clear the event it runs in.
    const TReceiveEvent handler = event;
    try {
        handler(this, text);
    } catch (...) {
        if (*token)
            ReportCurrentException();
    }
    return *token;
}

bool TConsoleIO::RaiseStatus(bool running, const std::shared_ptr<bool>& token)
{
    if (OnProcessStatusChange) {
        const TProcessStatusChangeEvent handler = OnProcessStatusChange;
        try {
            handler(this, running);
        } catch (...) {
            if (*token)
                ReportCurrentException();
        }
        if (!*token)
            return false;
    }
    emit ProcessStatusChanged(running);
    return *token;
}
