// The error report's form body, byte for byte: field order, the trailing "&", and the encoding
// of blanks, reserved characters, line breaks and non-ASCII text.

#include "platform/ErrorReportBody.h"

#include <QTest>

class TestErrorReportBody : public QObject
{
    Q_OBJECT

private slots:
    void EncodeFormValue_data();
    void EncodeFormValue();
    void EveryByteHasOneEncoding();
    void BodyFieldOrder();
    void DebugInfoLineBreaks_data();
    void DebugInfoLineBreaks();
};

void TestErrorReportBody::EncodeFormValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("empty") << "" << QByteArray("");
    QTest::newRow("letters and digits stay") << "AZaz09" << QByteArray("AZaz09");
    QTest::newRow("blank") << "A B" << QByteArray("A+B");
    QTest::newRow("minus") << "x-y" << QByteArray("x%2Dy");
    QTest::newRow("unreserved punctuation too") << "a_b.c~d*" << QByteArray("a%5Fb%2Ec%7Ed%2A");
    QTest::newRow("reserved") << "x=1&y=2+3%" << QByteArray("x%3D1%26y%3D2%2B3%25");
    QTest::newRow("mail address") << "me@host.example" << QByteArray("me%40host%2Eexample");
    QTest::newRow("line break") << "a\r\nb" << QByteArray("a%0D%0Ab");
    QTest::newRow("tab and NUL") << QString::fromLatin1("\t\0", 2) << QByteArray("%09%00");
    QTest::newRow("Chinese, UTF-8 bytes in upper-case hex") << "张三" << QByteArray("%E5%BC%A0%E4%B8%89");
    QTest::newRow("Latin letter with accent") << "é" << QByteArray("%C3%A9");
    QTest::newRow("leading and trailing blanks kept") << " a " << QByteArray("+a+");
}

void TestErrorReportBody::EncodeFormValue()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, encoded);
    QCOMPARE(::EncodeFormValue(value), encoded);
}

void TestErrorReportBody::EveryByteHasOneEncoding()
{
    // Each ASCII character alone: letters and digits as they are, blank as "+", the rest as %XX.
    for (int c = 0; c < 128; ++c) {
        const QString value = QString(QChar(char16_t(c)));
        QByteArray expected;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            expected = QByteArray(1, char(c));
        else if (c == ' ')
            expected = "+";
        else
            expected = "%" + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        QCOMPARE(::EncodeFormValue(value), expected);
    }
}

void TestErrorReportBody::BodyFieldOrder()
{
    const QByteArray body =
        BuildErrorReportBody("A B", "x-y", "", "x=1\nffmpeg -i in.avi", "", "Velmora MP4 转换");
    QCOMPARE(body,
             QByteArray("user_name=A+B&user_email=x%2Dy&order_id=&debug_info=x%3D1%0D%0Affmpeg+%2Di+in%2Eavi&"
                        "reg_user_name=&product_name=Velmora+MP4+%E8%BD%AC%E6%8D%A2&"));
}

void TestErrorReportBody::DebugInfoLineBreaks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("debugInfo");

    QTest::newRow("LF") << "a\nb" << QByteArray("a%0D%0Ab");
    QTest::newRow("CR LF stays one break") << "a\r\nb" << QByteArray("a%0D%0Ab");
    QTest::newRow("paragraph separator of a text box")
        << QString("a") + QChar::ParagraphSeparator + "b" << QByteArray("a%0D%0Ab");
    QTest::newRow("empty lines kept") << "a\n\nb\n" << QByteArray("a%0D%0A%0D%0Ab%0D%0A");
}

void TestErrorReportBody::DebugInfoLineBreaks()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, debugInfo);
    const QByteArray body = BuildErrorReportBody("", "m", "", text, "", "");
    QCOMPARE(body,
             "user_name=&user_email=m&order_id=&debug_info=" + debugInfo + "&reg_user_name=&product_name=&");
}

QTEST_GUILESS_MAIN(TestErrorReportBody)
#include "tst_ErrorReportBody.moc"
