// Progress bar position and status line made from the encoder's markers.

#include "engine/TProgressState.h"
#include "platform/AppError.h"

#include <QTest>

namespace {

QString Duration(const QString& value)
{
    return QStringLiteral("ffmpeg_release_duration=") + value + QStringLiteral("=ffmpeg_release_duration");
}

QString Time(const QString& value)
{
    return QStringLiteral("ffmpeg_release_time=") + value + QStringLiteral("=ffmpeg_release_time");
}

QString Speed(const QString& value)
{
    return QStringLiteral("ffmpeg_release_speed=") + value + QStringLiteral("=ffmpeg_release_speed");
}

} // namespace

class tst_ProgressState : public QObject
{
    Q_OBJECT

private slots:
    // Pieces fed in order to a fresh state; the view after the last one.
    void parse_data()
    {
        QTest::addColumn<QString>("startText");
        QTest::addColumn<QString>("durationText");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("bracket");
        QTest::addColumn<qint64>("reached");

        QTest::newRow("two time markers, last counts")
            << "00:00:00"
            << "00:01:40" << QStringList{Time("10.0") + " x " + Time("11.0")} << 11 << "[00:00:00-00:01:40]"
            << qint64(11);
        QTest::newRow("smaller time shows, reached stays")
            << "00:00:00"
            << "00:01:40" << QStringList{Time("15.0"), Time("12.0")} << 12 << "[00:00:00-00:01:40]"
            << qint64(15);
        QTest::newRow("piece without marker shows reached")
            << "00:00:00"
            << "00:01:40" << QStringList{Time("15.0"), Time("12.0"), "frame=  10"} << 15
            << "[00:00:00-00:01:40]" << qint64(15);
        QTest::newRow("start and duration window")
            << "00:01:00"
            << "00:02:00" << QStringList{Time("60.0")} << 50 << "[00:01:00-00:03:00]" << qint64(60);
        QTest::newRow("window from duration marker")
            << "00:00:30"
            << "" << QStringList{Duration("00:02:30.00") + Time("60")} << 50 << "[00:00:30-00:02:30]"
            << qint64(60);
        QTest::newRow("no duration yet: window of 1")
            << "00:00:00"
            << "" << QStringList{Time("0.6")} << 99 << "[00:00:00-00:00:01]" << qint64(1);
        QTest::newRow("no duration yet, late start: empty bar")
            << "00:00:30"
            << "" << QStringList{Time("10")} << -33 << "[00:00:30-00:00:00]" << qint64(10);
        QTest::newRow("duration marker corrects late start")
            << "00:00:30"
            << "" << QStringList{Time("10"), Duration("00:01:10.5")} << 25 << "[00:00:30-00:01:10]"
            << qint64(10);
        QTest::newRow("half rounds to even: 0")
            << "00:00:00"
            << "00:03:20" << QStringList{Time("1")} << 0 << "[00:00:00-00:03:20]" << qint64(1);
        QTest::newRow("1.5 rounds to 2")
            << "00:00:00"
            << "00:03:20" << QStringList{Time("3")} << 2 << "[00:00:00-00:03:20]" << qint64(3);
        QTest::newRow("2.5 rounds to 2")
            << "00:00:00"
            << "00:03:20" << QStringList{Time("5")} << 2 << "[00:00:00-00:03:20]" << qint64(5);
        QTest::newRow("time value rounds to even")
            << "00:00:00"
            << "00:01:40" << QStringList{Time("2.5")} << 2 << "[00:00:00-00:01:40]" << qint64(2);
        QTest::newRow("far beyond the window")
            << "00:00:00"
            << "00:00:10" << QStringList{Time("5000")} << 99 << "[00:00:00-00:00:10]" << qint64(5000);
        QTest::newRow("blanks and controls around values")
            << "00:00:00"
            << "" << QStringList{Duration(" \t00:01:40.00\r") + Time("\r 50.0 \n")} << 50
            << "[00:00:00-00:01:40]" << qint64(50);
        QTest::newRow("blank value is no marker")
            << "00:00:00"
            << "00:01:40" << QStringList{Time("20"), Time("  ")} << 20 << "[00:00:00-00:01:40]" << qint64(20);
        QTest::newRow("markers on split lines ignored")
            << "00:00:00"
            << "00:01:40" << QStringList{"ffmpeg_release_time=30", "=ffmpeg_release_time"} << 0
            << "[00:00:00-00:01:40]" << qint64(0);
    }
    void parse()
    {
        QFETCH(QString, startText);
        QFETCH(QString, durationText);
        QFETCH(QStringList, pieces);
        QFETCH(int, position);
        QFETCH(QString, bracket);
        QFETCH(qint64, reached);

        TProgressState state;
        const TProgressItem item{QStringLiteral("/m/clip one.avi"), startText, durationText, 2, 7};
        TProgressView view;
        for (const QString& piece : pieces)
            view = state.ParseEncoderOutput(piece, item, QStringLiteral("Converting %s"));
        QCOMPARE(view.position, position);
        QCOMPARE(view.statusText,
                 QStringLiteral("Converting 3/7 ") + bracket + QStringLiteral(" /m/clip one.avi"));
        QCOMPARE(state.ReachedSeconds, reached);
    }

    void statusFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("status");
        QTest::newRow("counter") << "File %s:"
                                 << "File 1/1: [00:00:00-00:00:10] a.avi";
        QTest::newRow("no directive shows no counter") << "Busy"
                                                       << "Busy [00:00:00-00:00:10] a.avi";
        QTest::newRow("literal percent") << "100%% %s"
                                         << "100% 1/1 [00:00:00-00:00:10] a.avi";
        QTest::newRow("empty") << ""
                               << " [00:00:00-00:00:10] a.avi";
    }
    void statusFormat()
    {
        QFETCH(QString, format);
        QFETCH(QString, status);
        TProgressState state;
        const TProgressItem item{QStringLiteral("a.avi"), QStringLiteral("00:00:00"),
                                 QStringLiteral("00:00:10"), 0, 1};
        QCOMPARE(state.ParseEncoderOutput(QString(), item, format).statusText, status);
    }

    // Speed and time left follow the counter, before the file's window and name.
    void figuresFollowTheCounter_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("figures");
        QTest::addColumn<QString>("status");
        QTest::newRow("counter and figures")
            << "File %s:" << QStringLiteral("3.1× · 0:42 left")
            << QStringLiteral("File 1/1: · 3.1× · 0:42 left [00:00:00-00:00:10] a.avi");
        QTest::newRow("no figures") << "File %s:" << QString() << "File 1/1: [00:00:00-00:00:10] a.avi";
        QTest::newRow("broken format keeps the figures")
            << "%d" << QStringLiteral("Paused") << QStringLiteral(" · Paused [00:00:00-00:00:10] a.avi");
    }
    void figuresFollowTheCounter()
    {
        QFETCH(QString, format);
        QFETCH(QString, figures);
        const TProgressItem item{QStringLiteral("a.avi"), QStringLiteral("00:00:00"),
                                 QStringLiteral("00:00:10"), 0, 1};
        QTEST(TProgressState::MakeView(10, 5, item, format, figures).statusText, "status");
    }

    // A broken language text loses the counter, never the progress.
    void statusFormatThatDoesNotFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("two arguments") << "%s of %s";
        QTest::newRow("integer directive") << "%d";
        QTest::newRow("lone percent") << "50% %s";
    }
    void statusFormatThatDoesNotFormat()
    {
        QFETCH(QString, format);
        TProgressState state;
        const TProgressItem item{QStringLiteral("a.avi"), QStringLiteral("00:00:00"),
                                 QStringLiteral("00:00:10"), 0, 1};
        const TProgressView view = state.ParseEncoderOutput(Time("5"), item, format);
        QVERIFY(!view.formatError.isEmpty());
        QCOMPARE(view.position, 50);
        QCOMPARE(view.statusText, QStringLiteral(" [00:00:00-00:00:10] a.avi"));
        QCOMPARE(state.ReachedSeconds, qint64(5));
    }

    // A bad value raises the conversion error; what came before it in the piece is kept.
    void badMarkerValues_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::addColumn<QString>("message");
        QTest::addColumn<qint64>("total");
        QTest::newRow("time") << Duration("00:01:00.00") + Time("1,5")
                              << "'1,5' is not a valid floating point value" << qint64(60);
        QTest::newRow("duration") << Duration("0a:01:00.00") + Time("5")
                                  << "'0a' is not a valid integer value" << qint64(0);
    }
    void badMarkerValues()
    {
        QFETCH(QString, piece);
        QFETCH(QString, message);
        QFETCH(qint64, total);
        TProgressState state;
        const TProgressItem item{QStringLiteral("a.avi"), QStringLiteral("00:00:00"), QString(), 0, 1};
        try {
            state.ParseEncoderOutput(piece, item, QStringLiteral("%s"));
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QCOMPARE(error.Text(), message);
        }
        QCOMPARE(state.TotalSeconds, total);
        QCOMPARE(state.ReachedSeconds, qint64(0));
        // The next piece is processed normally.
        QCOMPARE(state.ParseEncoderOutput(Duration("00:01:40.00") + Time("50"), item, QStringLiteral("%s"))
                     .position,
                 50);
    }

    // The speed marker: pieces fed in order; the speed the state holds afterwards (0 unknown).
    void speedMarker_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<double>("speed");
        QTest::newRow("none yet") << QStringList{Time("3")} << 0.0;
        QTest::newRow("with the time") << QStringList{Time("3") + Speed("3.1")} << 3.1;
        QTest::newRow("the last of a piece") << QStringList{Speed("2") + Time("4") + Speed("2.5")} << 2.5;
        QTest::newRow("the latest piece") << QStringList{Speed("2"), Speed("0.75")} << 0.75;
        QTest::newRow("kept over pieces without one")
            << QStringList{Speed("4"), Time("9"), QString("frame=12")} << 4.0;
        QTest::newRow("blanks around it") << QStringList{Speed(" 1.5 ")} << 1.5;
        QTest::newRow("exponent") << QStringList{Speed("1.2e+02")} << 120.0;
        QTest::newRow("zero is no speed") << QStringList{Speed("3"), Speed("0")} << 3.0;
        QTest::newRow("negative is no speed") << QStringList{Speed("-2")} << 0.0;
        QTest::newRow("infinite is no speed") << QStringList{Speed("inf")} << 0.0;
        QTest::newRow("unclosed marker") << QStringList{"ffmpeg_release_speed=3.0"} << 0.0;
    }
    void speedMarker()
    {
        QFETCH(QStringList, pieces);
        QFETCH(double, speed);
        TProgressState state;
        for (const QString& piece : pieces) {
            try {
                state.TakeMarkers(piece);
            } catch (const AppError&) {
                // A value that is no number is reported by the caller; the speed stays.
            }
        }
        QCOMPARE(state.Speed, speed);
    }

    void durationWithoutFractionCountsAsZero()
    {
        TProgressState state;
        state.TotalSeconds = 99;
        const TProgressItem item{QStringLiteral("a.avi"), QStringLiteral("00:00:00"), QString(), 0, 1};
        state.ParseEncoderOutput(Duration("00:01:40"), item, QStringLiteral("%s"));
        QCOMPARE(state.TotalSeconds, qint64(0));
    }
};

QTEST_GUILESS_MAIN(tst_ProgressState)
#include "tst_ProgressState.moc"
