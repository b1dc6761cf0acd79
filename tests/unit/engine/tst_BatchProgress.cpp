// The whole run's bar while several files convert at once: by files until every length is
// known, by seconds then, and never moving back.

#include "engine/TBatchProgress.h"

#include <QTest>

class tst_BatchProgress : public QObject
{
    Q_OBJECT

private slots:
    void position_data()
    {
        // Steps: "w<index>=<seconds>" a known length, "r<index>=<seconds>" reached, "f<index>"
        // finished; the position after the last step.
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("position");
        QTest::newRow("nothing yet") << 4 << QStringList{} << 0;
        QTest::newRow("by files: one of four done") << 4 << QStringList{"f0"} << 25;
        QTest::newRow("by files: a running file counts its part")
            << 4 << QStringList{"f0", "w1=10", "r1=5"} << 37;
        QTest::newRow("by seconds once every length is known")
            << 2 << QStringList{"w0=10", "w1=30", "r0=10", "f0", "r1=0"} << 25;
        QTest::newRow("reached beyond the length counts the length")
            << 2 << QStringList{"w0=10", "w1=10", "r0=50"} << 50;
        QTest::newRow("a finished file of unknown length counts as the average")
            << 3 << QStringList{"f0", "w1=10", "w2=30", "r1=10", "f1"} << 50;
        QTest::newRow("all done") << 2 << QStringList{"f0", "f1"} << 100;
        QTest::newRow("empty run") << 0 << QStringList{} << 0;
        QTest::newRow("indexes out of range change nothing") << 1 << QStringList{"f5", "w-1=3"} << 0;
    }
    void position()
    {
        QFETCH(int, count);
        QFETCH(QStringList, steps);
        QFETCH(int, position);
        TBatchProgress progress;
        progress.Reset(count);
        for (const QString& step : steps) {
            const int index = step.mid(1).section(u'=', 0, 0).toInt();
            const qint64 seconds = step.section(u'=', 1).toLongLong();
            if (step.startsWith(u'w'))
                progress.SetWindow(index, seconds);
            else if (step.startsWith(u'r'))
                progress.SetReached(index, seconds);
            else
                progress.SetFinished(index);
        }
        QCOMPARE(progress.Position(), position);
    }

    // Counting by files gives 50 here; once the long file's length is known, counting by
    // seconds gives less, and the bar stays where it was.
    void neverMovesBack()
    {
        TBatchProgress progress;
        progress.Reset(2);
        progress.SetWindow(0, 1);
        progress.SetFinished(0);
        QCOMPARE(progress.Position(), 50);
        progress.SetWindow(1, 100);
        progress.SetReached(1, 10);
        QCOMPARE(progress.Position(), 50);
        progress.SetReached(1, 80);
        QCOMPARE(progress.Position(), 80);
        QCOMPARE(progress.FinishedCount(), 1);
        progress.Reset(2);
        QCOMPARE(progress.Position(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_BatchProgress)
#include "tst_BatchProgress.moc"
