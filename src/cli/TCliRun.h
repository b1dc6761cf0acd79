#pragma once
// One batch from the terminal: drives the engine's run, settles existing outputs by the
// --overwrite rule, shows progress, names every file that failed on standard error, and turns
// SIGINT, SIGTERM and SIGHUP into a stop (a second one closes at once).

#include "cli/CliOptions.h"
#include "engine/TBatchRun.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>

class TCliConsole;
class TCliTexts;
class TfrmCommon;

class TCliRun : public QObject
{
    Q_OBJECT

public:
    TCliRun(const TfrmCommon& common, const TCliTexts& texts, TCliConsole& console);

    // Converts the items and returns the exit status once the run is over. names are the
    // sources as the user gave them, for the messages; refused counts the files that failed
    // before the run (missing, unsupported), so the run cannot end with status 0.
    int Exec(const QList<TBatchItem>& items, const QStringList& names, const TJobSettings& settings,
             const QString& outputFolder, int jobs, TOverwriteRule rule, int refused);

private:
    QString SettleOutput(int index, const QString& outputPath);
    void BatchRunItemStarted(int index, const QString& outputPath);
    void BatchRunItemProgress(int index, const TItemProgress& progress);
    void BatchRunItemFinished(int index, TItemResult result);
    void BatchRunRunFinished(const QStringList& failedExtensions, bool stopped, const QString& error);
    void StopSignalsArrived();
    void DrawProgress(bool force);
    QString FailureReason(int index) const;
    // The counts of the run, and how many files it never started when it was stopped.
    void PrintSummary();
    int ExitStatus(bool runError) const;

    const TfrmCommon& common;
    const TCliTexts& texts;
    TCliConsole& console;
    TBatchRun* batchRun = nullptr;
    QEventLoop loop;

    TOverwriteRule rule = TOverwriteRule::Rename;
    QStringList names;
    QSet<QString> runOutputs; // what this run writes: never overwritten by itself
    struct TRunningItem
    {
        TItemProgress progress;
        QElapsedTimer started;
    };
    QMap<int, TRunningItem> running; // in list order
    QList<bool> finished;
    int converted = 0;
    int failed = 0;
    int skipped = 0;
    int stopped = 0;
    int signalCount = 0;
    QElapsedTimer sinceDrawn;
    bool redrawQueued = false;
};
