#pragma once
// The conversion of a list of items: output names, existing outputs, placeholders and partial
// files, the job set-up, one encoder per running item (up to a chosen number at once),
// progress, the failure rule, what becomes of an item's output, pause, stop and close. It never blocks and
// never runs an event loop of its own: it reports through its signals while the caller's event loop runs.

#include "engine/FileIdentity.h"
#include "engine/TJobSetup.h"
#include "engine/TProgressState.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QTemporaryDir;
class QTimer;
class TConsoleIO;
class TFFMpeg;
class TfrmCommon;

// One item of the run, as the list held it when the run started.
struct TBatchItem
{
    QString source;       // the path as added
    QString startText;    // "HH:MM:SS"
    QString durationText; // empty: up to the end
    // The placeholder an earlier run of this item made and was cut off from (the program was
    // killed): it is replaced without asking, but only while that very file exists unchanged
    // (replaceableIdentity, as that run last saw it) and still holds nothing, is no source of
    // the batch, and the item's output name still leads to it (the name itself or one of its
    // automatic names). Without an identity nothing is waived.
    QString replaceableOutput;
    TFileIdentity replaceableIdentity;
};

// What an item gets whose output's name is a source of the batch (its own or another item's),
// which is never written or replaced whatever the existing-output rule says.
enum class TSourceAtOutput
{
    AutoName, // a free automatic name
    Skip,     // nothing: the item is skipped
};

enum class TItemResult
{
    Converted,
    Failed,
    Skipped,
    Stopped,
};

// What the encoder has told about one running item.
struct TItemProgress
{
    qint64 reachedSeconds = 0; // output time reached
    qint64 totalSeconds = 0;   // the input's whole duration; 0 while unknown
    qint64 windowSeconds = 0;  // length of the part being converted; 0 while unknown
    double speed = 0;          // times real time; 0 while unknown
    int runTicks = 0;          // seconds the item has been running
};

class TBatchRun : public QObject
{
    Q_OBJECT

public:
    // Settles an output that exists already: returns the path to write, or an empty text to
    // skip the item. Called one item at a time, in list order; it may show a modal question.
    // It is never asked about a source of the batch: see sourceAtOutput.
    using TSettleOutput = std::function<QString(int index, const QString& outputPath)>;

    // common gives the program folder, the log and its switch; it must outlive the run.
    explicit TBatchRun(const TfrmCommon& common, QObject* parent = nullptr);
    // Ends whatever still runs as Close does.
    ~TBatchRun() override;

    // Starts a run over items (each converted once, in list order as active free). settings
    // carries the applied profile and the panel's choices; outputFolder is made when missing
    // (one that cannot be made ends the run at the first item, whose file cannot be created).
    // A name that cannot be made for its own reason (too long) fails only its item.
    // The first encoder starts once the caller's event loop runs.
    void Start(const QList<TBatchItem>& items, const TJobSettings& settings, const QString& outputFolder,
               int simultaneous, TSettleOutput settleOutput);

    // Stops the run: no item starts any more, every running encoder gets "q" at once and then
    // the runner's stop; their items end as stopped. Never waits.
    void Stop();

    // The caller is going away: stops every encoder now (waiting at most about a second in
    // all), removes placeholders no encoder wrote to, every script the run wrote and its
    // private folder. No signal comes after this.
    void Close();

    // Stops every running encoder's process group where it is (SIGSTOP) and starts no further
    // item; the run-time ticks stand still. Resume continues them (SIGCONT). Stop and Close
    // continue the encoders first, so that "q" reaches them: nothing is ever left stopped.
    void Pause();
    void Resume();
    bool IsPaused() const { return paused; }
    // Milliseconds since Start, the time spent paused left out.
    qint64 ActiveMilliseconds() const;

    bool IsRunning() const { return running; }
    bool IsStopping() const { return stopping; }
    int RunningCount() const;
    int ItemCount() const { return int(items.size()); }
    // The encoder's process id (its process group) for a running item, 0 otherwise.
    qint64 ProcessId(int index) const;
    // The output being written for a running or finished item (empty when skipped or not
    // started yet).
    QString OutputOf(int index) const;
    // The output name the item's source leads to in the output folder, once the item was
    // reached: for a skipped item, the file that was there.
    QString WantedOutputOf(int index) const;
    // The hidden file the encoder of a running item writes; it takes the output's name when
    // the item ends with something to keep. Empty when the item is not running.
    QString PartialOf(int index) const;
    // True while the item's output name holds a file this run made: its placeholder while the
    // item runs, its output once kept. A file that was there before never counts.
    bool MadeOutput(int index) const;
    // The last lines the encoder wrote to its standard error for an item.
    QStringList ErrorLinesOf(int index) const;
    // Every rotation script the run (any run of this object) wrote and that still exists.
    QStringList ScriptsWritten() const { return scriptsWritten; }

    // How long stop waits between "q" and the kill; the runner's WaitTimeout.
    int stopGraceMs = 1000;
    TSourceAtOutput sourceAtOutput = TSourceAtOutput::AutoName;
    // How many of an item's last error lines ErrorLinesOf keeps.
    static constexpr int KeptErrorLines = 8;

signals:
    void ItemStarted(int index, const QString& outputPath);
    void ItemProgress(int index, const TItemProgress& progress);
    void ItemFinished(int index, TItemResult result);
    // The run is over: the extension (with its dot, empty for a source that is gone) of each
    // failed item in the order they failed, whether it was stopped, and the error that ended it
    // early (empty when none). Items that failed before the error are reported as well.
    void RunFinished(const QStringList& failedExtensions, bool stopped, const QString& error);
    void PausedChanged(bool paused);

private:
    struct TSlot;

    enum class TStartOutcome
    {
        Started,
        Skipped,
        Failed, // its output could not be made; the reason is in its error lines
    };

    void StartNext();
    TStartOutcome StartItem(int index);
    // The placeholder at a free output name and the partial file beside it.
    void PrepareOutput(TSlot& slot);
    // The one place that decides what becomes of an item's output when it ends: kept, the
    // partial file takes the output's name; otherwise it goes, with the placeholder this run
    // made, and a file that was there before stays as it was. A kept output that cannot take
    // its name turns a converted item into a failed one.
    void EndOutput(TSlot& slot, TItemResult& result);
    void DiscardOutput(TSlot& slot);
    bool IsBatchSource(const QString& path) const;
    void ItemOutput(int index, const QString& text);
    void ItemError(int index, const QString& text);
    void ItemEnded(int index);
    void Tick();
    void FinishIfDone();
    void EndRunWithError(const QString& text);
    // Marks every running item stopped and asks its encoder to finish its file ("q").
    void SendQuitToAll();
    QString ReplaceableTarget(const TBatchItem& item, const QString& outputPath) const;
    void SignalEncoders(int signalNumber);
    // Continues paused encoders without a signal of its own: for Stop, Close and the end.
    bool Unpause();
    // The markers of a piece of either stream.
    void TakeProgress(TSlot& slot, int index, const QString& text);
    // Whole lines of one item: written at once, or held for its block when several run at once.
    void Log(TSlot& slot, const QStringList& lines);
    void FlushLog(TSlot& slot);
    // Reports the first failure of the run and writes nothing more after it.
    void AppendToLog(const QStringList& lines);
    QString FreeScriptPath() const;
    TSlot* SlotOf(int index) const;

    const TfrmCommon& common;
    QList<TBatchItem> items;
    TJobSettings settings;
    QString outputFolder; // ends in "/"
    int simultaneous = 1;
    TSettleOutput settleOutput;

    std::vector<std::unique_ptr<TSlot>> active;     // the running items
    QList<QString> outputs;                         // per item
    QList<QString> wantedOutputs;                   // per item
    QList<bool> madeOutputs;                        // per item
    QList<QStringList> errorLines;                  // per item
    QSet<std::pair<quint64, quint64>> batchSources; // device and inode of every source
    int nextIndex = 0;
    QList<int> failedItems;
    QString endError;
    bool running = false;
    bool stopping = false;
    bool settling = false; // inside settleOutput: nothing else starts meanwhile
    bool closed = false;
    bool startQueued = false;
    bool logFailureReported = false;
    bool paused = false;
    QElapsedTimer runClock;   // since Start
    QElapsedTimer pauseClock; // since the pause began
    qint64 pausedMs = 0;      // paused time of the run before the current pause
    QStringList scriptsWritten;
    std::unique_ptr<QTemporaryDir> privateFolder;
    QTimer* ticker = nullptr;
    TFFMpeg* ffmpeg = nullptr;
};
