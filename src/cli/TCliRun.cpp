#include "cli/TCliRun.h"

#include "cli/ProgressLine.h"
#include "cli/TCliConsole.h"
#include "cli/TCliSignals.h"
#include "cli/TCliTexts.h"
#include "engine/OutputNames.h"
#include "platform/AppError.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// The progress line is redrawn at most this often; an item's start and end redraw at once.
constexpr qint64 redrawMs = 100;

} // namespace

TCliRun::TCliRun(const TfrmCommon& common, const TCliTexts& texts, TCliConsole& console)
    : common(common), texts(texts), console(console)
{
}

int TCliRun::Exec(const QList<TBatchItem>& items, const QStringList& sourceNames,
                  const TJobSettings& settings, const QString& outputFolder, int jobs,
                  TOverwriteRule overwriteRule, int refused)
{
    rule = overwriteRule;
    names = sourceNames;
    failed = refused;
    finished = QList<bool>(items.size(), false);

    batchRun = new TBatchRun(common, this);
    // An output name that is one of the sources is never written: skip means skip it then too.
    batchRun->sourceAtOutput =
        rule == TOverwriteRule::Skip ? TSourceAtOutput::Skip : TSourceAtOutput::AutoName;
    connect(batchRun, &TBatchRun::ItemStarted, this, &TCliRun::BatchRunItemStarted);
    connect(batchRun, &TBatchRun::ItemProgress, this, &TCliRun::BatchRunItemProgress);
    connect(batchRun, &TBatchRun::ItemFinished, this, &TCliRun::BatchRunItemFinished);
    connect(batchRun, &TBatchRun::RunFinished, this, &TCliRun::BatchRunRunFinished);

    TCliSignals stopSignals;
    connect(&stopSignals, &TCliSignals::Arrived, this, &TCliRun::StopSignalsArrived);
    try {
        batchRun->Start(items, settings, outputFolder, jobs, [this](int index, const QString& outputPath) {
            return SettleOutput(index, outputPath);
        });
    } catch (const AppError& error) {
        // The output folder could not be made: nothing was converted or touched.
        console.Error(error.Text());
        return ceUsage;
    }
    sinceDrawn.start();
    return loop.exec();
}

QString TCliRun::SettleOutput(int, const QString& outputPath)
{
    // Two sources of one name (from two folders) meet at one output: the later one gets a
    // free name, whatever the rule says about files that were there before the run.
    if (runOutputs.contains(outputPath))
        return MakeAutoName(outputPath);
    quint8 answer = rule == TOverwriteRule::Skip        ? quint8(owSkipAlways)
                    : rule == TOverwriteRule::Overwrite ? quint8(owOverwriteAlways)
                                                        : quint8(owAutoNameAlways);
    return DecideOutputName(outputPath, true, answer, nullptr);
}

void TCliRun::BatchRunItemStarted(int index, const QString& outputPath)
{
    runOutputs.insert(outputPath);
    running.insert(index, TRunningItem())->started.start();
    DrawProgress(true);
}

void TCliRun::BatchRunItemProgress(int index, const TItemProgress& progress)
{
    const auto item = running.find(index);
    if (item == running.end())
        return;
    item->progress = progress;
    DrawProgress(false);
}

void TCliRun::BatchRunItemFinished(int index, TItemResult result)
{
    running.remove(index);
    finished[index] = true;
    const QString& name = names[index];
    switch (result) {
    case TItemResult::Converted:
        ++converted;
        if (!console.IsTerminal())
            console.Line(texts.Format("lineConverted", {name, batchRun->OutputOf(index)}));
        break;
    case TItemResult::Failed:
        ++failed;
        console.Error(texts.Format("fileFailed", {name, FailureReason(index)}));
        break;
    case TItemResult::Skipped:
        ++skipped;
        if (!console.IsTerminal())
            console.Line(texts.Format("lineSkipped", {name, batchRun->WantedOutputOf(index)}));
        break;
    case TItemResult::Stopped:
        ++stopped;
        if (!console.IsTerminal())
            console.Line(texts.Format("lineStopped", {name}));
        break;
    }
    DrawProgress(true);
}

void TCliRun::BatchRunRunFinished(const QStringList&, bool, const QString& error)
{
    console.ClearProgress();
    if (!error.isEmpty()) {
        console.Error(error);
        // The run ended early: every file it did not reach is named, as a failed one is.
        if (signalCount == 0) {
            for (qsizetype i = 0; i < finished.size(); ++i) {
                if (finished[i])
                    continue;
                console.Error(texts.Format("fileNotConverted", {names[i]}));
                finished[i] = true;
                ++failed;
            }
        }
    }
    PrintSummary();
    loop.exit(ExitStatus(!error.isEmpty()));
}

void TCliRun::PrintSummary()
{
    const int notStarted = int(std::count(finished.cbegin(), finished.cend(), false));
    QStringList counts{QString::number(converted), QString::number(failed), QString::number(skipped),
                       QString::number(stopped)};
    if (notStarted == 0) {
        console.Line(texts.Format("summary", counts));
        return;
    }
    counts << QString::number(notStarted);
    console.Line(texts.Format("summaryNotStarted", counts));
}

int TCliRun::ExitStatus(bool runError) const
{
    if (signalCount > 0)
        return ceStopped;
    if (failed > 0 || runError)
        return ceFailed;
    return ceConverted;
}

void TCliRun::StopSignalsArrived()
{
    ++signalCount;
    if (signalCount == 1) {
        console.Error(texts.Text("stopping"));
        // Every encoder hears "q" and finishes its file; nothing new starts. The run reports
        // its end as usual, and the exit status follows from there.
        batchRun->Stop();
        return;
    }
    if (signalCount == 2 && batchRun->IsRunning()) {
        // Asked twice: no more waiting for encoders to finish their files. Close reports
        // nothing more, so the files it stopped are counted here.
        batchRun->Close();
        for (auto item = running.cbegin(); item != running.cend(); ++item) {
            finished[item.key()] = true;
            ++stopped;
            if (!console.IsTerminal())
                console.Line(texts.Format("lineStopped", {names[item.key()]}));
        }
        running.clear();
        console.ClearProgress();
        PrintSummary();
        loop.exit(ceStopped);
    }
}

void TCliRun::DrawProgress(bool force)
{
    if (!console.IsTerminal())
        return;
    if (running.isEmpty()) {
        console.ClearProgress();
        return;
    }
    if (!force && sinceDrawn.isValid() && sinceDrawn.elapsed() < redrawMs) {
        // Drawn a little later, so the line never keeps figures older than the last report.
        if (!redrawQueued) {
            redrawQueued = true;
            QTimer::singleShot(redrawMs - sinceDrawn.elapsed(), this, [this] {
                redrawQueued = false;
                DrawProgress(false);
            });
        }
        return;
    }
    sinceDrawn.restart();

    const int index = running.firstKey();
    const TRunningItem& shown = running.first();
    const TItemProgress& progress = shown.progress;
    TProgressFigures figures;
    figures.number = index + 1;
    figures.count = int(finished.size());
    // Made printable before it is cut to the terminal's width, which a control would widen.
    figures.name = TCliConsole::Printable(QFileInfo(names[index]).fileName());
    figures.othersRunning = int(running.size()) - 1;
    figures.speed = progress.speed;
    // An encoder that does not tell its speed: the output time reached per second so far.
    const qint64 elapsedMs = shown.started.elapsed();
    if (figures.speed <= 0 && elapsedMs >= 1000 && progress.reachedSeconds > 0)
        figures.speed = double(progress.reachedSeconds) * 1000.0 / double(elapsedMs);
    if (progress.windowSeconds > 0) {
        figures.percent =
            int(qBound(qint64(0), progress.reachedSeconds * 100 / progress.windowSeconds, qint64(100)));
        if (figures.speed > 0) {
            const qint64 left = qMax<qint64>(0, progress.windowSeconds - progress.reachedSeconds);
            figures.secondsLeft = qint64(std::ceil(double(left) / figures.speed));
        }
    }
    // One column stays free: a line that fills the last column wraps on many terminals.
    console.Progress(ProgressLine(figures, texts.Text("progressLeft"), console.Width() - 1));
}

QString TCliRun::FailureReason(int index) const
{
    const QStringList lines = batchRun->ErrorLinesOf(index);
    // The adapter's last line often only relays ffmpeg's status ("libm9s: ffmpeg failed with
    // exit status 1"); ffmpeg's own last word before it says why.
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!lines[i].startsWith(QLatin1String("libm9s: ffmpeg ")))
            return lines[i];
    }
    return lines.isEmpty() ? texts.Text("fileNoReason") : lines.last();
}
