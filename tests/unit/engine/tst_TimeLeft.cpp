// The time left of a file and of a batch: the arithmetic, what is known when, and a figure that
// never climbs back faster than the clock.

#include "engine/TTimeLeft.h"

#include <QTest>

#include <QList>

#include <limits>

class tst_TimeLeft : public QObject
{
    Q_OBJECT

    // Runs steps of the form "<what> <item> <value>" on a fresh TTimeLeft of count items:
    // window, reached, speed, start, done (converted), fail, and "clock - <ms>" for the clock at
    // which the figures are taken. Returns the clock.
    static qint64 Play(TTimeLeft& left, int count, const QStringList& steps)
    {
        left.Reset(count);
        qint64 clock = 0;
        for (const QString& step : steps) {
            const QStringList words = step.split(u' ');
            const QString what = words.value(0);
            const int item = words.value(1).toInt();
            const double value = words.value(2).toDouble();
            if (what == QLatin1String("window"))
                left.SetWindow(item, value);
            else if (what == QLatin1String("reached"))
                left.SetReached(item, value);
            else if (what == QLatin1String("speed"))
                left.SetSpeed(item, value);
            else if (what == QLatin1String("start"))
                left.SetStarted(item);
            else if (what == QLatin1String("done"))
                left.SetFinished(item, true);
            else if (what == QLatin1String("fail"))
                left.SetFinished(item, false);
            else if (what == QLatin1String("clock"))
                clock = qint64(value);
            else
                qFatal("unknown step %s", qPrintable(step));
        }
        return clock;
    }

private slots:
    void secondsLeft_data()
    {
        QTest::addColumn<double>("window");
        QTest::addColumn<double>("reached");
        QTest::addColumn<double>("speed");
        QTest::addColumn<double>("expected");
        QTest::newRow("half at twice real time") << 100.0 << 40.0 << 2.0 << 30.0;
        QTest::newRow("slower than real time") << 60.0 << 30.0 << 0.5 << 60.0;
        QTest::newRow("nothing reached yet") << 10.0 << 0.0 << 4.0 << 2.5;
        QTest::newRow("no duration known") << 0.0 << 5.0 << 2.0 << -1.0;
        QTest::newRow("speed 0") << 100.0 << 5.0 << 0.0 << -1.0;
        QTest::newRow("speed not a number")
            << 100.0 << 5.0 << std::numeric_limits<double>::quiet_NaN() << -1.0;
        QTest::newRow("speed infinite") << 100.0 << 5.0 << std::numeric_limits<double>::infinity() << -1.0;
        QTest::newRow("past the end") << 100.0 << 130.0 << 2.0 << 0.0;
    }
    void secondsLeft()
    {
        QFETCH(double, window);
        QFETCH(double, reached);
        QFETCH(double, speed);
        QFETCH(double, expected);
        QCOMPARE(TTimeLeft::SecondsLeft(window, reached, speed), expected);
    }

    void pace_data()
    {
        QTest::addColumn<double>("done");
        QTest::addColumn<qint64>("nowMs");
        QTest::addColumn<double>("speeds");
        QTest::addColumn<double>("expected");
        QTest::newRow("early: the encoders' speed") << 4.0 << qint64(1000) << 3.0 << 3.0;
        QTest::newRow("later: what was done over the time") << 30.0 << qint64(10000) << 5.0 << 3.0;
        QTest::newRow("later, nothing done: the speed") << 0.0 << qint64(10000) << 2.0 << 2.0;
        QTest::newRow("nothing known") << 0.0 << qint64(500) << 0.0 << 0.0;
    }
    void pace()
    {
        QFETCH(double, done);
        QFETCH(qint64, nowMs);
        QFETCH(double, speeds);
        QFETCH(double, expected);
        QCOMPARE(TTimeLeft::Pace(done, nowMs, speeds), expected);
    }

    // What the file and the batch figure are after a run's events; -1 is "not shown".
    void figures_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("fileItem");
        QTest::addColumn<qint64>("file");
        QTest::addColumn<qint64>("batch");
        QTest::newRow("one file, speed known")
            << 1 << QStringList{"window 0 20", "start 0", "reached 0 10", "speed 0 2", "clock - 2000"} << 0
            << qint64(5) << qint64(5);
        QTest::newRow("no duration known for a later file: the batch waits")
            << 2 << QStringList{"window 0 10", "start 0", "reached 0 4", "speed 0 2", "clock - 2000"} << 0
            << qint64(3) << qint64(-1);
        QTest::newRow("no duration known for the running file")
            << 2 << QStringList{"window 1 10", "start 0", "reached 0 4", "speed 0 2", "clock - 2000"} << 0
            << qint64(-1) << qint64(-1);
        QTest::newRow("speed 0: nothing yet")
            << 2 << QStringList{"window 0 10", "window 1 10", "start 0", "speed 0 0", "clock - 1000"} << 0
            << qint64(-1) << qint64(-1);
        QTest::newRow("the later file's length becomes known")
            << 2 << QStringList{"window 0 10", "start 0",     "reached 0 4",
                                "speed 0 2",   "window 1 10", "clock - 2000"}
            << 0 << qint64(3) << qint64(8);
        QTest::newRow("one file fails at once")
            << 3 << QStringList{"window 0 10", "window 1 10", "window 2 10", "start 0",     "fail 0",
                                "start 1",     "reached 1 4", "speed 1 2",   "clock - 2200"}
            << 1 << qint64(3) << qint64(8);
        QTest::newRow("a failed file's length is not waited for")
            << 2 << QStringList{"start 0", "fail 0", "window 1 10", "start 1", "speed 1 5", "clock - 300"}
            << 1 << qint64(2) << qint64(2);
        QTest::newRow("the pace kept so far")
            << 3 << QStringList{"window 0 10", "window 1 10", "window 2 10", "start 0",     "done 0",
                                "start 1",     "reached 1 5", "speed 1 10",  "clock - 7500"}
            << 1 << qint64(1) << qint64(8);
        QTest::newRow("several at once: their speeds add up")
            << 3 << QStringList{"window 0 10", "window 1 10", "window 2 10", "start 0",
                                "start 1",     "speed 0 2",   "speed 1 2",   "clock - 1000"}
            << 0 << qint64(5) << qint64(8);
        QTest::newRow("every file done")
            << 2 << QStringList{"window 0 10", "window 1 10", "done 0", "done 1", "clock - 9000"} << 1
            << qint64(-1) << qint64(0);
        QTest::newRow("skipped and stopped files count nothing")
            << 3 << QStringList{"fail 0", "fail 1", "window 2 6", "start 2", "speed 2 3", "clock - 100"} << 2
            << qint64(2) << qint64(2);
    }
    void figures()
    {
        QFETCH(int, count);
        QFETCH(QStringList, steps);
        QFETCH(int, fileItem);
        QFETCH(qint64, file);
        QFETCH(qint64, batch);
        TTimeLeft left;
        const qint64 clock = Play(left, count, steps);
        QCOMPARE(left.FileLeft(fileItem, clock), file);
        QCOMPARE(left.BatchLeft(clock), batch);
    }

    // A figure falls at once when less is known to be left, but rises by no more than the time
    // that passed, and never goes below 0.
    void risesNoFasterThanTheClock_data()
    {
        QTest::addColumn<QStringList>("steps"); // then figures taken at each "clock"
        QTest::addColumn<QList<qint64>>("files");
        QTest::addColumn<QList<qint64>>("batches");
        QTest::newRow("a jump ahead shows at once")
            << QStringList{"clock - 0", "reached 0 50", "clock - 1000", "clock - 2000", "clock - 60000"}
            // Nothing done in the later half of the run: the encoder's speed again.
            << QList<qint64>{100, 50, 50, 50} << QList<qint64>{100, 50, 50, 50};
        QTest::newRow("the batch's pace leaves out a slow start")
            << QStringList{"clock - 0", "reached 0 10", "clock - 10000", "reached 0 60", "clock - 20000"}
            // 10 s done in the first 10 s of the run, then 50 s in the next 10 s: a pace of 5.
            << QList<qint64>{100, 90, 40} << QList<qint64>{100, 90, 8};
        QTest::newRow("a slower speed is taken one second a second")
            << QStringList{"clock - 0", "speed 0 0.5", "clock - 1000", "clock - 2000", "clock - 300000"}
            << QList<qint64>{100, 101, 102, 200} << QList<qint64>{100, 101, 102, 200};
        QTest::newRow("past the end: 0, not less")
            << QStringList{"reached 0 90", "clock - 5000", "reached 0 150", "clock - 60000"}
            << QList<qint64>{10, 0} << QList<qint64>{1, 0};
        QTest::newRow("no time passed: no rise")
            << QStringList{"clock - 3000", "speed 0 0.5", "clock - 3000"} << QList<qint64>{100, 100}
            << QList<qint64>{100, 100};
    }
    void risesNoFasterThanTheClock()
    {
        QFETCH(QStringList, steps);
        QFETCH(QList<qint64>, files);
        QFETCH(QList<qint64>, batches);
        TTimeLeft left;
        // One file of 100 s at real time; no pace of its own yet in the first seconds.
        Play(left, 1, {"window 0 100", "start 0", "speed 0 1"});
        QList<qint64> fileFigures;
        QList<qint64> batchFigures;
        for (const QString& step : steps) {
            const QStringList words = step.split(u' ');
            if (words[0] == QLatin1String("clock")) {
                const qint64 now = words[2].toLongLong();
                fileFigures << left.FileLeft(0, now);
                batchFigures << left.BatchLeft(now);
            } else if (words[0] == QLatin1String("reached")) {
                left.SetReached(0, words[2].toDouble());
            } else if (words[0] == QLatin1String("speed")) {
                left.SetSpeed(0, words[2].toDouble());
            }
        }
        QCOMPARE(fileFigures, files);
        QCOMPARE(batchFigures, batches);
    }
};

QTEST_GUILESS_MAIN(tst_TimeLeft)
#include "tst_TimeLeft.moc"
