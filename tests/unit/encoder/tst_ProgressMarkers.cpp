// ffmpeg's Duration line and -progress blocks turned into the converter's markers.
#include "TProgressMarkers.h"

#include <QtTest>

class tst_ProgressMarkers : public QObject
{
    Q_OBJECT

private slots:
    void markerForms_data();
    void markerForms();
    void durationOnceFromFirstInput();
    void durationSplitAcrossChunks();
    void durationNotAvailable();
    void timesRiseOnly();
    void estimatedDuration();
    void speedWithTheTime_data();
    void speedWithTheTime();
    void speedForms_data();
    void speedForms();
};

void tst_ProgressMarkers::markerForms_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("duration");
    QTest::addColumn<QString>("time");
    QTest::newRow("zero") << 0.0 << "00:00:00.00"
                          << "0.00";
    QTest::newRow("minutes") << 205.4 << "00:03:25.40"
                             << "205.40";
    QTest::newRow("hours") << 3725.999 << "01:02:06.00"
                           << "3726.00";
    QTest::newRow("long") << 360000.0 << "100:00:00.00"
                          << "360000.00";
}

void tst_ProgressMarkers::markerForms()
{
    QFETCH(double, seconds);
    QFETCH(QString, duration);
    QFETCH(QString, time);
    QCOMPARE(QString::fromStdString(TProgressMarkers::DurationMarker(seconds)),
             QStringLiteral("ffmpeg_release_duration=%1=ffmpeg_release_duration\n").arg(duration));
    QCOMPARE(QString::fromStdString(TProgressMarkers::TimeMarker(seconds)),
             QStringLiteral("ffmpeg_release_time=%1=ffmpeg_release_time\n").arg(time));
}

void tst_ProgressMarkers::durationOnceFromFirstInput()
{
    TProgressMarkers m;
    std::string out =
        m.FeedErrorText("Input #0, avi, from 'file:a.avi':\n  Metadata:\n    Duration        : 9\n"
                        "  Duration: 00:00:30.04, start: 0.000000, bitrate: 1205 kb/s\n");
    QCOMPARE(QString::fromStdString(out),
             QStringLiteral("ffmpeg_release_duration=00:00:30.04=ffmpeg_release_duration\n"));
    QVERIFY(m.FeedErrorText("Input #1, wav:\n  Duration: 00:05:00.00, start: 0\n").empty());
    QCOMPARE(*m.Duration(), 30.04);
}

void tst_ProgressMarkers::durationSplitAcrossChunks()
{
    TProgressMarkers m;
    QVERIFY(m.FeedErrorText("  Dura").empty());
    QVERIFY(m.FeedErrorText("tion: 00:01:0").empty());
    QCOMPARE(QString::fromStdString(m.FeedErrorText("2.50, start: 0.0\r\n")),
             QStringLiteral("ffmpeg_release_duration=00:01:02.50=ffmpeg_release_duration\n"));
}

void tst_ProgressMarkers::durationNotAvailable()
{
    TProgressMarkers m;
    QVERIFY(m.FeedErrorText("  Duration: N/A, bitrate: N/A\n").empty());
    QVERIFY(!m.Duration());
    QVERIFY(m.FeedErrorText("  Duration: 00:00:10.00, start: 0\n").empty()); // only the first input counts
}

void tst_ProgressMarkers::timesRiseOnly()
{
    TProgressMarkers m;
    auto block = [&](const char* us, const char* progress) {
        std::string out;
        for (std::string line :
             {std::string("frame=1"), std::string("out_time_us=") + us,
              std::string("out_time=") + (std::string(us) == "N/A" ? "N/A" : "00:00:00.000000"),
              std::string("progress=") + progress})
            out += m.FeedProgressLine(line);
        return QString::fromStdString(out);
    };
    QCOMPARE(block("N/A", "continue"), QString()); // no time yet
    QCOMPARE(block("-23220", "continue"), QStringLiteral("ffmpeg_release_time=0.00=ffmpeg_release_time\n"));
    QCOMPARE(block("1500000", "continue"), QStringLiteral("ffmpeg_release_time=1.50=ffmpeg_release_time\n"));
    QCOMPARE(block("1500000", "continue"), QString()); // unchanged: nothing new to say
    QCOMPARE(block("1200000", "continue"), QString()); // never backwards
    QVERIFY(!m.Ended());
    QCOMPARE(block("2040000", "end"), QStringLiteral("ffmpeg_release_time=2.04=ffmpeg_release_time\n"));
    QVERIFY(m.Ended());
    QCOMPARE(m.LastTime(), 2.04);
}

void tst_ProgressMarkers::estimatedDuration()
{
    TProgressMarkers m;
    m.FeedErrorText("[mp3 @ 0x1] Estimating duration from bitrate, this may be inaccurate\n"
                    "  Duration: 00:00:10.00, start: 0\n");
    QVERIFY(m.DurationEstimated());
}

void tst_ProgressMarkers::speedWithTheTime_data()
{
    QTest::addColumn<QStringList>("blocks"); // "out_time_us speed progress" each
    QTest::addColumn<QString>("markers");

    const QString t1 = QStringLiteral("ffmpeg_release_time=1.00=ffmpeg_release_time\n");
    const QString t2 = QStringLiteral("ffmpeg_release_time=2.00=ffmpeg_release_time\n");
    QTest::newRow("known speed") << QStringList{"1000000 3.1x continue"}
                                 << t1 + "ffmpeg_release_speed=3.1=ffmpeg_release_speed\n";
    QTest::newRow("padded as ffmpeg prints it")
        << QStringList{"1000000 ___1x continue"} << t1 + "ffmpeg_release_speed=1=ffmpeg_release_speed\n";
    QTest::newRow("not yet known") << QStringList{"1000000 N/A continue"} << t1;
    QTest::newRow("zero") << QStringList{"1000000 0x continue"} << t1;
    QTest::newRow("no speed line") << QStringList{"1000000 - continue"} << t1;
    QTest::newRow("only with a time marker")
        << QStringList{"1000000 2x continue", "1000000 2.5x continue", "2000000 0.75x end"}
        << t1 + "ffmpeg_release_speed=2=ffmpeg_release_speed\n" + t2 +
               "ffmpeg_release_speed=0.75=ffmpeg_release_speed\n";
    QTest::newRow("a block's speed stays in its block")
        << QStringList{"N/A 4x continue", "1000000 - continue"} << t1;
    QTest::newRow("garbage") << QStringList{"1000000 fast continue", "2000000 2xx end"} << t1 + t2;
}

void tst_ProgressMarkers::speedWithTheTime()
{
    QFETCH(QStringList, blocks);
    QFETCH(QString, markers);
    TProgressMarkers m;
    QString out;
    for (const QString& block : blocks) {
        const QStringList f = block.split(u' ');
        std::vector<std::string> lines{"frame=25", "out_time_us=" + f[0].toStdString()};
        if (f[1] != u"-")
            lines.push_back("speed=" + QString(f[1]).replace(u'_', u' ').toStdString());
        lines.push_back("progress=" + f[2].toStdString());
        for (const auto& line : lines)
            out += QString::fromStdString(m.FeedProgressLine(line));
    }
    QCOMPARE(out, markers);
}

void tst_ProgressMarkers::speedForms_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 1.0 << "1";
    QTest::newRow("tenths") << 3.1 << "3.1";
    QTest::newRow("three digits") << 12.345 << "12.3";
    QTest::newRow("fast") << 1234.6 << "1235";
    QTest::newRow("slow") << 0.0412 << "0.0412";
    QTest::newRow("very slow, no exponent") << 0.00001234 << "0.000012";
}

void tst_ProgressMarkers::speedForms()
{
    QFETCH(double, factor);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(TProgressMarkers::SpeedMarker(factor)),
             QStringLiteral("ffmpeg_release_speed=%1=ffmpeg_release_speed\n").arg(text));
}

QTEST_GUILESS_MAIN(tst_ProgressMarkers)
#include "tst_ProgressMarkers.moc"
