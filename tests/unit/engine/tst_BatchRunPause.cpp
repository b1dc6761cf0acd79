// Pause and resume of a run: every process of a running encoder's group stands still and uses
// no processor, the run-time ticks and the run's clock stop, no further item starts, and a stop
// or close while paused leaves nothing stopped or running. The encoder is a stand-in that
// behaves like libm9s.exe (markers, "q", a helper process in its group).

#include "engine/TBatchRun.h"
#include "support/ConversionFixture.h"
#include "support/StandInProgram.h"
#include "support/TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/types.h>

using namespace ConversionFixture;
using namespace TestSupport;

namespace {

struct TProcessState
{
    char state = '?';
    qint64 cpuTicks = 0; // user and system time
};

// State and processor time of every live process of a group.
QList<TProcessState> GroupStates(qint64 group)
{
    QList<TProcessState> states;
    for (const QString& entry : ProcessesInGroup(group)) {
        const QByteArray stat =
            ReadAll(QStringLiteral("/proc/") + entry.section(u' ', 0, 0) + QStringLiteral("/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            states << TProcessState{fields[0].at(0), fields[11].toLongLong() + fields[12].toLongLong()};
    }
    return states;
}

bool AllStopped(qint64 group)
{
    const QList<TProcessState> states = GroupStates(group);
    return !states.isEmpty() &&
           std::all_of(states.begin(), states.end(), [](const TProcessState& s) { return s.state == 'T'; });
}

bool NoneStopped(qint64 group)
{
    const QList<TProcessState> states = GroupStates(group);
    return std::none_of(states.begin(), states.end(), [](const TProcessState& s) { return s.state == 'T'; });
}

qint64 GroupCpu(qint64 group)
{
    qint64 ticks = 0;
    for (const TProcessState& s : GroupStates(group))
        ticks += s.cpuTicks;
    return ticks;
}

} // namespace

class tst_BatchRunPause : public QObject, TStandInProgram
{
    Q_OBJECT

    QString outFolder;

    // Starts run over items and waits until the first encoder has reported a second of output.
    qint64 StartAndWaitForProgress(TBatchRun& run, const QList<TBatchItem>& items, int simultaneous = 1)
    {
        qint64 group = 0;
        const QMetaObject::Connection connection =
            connect(&run, &TBatchRun::ItemProgress, this, [&](int index, const TItemProgress& progress) {
                if (progress.reachedSeconds > 0 && group == 0)
                    group = run.ProcessId(index);
            });
        run.Start(items, Settings(), outFolder, simultaneous, {});
        QElapsedTimer waited;
        waited.start();
        while (group == 0 && waited.elapsed() < 60000)
            QTest::qWait(20);
        disconnect(connection);
        return group;
    }

private slots:
    void initTestCase() { PrepareProgramFolder(QStringLiteral(SLOW_ENCODER)); }

    void init()
    {
        outFolder = work.path() + QStringLiteral("/out-") +
                    QString::fromLatin1(QTest::currentTestFunction()) +
                    QString::fromLatin1(QTest::currentDataTag()) + u'/';
    }

    // Paused: every process of the encoder's group is stopped and uses no processor; the ticks
    // and the run's clock stand still and no progress comes. Resumed: all of it goes on.
    void pauseStopsTheWholeGroup()
    {
        TBatchRun run(*common);
        QSignalSpy paused(&run, &TBatchRun::PausedChanged);
        QList<TItemProgress> progress;
        connect(&run, &TBatchRun::ItemProgress, this, [&](int, const TItemProgress& p) { progress << p; });
        const qint64 group = StartAndWaitForProgress(
            run, {{Source("busy.avi", "seconds=100000\nstep=50\nbusy\n"), "00:00:00", ""}});
        // A group of 0 would be this test's own.
        QVERIFY(group > 0);
        // The encoder and its helper, like libm9s.exe and its ffmpeg.
        QTRY_COMPARE(GroupStates(group).size(), 2);

        run.Pause();
        QVERIFY(run.IsPaused());
        QCOMPARE(paused.size(), 1);
        QCOMPARE(paused.at(0).at(0).toBool(), true);
        QTRY_VERIFY(AllStopped(group));
        // What the encoder wrote before it stood still may still be in the pipe.
        QTest::qWait(200);
        const qsizetype progressAtPause = progress.size();
        const int ticksAtPause = progress.last().runTicks;
        const qint64 cpuAtPause = GroupCpu(group);
        const qint64 clockAtPause = run.ActiveMilliseconds();
        // Long enough for three ticks and for a spinning helper to use a second of processor.
        QTest::qWait(3000);
        QCOMPARE(GroupCpu(group), cpuAtPause);
        QVERIFY(qAbs(run.ActiveMilliseconds() - clockAtPause) <= 1);
        QVERIFY(AllStopped(group));
        QCOMPARE(progress.size(), progressAtPause);
        // Pausing twice changes nothing.
        run.Pause();
        QCOMPARE(paused.size(), 1);

        run.Resume();
        QVERIFY(!run.IsPaused());
        QCOMPARE(paused.size(), 2);
        QCOMPARE(paused.at(1).at(0).toBool(), false);
        QTRY_VERIFY(NoneStopped(group));
        QTRY_VERIFY(progress.size() > progressAtPause + 2);
        // The ticks went on from where they stood (the one after the pause may have come).
        QVERIFY2(
            progress[progressAtPause].runTicks <= ticksAtPause + 1,
            qPrintable(QStringLiteral("%1 -> %2").arg(ticksAtPause).arg(progress[progressAtPause].runTicks)));
        QTRY_VERIFY(GroupCpu(group) > cpuAtPause);
        QVERIFY(run.ActiveMilliseconds() > clockAtPause);

        run.Stop();
        QTRY_VERIFY(!run.IsRunning());
        QTRY_COMPARE(ProcessesInGroup(group), QStringList());
    }

    void stopOrCloseWhilePaused_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("stop") << false;
        QTest::newRow("close") << true;
    }
    // The encoders are continued before they are told "q": they finish their files, and no
    // process of theirs is left stopped or running.
    void stopOrCloseWhilePaused()
    {
        QFETCH(bool, close);
        auto run = std::make_unique<TBatchRun>(*common);
        QSignalSpy finished(run.get(), &TBatchRun::ItemFinished);
        QSignalSpy runFinished(run.get(), &TBatchRun::RunFinished);
        QSignalSpy paused(run.get(), &TBatchRun::PausedChanged);
        const QList<TBatchItem> items{{Source("long.avi", "seconds=100000\nstep=50\n"), "00:00:00", ""},
                                      {Source("next.avi", "seconds=2\n"), "00:00:00", ""}};
        const qint64 group = StartAndWaitForProgress(*run, items);
        // A group of 0 would be this test's own.
        QVERIFY(group > 0);
        run->Pause();
        QTRY_VERIFY(AllStopped(group));

        if (close) {
            run->Close();
            QVERIFY(!run->IsPaused());
            QTRY_COMPARE(ProcessesInGroup(group), QStringList());
            // No signal after a close.
            QCOMPARE(paused.size(), 1);
            QCOMPARE(runFinished.size(), 0);
        } else {
            run->Stop();
            QVERIFY(!run->IsPaused());
            QCOMPARE(paused.size(), 2);
            QTRY_COMPARE(runFinished.size(), 1);
            QCOMPARE(runFinished.at(0).at(1).toBool(), true);
            QCOMPARE(finished.size(), 1);
            QCOMPARE(finished.at(0).at(1).value<TItemResult>(), TItemResult::Stopped);
            QTRY_COMPARE(ProcessesInGroup(group), QStringList());
        }
        // "q" was read: the encoder wrote its output where it was.
        QVERIFY(ReadAll(outFolder + QStringLiteral("long.mp4")).startsWith("converted "));
        // The next item never started.
        QVERIFY(!QFile::exists(outFolder + QStringLiteral("next.mp4")));
    }

    void itemEndingWhilePaused_data()
    {
        QTest::addColumn<int>("itemCount");
        QTest::newRow("more to do: nothing starts until resumed") << 2;
        QTest::newRow("last item: the run ends, no longer paused") << 1;
    }
    // An encoder that ends while the run is paused (killed from outside): no further item
    // starts until the run is resumed; when it was the last, the run ends and is not paused.
    void itemEndingWhilePaused()
    {
        QFETCH(int, itemCount);
        TBatchRun run(*common);
        QSignalSpy started(&run, &TBatchRun::ItemStarted);
        QSignalSpy finished(&run, &TBatchRun::ItemFinished);
        QSignalSpy runFinished(&run, &TBatchRun::RunFinished);
        QSignalSpy paused(&run, &TBatchRun::PausedChanged);
        QList<TBatchItem> items{{Source("killed.avi", "seconds=100000\nstep=50\n"), "00:00:00", ""}};
        if (itemCount > 1)
            items << TBatchItem{Source("after.avi", "seconds=2\nstep=20\n"), "00:00:00", ""};
        const qint64 group = StartAndWaitForProgress(run, items);
        // A group of 0 would be this test's own.
        QVERIFY(group > 0);
        run.Pause();
        QTRY_VERIFY(AllStopped(group));
        ::kill(-static_cast<pid_t>(group), SIGKILL);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(1).value<TItemResult>(), TItemResult::Failed);

        if (itemCount == 1) {
            QTRY_COMPARE(runFinished.size(), 1);
            QVERIFY(!run.IsPaused());
            QCOMPARE(paused.size(), 2);
            return;
        }
        // Everything that was waiting has happened: no second item.
        QTest::qWait(500);
        QCOMPARE(started.size(), 1);
        QVERIFY(run.IsRunning());
        QCOMPARE(run.RunningCount(), 0);
        run.Resume();
        QTRY_COMPARE(runFinished.size(), 1);
        QCOMPARE(started.size(), 2);
        QCOMPARE(ReadAll(outFolder + QStringLiteral("after.mp4")), QByteArray("converted 2\n"));
    }

    // Pause and resume mean nothing to a run that is not on.
    void pauseWhenIdle()
    {
        TBatchRun run(*common);
        QSignalSpy paused(&run, &TBatchRun::PausedChanged);
        run.Pause();
        QVERIFY(!run.IsPaused());
        run.Resume();
        QCOMPARE(paused.size(), 0);
        QCOMPARE(run.ActiveMilliseconds(), qint64(0));
    }
};

QTEST_GUILESS_MAIN(tst_BatchRunPause)
#include "tst_BatchRunPause.moc"
