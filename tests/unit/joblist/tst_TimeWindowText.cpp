// The time-window texts: trimming, the empty duration, the duration key filter.

#include "joblist/TimeWindowText.h"

#include <QTest>

class TestTimeWindowText : public QObject
{
    Q_OBJECT

private slots:
    void durationForItem_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("item");
        QTest::newRow("zero means to the end") << "00:00:00"
                                               << "";
        QTest::newRow("zero with blanks around") << " 00:00:00\t"
                                                 << "";
        QTest::newRow("one hour digit zero is kept") << " 0:00:00"
                                                     << "0:00:00";
        QTest::newRow("45 seconds") << "00:00:45"
                                    << "00:00:45";
        QTest::newRow("minutes above 59 kept") << "00:99:99"
                                               << "00:99:99";
    }
    void durationForItem()
    {
        QFETCH(QString, edit);
        QFETCH(QString, item);
        QCOMPARE(TimeWindowText::DurationForItem(edit), item);
    }

    void trim()
    {
        QCOMPARE(TimeWindowText::Trim(QStringLiteral(" \x01 1:02:03 \r\n")), QStringLiteral("1:02:03"));
        QCOMPARE(TimeWindowText::Trim(QStringLiteral("   ")), QString());
        QCOMPARE(TimeWindowText::Trim(QString()), QString());
    }

    void forEdit()
    {
        QCOMPARE(TimeWindowText::ForEdit(QString(), true), QStringLiteral("00:00:00"));
        QCOMPARE(TimeWindowText::ForEdit(QStringLiteral("00:01:30"), false), QStringLiteral("00:01:30"));
        QCOMPARE(TimeWindowText::ForEdit(QStringLiteral("1:02:03"), false), QStringLiteral("_1:02:03"));
    }

    void durationKeys()
    {
        for (char c = '0'; c <= '9'; ++c)
            QVERIFY(TimeWindowText::IsDurationKey(QChar::fromLatin1(c)));
        QVERIFY(TimeWindowText::IsDurationKey(QChar(8)));
        for (QChar c : {QChar(u'a'), QChar(u':'), QChar(u' '), QChar(u'-'), QChar(u'٣'), QChar(22)})
            QVERIFY(!TimeWindowText::IsDurationKey(c));
    }
};

QTEST_GUILESS_MAIN(TestTimeWindowText)
#include "tst_TimeWindowText.moc"
