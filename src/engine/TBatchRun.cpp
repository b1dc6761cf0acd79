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
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

struct TBatchRun::TSlot
{
    int index = -1;
    TConsoleIO* runner = nullptr;
    TProgressState progress;
    QString output;          // the output's name
    QString partial;         // what the encoder writes until the item ends
    bool madeOutput = false; // the output's name holds this run's placeholder
    QString script;          // the rotation script this item reads, if any
    bool stopped = false;    // by Stop or Close: the end is no failure
    QStringList logLines;    // held until the item ends when several items run at once
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
    wantedOutputs = QList<QString>(items.size());
    madeOutputs = QList<bool>(items.size(), false);
    errorLines = QList<QStringList>(items.size());
    // Known before any item is written: a later item's source is as safe as the first one's.
    batchSources.clear();
    for (const TBatchItem& item : items) {
        const TFileIdentity source = TFileIdentity::Reached(item.source);
        if (source.valid)
            batchSources.insert(source.Key());
    }
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
        TStartOutcome outcome = TStartOutcome::Skipped;
        try {
            outcome = StartItem(index);
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
        if (outcome == TStartOutcome::Skipped && !stopping)
            emit ItemFinished(index, TItemResult::Skipped);
        else if (outcome == TStartOutcome::Failed)
            emit ItemFinished(index, TItemResult::Failed);
        if (closed)
            return;
    }
    if (!active.empty() && !paused)
        ticker->start();
    FinishIfDone();
}

TBatchRun::TStartOutcome TBatchRun::StartItem(int index)
{
    const TBatchItem& item = items[index];
    const QString sourceShort = ShortPath(item.source);
    const QString outputPath = outputFolder + OutputNameFor(item.source, settings.currentExtension);
    wantedOutputs[index] = outputPath;

    QString target;
    const QString replaceable = ReplaceableTarget(item, outputPath);
    if (IsBatchSource(outputPath)) {
        // A source of this batch, the item's own or one read before or after it: replacing it
        // would destroy a file the user gave to be read, whatever the answer for outputs is.
        if (sourceAtOutput == TSourceAtOutput::Skip)
            return TStartOutcome::Skipped;
        target = MakeAutoName(outputPath);
    } else if (!replaceable.isEmpty()) {
        // What a cut-off run of this item made: no question about it.
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
            return TStartOutcome::Skipped;
        if (!target.isEmpty() && IsBatchSource(target))
            target = MakeAutoName(outputPath);
    } else {
        target = outputPath;
    }
    if (target.isEmpty())
        return TStartOutcome::Skipped;

    auto slot = std::make_unique<TSlot>();
    slot->index = index;
    slot->output = target;
    outputs[index] = target;
    try {
        PrepareOutput(*slot);
    } catch (const TOutputError& error) {
        if (error.EveryName())
            throw;
        // This name alone: the item fails with the reason, the others go on.
        errorLines[index] = QStringList{error.Text()};
        failedItems << index;
        return TStartOutcome::Failed;
    }
    // The cut-off run's placeholder is as good as one of this run's: it goes if the item fails.
    if (!replaceable.isEmpty() && target == replaceable)
        slot->madeOutput = true;
    madeOutputs[index] = slot->madeOutput;
    try {
        if (!privateFolder) {
            privateFolder = std::make_unique<QTemporaryDir>(TempFolder() + QStringLiteral("velmora-XXXXXX"));
            if (!privateFolder->isValid())
                throw AppError(QStringLiteral("Cannot create a temporary folder in \"%1\". %2")
                                   .arg(TempFolder(), privateFolder->errorString()));
        }
        TJobFiles files{sourceShort,       ShortPath(slot->partial), item.startText,
                        item.durationText, FreeScriptPath(),         privateFolder->path()};
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
        // From here on a failure must not leave the placeholder or the partial file behind.
        if (slot)
            DiscardOutput(*slot);
        else if (TSlot* started = SlotOf(index))
            DiscardOutput(*started);
        std::erase_if(active, [index](const std::unique_ptr<TSlot>& s) { return s->index == index; });
        throw;
    }
    // Outside the clean-up above: whatever a receiver does, the encoder runs now.
    emit ItemStarted(index, target);
    return TStartOutcome::Started;
}

void TBatchRun::PrepareOutput(TSlot& slot)
{
    const QByteArray name = QFile::encodeName(slot.output);
    struct stat existing;
    if (::lstat(name.constData(), &existing) == 0) {
        // Only a file or a link is ever replaced, and only by a finished output: a pipe, a
        // device or a folder at the name is nothing an output may take the place of.
        if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
            throw TOutputError(
                QStringLiteral("Cannot create file \"%1\". It is not a regular file.").arg(slot.output),
                false);
        slot.madeOutput = false;
    } else {
        ReservePlaceholder(slot.output);
        slot.madeOutput = true;
    }
    try {
        slot.partial = CreatePartial(slot.output);
    } catch (...) {
        DiscardOutput(slot);
        throw;
    }
}

void TBatchRun::EndOutput(TSlot& slot, TItemResult& result)
{
    const bool written = TFileIdentity::Of(slot.partial).valid && !StillPlaceholder(slot.partial);
    // A stopped encoder finished its file where it was: a shorter output, kept as one.
    const bool keep = written && (result == TItemResult::Converted || result == TItemResult::Stopped);
    if (keep) {
        // One step: the name holds the old file or the new one, never a half-written one.
        if (::rename(QFile::encodeName(slot.partial).constData(),
                     QFile::encodeName(slot.output).constData()) == 0) {
            slot.partial.clear();
            slot.madeOutput = true;
            madeOutputs[slot.index] = true;
            return;
        }
        const int code = errno;
        errorLines[slot.index] << QStringLiteral("Cannot replace file \"%1\". %2")
                                      .arg(slot.output, QString::fromLocal8Bit(std::strerror(code)));
        if (result == TItemResult::Converted)
            result = TItemResult::Failed;
    }
    DiscardOutput(slot);
}

void TBatchRun::DiscardOutput(TSlot& slot)
{
    if (!slot.partial.isEmpty())
        QFile::remove(slot.partial);
    slot.partial.clear();
    // Only the placeholder this run put there: anything else at the name is somebody's file.
    if (slot.madeOutput && StillPlaceholder(slot.output))
        QFile::remove(slot.output);
    slot.madeOutput = false;
    if (slot.index >= 0 && slot.index < madeOutputs.size())
        madeOutputs[slot.index] = false;
}

bool TBatchRun::IsBatchSource(const QString& path) const
{
    const TFileIdentity file = TFileIdentity::Reached(path);
    return file.valid && batchSources.contains(file.Key());
}

QString TBatchRun::ReplaceableTarget(const TBatchItem& item, const QString& outputPath) const
{
    const QString& path = item.replaceableOutput;
    // A journal that does not say which file it was (an older one) waives nothing.
    if (path.isEmpty() || !item.replaceableIdentity.valid)
        return QString();
    // Only that very file, as the cut-off run left it: not a link (whose target is somebody
    // else's), not a folder, not a file put in its place or changed since, never a source. And
    // only its placeholder: a journal may be crafted to name any file with its true identity.
    if (!TFileIdentity::Of(path).Unchanged(item.replaceableIdentity) || !StillPlaceholder(path) ||
        IsBatchSource(path))
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
    const bool unwritten = !TFileIdentity::Of(slot->partial).valid || StillPlaceholder(slot->partial);
    const bool failed = !slot->stopped && (runner->ExitCrashed() || runner->ExitCode() != 0 || unwritten);
    TItemResult result = slot->stopped ? TItemResult::Stopped
                         : failed      ? TItemResult::Failed
                                       : TItemResult::Converted;
    EndOutput(*slot, result);
    if (result == TItemResult::Failed)
        failedItems << index;
    FlushLog(*slot);
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
        TItemResult result = TItemResult::Stopped;
        EndOutput(*slot, result);
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

QString TBatchRun::WantedOutputOf(int index) const
{
    return index >= 0 && index < wantedOutputs.size() ? wantedOutputs[index] : QString();
}

QString TBatchRun::PartialOf(int index) const
{
    const TSlot* slot = SlotOf(index);
    return slot ? slot->partial : QString();
}

bool TBatchRun::MadeOutput(int index) const
{
    return index >= 0 && index < madeOutputs.size() && madeOutputs[index];
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
