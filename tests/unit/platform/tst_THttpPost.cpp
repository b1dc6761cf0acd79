// The error report's HTTP/1.0 POST against a real server on 127.0.0.1: the request on the wire,
// the replies it accepts, and every way a server can fail it (error status, silence, a dropped
// connection, a refused connection, a huge reply, one that trickles in). The POST and the
// server share this thread: the event loop serves both.

#include "platform/THttpPost.h"
#include "platform/TfrmCommon.h"
#include "support/ErrorOf.h"
#include "support/ReportServer.h"

#include "platform/AppError.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray formType = "application/x-www-form-urlencoded";

// Sends the report as the window does and waits for its end: the text the user is shown, or
// AppError with the error the post gave.
QString SendAndWait(const TfrmCommon& common, const QString& userName, const QString& userEmail,
                    const QString& orderId, const QString& errorInfo)
{
    QObject owner;
    THttpPost* post = common.SendErrorReport(userName, userEmail, orderId, errorInfo, &owner);
    QSignalSpy finished(post, &THttpPost::Finished);
    if (!finished.wait(60000))
        throw AppError(QStringLiteral("no end of the post"));
    const QString error = finished.first().at(1).toString();
    if (!error.isEmpty())
        throw AppError(error);
    return TfrmCommon::ErrorReportReplyText(finished.first().at(0).toByteArray());
}

} // namespace

using TestSupport::ErrorOf;

class TestTHttpPost : public QObject
{
    Q_OBJECT

private slots:
    void RequestOnTheWire();
    void RequestTarget_data();
    void RequestTarget();
    void Replies_data();
    void Replies();
    void ReplyWithoutCloseEndsAtItsLength();
    void Failures_data();
    void Failures();
    void SilentServerTimesOut();
    void TrickleCountsAgainstTheWholeLimit();
    void HugeReplyIsCut_data();
    void HugeReplyIsCut();
    void PostEndsFromTheEventLoop();
    void RefusedConnection();
    void SendErrorReportPostsTheWholeReport();
    void SendErrorReportReplyText_data();
    void SendErrorReportReplyText();
    void SendErrorReportErrorStatusRaises();
    void ReplyTextIsSmall_data();
    void ReplyTextIsSmall();
};

void TestTHttpPost::RequestOnTheWire()
{
    ReportServer server;
    const QByteArray body = "user_name=A+B&user_email=x%2Dy&";
    const QByteArray reply = THttpPost::Post(server.Url(), formType, body, 5000);
    QCOMPARE(reply, QByteArray("Thank you"));
    QCOMPARE(server.requests.size(), 1);

    const QByteArray expected = "POST /bug_report_submit.php HTTP/1.0\r\n"
                                "Host: 127.0.0.1:" +
                                QByteArray::number(server.Port()) +
                                "\r\n"
                                "Content-Type: application/x-www-form-urlencoded\r\n"
                                "Content-Length: 31\r\n"
                                "Accept: text/html, */*\r\n"
                                "User-Agent: Velmora\r\n"
                                "\r\n" +
                                body;
    QCOMPARE(server.requests.first(), expected);
}

void TestTHttpPost::RequestTarget_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("head");

    QTest::newRow("default port")
        << "http://www.velmora.example/bug_report_submit.php"
        << QByteArray("POST /bug_report_submit.php HTTP/1.0\r\nHost: www.velmora.example\r\n");
    QTest::newRow("no path") << "http://cn.velmora.example"
                             << QByteArray("POST / HTTP/1.0\r\nHost: cn.velmora.example\r\n");
    QTest::newRow("query and port") << "http://h.example:8080/a b.php?x=1"
                                    << QByteArray("POST /a%20b.php?x=1 HTTP/1.0\r\nHost: h.example:8080\r\n");
    QTest::newRow("upper-case scheme")
        << "HTTP://h.example/r" << QByteArray("POST /r HTTP/1.0\r\nHost: h.example\r\n");
}

void TestTHttpPost::RequestTarget()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, head);
    QVERIFY(THttpPost::BuildRequest(url, formType, "b=1&").startsWith(head));
}

void TestTHttpPost::Replies_data()
{
    QTest::addColumn<QByteArray>("rawReply");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("length given") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nThanks")
                                  << QByteArray("Thank");
    QTest::newRow("read to the close")
        << QByteArray("HTTP/1.0 200 OK\r\nServer: x\r\n\r\nline 1\r\nline 2\r\n")
        << QByteArray("line 1\r\nline 2\r\n");
    QTest::newRow("empty body") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n") << QByteArray();
    QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                           "4\r\nThan\r\n3;x=y\r\nk y\r\n2\r\nou\r\n0\r\n\r\n")
                             << QByteArray("Thank you");
    QTest::newRow("bare LF head") << QByteArray("HTTP/1.0 201 Created\nContent-Length: 2\n\nok")
                                  << QByteArray("ok");
    QTest::newRow("non-ASCII body") << QByteArray("HTTP/1.0 200 OK\r\n\r\n谢谢") << QByteArray("谢谢");
}

void TestTHttpPost::Replies()
{
    QFETCH(QByteArray, rawReply);
    QFETCH(QByteArray, body);
    ReportServer server;
    server.rawReply = rawReply;
    QCOMPARE(THttpPost::Post(server.Url(), formType, "a=1&", 5000), body);
}

void TestTHttpPost::ReplyWithoutCloseEndsAtItsLength()
{
    // A server that keeps the connection open after a complete reply must not cost the time-out.
    ReportServer server;
    server.mode = ReportServer::Mode::ReplyKeepOpen;
    server.rawReply = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(THttpPost::Post(server.Url(), formType, "a=1&", 20000), QByteArray("ok"));
    QVERIFY2(clock.elapsed() < 10000, "the POST waited for the server to close");
}

void TestTHttpPost::Failures_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("rawReply");
    QTest::addColumn<QString>("error");

    QTest::newRow("500") << int(ReportServer::Mode::Reply)
                         << QByteArray("HTTP/1.0 500 Internal Server Error\r\n\r\n<html>oops</html>")
                         << "HTTP/1.0 500 Internal Server Error";
    QTest::newRow("404") << int(ReportServer::Mode::Reply)
                         << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                         << "HTTP/1.1 404 Not Found";
    QTest::newRow("redirect is not a reply")
        << int(ReportServer::Mode::Reply) << QByteArray("HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n")
        << "HTTP/1.1 302 Found";
    QTest::newRow("not HTTP") << int(ReportServer::Mode::Reply) << QByteArray("SSH-2.0-x\r\n\r\n")
                              << "The server sent a reply that is not HTTP.";
    QTest::newRow("closed at once") << int(ReportServer::Mode::CloseAtOnce) << QByteArray()
                                    << "The server 127.0.0.1 closed the connection without a reply.";
    QTest::newRow("closed after the request")
        << int(ReportServer::Mode::CloseAfterRequest) << QByteArray()
        << "The server 127.0.0.1 closed the connection without a reply.";
    QTest::newRow("closed inside the head")
        << int(ReportServer::Mode::Reply) << QByteArray("HTTP/1.0 200 OK\r\nConte")
        << "The server 127.0.0.1 closed the connection before the whole reply "
           "arrived.";
    QTest::newRow("closed inside the body")
        << int(ReportServer::Mode::Reply) << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nshort")
        << "The server 127.0.0.1 closed the connection before the whole reply "
           "arrived.";
}

void TestTHttpPost::Failures()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, rawReply);
    QFETCH(QString, error);
    ReportServer server;
    server.mode = ReportServer::Mode(mode);
    server.rawReply = rawReply;
    QCOMPARE(ErrorOf([&] { THttpPost::Post(server.Url(), formType, "a=1&", 5000); }), error);
}

void TestTHttpPost::SilentServerTimesOut()
{
    ReportServer server;
    server.mode = ReportServer::Mode::Silent;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(ErrorOf([&] { THttpPost::Post(server.Url(), formType, "a=1&", 1000); }),
             QStringLiteral("The server 127.0.0.1 did not answer within 1 second."));
    QVERIFY(clock.elapsed() >= 900);
    QCOMPARE(server.requests.size(), 1);
}

void TestTHttpPost::TrickleCountsAgainstTheWholeLimit()
{
    // A byte now and then must not keep the exchange alive beyond its limit.
    ReportServer server;
    server.mode = ReportServer::Mode::Trickle;
    server.trickleMs = 50;
    server.rawReply = "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n";
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(ErrorOf([&] { THttpPost::Post(server.Url(), formType, "a=1&", 1000); }),
             QStringLiteral("The server 127.0.0.1 did not answer within 1 second."));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
}

void TestTHttpPost::HugeReplyIsCut_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("read to the close") << QByteArray("HTTP/1.0 200 OK\r\n\r\n");
    QTest::newRow("length given") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 104857610\r\n\r\n");
    QTest::newRow("chunked") << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                           "640000a\r\n");
}

void TestTHttpPost::HugeReplyIsCut()
{
    // 100 MB of reply: the first part of it is the reply, the rest is never read.
    QFETCH(QByteArray, head);
    ReportServer server;
    server.mode = ReportServer::Mode::Huge;
    server.rawReply = head + "Thank you\n";
    const QByteArray reply = THttpPost::Post(server.Url(), formType, "a=1&", 60000);
    QVERIFY(reply.startsWith("Thank you\nxxx"));
    QVERIFY2(reply.size() <= THttpPost::MaxReplyBytes, qPrintable(QString::number(reply.size())));
    QVERIFY(reply.size() > THttpPost::MaxReplyBytes / 2);
    QTRY_VERIFY(server.hugeDone);
    QVERIFY2(server.hugeWritten < server.hugeBytes, qPrintable(QString::number(server.hugeWritten)));
}

void TestTHttpPost::PostEndsFromTheEventLoop()
{
    // Never inside Start, even for a server that is not there, and not after the post is gone.
    quint16 port = 0;
    {
        ReportServer closed;
        port = closed.Port();
    }
    THttpPost post;
    QSignalSpy finished(&post, &THttpPost::Finished);
    post.Start(QStringLiteral("http://127.0.0.1:%1/r").arg(port), formType, "a=1&", 5000);
    QCOMPARE(finished.size(), 0);
    QVERIFY(post.IsRunning());
    QVERIFY(finished.wait(5000));
    QVERIFY(!post.IsRunning());
    QVERIFY(finished.first().at(1).toString().startsWith("Cannot reach the server 127.0.0.1: "));

    ReportServer server;
    server.mode = ReportServer::Mode::Silent;
    auto* dropped = new THttpPost;
    QSignalSpy none(dropped, &THttpPost::Finished);
    dropped->Start(server.Url(), formType, "a=1&", 5000);
    QTRY_COMPARE(server.requests.size(), 1);
    delete dropped;
    QTest::qWait(100);
    QCOMPARE(none.size(), 0);
}

void TestTHttpPost::RefusedConnection()
{
    quint16 port = 0;
    {
        ReportServer closed;
        port = closed.Port();
    }
    const QString error = ErrorOf(
        [&] { THttpPost::Post(QStringLiteral("http://127.0.0.1:%1/r").arg(port), formType, "a=1&", 5000); });
    QVERIFY2(error.startsWith("Cannot reach the server 127.0.0.1: "), qPrintable(error));

    QCOMPARE(ErrorOf([&] { THttpPost::Post("https://127.0.0.1/r", formType, "a=1&", 5000); }),
             QStringLiteral("Cannot send to \"https://127.0.0.1/r\": only http addresses are supported."));
    QCOMPARE(ErrorOf([&] { THttpPost::Post("not an address", formType, "a=1&", 5000); }),
             QStringLiteral("Cannot send to \"not an address\": only http addresses are supported."));
}

void TestTHttpPost::SendErrorReportPostsTheWholeReport()
{
    QTemporaryDir app;
    QVERIFY(app.isValid());
    QVERIFY(QDir(app.path()).mkdir("language"));
    QFile language(app.filePath("language/en.ini"));
    QVERIFY(language.open(QIODevice::WriteOnly));
    language.write("[App]\r\nTitle=Velmora\r\n[frmMain]\r\nCaption=Velmora MP4 Converter\r\n");
    language.close();

    ReportServer server;
    TfrmCommon common(app.path());
    QCOMPARE(common.GetProductName(), QStringLiteral("Velmora MP4 Converter"));
    common.errorReportLink = server.Url();

    QCOMPARE(SendAndWait(common, "李 雷", "li@x.example", "", "x=1\nlast line"), QStringLiteral("Thank you"));
    QCOMPARE(server.requests.size(), 1);
    QVERIFY(server.requests.first().startsWith("POST /bug_report_submit.php HTTP/1.0\r\n"));
    QVERIFY(ReportServer::HeadOf(server.requests.first())
                .contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    QCOMPARE(
        ReportServer::BodyOf(server.requests.first()),
        QByteArray("user_name=%E6%9D%8E+%E9%9B%B7&user_email=li%40x%2Eexample&order_id=&"
                   "debug_info=x%3D1%0D%0Alast+line&reg_user_name=&product_name=Velmora+MP4+Converter&"));

    // Without a language file the product name is empty.
    QVERIFY(QFile::remove(app.filePath("language/en.ini")));
    QCOMPARE(common.GetProductName(), QString());
}

void TestTHttpPost::SendErrorReportReplyText_data()
{
    QTest::addColumn<QByteArray>("replyBody");
    QTest::addColumn<QString>("shown");

    QTest::newRow("trimmed") << QByteArray("  \r\nReport received\r\n\t ") << "Report received";
    QTest::newRow("control characters trimmed") << QByteArray("\x01ok\x7f!\x02") << "ok\x7f!";
    QTest::newRow("empty gives Error") << QByteArray() << "Error";
    QTest::newRow("blanks only give an empty text") << QByteArray("   \r\n") << "";
    QTest::newRow("UTF-8 reply") << QByteArray("已收到") << "已收到";
}

void TestTHttpPost::SendErrorReportReplyText()
{
    QFETCH(QByteArray, replyBody);
    QFETCH(QString, shown);
    ReportServer server;
    server.rawReply = "HTTP/1.0 200 OK\r\n\r\n" + replyBody;
    TfrmCommon common(QDir::tempPath());
    common.errorReportLink = server.Url();
    QCOMPARE(SendAndWait(common, "", "m@x.example", "", ""), shown);
}

void TestTHttpPost::SendErrorReportErrorStatusRaises()
{
    ReportServer server;
    server.rawReply = "HTTP/1.0 503 Service Unavailable\r\n\r\n";
    TfrmCommon common(QDir::tempPath());
    common.errorReportLink = server.Url();
    common.errorReportTimeoutMs = 1000;
    QCOMPARE(ErrorOf([&] { SendAndWait(common, "", "m@x.example", "", ""); }),
             QStringLiteral("HTTP/1.0 503 Service Unavailable"));

    server.mode = ReportServer::Mode::Silent;
    QCOMPARE(ErrorOf([&] { SendAndWait(common, "", "m@x.example", "", ""); }),
             QStringLiteral("The server 127.0.0.1 did not answer within 1 second."));
    QCOMPARE(TfrmCommon(QDir::tempPath()).errorReportTimeoutMs, 30000);
}

void TestTHttpPost::ReplyTextIsSmall_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown");

    QByteArray manyLines;
    QStringList firstTen;
    for (int i = 1; i <= 5000; ++i) {
        manyLines += "line " + QByteArray::number(i) + "\r\n";
        if (i <= TfrmCommon::ReplyLines)
            firstTen << QStringLiteral("line %1").arg(i);
    }
    QTest::newRow("many lines") << manyLines << (firstTen.join(u'\n') + QStringLiteral("\n…"));
    QTest::newRow("one long line") << QByteArray(60000, 'y')
                                   << (QString(TfrmCommon::ReplyLineLength, u'y') + QStringLiteral("…"));
    QTest::newRow("lines of every end") << QByteArray("a\rb\nc\r\nd") << "a\nb\nc\nd";
    QString wide = QString(TfrmCommon::ReplyLineLength - 1, u'z') + QStringLiteral(u"😀tail");
    QTest::newRow("not inside a character")
        << wide.toUtf8() << (QString(TfrmCommon::ReplyLineLength - 1, u'z') + QStringLiteral("…"));
    QTest::newRow("exactly as much as shown")
        << QByteArray(TfrmCommon::ReplyLineLength, 'w') << QString(TfrmCommon::ReplyLineLength, u'w');
}

void TestTHttpPost::ReplyTextIsSmall()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    QCOMPARE(TfrmCommon::ErrorReportReplyText(body), shown);
}

QTEST_GUILESS_MAIN(TestTHttpPost)
#include "tst_THttpPost.moc"
