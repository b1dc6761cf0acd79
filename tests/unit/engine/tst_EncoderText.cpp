// Markers, time texts and the splitter of the progress display.

#include "engine/EncoderText.h"
#include "platform/AppError.h"

#include <QTest>

class tst_EncoderText : public QObject
{
    Q_OBJECT

private slots:
    void extractLastBetween_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "a<x>12</x>b"
                               << "12";
        QTest::newRow("last of two") << "<x>10.0</x> <x>11.0</x>"
                                     << "11.0";
        QTest::newRow("nearest opening") << "<x>1 <x>2</x>"
                                         << "2";
        QTest::newRow("closing only") << "10</x>"
                                      << "";
        QTest::newRow("opening only") << "<x>10"
                                      << "";
        QTest::newRow("opening after last closing") << "<x>1</x><x>2"
                                                    << "1";
        QTest::newRow("empty value") << "<x></x>"
                                     << "";
        QTest::newRow("empty text") << ""
                                    << "";
        QTest::newRow("value with blanks kept") << "<x> 7\r</x>"
                                                << " 7\r";
    }
    void extractLastBetween()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ExtractLastBetween(QStringLiteral("<x>"), QStringLiteral("</x>"), text), expected);
    }

    void markersThatShareText()
    {
        // The real markers: the closing text of one is the opening text of the other reversed.
        const QString line = QStringLiteral("frame= 1 ffmpeg_release_time=1.5=ffmpeg_release_time "
                                            "ffmpeg_release_time=2.25=ffmpeg_release_time");
        QCOMPARE(ExtractLastBetween(QStringLiteral("ffmpeg_release_time="),
                                    QStringLiteral("=ffmpeg_release_time"), line),
                 QStringLiteral("2.25"));
        QCOMPARE(ExtractLastBetween(QStringLiteral("ffmpeg_release_duration="),
                                    QStringLiteral("=ffmpeg_release_duration"), line),
                 QString());
    }

    void timeTextToSeconds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("empty") << "" << qint64(0);
        QTest::newRow("full") << "01:02:05.0" << qint64(3725);
        QTest::newRow("fraction ignored") << "00:03:25.40" << qint64(205);
        QTest::newRow("single digits") << "1:2:5.99" << qint64(3725);
        QTest::newRow("no fraction") << "01:02:05" << qint64(0);
        QTest::newRow("two points") << "01:02:05.0.0" << qint64(0);
        QTest::newRow("empty fields dropped") << "::5.0" << qint64(0);
        QTest::newRow("two fields") << "02:05.0" << qint64(0);
        QTest::newRow("above 59 accepted") << "00:75:75.0" << qint64(4575);
        QTest::newRow("many hours") << "100:00:00.0" << qint64(360000);
    }
    void timeTextToSeconds()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(TimeTextToSeconds(text), seconds);
    }

    void timeTextConversionErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("hours") << "aa:00:00.0"
                               << "'aa' is not a valid integer value";
        QTest::newRow("seconds") << "00:00:5x.0"
                                 << "'5x' is not a valid integer value";
        QTest::newRow("fraction") << "00:00:05.x"
                                  << "'x' is not a valid integer value";
    }
    void timeTextConversionErrors()
    {
        QFETCH(QString, text);
        QFETCH(QString, message);
        try {
            TimeTextToSeconds(text);
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QCOMPARE(error.Text(), message);
        }
    }

    void secondsToTimeText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00:00";
        QTest::newRow("nine and ten") << qint64(9 * 3600 + 10 * 60 + 9) << "09:10:09";
        QTest::newRow("3725") << qint64(3725) << "01:02:05";
        QTest::newRow("hundred hours") << qint64(360000) << "100:00:00";
    }
    void secondsToTimeText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(SecondsToTimeText(seconds), text);
    }

    void splitText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("double separator") << "a..b"
                                          << "." << QStringList{"a", "b"};
        QTest::newRow("framed") << ".a."
                                << "." << QStringList{"a"};
        QTest::newRow("empty") << ""
                               << "." << QStringList{};
        QTest::newRow("choices") << "96;;128;"
                                 << ";" << QStringList{"96", "128"};
        QTest::newRow("long separator") << "x[S]y[S][S]z"
                                        << "[S]" << QStringList{"x", "y", "z"};
        QTest::newRow("no separator") << "abc"
                                      << ";" << QStringList{"abc"};
    }
    void splitText()
    {
        QFETCH(QString, text);
        QFETCH(QString, separator);
        QFETCH(QStringList, pieces);
        QCOMPARE(SplitText(text, separator), pieces);
    }
};

QTEST_GUILESS_MAIN(tst_EncoderText)
#include "tst_EncoderText.moc"
