// The one-argument format of the language file's message texts.

#include "platform/AppError.h"
#include "platform/SafeFormat.h"

#include <QTest>

class TestSafeFormat : public QObject
{
    Q_OBJECT

private slots:
    void formats_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("expected");
        QTest::newRow("one %s") << "Converting file %s"
                                << "3/7"
                                << "Converting file 3/7";
        QTest::newRow("%s at the start") << "%s done"
                                         << "1/2"
                                         << "1/2 done";
        QTest::newRow("no %s shows the text") << "Converting"
                                              << "3/7"
                                              << "Converting";
        QTest::newRow("%% is a percent sign") << "100%% of %s"
                                              << "a"
                                              << "100% of a";
        QTest::newRow("%%s is no directive") << "%%s and %s"
                                             << "x"
                                             << "%s and x";
        QTest::newRow("argument holding %d stays as it is") << "[%s]"
                                                            << "%d%n%s"
                                                            << "[%d%n%s]";
        QTest::newRow("empty format") << ""
                                      << "x"
                                      << "";
        QTest::newRow("chinese") << "由于系统中缺少%s格式的解码器"
                                 << ".avi,.xyz"
                                 << "由于系统中缺少.avi,.xyz格式的解码器";
    }
    void formats()
    {
        QFETCH(QString, format);
        QFETCH(QString, argument);
        QFETCH(QString, expected);
        QCOMPARE(SafeFormat(format, argument), expected);
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("inMessage");
        QTest::newRow("%d") << "file %d of %d"
                            << "\"%d\" is not allowed";
        QTest::newRow("%n") << "%n"
                            << "\"%n\" is not allowed";
        QTest::newRow("second %s") << "%s%s"
                                   << "more than one \"%s\"";
        QTest::newRow("lone % at the end") << "50%"
                                           << "lone \"%\"";
        QTest::newRow("width") << "%5s"
                               << "\"%5\" is not allowed";
        QTest::newRow("%x after a valid %s") << "%s %x"
                                             << "\"%x\" is not allowed";
    }
    void refuses()
    {
        QFETCH(QString, format);
        QFETCH(QString, inMessage);
        try {
            SafeFormat(format, QStringLiteral("arg"));
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QVERIFY2(error.Text().contains(inMessage), qPrintable(error.Text()));
            QVERIFY2(error.Text().contains(format), qPrintable(error.Text()));
        }
    }
};

QTEST_GUILESS_MAIN(TestSafeFormat)
#include "tst_SafeFormat.moc"
