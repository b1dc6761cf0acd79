// The conversion of a list of items, against a stand-in encoder that behaves as each source file
// says: results and signals, the failure rule, how many encoders run at once, existing outputs,
// links and pipes at the output's name, a full disk, stop and close, rotation scripts and the log.

#include "engine/OutputFile.h"
#include "engine/OutputNames.h"
#include "engine/TBatchRun.h"
#include "engine/TJobSetup.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"
#include "profiles/ProfileSettings.h"
#include "profiles/VideoProfile.h"
#include "support/ConversionFixture.h"
#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::ErrorOf;
using TestSupport::ReadAll;
using TestSupport::WriteText;

namespace {

// Long enough for any run on a loaded machine; a run that takes this long hangs.
constexpr int RunGuardMs = 120000;

QString ResultName(TItemResult result)
{
    switch (result) {
    case TItemResult::Converted:
        return QStringLiteral("Converted");
    case TItemResult::Failed:
        return QStringLiteral("Failed");
    case TItemResult::Skipped:
        return QStringLiteral("Skipped");
    case TItemResult::Stopped:
        return QStringLiteral("Stopped");
    }
    return QStringLiteral("?");
}

// One line the stand-in appended to its record.
struct TRecordLine
{
    QString what; // "start" or "end"
    QString name;
    qint64 pid = 0;
    qint64 ms = 0;
};

// The most stand-ins that ran at the same time. An end and a start at the same millisecond
// count as one after the other: a new encoder is only started once an earlier one has ended.
int MostAtOnce(const QList<TRecordLine>& lines)
{
    QList<std::pair<qint64, int>> changes;
    for (const TRecordLine& line : lines)
        changes.append({line.ms, line.what == QLatin1String("start") ? 1 : -1});
    std::sort(changes.begin(), changes.end());
    int now = 0;
    int most = 0;
    for (const auto& change : changes) {
        now += change.second;
        most = std::max(most, now);
    }
    return most;
}

// A private program folder with the stand-in as its encoder, a source folder, an output folder
// and temporary folders, and a run whose signals are recorded.
class TStage
{
public:
    TStage()
    {
        if (!root.isValid())
            return;
        app = root.filePath(QStringLiteral("app")) + u'/';
        sources = root.filePath(QStringLiteral("src")) + u'/';
        out = root.filePath(QStringLiteral("out"));
        temp = root.filePath(QStringLiteral("tmp")) + u'/';
        systemTemp = root.filePath(QStringLiteral("systemp"));
        record = root.filePath(QStringLiteral("record.txt"));
        QDir().mkpath(app);
        QDir().mkpath(sources);
        QDir().mkpath(temp);
        QDir().mkpath(systemTemp);
        const QString encoder = app + TJobSetup::EncoderFileName();
        if (!QFile::copy(QStringLiteral(STANDIN_PATH), encoder))
            return;
        QFile::setPermissions(encoder, QFile::permissions(QStringLiteral(STANDIN_PATH)));

        // The run's private folder goes below the system's temporary folder: here, our own.
        oldTmpDir = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(systemTemp));
        qputenv("VELMORA_STANDIN_RECORD", QFile::encodeName(record));
        oldReporter = SetExceptionReporter([this](const QString& text) { reports << text; });

        TVideoProfile profile;
        profile.LoadFromFile(QStringLiteral(VELMORA_SOURCE_DIR "/data/profile/33-mp4-mpeg4-aac.pf"));
        settings = DefaultJobSettings(profile, app, temp);
        common = std::make_unique<TfrmCommon>(app);
        MakeRun();
        valid = true;
    }

    ~TStage()
    {
        run.reset();
        SetExceptionReporter(oldReporter);
        if (oldTmpDir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTmpDir);
        qunsetenv("VELMORA_STANDIN_RECORD");
    }

    void MakeRun()
    {
        run = std::make_unique<TBatchRun>(*common);
        // Short, so that a stop of an encoder that ignores "q" ends soon.
        run->stopGraceMs = 300;
        TBatchRun* r = run.get();
        QObject::connect(r, &TBatchRun::ItemStarted, [this, r](int index, const QString& path) {
            ++signalCount;
            events << QStringLiteral("started %1").arg(index);
            startedPaths[index] = path;
            pids[index] = r->ProcessId(index);
            open << index;
            mostRunning = std::max(mostRunning, r->RunningCount());
            if (onStarted)
                onStarted(index);
        });
        QObject::connect(r, &TBatchRun::ItemProgress, [this](int index, const TItemProgress& progress) {
            ++signalCount;
            if (!open.contains(index))
                ++progressOutsideItem;
            lastProgress[index] = progress;
        });
        QObject::connect(r, &TBatchRun::ItemFinished, [this](int index, TItemResult result) {
            ++signalCount;
            ++finishedCount;
            events << QStringLiteral("finished %1").arg(index);
            results[index] = ResultName(result);
            open.remove(index);
        });
        QObject::connect(r, &TBatchRun::RunFinished,
                         [this](const QStringList& failedExtensions, bool wasStopped, const QString& error) {
                             ++signalCount;
                             events << QStringLiteral("run");
                             failed = failedExtensions.join(u',');
                             failedCount = int(failedExtensions.size());
                             stopped = wasStopped;
                             runError = error;
                             runningAtFinish = run->IsRunning();
                             // Every encoder is over by now, and nothing it started lives on.
                             for (const qint64 pid : std::as_const(pids))
                                 leftAtFinish << ConversionFixture::ProcessesInGroup(pid);
                             finished = true;
                         });
    }

    // Writes a source whose content tells the stand-in what to do. recipe is "name:key=value;...";
    // a name starting with "!" is not written (a source that is gone).
    QString Source(const QString& recipe)
    {
        const qsizetype colon = recipe.indexOf(u':');
        QString name = colon < 0 ? recipe : recipe.left(colon);
        const QString values = colon < 0 ? QString() : recipe.mid(colon + 1);
        const bool gone = name.startsWith(u'!');
        if (gone)
            name.remove(0, 1);
        const QString path = sources + name;
        if (!gone)
            WriteText(path, SourceText(values));
        return path;
    }

    static QByteArray SourceText(const QString& values)
    {
        QByteArray text;
        for (const QString& pair : values.split(u';', Qt::SkipEmptyParts))
            text += pair.toUtf8() + '\n';
        return text;
    }

    QList<TBatchItem> Items(const QStringList& recipes)
    {
        QList<TBatchItem> items;
        for (const QString& recipe : recipes)
            items << TBatchItem{Source(recipe), QStringLiteral("00:00:00"), QString()};
        return items;
    }

    void Start(const QList<TBatchItem>& items, int simultaneous, TBatchRun::TSettleOutput settle = {})
    {
        startedItems = items;
        run->Start(items, settings, out, simultaneous, std::move(settle));
    }

    // The output path of a source under the applied profile's extension.
    QString OutputFor(const QString& source) const
    {
        return out + u'/' + OutputNameFor(source, settings.currentExtension);
    }

    // What the stand-in writes for a source it read directly.
    static QByteArray Written(const QString& kind, const QString& source)
    {
        return kind.toUtf8() + "\ninput=" + source.toUtf8() + "\nsource=" + source.toUtf8() + '\n' +
               ReadAll(source);
    }

    QList<TRecordLine> Record() const
    {
        QList<TRecordLine> lines;
        const QList<QByteArray> texts = ReadAll(record).split('\n');
        for (const QByteArray& text : texts) {
            const QList<QByteArray> fields = text.split(' ');
            if (fields.size() != 4)
                continue;
            lines.append({QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]), fields[2].toLongLong(),
                          fields[3].toLongLong()});
        }
        return lines;
    }

    int Recorded(const QString& what) const
    {
        const QList<TRecordLine> lines = Record();
        return int(std::count_if(lines.begin(), lines.end(),
                                 [&what](const TRecordLine& line) { return line.what == what; }));
    }

    bool Recorded(const QString& what, const QString& name) const
    {
        const QList<TRecordLine> lines = Record();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const TRecordLine& line) { return line.what == what && line.name == name; });
    }

    // Empty when the signals came in a sound order: each item started at most once and in list
    // order, finished after it started (a skipped item without starting), progress only while
    // it ran, and the end of the run once and last.
    QString OrderFault() const
    {
        int lastStarted = -1;
        QSet<int> started;
        QSet<int> ended;
        for (qsizetype i = 0; i < events.size(); ++i) {
            const QStringList words = events[i].split(u' ');
            if (words[0] == QLatin1String("run")) {
                if (i != events.size() - 1)
                    return QStringLiteral("the end of the run is not last: ") + events.join(u',');
                continue;
            }
            const int index = words[1].toInt();
            if (words[0] == QLatin1String("started")) {
                if (index <= lastStarted || started.contains(index))
                    return QStringLiteral("items started out of order: ") + events.join(u',');
                lastStarted = index;
                started << index;
            } else {
                if (ended.contains(index))
                    return QStringLiteral("an item finished twice: ") + events.join(u',');
                // Only a skipped item, or one whose output could not be made, ends unstarted.
                const bool unstartedFailure =
                    results.value(index) == QLatin1String("Failed") &&
                    run->ErrorLinesOf(index).value(0).startsWith(QLatin1String("Cannot create file"));
                if (!started.contains(index) && results.value(index) != QLatin1String("Skipped") &&
                    !unstartedFailure)
                    return QStringLiteral("an item finished before it started: ") + events.join(u',');
                ended << index;
            }
        }
        if (events.count(QStringLiteral("run")) != 1)
            return QStringLiteral("the run did not end exactly once: ") + events.join(u',');
        if (started != QSet<int>(started).intersect(ended))
            return QStringLiteral("a started item never finished: ") + events.join(u',');
        if (progressOutsideItem != 0)
            return QStringLiteral("progress came for an item that was not running");
        return QString();
    }

    // Every name in the output folder, hidden ones included, sorted.
    QStringList OutFiles() const
    {
        return QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name);
    }

    QStringList LeftProcesses() const
    {
        QStringList left;
        for (const qint64 pid : pids)
            left << ConversionFixture::ProcessesInGroup(pid);
        return left;
    }

    QTemporaryDir root;
    bool valid = false;
    QString app;
    QString sources;
    QString out;
    QString temp;
    QString systemTemp;
    QString record;
    TJobSettings settings;
    std::unique_ptr<TfrmCommon> common;
    std::unique_ptr<TBatchRun> run;
    QList<TBatchItem> startedItems;

    std::function<void(int index)> onStarted;
    QStringList events;
    QMap<int, QString> results;
    QMap<int, QString> startedPaths;
    QMap<int, qint64> pids;
    QMap<int, TItemProgress> lastProgress;
    QSet<int> open;
    int progressOutsideItem = 0;
    int mostRunning = 0;
    int finishedCount = 0;
    int signalCount = 0;
    bool finished = false;
    bool stopped = false;
    bool runningAtFinish = true;
    QString failed;
    int failedCount = 0; // a failed source that is gone has no extension to show
    QString runError;
    QStringList leftAtFinish;
    QStringList reports;

private:
    QByteArray oldTmpDir;
    TExceptionReporter oldReporter;
};

QStringList Sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT

private slots:
    void itemResults_data();
    void itemResults();
    void encodersAtOnce_data();
    void encodersAtOnce();
    void existingOutputs_data();
    void existingOutputs();
    void stopOrCloseWhileAsking_data();
    void stopOrCloseWhileAsking();
    void questionThatFails();
    void outputFolderThatCannotBeMade();
    void outputNamingTheSource_data();
    void outputNamingTheSource();
    void sourcesOfTheBatch_data();
    void sourcesOfTheBatch();
    void namesThatCannotBeMade_data();
    void namesThatCannotBeMade();
    void existingOutputOfAnItemThatEndsBadly_data();
    void existingOutputOfAnItemThatEndsBadly();
    void linkAtTheOutputName_data();
    void linkAtTheOutputName();
    void pipeAtTheOutputName_data();
    void pipeAtTheOutputName();
    void fullOutputFolder_data();
    void fullOutputFolder();
    void encoderThatCannotStart_data();
    void encoderThatCannotStart();
    void stop_data();
    void stop();
    void close_data();
    void close();
    void rotationScriptsForItemsAtOnce();
    void rotationScriptNamesTheSource_data();
    void rotationScriptNamesTheSource();
    void log_data();
    void log();
};

void TestBatchRun::itemResults_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QStringList>("failed");

    const QString mp4 = QStringLiteral("33-mp4-mpeg4-aac.pf");
    const QStringList converting{"a.avi:seconds=3;steps=3;stepms=60;speed=2.50",
                                 "b.mkv:seconds=2;steps=2;stepms=90", "c.mov:", "d.wmv:steps=4;stepms=30"};
    const QStringList allConverted{"Converted", "Converted", "Converted", "Converted"};
    for (const int n : {1, 3}) {
        const QByteArray suffix = QByteArray(", ") + QByteArray::number(n) + " at once";
        QTest::newRow("all convert" + suffix) << n << mp4 << converting << allConverted << QStringList{};
        // A non-zero exit, a crash and an encoder that claims success but never wrote the output
        // all fail; so does a stop code the run did not ask for.
        QTest::newRow("failure rule" + suffix)
            << n << mp4
            << QStringList{"a.avi:exit=1;steps=2;stepms=40", "b.mkv:crash=1", "c.mov:write=0",
                           "d.mpg:", "e.wmv:exit=255;stderr=broken"}
            << QStringList{"Failed", "Failed", "Failed", "Converted", "Failed"}
            << QStringList{".avi", ".mkv", ".mov", ".wmv"};
        // Nothing checks the sources first: one that is gone fails with an empty extension.
        QTest::newRow("a source that is gone" + suffix)
            << n << mp4 << QStringList{"!gone.avi", "b.mkv:", "c.flv:exit=2"}
            << QStringList{"Failed", "Converted", "Failed"} << QStringList{"", ".flv"};
    }
    // The encoder tag follows the output on the command line.
    QTest::newRow("asf output before its tag")
        << 1 << QStringLiteral("37-asf-mpeg4-wma.pf") << QStringList{"a.avi:", "b.avi:exit=1"}
        << QStringList{"Converted", "Failed"} << QStringList{".avi"};
}

void TestBatchRun::itemResults()
{
    QFETCH(int, simultaneous);
    QFETCH(QString, profile);
    QFETCH(QStringList, items);
    QFETCH(QStringList, results);
    QFETCH(QStringList, failed);

    TStage stage;
    QVERIFY(stage.valid);
    TVideoProfile applied;
    applied.LoadFromFile(QStringLiteral(VELMORA_SOURCE_DIR "/data/profile/") + profile);
    stage.settings = DefaultJobSettings(applied, stage.app, stage.temp);
    const QList<TBatchItem> batch = stage.Items(items);
    stage.Start(batch, simultaneous);
    // Nothing happens before the caller's event loop runs.
    QVERIFY(stage.run->IsRunning());
    QVERIFY(stage.events.isEmpty());
    QCOMPARE(ErrorOf([&] { stage.Start(batch, simultaneous); }),
             QStringLiteral("A conversion is running already."));
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY(!stage.stopped);
    QCOMPARE(stage.runError, QString());
    QVERIFY(!stage.runningAtFinish);
    QCOMPARE(stage.leftAtFinish, QStringList());
    QCOMPARE(stage.reports, QStringList());
    QVERIFY(stage.mostRunning <= simultaneous);
    // One at a time, the failed extensions come in list order; at once, in the order of the ends.
    const QStringList failedGot = stage.failed.split(u',');
    if (simultaneous == 1)
        QCOMPARE(stage.failed, failed.join(u','));
    else
        QCOMPARE(Sorted(failedGot), Sorted(failed.isEmpty() ? QStringList{QString()} : failed));

    for (qsizetype i = 0; i < batch.size(); ++i) {
        const QString source = batch[i].source;
        const QString output = stage.OutputFor(source);
        QCOMPARE(stage.results.value(int(i)), results[i]);
        const bool gone = items[i].startsWith(u'!');
        if (!gone) {
            QCOMPARE(stage.startedPaths.value(int(i)), output);
            QCOMPARE(stage.run->OutputOf(int(i)), output);
        }
        // Only a converted item leaves an output: a failed one leaves neither what its encoder
        // wrote nor a placeholder.
        if (results[i] == QLatin1String("Converted"))
            QCOMPARE(ReadAll(output), TStage::Written(QStringLiteral("converted"), source));
        else
            QVERIFY2(!QFileInfo::exists(output), qPrintable(output));
        if (items[i].contains(QLatin1String("stderr=broken")))
            QCOMPARE(stage.run->ErrorLinesOf(int(i)), QStringList{QStringLiteral("broken")});
    }
    // Nothing else, not even a hidden partial file.
    QStringList converted;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        if (results[i] == QLatin1String("Converted"))
            converted << QFileInfo(stage.OutputFor(batch[i].source)).fileName();
    }
    QCOMPARE(stage.OutFiles(), Sorted(converted));
    // The markers reach the item's progress.
    if (items.value(0).contains(QLatin1String("speed=2.50"))) {
        const TItemProgress progress = stage.lastProgress.value(0);
        QCOMPARE(progress.reachedSeconds, qint64(3));
        QCOMPARE(progress.windowSeconds, qint64(3));
        QCOMPARE(progress.speed, 2.5);
    }
    // Each item ran once.
    QCOMPARE(stage.Recorded(QStringLiteral("start")),
             int(batch.size() - items.filter(QRegularExpression("^!")).size()));
}

void TestBatchRun::encodersAtOnce_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::newRow("one") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("three") << 3;
}

void TestBatchRun::encodersAtOnce()
{
    QFETCH(int, simultaneous);

    TStage stage;
    QVERIFY(stage.valid);
    // Items of different lengths, so that they end in another order than they started.
    QStringList recipes;
    for (int i = 0; i < 7; ++i)
        recipes
            << QStringLiteral("item%1.avi:name=item%1;steps=3;stepms=%2").arg(i).arg(40 + 50 * ((i * 2) % 3));
    stage.Start(stage.Items(recipes), simultaneous);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(stage.results.size(), 7);
    QCOMPARE(stage.failed, QString());
    // The run keeps as many encoders busy as it may, and never more.
    QCOMPARE(stage.mostRunning, simultaneous);
    const QList<TRecordLine> record = stage.Record();
    QCOMPARE(record.size(), 14);
    QVERIFY2(MostAtOnce(record) <= simultaneous, qPrintable(QString::number(MostAtOnce(record))));
    // The record's processes are the ones the run started for those items.
    for (int i = 0; i < 7; ++i) {
        const auto it = std::find_if(record.begin(), record.end(), [i](const TRecordLine& line) {
            return line.what == QLatin1String("start") && line.name == QStringLiteral("item%1").arg(i);
        });
        QVERIFY(it != record.end());
        QCOMPARE(it->pid, stage.pids.value(i));
    }
    if (simultaneous == 1) {
        // One after another, in list order.
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(record[2 * i].what + record[2 * i].name, QStringLiteral("startitem%1").arg(i));
            QCOMPARE(record[2 * i + 1].what + record[2 * i + 1].name, QStringLiteral("enditem%1").arg(i));
        }
    }
}

void TestBatchRun::existingOutputs_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QString>("answer");
    for (const int n : {1, 3}) {
        for (const char* answer : {"skip", "overwrite", "rename"}) {
            QTest::addRow("%s, %d at once", answer, n) << n << QString::fromLatin1(answer);
        }
    }
}

void TestBatchRun::existingOutputs()
{
    QFETCH(int, simultaneous);
    QFETCH(QString, answer);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    // Three fresh items first, so that with several at once encoders are running while the
    // questions about the next three are open.
    QStringList recipes;
    for (int i = 0; i < 6; ++i)
        recipes << QStringLiteral("item%1.avi:steps=2;stepms=%2").arg(i).arg(60 + 40 * i);
    const QList<TBatchItem> items = stage.Items(recipes);
    QList<QByteArray> before;
    for (int i = 3; i < 6; ++i) {
        before << "existing output " + QByteArray::number(i);
        WriteText(stage.OutputFor(items[i].source), before.last());
    }

    QList<int> asked;
    int questionsOpen = 0;
    int reentered = 0;
    int sawAnEnd = 0;
    QString unexpectedPath;
    const auto settle = [&](int index, const QString& outputPath) -> QString {
        if (questionsOpen++ > 0)
            ++reentered;
        asked << index;
        if (outputPath != stage.OutputFor(items[index].source))
            unexpectedPath = outputPath;
        // A modal question runs the event loop: encoders that are running end meanwhile.
        if (stage.run->RunningCount() > 0) {
            const int endsBefore = stage.finishedCount;
            QEventLoop loop;
            QObject::connect(stage.run.get(), &TBatchRun::ItemFinished, &loop, &QEventLoop::quit);
            QTimer::singleShot(RunGuardMs, &loop, &QEventLoop::quit);
            loop.exec();
            if (stage.finishedCount > endsBefore)
                ++sawAnEnd;
        }
        --questionsOpen;
        if (answer == QLatin1String("skip"))
            return QString();
        if (answer == QLatin1String("overwrite"))
            return outputPath;
        return MakeAutoName(outputPath);
    };
    stage.Start(items, simultaneous, settle);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(asked, (QList<int>{3, 4, 5}));
    QCOMPARE(reentered, 0);
    QCOMPARE(unexpectedPath, QString());
    if (simultaneous > 1)
        QVERIFY(sawAnEnd > 0); // the case where a second question could have come
    QCOMPARE(stage.failed, QString());
    QCOMPARE(stage.reports, QStringList());

    for (int i = 0; i < 6; ++i) {
        const QString output = stage.OutputFor(items[i].source);
        const QByteArray converted = TStage::Written(QStringLiteral("converted"), items[i].source);
        if (i < 3) {
            QCOMPARE(stage.results.value(i), QStringLiteral("Converted"));
            QCOMPARE(ReadAll(output), converted);
        } else if (answer == QLatin1String("skip")) {
            QCOMPARE(stage.results.value(i), QStringLiteral("Skipped"));
            QCOMPARE(ReadAll(output), before[i - 3]);
            QCOMPARE(stage.run->OutputOf(i), QString());
        } else if (answer == QLatin1String("overwrite")) {
            QCOMPARE(stage.results.value(i), QStringLiteral("Converted"));
            QCOMPARE(ReadAll(output), converted);
        } else {
            const QString renamed = output + QStringLiteral("(1).mp4");
            QCOMPARE(stage.results.value(i), QStringLiteral("Converted"));
            QCOMPARE(stage.startedPaths.value(i), renamed);
            QCOMPARE(stage.run->OutputOf(i), renamed);
            QCOMPARE(ReadAll(output), before[i - 3]);
            QCOMPARE(ReadAll(renamed), converted);
        }
    }
    const int written = answer == QLatin1String("rename") ? 9 : 6;
    QCOMPARE(QDir(stage.out).entryList(QDir::Files).size(), written);
}

void TestBatchRun::stopOrCloseWhileAsking_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<bool>("close");
    QTest::newRow("stop, one at a time") << 1 << false;
    QTest::newRow("stop, three at once") << 3 << false;
    QTest::newRow("close, one at a time") << 1 << true;
    QTest::newRow("close, three at once") << 3 << true;
}

void TestBatchRun::stopOrCloseWhileAsking()
{
    QFETCH(int, simultaneous);
    QFETCH(bool, close);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    // With several at once the first encoder is still running while the question is open.
    const QList<TBatchItem> items =
        stage.Items({simultaneous > 1 ? QStringLiteral("first.avi:wait=1") : QStringLiteral("first.avi:"),
                     QStringLiteral("asked.mkv:"), QStringLiteral("after.mov:")});
    const QString existing = stage.OutputFor(items[1].source);
    WriteText(existing, "existing output");
    int signalsAtClose = -1;
    const auto settle = [&](int, const QString& path) {
        // The user stops, or closes the window, while the question is open, then answers it.
        if (close) {
            stage.run->Close();
            signalsAtClose = stage.signalCount;
        } else {
            stage.run->Stop();
        }
        return path; // overwrite
    };
    stage.Start(items, simultaneous, settle);
    if (close) {
        QTRY_VERIFY_WITH_TIMEOUT(signalsAtClose >= 0, RunGuardMs);
        QTest::qWait(stage.run->stopGraceMs * 2);
        QCOMPARE(stage.signalCount, signalsAtClose);
        QVERIFY(!stage.run->IsRunning());
        QCOMPARE(stage.LeftProcesses(), QStringList());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);
        QVERIFY(stage.stopped);
        QCOMPARE(stage.failed, QString());
        QCOMPARE(stage.leftAtFinish, QStringList());
        const QString fault = stage.OrderFault();
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(stage.results.value(0),
                 simultaneous > 1 ? QStringLiteral("Stopped") : QStringLiteral("Converted"));
    }
    // The answer came after the stop: the existing output is not replaced, nothing more starts.
    QCOMPARE(ReadAll(existing), QByteArray("existing output"));
    QVERIFY(!stage.results.contains(1));
    QVERIFY(!stage.results.contains(2));
    QVERIFY(!stage.startedPaths.contains(1));
    QVERIFY(!QFileInfo::exists(stage.OutputFor(items[2].source)));
    QCOMPARE(stage.reports, QStringList());
}

void TestBatchRun::questionThatFails()
{
    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    const QList<TBatchItem> items = stage.Items(
        {QStringLiteral("first.avi:exit=1"), QStringLiteral("asked.mkv:"), QStringLiteral("after.mov:")});
    const QString existing = stage.OutputFor(items[1].source);
    WriteText(existing, "existing output");
    stage.Start(items, 1,
                [](int, const QString&) -> QString { throw AppError(QStringLiteral("No answer.")); });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    // The error ends the run at that item; what failed before it is still told.
    QCOMPARE(stage.runError, QStringLiteral("No answer."));
    QCOMPARE(stage.failed, QStringLiteral(".avi"));
    QCOMPARE(stage.events,
             (QStringList{QStringLiteral("started 0"), QStringLiteral("finished 0"), QStringLiteral("run")}));
    QCOMPARE(ReadAll(existing), QByteArray("existing output"));
    QVERIFY(!QFileInfo::exists(stage.OutputFor(items[2].source)));
}

void TestBatchRun::outputFolderThatCannotBeMade()
{
    TStage stage;
    QVERIFY(stage.valid);
    const QString file = stage.root.filePath(QStringLiteral("a file"));
    WriteText(file, "not a folder");
    stage.out = file + QStringLiteral("/out");
    const QList<TBatchItem> items = stage.Items({QStringLiteral("a.avi:"), QStringLiteral("b.avi:")});
    stage.Start(items, 1);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);
    // The run ends at the first item, whose file cannot be created there; nothing started.
    const QString first = stage.out + QStringLiteral("/a.mp4");
    QVERIFY2(stage.runError.startsWith(QStringLiteral("Cannot create file \"%1\".").arg(first)),
             qPrintable(stage.runError));
    QVERIFY(!stage.run->IsRunning());
    QCOMPARE(stage.Recorded(QStringLiteral("start")), 0);
    QCOMPARE(ReadAll(file), QByteArray("not a folder"));
}

void TestBatchRun::outputNamingTheSource_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the source itself") << "same";
    QTest::newRow("a link to the source") << "link";
    QTest::newRow("a second name of the source") << "hard";
}

void TestBatchRun::outputNamingTheSource()
{
    QFETCH(QString, how);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    const QString sourceText = QStringLiteral("steps=2;stepms=30");
    QString source = stage.out + QStringLiteral("/clip.mp4");
    QString itemPath = source;
    if (how == QLatin1String("same")) {
        WriteText(source, TStage::SourceText(sourceText));
    } else {
        itemPath = stage.Source(QStringLiteral("clip.mp4:") + sourceText);
        source = itemPath;
        const QString atOutput = stage.out + QStringLiteral("/clip.mp4");
        if (how == QLatin1String("link"))
            QVERIFY(QFile::link(itemPath, atOutput));
        else
            QCOMPARE(::link(QFile::encodeName(itemPath).constData(), QFile::encodeName(atOutput).constData()),
                     0);
        // The item is the name in the output folder.
        itemPath = atOutput;
    }
    const QByteArray original = ReadAll(source);

    int asked = 0;
    stage.Start({TBatchItem{itemPath, QStringLiteral("00:00:00"), QString()}}, 1,
                [&asked](int, const QString& path) {
                    ++asked;
                    return path;
                });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    // Writing the placeholder there would have destroyed the source before it was read.
    QCOMPARE(asked, 0);
    const QString automatic = stage.out + QStringLiteral("/clip.mp4(1).mp4");
    QCOMPARE(stage.startedPaths.value(0), automatic);
    QCOMPARE(stage.results.value(0), QStringLiteral("Converted"));
    QCOMPARE(ReadAll(source), original);
    QCOMPARE(ReadAll(itemPath), original);
    QCOMPARE(ReadAll(automatic),
             "converted\ninput=" + itemPath.toUtf8() + "\nsource=" + itemPath.toUtf8() + '\n' + original);
}

void TestBatchRun::sourcesOfTheBatch_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QString>("layout");      // "together": a.avi and a.mp4 in the output folder;
                                              // "link": b.mp4 there is a link to a source elsewhere
    QTest::addColumn<QStringList>("order");   // the items, by file name
    QTest::addColumn<bool>("skip");           // sourceAtOutput is Skip
    QTest::addColumn<QStringList>("written"); // per item: the output's name, empty when skipped

    QTest::newRow("another item's source, two at once")
        << 2 << "together" << QStringList{"a.avi", "a.mp4"} << false
        << QStringList{"a.mp4(1).mp4", "a.mp4(1).mp4(1).mp4"};
    QTest::newRow("another item's source, converted before")
        << 1 << "together" << QStringList{"a.mp4", "a.avi"} << false
        << QStringList{"a.mp4(1).mp4", "a.mp4(1).mp4(1).mp4"};
    QTest::newRow("another item's source, converted after")
        << 1 << "together" << QStringList{"a.avi", "a.mp4"} << false
        << QStringList{"a.mp4(1).mp4", "a.mp4(1).mp4(1).mp4"};
    QTest::newRow("skipped when told")
        << 2 << "together" << QStringList{"a.avi", "a.mp4"} << true << QStringList{"", ""};
    QTest::newRow("a link to another item's source") << 1 << "link" << QStringList{"b.avi", "b.mp4"} << false
                                                     << QStringList{"b.mp4(1).mp4", "b.mp4(1).mp4(1).mp4"};
}

// A source of the batch is never written or replaced, whatever the answer about existing
// outputs: nobody is asked, and the item gets a free automatic name (or is skipped).
void TestBatchRun::sourcesOfTheBatch()
{
    QFETCH(int, simultaneous);
    QFETCH(QString, layout);
    QFETCH(QStringList, order);
    QFETCH(bool, skip);
    QFETCH(QStringList, written);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    QMap<QString, QString> sources;
    QStringList links;
    if (layout == QLatin1String("together")) {
        for (const char* name : {"a.avi", "a.mp4"}) {
            sources[QLatin1String(name)] = stage.out + u'/' + QLatin1String(name);
            WriteText(
                sources[QLatin1String(name)],
                TStage::SourceText(QStringLiteral("name=%1;steps=2;stepms=40").arg(QLatin1String(name))));
        }
    } else {
        for (const char* name : {"b.avi", "b.mp4"})
            sources[QLatin1String(name)] =
                stage.Source(QLatin1String(name) + QStringLiteral(":steps=2;stepms=40"));
        QVERIFY(QFile::link(sources["b.mp4"], stage.out + QStringLiteral("/b.mp4")));
        links << QStringLiteral("b.mp4");
    }
    QMap<QString, QByteArray> before;
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        before[it.key()] = ReadAll(it.value());
    QList<TBatchItem> items;
    for (const QString& name : order)
        items << TBatchItem{sources[name], QStringLiteral("00:00:00"), QString()};
    stage.run->sourceAtOutput = skip ? TSourceAtOutput::Skip : TSourceAtOutput::AutoName;

    int asked = 0;
    stage.Start(items, simultaneous, [&asked](int, const QString& path) {
        ++asked;
        return path; // overwrite
    });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(asked, 0);
    QCOMPARE(stage.failed, QString());
    for (auto it = sources.cbegin(); it != sources.cend(); ++it)
        QCOMPARE(ReadAll(it.value()), before[it.key()]);
    QStringList files = links;
    for (int i = 0; i < order.size(); ++i) {
        if (written[i].isEmpty()) {
            QCOMPARE(stage.results.value(i), QStringLiteral("Skipped"));
            QCOMPARE(stage.run->WantedOutputOf(i), stage.OutputFor(items[i].source));
            continue;
        }
        QCOMPARE(stage.results.value(i), QStringLiteral("Converted"));
        const QString output = stage.out + u'/' + written[i];
        QCOMPARE(stage.startedPaths.value(i), output);
        QCOMPARE(ReadAll(output), "converted\ninput=" + items[i].source.toUtf8() +
                                      "\nsource=" + items[i].source.toUtf8() + '\n' + before[order[i]]);
        files << written[i];
    }
    if (layout == QLatin1String("together"))
        files << QStringLiteral("a.avi") << QStringLiteral("a.mp4");
    else
        QVERIFY(QFileInfo(stage.out + QStringLiteral("/b.mp4")).isSymLink());
    QCOMPARE(stage.OutFiles(), Sorted(files));
}

void TestBatchRun::namesThatCannotBeMade_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QString>("name");   // of the first item's source
    QTest::addColumn<QString>("at");     // what is at its output's name before: "", "file" or "folder"
    QTest::addColumn<QString>("answer"); // to the existing-output question: "overwrite" or "rename"
    QTest::addColumn<QString>("reason"); // why it fails; empty: it converts

    const QString longest = QString(247, u'v') + QStringLiteral(".avi"); // its output just fits
    for (const int n : {1, 3}) {
        const QByteArray suffix = QByteArray(", ") + QByteArray::number(n) + " at once";
        QTest::newRow("an automatic name too long" + suffix) << n << longest << "file"
                                                             << "rename"
                                                             << "File name too long";
        QTest::newRow("a folder at the name" + suffix) << n << "clip.avi"
                                                       << "folder"
                                                       << "overwrite"
                                                       << "It is not a regular file.";
    }
    // The partial file's name would not fit: it keeps less of the output's name.
    QTest::newRow("the longest name there is") << 1 << longest << ""
                                               << "rename"
                                               << "";
    QTest::newRow("the longest name, replacing") << 1 << longest << "file"
                                                 << "overwrite"
                                                 << "";
}

// A name that cannot be made for its own reason fails that item alone, with the reason; the
// other items are converted.
void TestBatchRun::namesThatCannotBeMade()
{
    QFETCH(int, simultaneous);
    QFETCH(QString, name);
    QFETCH(QString, at);
    QFETCH(QString, answer);
    QFETCH(QString, reason);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    const QList<TBatchItem> items =
        stage.Items({name + QStringLiteral(":steps=2;stepms=40"),
                     QStringLiteral("second.mkv:steps=2;stepms=40"), QStringLiteral("third.mov:")});
    const QString output = stage.OutputFor(items[0].source);
    QByteArray old;
    if (at == QLatin1String("file")) {
        old = "an older output";
        WriteText(output, old);
    } else if (at == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(output));
    }
    stage.Start(items, simultaneous, [&answer](int, const QString& path) {
        return answer == QLatin1String("overwrite") ? path : MakeAutoName(path);
    });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(stage.runError, QString());
    QCOMPARE(stage.results.value(1), QStringLiteral("Converted"));
    QCOMPARE(stage.results.value(2), QStringLiteral("Converted"));
    QStringList files{QStringLiteral("second.mp4"), QStringLiteral("third.mp4")};
    if (reason.isEmpty()) {
        QCOMPARE(stage.results.value(0), QStringLiteral("Converted"));
        QCOMPARE(stage.failed, QString());
        QCOMPARE(ReadAll(output), TStage::Written(QStringLiteral("converted"), items[0].source));
        files << QFileInfo(output).fileName();
    } else {
        QCOMPARE(stage.results.value(0), QStringLiteral("Failed"));
        QCOMPARE(stage.failed, ExtensionWithDot(name));
        const QString tried = at == QLatin1String("file") ? output + QStringLiteral("(1).mp4") : output;
        QCOMPARE(stage.run->ErrorLinesOf(0),
                 QStringList{QStringLiteral("Cannot create file \"%1\". %2").arg(tried, reason)});
        if (at == QLatin1String("folder"))
            QVERIFY(QFileInfo(output).isDir());
        else
            QCOMPARE(ReadAll(output), old);
        files << QFileInfo(output).fileName();
    }
    QCOMPARE(stage.OutFiles(), Sorted(files));
}

void TestBatchRun::existingOutputOfAnItemThatEndsBadly_data()
{
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("replaced"); // the old file gave way to the new output

    QTest::newRow("the encoder fails after writing") << "steps=2;stepms=30;exit=1"
                                                     << "Failed" << false;
    QTest::newRow("the encoder crashes") << "crash=1"
                                         << "Failed" << false;
    QTest::newRow("the encoder writes nothing") << "write=0"
                                                << "Failed" << false;
    QTest::newRow("stopped before it wrote") << "wait=1;ignoreq=1"
                                             << "Stopped" << false;
    QTest::newRow("stopped, it finished its file") << "wait=1"
                                                   << "Stopped" << true;
    QTest::newRow("converted") << "steps=1"
                               << "Converted" << true;
}

// An output that exists already and is to be overwritten stays exactly as it was until the new
// one is finished: a failed or stopped conversion that leaves nothing worth keeping loses it
// nothing, and no partial file stays behind.
void TestBatchRun::existingOutputOfAnItemThatEndsBadly()
{
    QFETCH(QString, recipe);
    QFETCH(QString, result);
    QFETCH(bool, replaced);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    const QList<TBatchItem> items = stage.Items({QStringLiteral("clip.avi:") + recipe});
    const QString output = stage.OutputFor(items[0].source);
    QByteArray old;
    for (int i = 0; i < 5000; ++i)
        old += char(i * 31);
    WriteText(output, old);
    struct stat before;
    QCOMPARE(::lstat(QFile::encodeName(output).constData(), &before), 0);

    stage.Start(items, 1, [](int, const QString& path) { return path; });
    if (recipe.contains(QLatin1String("wait=1"))) {
        QTRY_COMPARE_WITH_TIMEOUT(stage.Recorded(QStringLiteral("start")), 1, RunGuardMs);
        // Until the encoder is done nothing has touched the old file.
        QCOMPARE(ReadAll(output), old);
        stage.run->Stop();
    }
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    QCOMPARE(stage.results.value(0), result);
    QCOMPARE(stage.OutFiles(), QStringList{QStringLiteral("clip.mp4")});
    struct stat after;
    QCOMPARE(::lstat(QFile::encodeName(output).constData(), &after), 0);
    if (replaced) {
        QVERIFY(ReadAll(output) != old);
        QVERIFY(ReadAll(output).endsWith(ReadAll(items[0].source)));
    } else {
        QCOMPARE(ReadAll(output), old);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    }
}

void TestBatchRun::linkAtTheOutputName_data()
{
    QTest::addColumn<bool>("dangling");
    QTest::newRow("link to a file elsewhere") << false;
    QTest::newRow("dangling link") << true;
}

void TestBatchRun::linkAtTheOutputName()
{
    QFETCH(bool, dangling);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    const QString elsewhere = stage.root.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    const QString target = elsewhere + QStringLiteral("/precious.bin");
    QByteArray precious;
    for (int i = 0; i < 4096; ++i)
        precious += char(i * 7);
    if (!dangling)
        WriteText(target, precious);

    const QList<TBatchItem> items = stage.Items({QStringLiteral("clip.avi:steps=1")});
    const QString output = stage.OutputFor(items[0].source);
    QVERIFY(QFile::link(target, output));
    int asked = 0;
    stage.Start(items, 1, [&asked](int, const QString& path) {
        ++asked;
        return path; // overwrite
    });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    QCOMPARE(asked, 1);
    QCOMPARE(stage.results.value(0), QStringLiteral("Converted"));
    // The name got a file of its own; whatever the link pointed at is as it was.
    QVERIFY(!QFileInfo(output).isSymLink());
    QVERIFY(QFileInfo(output).isFile());
    QCOMPARE(ReadAll(output), TStage::Written(QStringLiteral("converted"), items[0].source));
    if (dangling)
        QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList());
    else
        QCOMPARE(ReadAll(target), precious);
}

void TestBatchRun::pipeAtTheOutputName_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("three at once") << 3;
}

void TestBatchRun::pipeAtTheOutputName()
{
    QFETCH(int, simultaneous);

    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    const QList<TBatchItem> items = stage.Items({QStringLiteral("first.avi:exit=1;steps=3;stepms=80"),
                                                 QStringLiteral("piped.mkv:"), QStringLiteral("after.mov:")});
    const QString pipe = stage.OutputFor(items[1].source);
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    stage.Start(items, simultaneous, [](int, const QString& path) { return path; });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    // A pipe is nothing an output may take the place of: that item fails with the reason, the
    // others are converted as usual.
    QCOMPARE(stage.runError, QString());
    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(stage.results.value(0), QStringLiteral("Failed"));
    QCOMPARE(stage.results.value(1), QStringLiteral("Failed"));
    QCOMPARE(stage.results.value(2), QStringLiteral("Converted"));
    QCOMPARE(stage.run->ErrorLinesOf(1),
             QStringList{QStringLiteral("Cannot create file \"%1\". It is not a regular file.").arg(pipe)});
    QCOMPARE(Sorted(stage.failed.split(u',')), (QStringList{".avi", ".mkv"}));
    QCOMPARE(ReadAll(stage.OutputFor(items[2].source)),
             TStage::Written(QStringLiteral("converted"), items[2].source));
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(pipe).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
    QCOMPARE(stage.OutFiles(), (QStringList{"after.mp4", "piped.mp4"}));
    QCOMPARE(stage.leftAtFinish, QStringList());
}

void TestBatchRun::fullOutputFolder_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("before"); // "full": the disk is full before the run; "old": an output exists
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QStringList>("left"); // what the output folder holds afterwards

    // The encoder that fills the disk fails; what it wrote goes, so the next item has room.
    QTest::newRow("one fills the disk") << 1 << QStringList{"filler.avi:fill=1", "next.mkv:"} << ""
                                        << QStringList{"Failed", "Converted"} << QStringList{"next.mp4"};
    QTest::newRow("two fill it at once")
        << 2 << QStringList{"filler.avi:fill=1;steps=2;stepms=50", "other.mkv:fill=1;steps=2;stepms=50"} << ""
        << QStringList{"Failed", "Failed"} << QStringList{};
    // The user's file is replaced only by a finished output, never lost to a failed one.
    QTest::newRow("an output that exists already")
        << 1 << QStringList{"old.avi:fill=1"} << "old" << QStringList{"Failed"} << QStringList{"old.mp4"};
    // Then no placeholder fits: the run ends at the first item, since every other one would
    // meet the same; nothing it made stays.
    QTest::newRow("full before the run") << 1 << QStringList{"first.avi:", "second.mkv:"} << "full"
                                         << QStringList{} << QStringList{"full.bin"};
}

void TestBatchRun::fullOutputFolder()
{
    QFETCH(int, simultaneous);
    QFETCH(QStringList, items);
    QFETCH(QString, before);
    QFETCH(QStringList, results);
    QFETCH(QStringList, left);

    if (::geteuid() != 0)
        QSKIP("Mounting a small file system for the output folder needs root.");
    TStage stage;
    QVERIFY(stage.valid);
    QVERIFY(QDir().mkpath(stage.out));
    if (QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=256k"), QStringLiteral("tmpfs"), stage.out}) != 0)
        QSKIP("The small file system for the output folder could not be mounted.");
    struct TUnmount
    {
        QString path;
        ~TUnmount() { QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), path}); }
    } unmount{stage.out};

    const QList<TBatchItem> batch = stage.Items(items);
    QByteArray old;
    if (before == QLatin1String("old")) {
        for (int i = 0; i < 20000; ++i)
            old += char(i * 13);
        WriteText(stage.OutputFor(batch[0].source), old);
    } else if (before == QLatin1String("full")) {
        QFile full(stage.out + QStringLiteral("/full.bin"));
        QVERIFY(full.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (full.write(block) == block.size() && full.flush()) {
        }
    }
    stage.Start(batch, simultaneous, [](int, const QString& path) { return path; });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    for (int i = 0; i < results.size(); ++i)
        QCOMPARE(stage.results.value(i), results[i]);
    if (before == QLatin1String("full")) {
        QVERIFY2(
            stage.runError.startsWith(QStringLiteral("Cannot create file \"%1\". No space left on device")
                                          .arg(stage.OutputFor(batch[0].source))),
            qPrintable(stage.runError));
        QVERIFY(stage.results.isEmpty());
        QCOMPARE(stage.Recorded(QStringLiteral("start")), 0);
    } else {
        QCOMPARE(stage.runError, QString());
    }
    QCOMPARE(stage.OutFiles(), left);
    if (before == QLatin1String("old"))
        QCOMPARE(ReadAll(stage.OutputFor(batch[0].source)), old);
    QCOMPARE(stage.leftAtFinish, QStringList());
}

void TestBatchRun::encoderThatCannotStart_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("code");
    QTest::newRow("missing, one at a time") << 1 << true << "Code: 2.";
    QTest::newRow("missing, three at once") << 3 << true << "Code: 2.";
    QTest::newRow("not executable") << 1 << false << "Code: 13.";
}

void TestBatchRun::encoderThatCannotStart()
{
    QFETCH(int, simultaneous);
    QFETCH(bool, missing);
    QFETCH(QString, code);

    TStage stage;
    QVERIFY(stage.valid);
    const QString encoder = stage.app + TJobSetup::EncoderFileName();
    if (missing)
        QVERIFY(QFile::remove(encoder));
    else
        QVERIFY(QFile::setPermissions(encoder, QFile::ReadOwner | QFile::WriteOwner));
    const QList<TBatchItem> items = stage.Items({QStringLiteral("a.avi:"), QStringLiteral("b.mkv:")});
    stage.Start(items, simultaneous);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    QVERIFY2(stage.runError.startsWith(QStringLiteral("System Error.  ") + code), qPrintable(stage.runError));
    QCOMPARE(stage.events, QStringList{QStringLiteral("run")});
    QCOMPARE(stage.failed, QString());
    QVERIFY(!stage.stopped);
    QCOMPARE(QDir(stage.out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList());
}

void TestBatchRun::stop_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("outputs"); // "partial" or "none", per item
    QTest::addColumn<QStringList>("killed");  // the names that never ended by themselves

    QTest::newRow("one at a time, the encoder obeys") << 1 << QStringList{"obeys.avi:wait=1", "later.mpg:"}
                                                      << QStringList{"partial", "none"} << QStringList{};
    QTest::newRow("one at a time, the encoder ignores q")
        << 1 << QStringList{"ignores.mkv:wait=1;ignoreq=1", "later.mpg:"} << QStringList{"none", "none"}
        << QStringList{"ignores.mkv"};
    QTest::newRow("three at once") << 3
                                   << QStringList{"obeys.avi:wait=1;seconds=9;steps=1;stepms=10",
                                                  "ignores.mkv:wait=1;ignoreq=1", "silent.mov:wait=1;write=0",
                                                  "later.mpg:"}
                                   << QStringList{"partial", "none", "none", "none"}
                                   << QStringList{"ignores.mkv"};
}

void TestBatchRun::stop()
{
    QFETCH(int, simultaneous);
    QFETCH(QStringList, items);
    QFETCH(QStringList, outputs);
    QFETCH(QStringList, killed);

    TStage stage;
    QVERIFY(stage.valid);
    const QList<TBatchItem> batch = stage.Items(items);
    stage.Start(batch, simultaneous);
    const int running = std::min(simultaneous, int(batch.size()));
    // Every encoder that starts is waiting for its stop.
    QTRY_COMPARE_WITH_TIMEOUT(stage.Recorded(QStringLiteral("start")), running, RunGuardMs);
    QCOMPARE(stage.run->RunningCount(), running);

    stage.run->Stop();
    QVERIFY(stage.run->IsStopping());
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString fault = stage.OrderFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY(stage.stopped);
    QCOMPARE(stage.failed, QString());
    QCOMPARE(stage.runError, QString());
    QVERIFY(!stage.run->IsStopping());
    QCOMPARE(stage.leftAtFinish, QStringList());
    QCOMPARE(stage.reports, QStringList());
    for (int i = 0; i < batch.size(); ++i) {
        const QString name = QFileInfo(batch[i].source).fileName();
        if (i < running) {
            QCOMPARE(stage.results.value(i), QStringLiteral("Stopped"));
            // An encoder that ignored "q" was killed; the others ended by themselves.
            QCOMPARE(stage.Recorded(QStringLiteral("end"), name), !killed.contains(name));
        } else {
            QVERIFY(!stage.results.contains(i));
        }
        const QString output = stage.OutputFor(batch[i].source);
        if (outputs[i] == QLatin1String("partial"))
            QCOMPARE(ReadAll(output), TStage::Written(QStringLiteral("partial"), batch[i].source));
        else
            QVERIFY2(!QFileInfo::exists(output), qPrintable(output));
    }
    // What a stopped encoder finished is kept under the output's name; no partial file stays.
    QStringList kept;
    for (int i = 0; i < batch.size(); ++i) {
        if (outputs[i] == QLatin1String("partial"))
            kept << QFileInfo(stage.OutputFor(batch[i].source)).fileName();
    }
    QCOMPARE(stage.OutFiles(), Sorted(kept));

    // The next run converts the whole list from the first item again.
    for (const TBatchItem& item : batch)
        WriteText(item.source, "steps=1\n");
    stage.events.clear();
    stage.results.clear();
    stage.finished = false;
    stage.Start(batch, simultaneous, [](int, const QString& path) { return path; });
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);
    QVERIFY(!stage.stopped);
    QCOMPARE(stage.failed, QString());
    QCOMPARE(stage.results.size(), int(batch.size()));
    for (const TBatchItem& item : batch)
        QCOMPARE(ReadAll(stage.OutputFor(item.source)),
                 TStage::Written(QStringLiteral("converted"), item.source));
}

void TestBatchRun::close_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("outputs");

    QTest::newRow("one at a time, the encoder ignores q")
        << 1 << QStringList{"ignores.mkv:wait=1;ignoreq=1", "later.mpg:"} << QStringList{"none", "none"};
    QTest::newRow("three at once") << 3
                                   << QStringList{"obeys.avi:wait=1", "ignores.mkv:wait=1;ignoreq=1",
                                                  "silent.mov:wait=1;write=0", "later.mpg:"}
                                   << QStringList{"partial", "none", "none", "none"};
}

void TestBatchRun::close()
{
    QFETCH(int, simultaneous);
    QFETCH(QStringList, items);
    QFETCH(QStringList, outputs);

    TStage stage;
    QVERIFY(stage.valid);
    // A portrait size: every item gets a rotation script.
    stage.settings.videoSize = QStringLiteral("176x220");
    const QList<TBatchItem> batch = stage.Items(items);
    stage.Start(batch, simultaneous);
    const int running = std::min(simultaneous, int(batch.size()));
    QTRY_COMPARE_WITH_TIMEOUT(stage.Recorded(QStringLiteral("start")), running, RunGuardMs);
    const QStringList scripts = stage.run->ScriptsWritten();
    QCOMPARE(scripts.size(), running);
    const QStringList privateFolders = QDir(stage.systemTemp).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(privateFolders.size(), 1);

    // Straight from here, without the event loop.
    const int signalsBefore = stage.signalCount;
    stage.run->Close();
    QVERIFY(!stage.run->IsRunning());
    QCOMPARE(stage.run->RunningCount(), 0);
    QCOMPARE(stage.LeftProcesses(), QStringList());
    for (const QString& script : scripts)
        QVERIFY2(!QFileInfo::exists(script), qPrintable(script));
    QCOMPARE(stage.run->ScriptsWritten(), QStringList());
    QCOMPARE(QDir(stage.systemTemp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList());
    for (int i = 0; i < batch.size(); ++i) {
        const QString output = stage.OutputFor(batch[i].source);
        if (outputs[i] == QLatin1String("partial"))
            QVERIFY2(ReadAll(output).startsWith("partial\ninput=" + scripts.value(i).toUtf8()),
                     ReadAll(output).constData());
        else
            QVERIFY2(!QFileInfo::exists(output), qPrintable(output));
    }
    QStringList kept;
    for (int i = 0; i < batch.size(); ++i) {
        if (outputs[i] == QLatin1String("partial"))
            kept << QFileInfo(stage.OutputFor(batch[i].source)).fileName();
    }
    QCOMPARE(stage.OutFiles(), Sorted(kept));

    // Whatever was still under way in the event loop says nothing any more.
    QTest::qWait(stage.run->stopGraceMs * 3);
    QCOMPARE(stage.signalCount, signalsBefore);
    QVERIFY(!stage.finished);
    QCOMPARE(stage.reports, QStringList());
}

void TestBatchRun::rotationScriptsForItemsAtOnce()
{
    TStage stage;
    QVERIFY(stage.valid);
    stage.settings.videoSize = QStringLiteral("176x220");
    QStringList scriptsAtSecondStart;
    stage.onStarted = [&](int index) {
        if (index == 1)
            scriptsAtSecondStart = stage.run->ScriptsWritten();
    };
    const QList<TBatchItem> items =
        stage.Items({QStringLiteral("a.avi:steps=2;stepms=80"), QStringLiteral("b.avi:steps=2;stepms=80")});
    stage.Start(items, 2);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    const QString first = stage.temp + QStringLiteral("m9s.avs");
    const QString second = stage.temp + QStringLiteral("m9s-2.avs");
    QCOMPARE(scriptsAtSecondStart, (QStringList{first, second}));
    QCOMPARE(stage.mostRunning, 2);
    QCOMPARE(stage.failed, QString());
    const QStringList scripts{first, second};
    for (int i = 0; i < 2; ++i) {
        const QString source = items[i].source;
        QCOMPARE(ReadAll(scripts[i]),
                 "DirectShowSource(\"" + source.toUtf8() + "\",convertfps=true)\r\nturnleft()\r\n");
        QCOMPARE(ReadAll(stage.OutputFor(source)), "converted\ninput=" + scripts[i].toUtf8() + "\nsource=" +
                                                       source.toUtf8() + '\n' + ReadAll(source));
    }
}

void TestBatchRun::rotationScriptNamesTheSource_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("form"); // "plain", "triple" or "link"

    QTest::newRow("plain name") << "clip one.avi"
                                << "plain";
    QTest::newRow("quotes inside") << "say \"hi\" now.avi"
                                   << "triple";
    QTest::newRow("line break") << "two\nlines\")\r\nKillAudio(\".avi"
                                << "triple";
    QTest::newRow("three quotes") << "three \"\"\" quotes.avi"
                                  << "link";
    QTest::newRow("ends in a quote") << "ends in a quote\""
                                     << "link";
}

void TestBatchRun::rotationScriptNamesTheSource()
{
    QFETCH(QString, name);
    QFETCH(QString, form);

    TStage stage;
    QVERIFY(stage.valid);
    stage.settings.videoSize = QStringLiteral("176x220");
    const QList<TBatchItem> items = stage.Items({name + QStringLiteral(":name=item;steps=1;stepms=20")});
    const QString source = items[0].source;
    const QByteArray original = ReadAll(source);
    QVERIFY(!original.isEmpty());
    stage.Start(items, 1);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);

    QCOMPARE(stage.results.value(0), QStringLiteral("Converted"));
    const QString script = stage.temp + QStringLiteral("m9s.avs");
    const QByteArray written = ReadAll(stage.OutputFor(source));
    const QByteArray head = "converted\ninput=" + script.toUtf8() + "\nsource=";
    const QByteArray tail = '\n' + original;
    QVERIFY2(written.startsWith(head) && written.endsWith(tail), written.constData());
    // What the encoder found through the script.
    const QString named =
        QString::fromUtf8(written.mid(head.size(), written.size() - head.size() - tail.size()));

    QString scriptString;
    if (form == QLatin1String("link")) {
        // A link with a plain name in the run's own folder, which is gone after the run.
        QVERIFY2(named.startsWith(stage.systemTemp + QStringLiteral("/velmora-")), qPrintable(named));
        QVERIFY(!QFileInfo(named).fileName().contains(u'"'));
        QVERIFY(!QFileInfo::exists(QFileInfo(named).absolutePath()));
        scriptString = u'"' + named + u'"';
    } else {
        QCOMPARE(named, source);
        scriptString = form == QLatin1String("plain")
                           ? u'"' + source + u'"'
                           : QStringLiteral("\"\"\"") + source + QStringLiteral("\"\"\"");
    }
    QCOMPARE(QString::fromUtf8(ReadAll(script)), QStringLiteral("DirectShowSource(") + scriptString +
                                                     QStringLiteral(",convertfps=true)\r\nturnleft()\r\n"));
    QCOMPARE(ReadAll(source), original);
    QCOMPARE(QDir(stage.systemTemp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             QStringList());
}

void TestBatchRun::log_data()
{
    QTest::addColumn<int>("simultaneous");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("three at once") << 3;
}

void TestBatchRun::log()
{
    QFETCH(int, simultaneous);

    TStage stage;
    QVERIFY(stage.valid);
    WriteText(stage.app + QStringLiteral("config.ini"), "[setting]\r\nlogfile=1\r\n");
    // A log of an earlier run is gone once a new run starts.
    WriteText(stage.app + QStringLiteral("logFile.txt"), "earlier run\r\n");
    const QStringList names{"alpha", "bravo", "charlie"};
    QStringList recipes;
    for (int i = 0; i < names.size(); ++i)
        recipes << QStringLiteral("%1.avi:prefix=%1;out=%1 says hello;stderr=%1 complains;"
                                  "torn=%1 tells a long story in two parts;steps=3;stepms=%2")
                       .arg(names[i])
                       .arg(50 + 30 * i);
    const QList<TBatchItem> items = stage.Items(recipes);
    stage.Start(items, simultaneous);
    QTRY_VERIFY_WITH_TIMEOUT(stage.finished, RunGuardMs);
    QCOMPARE(stage.failed, QString());
    QCOMPARE(stage.reports, QStringList());

    const QString text = QString::fromUtf8(ReadAll(stage.app + QStringLiteral("logFile.txt")));
    QVERIFY(!text.contains(QStringLiteral("earlier run")));
    const QString commandHead = stage.app + TJobSetup::EncoderFileName() + QStringLiteral(" -i ");
    QStringList lines = text.split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    lines.removeAll(QString());
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.first().startsWith(commandHead), qPrintable(lines.first()));

    // Each block: the command line of one item, then that item's lines only, all of them.
    QStringList blocksSeen;
    int current = -1;
    QList<int> linesOf(names.size(), 0);
    for (const QString& line : std::as_const(lines)) {
        if (line.startsWith(commandHead)) {
            current = -1;
            for (int i = 0; i < items.size(); ++i) {
                if (line.startsWith(commandHead + items[i].source + u' '))
                    current = i;
            }
            QVERIFY2(current >= 0, qPrintable(line));
            blocksSeen << names[current];
            continue;
        }
        QVERIFY2(line.contains(names[current]),
                 qPrintable(QStringLiteral("in the block of %1: %2").arg(names[current], line)));
        ++linesOf[current];
    }
    QCOMPARE(Sorted(blocksSeen), Sorted(names));
    // Its output line, its error line, its line written in two halves whole and the line
    // between them, and three progress lines.
    QCOMPARE(linesOf, (QList<int>{7, 7, 7}));
    for (const QString& name : names)
        QVERIFY2(lines.contains(name + QStringLiteral(" tells a long story in two parts")), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_TBatchRun.moc"
