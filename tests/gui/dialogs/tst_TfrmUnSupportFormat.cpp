// The failed-format notice as the user meets it: the notice text and the run's log on every
// show, the codec page, and the error report sent through the window to a real HTTP server on
// 127.0.0.1 (the body byte for byte), including servers that fail, stay silent, hang up or
// answer with far too much; the window goes on working while the report travels.

#include "dialogs/TfrmUnSupportFormat.h"
#include "support/ModalAnswer.h"
#include "platform/ExceptionReport.h"
#include "platform/TfrmCommon.h"
#include "support/ReportServer.h"

#include <QMessageBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

void WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(data);
}

const QByteArray englishTexts =
    "[App]\r\nTitle=Velmora\r\n"
    "[frmMain]\r\nCaption=Velmora MP4 Converter\r\n"
    "[frmUnSupportFormat]\r\n"
    "caption=Conversion failed\r\n"
    "ButtonDownloadCodecs=&Yes\r\n"
    "ButtonCancel=&No\r\n"
    "LabelErrorMsg=Please send us the error information below.\r\n"
    "ButtonSendErrorReport=&Send Report\r\n"
    "msgUnSupportFormat=Decoders for %s are missing (100%%). Download them now?\r\n"
    "LabelUserName=Your name:\r\n"
    "LabelUserEmail=Your e-mail:\r\n"
    "LabelOrderID=Order number:\r\n"
    "LabelOrderIDNotice=(optional)\r\n"
    "msgPleaseInputEmail=Please enter your e-mail address.\r\n";

} // namespace

class TestTfrmUnSupportFormat : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void LanguageTexts();
    void NoticeOnShow_data();
    void NoticeOnShow();
    void BadNoticeFormatKeepsTheWindowAsItWas();
    void LogOnEveryShow();
    void NoLogKeepsTheText();
    void UnreadableLogIsReported();
    void ShowingAgainWhileVisibleRefreshes();
    void CodecPage();
    void CancelHides();
    void SendWithoutEmail();
    void SendReport();
    void SendReportServerFailures_data();
    void SendReportServerFailures();
    void WindowWorksWhileTheReportTravels();
    void HugeReplyShowsAFewLines();

private:
    std::unique_ptr<QTemporaryDir> app;
    std::unique_ptr<TfrmCommon> common;
    std::unique_ptr<TfrmUnSupportFormat> form;
    QStringList opened;
    QStringList errors;
    TExceptionReporter previousReporter;
};

void TestTfrmUnSupportFormat::init()
{
    app = std::make_unique<QTemporaryDir>();
    QVERIFY(app->isValid());
    QVERIFY(QDir(app->path()).mkdir("language"));
    WriteFile(app->filePath("language/en.ini"), englishTexts);

    common = std::make_unique<TfrmCommon>(app->path());
    opened.clear();
    common->urlOpener = [this](const QString& url) { opened.append(url); };
    errors.clear();
    previousReporter = SetExceptionReporter([this](const QString& text) { errors.append(text); });

    form = std::make_unique<TfrmUnSupportFormat>(*common);
    form->LoadLanguage(common->languageFile);
}

void TestTfrmUnSupportFormat::cleanup()
{
    form.reset();
    common.reset();
    app.reset();
    SetExceptionReporter(previousReporter);
}

void TestTfrmUnSupportFormat::LanguageTexts()
{
    QCOMPARE(form->windowTitle(), QStringLiteral("Conversion failed"));
    QCOMPARE(form->ButtonDownloadCodecs->text(), QStringLiteral("&Yes"));
    QCOMPARE(form->ButtonCancel->text(), QStringLiteral("&No"));
    QCOMPARE(form->ButtonSendErrorReport->text(), QStringLiteral("&Send Report"));
    QCOMPARE(form->LabelOrderIDNotice->text(), QStringLiteral("(optional)"));
    QCOMPARE(form->unSupportFormatText,
             QStringLiteral("Decoders for %s are missing (100%%). Download them now?"));
    QCOMPARE(form->pleaseInputEmail, QStringLiteral("Please enter your e-mail address."));

    // A missing file empties every text.
    form->LoadLanguage(app->filePath("language/none.ini"));
    QCOMPARE(form->windowTitle(), QString());
    QCOMPARE(form->LabelUserEmail->text(), QString());
    QCOMPARE(form->pleaseInputEmail, QString());
}

void TestTfrmUnSupportFormat::NoticeOnShow_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("extensions");
    QTest::addColumn<QString>("notice");

    QTest::newRow("one directive, percent sign")
        << "Decoders for %s are missing (100%%). Download them now?"
        << ".xyz,.abc"
        << "Decoders for .xyz,.abc are missing (100%). Download them now?";
    QTest::newRow("repeats kept") << "[%s]"
                                  << ".avi,.avi"
                                  << "[.avi,.avi]";
    QTest::newRow("no directive") << "Some files failed."
                                  << ".xyz"
                                  << "Some files failed.";
    QTest::newRow("empty extension of a missing source") << "<%s>"
                                                         << ""
                                                         << "<>";
    QTest::newRow("argument not formatted again") << "%s!"
                                                  << "%d%s"
                                                  << "%d%s!";
}

void TestTfrmUnSupportFormat::NoticeOnShow()
{
    QFETCH(QString, format);
    QFETCH(QString, extensions);
    QFETCH(QString, notice);
    form->unSupportFormatText = format;
    form->ShowFailedFormats(extensions);
    QVERIFY(form->isVisible());
    QVERIFY(!form->isModal());
    QCOMPARE(form->failedExtensions, extensions);
    QCOMPARE(form->LabelUnSupportFormat->text(), notice);
    QCoreApplication::processEvents();
    QCOMPARE(errors, QStringList());
}

void TestTfrmUnSupportFormat::BadNoticeFormatKeepsTheWindowAsItWas()
{
    WriteFile(app->filePath("logFile.txt"), "first run\n");
    form->ShowFailedFormats(".xyz");
    const QString notice = form->LabelUnSupportFormat->text();
    form->hide();

    WriteFile(app->filePath("logFile.txt"), "second run\n");
    for (const QString& bad : {QStringLiteral("%d files"), QStringLiteral("%s and %s"),
                               QStringLiteral("100%"), QStringLiteral("%n")}) {
        errors.clear();
        form->unSupportFormatText = bad;
        form->ShowFailedFormats(".abc");
        QVERIFY(form->isVisible());
        QCOMPARE(form->LabelUnSupportFormat->text(), notice);
        QCOMPARE(form->RichEditErrorMsg->toPlainText(), QStringLiteral("first run"));
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(bad), qPrintable(errors.first()));
        form->hide();
    }
}

void TestTfrmUnSupportFormat::LogOnEveryShow()
{
    WriteFile(app->filePath("logFile.txt"), "libm9s.exe -i in.avi out.mp4\r\nx=1\rprogress\n\nlast 视频\n");
    form->RichEditErrorMsg->setPlainText("typed by the user");
    form->ShowFailedFormats(".avi");
    QCOMPARE(form->RichEditErrorMsg->toPlainText(),
             QStringLiteral("libm9s.exe -i in.avi out.mp4\nx=1\nprogress\n\nlast 视频"));
    form->hide();

    WriteFile(app->filePath("logFile.txt"), "next run\n");
    form->ShowFailedFormats(".avi");
    QCOMPARE(form->RichEditErrorMsg->toPlainText(), QStringLiteral("next run"));
}

void TestTfrmUnSupportFormat::NoLogKeepsTheText()
{
    form->ShowFailedFormats(".avi");
    QCOMPARE(form->RichEditErrorMsg->toPlainText(), QString());
    form->hide();
    form->RichEditErrorMsg->setPlainText("what the user wrote");
    form->ShowFailedFormats(".avi");
    QCOMPARE(form->RichEditErrorMsg->toPlainText(), QStringLiteral("what the user wrote"));
}

void TestTfrmUnSupportFormat::UnreadableLogIsReported()
{
    // Something named like the log that cannot be read as a file.
    QVERIFY(QDir(app->path()).mkdir("logFile.txt"));
    form->unSupportFormatText = "%s";
    form->RichEditErrorMsg->setPlainText("old");
    form->ShowFailedFormats(".xyz");
    QVERIFY(form->isVisible());
    QCOMPARE(form->LabelUnSupportFormat->text(), QStringLiteral(".xyz"));
    QTRY_COMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(app->filePath("logFile.txt")), qPrintable(errors.first()));
}

void TestTfrmUnSupportFormat::ShowingAgainWhileVisibleRefreshes()
{
    form->unSupportFormatText = "%s";
    form->ShowFailedFormats(".xyz");
    WriteFile(app->filePath("logFile.txt"), "later run\n");
    form->ShowFailedFormats(".abc");
    QCOMPARE(form->LabelUnSupportFormat->text(), QStringLiteral(".abc"));
    QCOMPARE(form->RichEditErrorMsg->toPlainText(), QStringLiteral("later run"));
}

void TestTfrmUnSupportFormat::CodecPage()
{
    form->ShowFailedFormats(".xyz,.a b,.视频");
    QTest::mouseClick(form->ButtonDownloadCodecs, Qt::LeftButton);
    QTest::mouseClick(form->ButtonDownloadCodecs, Qt::LeftButton);
    const QString page = QStringLiteral("http://www.velmora.example/codecs.php?format=.xyz,.a b,.视频");
    QCOMPARE(opened, QStringList({page, page}));
    QVERIFY(form->isVisible());
}

void TestTfrmUnSupportFormat::CancelHides()
{
    form->ShowFailedFormats(".xyz");
    QTest::mouseClick(form->ButtonCancel, Qt::LeftButton);
    QVERIFY(!form->isVisible());
    QCOMPARE(opened, QStringList());
}

void TestTfrmUnSupportFormat::SendWithoutEmail()
{
    ReportServer server;
    common->errorReportLink = server.Url();
    form->ShowFailedFormats(".xyz");
    form->activateWindow();
    form->EditUserName->setText("A B");
    form->ButtonSendErrorReport->setFocus();

    QString shown;
    QString caption;
    AnswerNextMessageBox(&shown, nullptr, &caption);
    QTest::mouseClick(form->ButtonSendErrorReport, Qt::LeftButton);
    QCOMPARE(shown, QStringLiteral("Please enter your e-mail address."));
    QCOMPARE(caption, QStringLiteral("Velmora"));
    QVERIFY(form->isVisible());
    QCOMPARE(form->focusWidget(), static_cast<QWidget*>(form->EditUserEmail));
    QCoreApplication::processEvents();
    QCOMPARE(server.requests.size(), 0);

    // Blanks are an address as far as sending goes.
    form->EditUserEmail->setText("  ");
    AnswerNextMessageBox(&shown);
    QTest::mouseClick(form->ButtonSendErrorReport, Qt::LeftButton);
    QTRY_COMPARE(shown, QStringLiteral("Thank you"));
    QCOMPARE(server.requests.size(), 1);
}

void TestTfrmUnSupportFormat::SendReport()
{
    ReportServer server;
    server.rawReply =
        "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n\r\n  Report received, thank you.  \r\n";
    common->errorReportLink = server.Url();
    WriteFile(app->filePath("logFile.txt"), "libm9s.exe -i a.xyz\nx=1 & y\n");

    form->ShowFailedFormats(".xyz");
    form->EditUserName->setText("A B");
    form->EditUserEmail->setText("x-y");
    form->EditOrderID->setText("");

    QString shown;
    QString caption;
    AnswerNextMessageBox(&shown, nullptr, &caption);
    QTest::mouseClick(form->ButtonSendErrorReport, Qt::LeftButton);

    QTRY_COMPARE(shown, QStringLiteral("Report received, thank you."));
    QCOMPARE(caption, QStringLiteral("Velmora"));
    QVERIFY(!form->isVisible());
    QCOMPARE(server.requests.size(), 1);
    QVERIFY(server.requests.first().startsWith("POST /bug_report_submit.php HTTP/1.0\r\n"));
    QCOMPARE(ReportServer::BodyOf(server.requests.first()),
             QByteArray("user_name=A+B&user_email=x%2Dy&order_id=&"
                        "debug_info=libm9s%2Eexe+%2Di+a%2Exyz%0D%0Ax%3D1+%26+y&"
                        "reg_user_name=&product_name=Velmora+MP4+Converter&"));
    QCOMPARE(errors, QStringList());

    // What was typed is still there for the next report.
    QCOMPARE(form->EditUserName->text(), QStringLiteral("A B"));
    QCOMPARE(form->EditUserEmail->text(), QStringLiteral("x-y"));
}

void TestTfrmUnSupportFormat::SendReportServerFailures_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("rawReply");
    QTest::addColumn<QString>("error");

    QTest::newRow("500") << int(ReportServer::Mode::Reply)
                         << QByteArray("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 5\r\n\r\nbroke")
                         << "HTTP/1.1 500 Internal Server Error";
    QTest::newRow("silent") << int(ReportServer::Mode::Silent) << QByteArray()
                            << "The server 127.0.0.1 did not answer within 1 second.";
    QTest::newRow("hangs up") << int(ReportServer::Mode::CloseAfterRequest) << QByteArray()
                              << "The server 127.0.0.1 closed the connection without a reply.";
}

void TestTfrmUnSupportFormat::SendReportServerFailures()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, rawReply);
    QFETCH(QString, error);

    ReportServer server;
    server.mode = ReportServer::Mode(mode);
    server.rawReply = rawReply;
    common->errorReportLink = server.Url();
    common->errorReportTimeoutMs = 1000;

    form->ShowFailedFormats(".xyz");
    form->EditUserName->setText("Li");
    form->EditUserEmail->setText("li@x.example");
    form->EditOrderID->setText("A-1");
    form->RichEditErrorMsg->setPlainText("log");

    bool replyShown = false;
    const ModalResponder responder([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            replyShown = true;
            box->button(QMessageBox::Ok)->click();
        }
    });
    QTest::mouseClick(form->ButtonSendErrorReport, Qt::LeftButton);

    QTRY_COMPARE(errors, QStringList({error}));
    QVERIFY(!replyShown);
    QCOMPARE(server.requests.size(), 1);
    QVERIFY(form->isVisible());
    QCOMPARE(form->EditUserName->text(), QStringLiteral("Li"));
    QCOMPARE(form->EditUserEmail->text(), QStringLiteral("li@x.example"));
    QCOMPARE(form->EditOrderID->text(), QStringLiteral("A-1"));
    QCOMPARE(form->RichEditErrorMsg->toPlainText(), QStringLiteral("log"));
    QVERIFY(form->ButtonSendErrorReport->isEnabled());
}

void TestTfrmUnSupportFormat::WindowWorksWhileTheReportTravels()
{
    ReportServer server;
    server.mode = ReportServer::Mode::Silent;
    common->errorReportLink = server.Url();
    common->errorReportTimeoutMs = 3000;
    form->ShowFailedFormats(".xyz");
    form->EditUserEmail->setText("li@x.example");

    QTest::mouseClick(form->ButtonSendErrorReport, Qt::LeftButton);
    // Back at once: the click does not wait for the server.
    QCOMPARE(errors, QStringList());
    QVERIFY(!form->ButtonSendErrorReport->isEnabled());
    QTRY_COMPARE(server.requests.size(), 1);
    form->EditUserName->setFocus();
    QTest::keyClicks(form->EditUserName, "Li");
    QCOMPARE(form->EditUserName->text(), QStringLiteral("Li"));
    // One report at a time.
    form->ButtonSendErrorReportClick();
    QTest::qWait(100);
    QCOMPARE(server.requests.size(), 1);

    QTRY_COMPARE_WITH_TIMEOUT(errors, QStringList{"The server 127.0.0.1 did not answer within 3 seconds."},
                              10000);
    QVERIFY(form->ButtonSendErrorReport->isEnabled());
    QVERIFY(form->isVisible());
}

void TestTfrmUnSupportFormat::HugeReplyShowsAFewLines()
{
    // 100 MB of reply in one line: the box shows its start, and the window is done with it at
    // once instead of laying out the whole text.
    ReportServer server;
    server.mode = ReportServer::Mode::Huge;
    server.rawReply = "HTTP/1.0 200 OK\r\n\r\nReport received\r\n";
    common->errorReportLink = server.Url();
    form->ShowFailedFormats(".xyz");
    form->EditUserEmail->setText("li@x.example");

    QString shown;
    bool boxShown = false;
    AnswerNextMessageBox(&shown, &boxShown);
    QTest::mouseClick(form->ButtonSendErrorReport, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(boxShown, 60000);
    QCOMPARE(shown, "Report received\n" + QString(TfrmCommon::ReplyLineLength, u'x') + QStringLiteral("…"));
    QTRY_VERIFY(!form->isVisible());
    QCOMPARE(errors, QStringList());
    QTRY_VERIFY(server.hugeDone);
    QVERIFY(server.hugeWritten < server.hugeBytes);
}

QTEST_MAIN(TestTfrmUnSupportFormat)
#include "tst_TfrmUnSupportFormat.moc"
