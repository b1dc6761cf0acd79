// The progress line of a terminal: what it shows, and that it never grows wider than the
// terminal, whatever the file's name.

#include "cli/ProgressLine.h"

#include <QTest>

class tst_ProgressLine : public QObject
{
    Q_OBJECT

private slots:
    void width_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("ASCII") << "clip.avi" << 8;
        QTest::newRow("Chinese letters take two") << QString::fromUtf8("视频.avi") << 8;
        QTest::newRow("combining mark takes none") << QString::fromUtf8("e\xcc\x81.avi") << 5;
        QTest::newRow("letter outside the first plane") << QString::fromUtf8("\xf0\xa0\x80\x80") << 2;
        QTest::newRow("empty") << "" << 0;
    }
    void width()
    {
        QFETCH(QString, text);
        QTEST(DisplayWidth(text), "width");
    }

    void elide_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("elided");
        QTest::newRow("fits") << "clip.avi" << 8 << "clip.avi";
        QTest::newRow("cut in the middle")
            << "a long clip name.avi" << 11 << QString::fromUtf8("a lon…e.avi");
        QTest::newRow("wide letters never split")
            << QString::fromUtf8("一二三四五六.avi") << 9 << QString::fromUtf8("一二….avi");
        QTest::newRow("one column") << "clip.avi" << 1 << QString::fromUtf8("…");
        QTest::newRow("no room") << "clip.avi" << 0 << "";
    }
    void elide()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        const QString elided = ElideMiddle(text, width);
        QTEST(elided, "elided");
        QVERIFY(DisplayWidth(elided) <= width);
    }

    void line_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<double>("speed");
        QTest::addColumn<qint64>("secondsLeft");
        QTest::addColumn<int>("others");
        QTest::addColumn<QString>("line");
        QTest::newRow("figures known")
            << 45 << 2.34 << qint64(65) << 0 << "[3/12] clip one.avi   45%  2.3x  00:01:05 left";
        QTest::newRow("nothing known yet")
            << -1 << 0.0 << qint64(-1) << 0 << "[3/12] clip one.avi    -%  -x  --:--:-- left";
        QTest::newRow("others running")
            << 100 << 10.0 << qint64(0) << 2 << "[3/12] clip one.avi  (+2)  100%  10.0x  00:00:00 left";
    }
    void line()
    {
        QFETCH(int, percent);
        QFETCH(double, speed);
        QFETCH(qint64, secondsLeft);
        QFETCH(int, others);
        TProgressFigures figures;
        figures.number = 3;
        figures.count = 12;
        figures.name = "clip one.avi";
        figures.percent = percent;
        figures.speed = speed;
        figures.secondsLeft = secondsLeft;
        figures.othersRunning = others;
        QTEST(ProgressLine(figures, "%1 left", 200), "line");
    }

    void lineFitsTheWidth_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("long ASCII name") << QString(300, u'x') + ".avi";
        QTest::newRow("long Chinese name") << QString::fromUtf8("视频").repeated(100) + ".avi";
        QTest::newRow("short name") << "a.avi";
    }
    void lineFitsTheWidth()
    {
        QFETCH(QString, name);
        TProgressFigures figures{7, 120, name, 1, 50, 1.5, 2400};
        for (int width = 1; width <= 120; ++width) {
            const QString line = ProgressLine(figures, QString::fromUtf8("剩余 %1"), width);
            QVERIFY2(DisplayWidth(line) <= width, qPrintable(QStringLiteral("%1: %2").arg(width).arg(line)));
            if (width >= 60) {
                QVERIFY2(line.startsWith("[7/120] ") && line.endsWith(QString::fromUtf8("剩余 00:40:00")),
                         qPrintable(line));
            }
        }
    }

    // A name's control characters would break the line or steer the terminal.
    void controlCharactersShowAsQuestionMarks()
    {
        TProgressFigures figures{1, 1, QStringLiteral("a\nb\x1b[2Jc\r.avi"), 0, 1, 1.0, 1};
        const QString line = ProgressLine(figures, "%1", 80);
        QVERIFY2(line.startsWith("[1/1] a?b?[2Jc?.avi  "), qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(tst_ProgressLine)
#include "tst_ProgressLine.moc"
