#include "engine/TBatchRun.h"

#include "engine/OutputFile.h"
#include "engine/OutputNames.h"
#include "engine/TConsoleIO.h"
#include "engine/TEncoderLog.h"
#include "engine/TFFMpeg.h"
#include "engine/TLogLines.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <sys/types.h>
#include <vector>

struct TBatchRun::TSlot
{
    int index = -1;
    TConsoleIO* runner = nullptr;
    TProgressState progress;
    QString output;
    QString script;       // the rotation script this item reads, if any
    bool stopped = false; // by Stop or Close: the end is no failure
    QStringList logLines; // held until the item ends when several items run at once
    // The encoder's two streams, each cut into whole lines for the log on its own.
    TLogLines outputLog;
    TLogLines errorLog;
};

TBatchRun::TBatchRun(const TfrmCommon& common, QObject* parent)
    : QObject(parent), common(common), ffmpeg(new TFFMpeg(this))
{
    ticker = new QTimer(this);
    ticker->setInterval(1000);
    connect(ticker, &QTimer::timeout, this, &TBatchRun::Tick);
}

TBatchRun::~TBatchRun()
{
    Close();
}

void TBatchRun::Start(const QList<TBatchItem>& newItems, const TJobSettings& newSettings,
                      const QString& folder, int newSimultaneous, TSettleOutput settle)
{
    if (running)
        throw AppError(QStringLiteral("A conversion is running already."));
    closed = false;
    // No folder would put every output into the root of the file system.
    if (folder.trimmed().isEmpty())
        throw AppError(QStringLiteral("No output folder is given."));
    QString path = folder;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    // A folder that cannot be made shows at the first item, whose file cannot be created.
    if (!path.isEmpty() && !QFileInfo(path).isDir())
        QDir().mkpath(path);

    items = newItems;
    settings = newSettings;
    outputFolder = path.endsWith(u'/') ? path : path + u'/';
    simultaneous = qMax(1, newSimultaneous);
    settleOutput = std::move(settle);
    outputs = QList<QString>(items.size());
    errorLines = QList<QStringList>(items.size());
    nextIndex = 0;
    failedItems.clear();
    endError.clear();
    stopping = false;
    settling = false;
    logFailureReported = false;
    paused = false;
    pausedMs = 0;
    runClock.start();
    privateFolder.reset();
    running = true;
    TEncoderLog(common).ClearLog();

    // The first encoder starts from the event loop, so the caller sees every signal after
    // Start has returned.
    startQueued = true;
    QTimer::singleShot(0, this, [this] {
        startQueued = false;
        StartNext();
    });
}

void TBatchRun::StartNext()
{
    if (!running || closed || settling)
        return;
    while (!paused && !stopping && endError.isEmpty() && nextIndex < items.size() &&
           int(active.size()) < simultaneous) {
        const int index = nextIndex++;
        bool started = false;
        try {
            started = StartItem(index);
        } catch (...) {
            if (closed)
                return;
            EndRunWithError(CurrentExceptionText());
            break;
        }
        if (closed || !running)
            return;
        // An item the question was still open for when a stop came was not skipped: it was
        // never started, like the items after it.
        if (!started && !stopping)
            emit ItemFinished(index, TItemResult::Skipped);
        if (closed)
            return;
    }
    if (!active.empty() && !paused)
        ticker->start();
    FinishIfDone();
}

bool TBatchRun::StartItem(int index)
{
    const TBatchItem& item = items[index];
    const QString sourceShort = ShortPath(item.source);
    const QString outputPath = outputFolder + OutputNameFor(item.source, settings.currentExtension);

    QString target;
    const QString replaceable = ReplaceableTarget(item, outputPath, sourceShort);
    if (!sourceShort.isEmpty() && SameFile(outputPath, sourceShort)) {
        // Writing the placeholder would destroy the source before the encoder reads it.
        target = MakeAutoName(outputPath);
    } else if (!replaceable.isEmpty()) {
        // What a cut-off run of this item left half written: no question about it.
        target = replaceable;
    } else if (OutputPathTaken(outputPath) && settleOutput) {
        settling = true;
        try {
            target = settleOutput(index, outputPath);
        } catch (...) {
            settling = false;
            throw;
        }
        settling = false;
        // The question ran an event loop: a stop or a close may have come meanwhile.
        if (closed || stopping)
            return false;
    } else {
        target = outputPath;
    }
    if (target.isEmpty())
        return false;

    CreatePlaceholder(target);
    auto slot = std::make_unique<TSlot>();
    slot->index = index;
    slot->output = target;
    outputs[index] = target;
    // From here on a failure must not leave the placeholder behind.
    const auto dropPlaceholder = [&target] {
        if (StillPlaceholder(target))
            QFile::remove(target);
    };
    try {
        if (!privateFolder) {
            privateFolder = std::make_unique<QTemporaryDir>(TempFolder() + QStringLiteral("velmora-XXXXXX"));
            if (!privateFolder->isValid())
                throw AppError(QStringLiteral("Cannot create a temporary folder in \"%1\". %2")
                                   .arg(TempFolder(), privateFolder->errorString()));
        }
        TJobFiles files{sourceShort,       ShortPath(target), item.startText,
                        item.durationText, FreeScriptPath(),  privateFolder->path()};
        const TJobCommand job = TJobSetup::BuildJobCommandLine(*ffmpeg, settings, files);
        if (job.scriptWritten) {
            slot->script = job.inputFile;
            if (!scriptsWritten.contains(job.inputFile))
                scriptsWritten << job.inputFile;
        }
        TSlot* raw = slot.get();
        active.push_back(std::move(slot));
        Log(*raw, {job.commandLine});

        auto* runner = new TConsoleIO(this);
        runner->EnableKill = true;
        runner->StopProcessOnFree = true;
        runner->TerminateCommand = QStringLiteral("quit");
        runner->WaitTimeout = stopGraceMs;
        runner->SplitMode = smSplitchar;
        runner->SplitChar = '\n';
        runner->OnReceiveOutput = [this, index](TConsoleIO*, const QString& text) {
            ItemOutput(index, text);
        };
        runner->OnReceiveError = [this, index](TConsoleIO*, const QString& text) { ItemError(index, text); };
        runner->OnProcessStatusChange = [this, index](TConsoleIO*, bool isRunning) {
            if (!isRunning)
                ItemEnded(index);
        };
        raw->runner = runner;
        try {
            runner->Start(job.program, job.arguments, QString());
        } catch (...) {
            raw->runner = nullptr;
            runner->deleteLater();
            throw;
        }
        // A pause that came while the existing-output question was open holds this one too.
        if (paused && runner->ProcessId() > 0)
            ::kill(-static_cast<pid_t>(runner->ProcessId()), SIGSTOP);
    } catch (...) {
        std::erase_if(active, [index](const std::unique_ptr<TSlot>& s) { return s->index == index; });
        dropPlaceholder();
        throw;
    }
    // Outside the clean-up above: whatever a receiver does, the encoder runs now.
    emit ItemStarted(index, target);
    return true;
}

QString TBatchRun::ReplaceableTarget(const TBatchItem& item, const QString& outputPath,
                                     const QString& sourceShort) const
{
    const QString& path = item.replaceableOutput;
    if (path.isEmpty())
        return QString();
    // Only that very file: not a link (whose target is somebody else's), not a folder, never
    // the source.
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return QString();
    if (!sourceShort.isEmpty() && SameFile(path, sourceShort))
        return QString();
    return IsAutoNameOf(path, outputPath) ? path : QString();
}

TBatchRun::TSlot* TBatchRun::SlotOf(int index) const
{
    for (const auto& slot : active) {
        if (slot->index == index)
            return slot.get();
    }
    return nullptr;
}

QString TBatchRun::FreeScriptPath() const
{
    // The first keeps the usual name; an item that needs one while it is in use gets the next.
    for (int number = 1;; ++number) {
        const QString path = TJobSetup::ScriptPath(settings.tempFolder, number);
        const bool inUse =
            std::any_of(active.begin(), active.end(),
                        [&path](const std::unique_ptr<TSlot>& s) { return s->script == path; });
        if (!inUse)
            return path;
    }
}

void TBatchRun::ItemOutput(int index, const QString& text)
{
    TSlot* slot = SlotOf(index);
    if (!slot)
        return;
    // A piece of standard output is one line whose end the runner has cut off.
    Log(*slot, slot->outputLog.Take(text + u'\n'));
    TakeProgress(*slot, index, text);
}

void TBatchRun::TakeProgress(TSlot& slot, int index, const QString& text)
{
    const TProgressState before = slot.progress;
    slot.progress.TakeMarkers(text);
    // Most pieces are ffmpeg's own messages: only what moves the figures is told.
    if (slot.progress.ReachedSeconds == before.ReachedSeconds &&
        slot.progress.TotalSeconds == before.TotalSeconds && slot.progress.Speed == before.Speed)
        return;
    TItemProgress progress;
    progress.reachedSeconds = slot.progress.ReachedSeconds;
    progress.totalSeconds = slot.progress.TotalSeconds;
    progress.windowSeconds =
        slot.progress.TotalSeconds > 0 || !items[index].durationText.isEmpty()
            ? slot.progress.WindowSeconds(items[index].startText, items[index].durationText)
            : 0;
    progress.speed = slot.progress.Speed;
    progress.runTicks = slot.progress.RunTicks;
    // The last use of the slot: a receiver may stop or close the run.
    emit ItemProgress(index, progress);
}

void TBatchRun::ItemError(int index, const QString& text)
{
    if (TSlot* slot = SlotOf(index)) {
        // A chunk of standard error may end inside a line: the log gets whole lines only.
        Log(*slot, slot->errorLog.Take(text));
        // Both channels are read for markers, as an encoder may report on either.
        TakeProgress(*slot, index, text);
    }
    QStringList& kept = errorLines[index];
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        kept << trimmed;
        if (kept.size() > KeptErrorLines)
            kept.removeFirst();
    }
}

void TBatchRun::ItemEnded(int index)
{
    TSlot* slot = SlotOf(index);
    if (!slot)
        return;
    TConsoleIO* runner = slot->runner;
    // An encoder that ended with an error, or was killed, failed; one that was stopped did not.
    // One that reports success but never wrote the output failed all the same.
    const bool unwritten = StillPlaceholder(slot->output);
    const bool failed = !slot->stopped && (runner->ExitCrashed() || runner->ExitCode() != 0 || unwritten);
    // A placeholder that no encoder wrote to is no output: leave no 6-byte "video" behind.
    if (unwritten)
        QFile::remove(slot->output);
    if (failed)
        failedItems << index;
    FlushLog(*slot);
    const TItemResult result = slot->stopped ? TItemResult::Stopped
                               : failed      ? TItemResult::Failed
                                             : TItemResult::Converted;
    // The runner is inside its own notice: it goes once the notice is over.
    runner->deleteLater();
    std::erase_if(active, [index](const std::unique_ptr<TSlot>& s) { return s->index == index; });
    if (active.empty())
        ticker->stop();
    emit ItemFinished(index, result);
    if (closed)
        return;
    StartNext();
}

void TBatchRun::Tick()
{
    for (const auto& slot : active)
        ++slot->progress.RunTicks;
}

void TBatchRun::FinishIfDone()
{
    if (!running || !active.empty() || settling || startQueued)
        return;
    if (!stopping && endError.isEmpty() && nextIndex < items.size())
        return;
    const bool wasPaused = Unpause();
    running = false;
    ticker->stop();
    // The links a script named are needed only while encoders read them.
    privateFolder.reset();
    // In list order, whichever ended first.
    std::sort(failedItems.begin(), failedItems.end());
    QStringList extensions;
    for (int index : failedItems)
        extensions << ExtensionWithDot(ShortPath(items[index].source));
    const bool stopped = stopping;
    const QString error = endError;
    stopping = false;
    if (wasPaused)
        emit PausedChanged(false);
    emit RunFinished(extensions, stopped, error);
}

void TBatchRun::EndRunWithError(const QString& text)
{
    // The items that run already go on to their end; nothing new starts.
    endError = text;
}

void TBatchRun::SendQuitToAll()
{
    for (const auto& slot : active) {
        slot->stopped = true;
        try {
            slot->runner->SendLine(QStringLiteral("q"));
        } catch (const AppError&) {
            // The encoder is ending already and takes no more input; the stop still makes sure.
        }
    }
}

void TBatchRun::Stop()
{
    if (!running || stopping)
        return;
    stopping = true;
    // A stopped encoder would never read its "q".
    const bool wasPaused = Unpause();
    SendQuitToAll();
    for (const auto& slot : active) {
        slot->runner->WaitTimeout = stopGraceMs;
        slot->runner->StopSoon();
    }
    if (wasPaused)
        emit PausedChanged(false);
    FinishIfDone();
}

void TBatchRun::Close()
{
    if (closed)
        return;
    closed = true;
    stopping = true;
    // Continued first: a stopped encoder would read its "q" only when killed.
    Unpause();
    // Every encoder hears "q" before any is waited for, so they finish their files together.
    SendQuitToAll();
    // One grace for all of them together, not one after another.
    const QDeadlineTimer deadline(stopGraceMs);
    for (const auto& slot : active) {
        TConsoleIO* runner = slot->runner;
        runner->OnReceiveOutput = nullptr;
        runner->OnReceiveError = nullptr;
        runner->OnProcessStatusChange = nullptr;
        runner->WaitTimeout = int(qMax<qint64>(0, deadline.remainingTime()));
        try {
            runner->Stop();
        } catch (const AppError&) {
        }
        delete runner;
        if (StillPlaceholder(slot->output))
            QFile::remove(slot->output);
        FlushLog(*slot);
    }
    active.clear();
    ticker->stop();
    for (const QString& script : scriptsWritten)
        QFile::remove(script);
    scriptsWritten.clear();
    privateFolder.reset();
    running = false;
}

void TBatchRun::Pause()
{
    if (!running || paused || stopping || closed)
        return;
    paused = true;
    pauseClock.start();
    ticker->stop();
    SignalEncoders(SIGSTOP);
    emit PausedChanged(true);
}

void TBatchRun::Resume()
{
    if (!Unpause())
        return;
    emit PausedChanged(false);
    if (!closed)
        StartNext();
}

bool TBatchRun::Unpause()
{
    if (!paused)
        return false;
    paused = false;
    pausedMs += pauseClock.elapsed();
    SignalEncoders(SIGCONT);
    if (!active.empty() && running && !closed)
        ticker->start();
    return true;
}

void TBatchRun::SignalEncoders(int signalNumber)
{
    for (const auto& slot : active) {
        const qint64 group = slot->runner ? slot->runner->ProcessId() : 0;
        // The encoder leads its own process group: its ffmpeg is stopped and continued with it.
        if (group > 0)
            ::kill(-static_cast<pid_t>(group), signalNumber);
    }
}

qint64 TBatchRun::ActiveMilliseconds() const
{
    if (!runClock.isValid())
        return 0;
    return runClock.elapsed() - pausedMs - (paused ? pauseClock.elapsed() : 0);
}

int TBatchRun::RunningCount() const
{
    return int(active.size());
}

qint64 TBatchRun::ProcessId(int index) const
{
    const TSlot* slot = SlotOf(index);
    return slot && slot->runner ? slot->runner->ProcessId() : 0;
}

QString TBatchRun::OutputOf(int index) const
{
    return index >= 0 && index < outputs.size() ? outputs[index] : QString();
}

QStringList TBatchRun::ErrorLinesOf(int index) const
{
    return index >= 0 && index < errorLines.size() ? errorLines[index] : QStringList();
}

void TBatchRun::Log(TSlot& slot, const QStringList& lines)
{
    // Asked for every piece, as a switch made during a run counts from the next line on. After a
    // failure nothing more is written in this run.
    if (lines.isEmpty() || logFailureReported || !TEncoderLog(common).Enabled())
        return;
    // Several items at once would mix their lines: each item's block is written when it ends.
    if (simultaneous > 1)
        slot.logLines << lines;
    else
        AppendToLog(lines);
}

void TBatchRun::FlushLog(TSlot& slot)
{
    // The last line of either stream, should the encoder have ended without its line end.
    Log(slot, slot.outputLog.Rest() + slot.errorLog.Rest());
    if (slot.logLines.isEmpty() || logFailureReported)
        return;
    AppendToLog(slot.logLines);
    slot.logLines.clear();
}

void TBatchRun::AppendToLog(const QStringList& lines)
{
    try {
        TEncoderLog(common).AppendLines(lines);
    } catch (const AppError& error) {
        // Told once per run, not for every line the encoder prints; the run goes on without it.
        logFailureReported = true;
        ReportException(error.Text());
    }
}
