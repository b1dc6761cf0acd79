#include "dialogs/TfrmUnSupportFormat.h"

#include "dialogs/TMessageBox.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "platform/THttpPost.h"
#include "platform/TfrmCommon.h"

#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Shows an error caught in a show step once the window is on the screen, the way the event
// loop shows any other error.
void ReportAfterShow(QObject* context)
{
    const QString text = CurrentExceptionText();
    QTimer::singleShot(0, context, [text] { ReportException(text); });
}

} // namespace

TfrmUnSupportFormat::TfrmUnSupportFormat(TfrmCommon& common, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      common(common)
{
    setObjectName(QStringLiteral("frmUnSupportFormat"));
    setWindowTitle(QStringLiteral("Error"));
    setModal(false);

    GroupBoxNotice = new QGroupBox(this);
    GroupBoxNotice->setObjectName(QStringLiteral("GroupBoxNotice"));
    LabelUnSupportFormat =
        new QLabel(QStringLiteral("由于系统中缺少%s格式的解码器，故此类文件未转换成功。现在是否打开我们的"
                                  "官方网站以下载相关的解码器并安装？"),
                   GroupBoxNotice);
    LabelUnSupportFormat->setObjectName(QStringLiteral("LabelUnSupportFormat"));
    LabelUnSupportFormat->setWordWrap(true);
    // Room for the longest notice of the language files, which wraps to four lines.
    LabelUnSupportFormat->setMinimumHeight(LabelUnSupportFormat->fontMetrics().lineSpacing() * 4);
    LabelUnSupportFormat->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ButtonDownloadCodecs = new QPushButton(QStringLiteral("Yes"), GroupBoxNotice);
    ButtonDownloadCodecs->setObjectName(QStringLiteral("ButtonDownloadCodecs"));
    ButtonCancel = new QPushButton(QStringLiteral("No"), GroupBoxNotice);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));

    auto* noticeButtons = new QHBoxLayout;
    noticeButtons->addStretch(1);
    noticeButtons->addWidget(ButtonDownloadCodecs);
    noticeButtons->addWidget(ButtonCancel);
    auto* noticeLayout = new QVBoxLayout(GroupBoxNotice);
    noticeLayout->addWidget(LabelUnSupportFormat, 1);
    noticeLayout->addLayout(noticeButtons);

    LabelErrorMsg =
        new QLabel(QStringLiteral("如您安装解码器后，仍然无法转换，请将以下错误信息发送给我们："), this);
    LabelErrorMsg->setObjectName(QStringLiteral("LabelErrorMsg"));
    LabelErrorMsg->setWordWrap(true);
    LabelErrorMsg->setMinimumHeight(LabelErrorMsg->fontMetrics().lineSpacing() * 2);

    LabelUserName = new QLabel(QStringLiteral("您的姓名："), this);
    LabelUserName->setObjectName(QStringLiteral("LabelUserName"));
    EditUserName = new QLineEdit(this);
    EditUserName->setObjectName(QStringLiteral("EditUserName"));
    LabelUserEmail = new QLabel(QStringLiteral("您的EMAIL："), this);
    LabelUserEmail->setObjectName(QStringLiteral("LabelUserEmail"));
    EditUserEmail = new QLineEdit(this);
    EditUserEmail->setObjectName(QStringLiteral("EditUserEmail"));
    LabelOrderID = new QLabel(QStringLiteral("订单编号："), this);
    LabelOrderID->setObjectName(QStringLiteral("LabelOrderID"));
    EditOrderID = new QLineEdit(this);
    EditOrderID->setObjectName(QStringLiteral("EditOrderID"));
    LabelOrderIDNotice = new QLabel(QStringLiteral("(可不填)"), this);
    LabelOrderIDNotice->setObjectName(QStringLiteral("LabelOrderIDNotice"));
    LabelUserName->setBuddy(EditUserName);
    LabelUserEmail->setBuddy(EditUserEmail);
    LabelOrderID->setBuddy(EditOrderID);

    auto* fields = new QGridLayout;
    fields->addWidget(LabelUserName, 0, 0);
    fields->addWidget(EditUserName, 0, 1);
    fields->addWidget(LabelUserEmail, 1, 0);
    fields->addWidget(EditUserEmail, 1, 1);
    fields->addWidget(LabelOrderID, 2, 0);
    fields->addWidget(EditOrderID, 2, 1);
    fields->addWidget(LabelOrderIDNotice, 2, 2);
    fields->setColumnStretch(1, 1);

    RichEditErrorMsg = new QPlainTextEdit(this);
    RichEditErrorMsg->setObjectName(QStringLiteral("RichEditErrorMsg"));
    RichEditErrorMsg->setLineWrapMode(QPlainTextEdit::NoWrap);

    ButtonSendErrorReport = new QPushButton(QStringLiteral("Send Report"), this);
    ButtonSendErrorReport->setObjectName(QStringLiteral("ButtonSendErrorReport"));
    auto* sendRow = new QHBoxLayout;
    sendRow->addStretch(1);
    sendRow->addWidget(ButtonSendErrorReport);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBoxNotice);
    layout->addWidget(LabelErrorMsg);
    layout->addLayout(fields);
    layout->addWidget(RichEditErrorMsg, 1);
    layout->addLayout(sendRow);
    setFixedSize(540, 520);

    connect(ButtonDownloadCodecs, &QPushButton::clicked, this,
            &TfrmUnSupportFormat::ButtonDownloadCodecsClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TfrmUnSupportFormat::ButtonCancelClick);
    connect(ButtonSendErrorReport, &QPushButton::clicked, this,
            &TfrmUnSupportFormat::ButtonSendErrorReportClick);
}

void TfrmUnSupportFormat::LoadLanguage(const QString& languageFile)
{
    const IniFile ini(languageFile);
    const QString section = QStringLiteral("frmUnSupportFormat");
    const auto text = [&](const char* key) { return ini.ReadString(section, QLatin1String(key), QString()); };
    setWindowTitle(text("caption"));
    ButtonDownloadCodecs->setText(text("ButtonDownloadCodecs"));
    ButtonCancel->setText(text("ButtonCancel"));
    LabelErrorMsg->setText(text("LabelErrorMsg"));
    ButtonSendErrorReport->setText(text("ButtonSendErrorReport"));
    unSupportFormatText = text("msgUnSupportFormat");
    LabelUserName->setText(text("LabelUserName"));
    LabelUserEmail->setText(text("LabelUserEmail"));
    LabelOrderID->setText(text("LabelOrderID"));
    LabelOrderIDNotice->setText(text("LabelOrderIDNotice"));
    pleaseInputEmail = text("msgPleaseInputEmail");
    // Message boxes carry the application title, like every other message of the program.
    applicationTitle = ini.ReadString(QStringLiteral("App"), QStringLiteral("Title"), QString());
}

void TfrmUnSupportFormat::ShowFailedFormats(const QString& extensions)
{
    failedExtensions = extensions;
    if (isVisible()) {
        // showEvent does not come again for a window on the screen; refresh it all the same.
        try {
            FormShow();
        } catch (...) {
            ReportAfterShow(this);
        }
        raise();
        activateWindow();
        return;
    }
    show();
    raise();
    activateWindow();
}

void TfrmUnSupportFormat::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        FormShow();
    } catch (...) {
        ReportAfterShow(this);
    }
}

void TfrmUnSupportFormat::FormShow()
{
    // A format text that does not format leaves the old notice and the old log in place.
    LabelUnSupportFormat->setText(SafeFormat(unSupportFormatText, failedExtensions));
    LoadErrorLog();
}

void TfrmUnSupportFormat::LoadErrorLog()
{
    const QString path = common.logFile;
    QFile file(path);
    if (!file.exists())
        return;
    RichEditErrorMsg->clear();
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw AppError(QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString()));

    // Lines end in LF, CR LF or a lone CR (the encoder's own progress lines).
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = QString::fromUtf8(data).split(lineEnd);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    RichEditErrorMsg->setPlainText(lines.join(u'\n'));
}

void TfrmUnSupportFormat::ButtonDownloadCodecsClick()
{
    common.OpenCodecsPage(failedExtensions);
}

void TfrmUnSupportFormat::ButtonCancelClick()
{
    hide();
}

void TfrmUnSupportFormat::ButtonSendErrorReportClick()
{
    const QString userName = EditUserName->text();
    const QString userEmail = EditUserEmail->text();
    const QString orderId = EditOrderID->text();
    const QString errorInfo = RichEditErrorMsg->toPlainText();

    if (userEmail.isEmpty()) {
        ShowMessage(pleaseInputEmail);
        EditUserEmail->setFocus();
        return;
    }
    if (reportPost)
        return;

    try {
        reportPost = common.SendErrorReport(userName, userEmail, orderId, errorInfo, this);
    } catch (...) {
        ReportCurrentException();
        return;
    }
    // The report travels while every window goes on working; only a second report waits.
    ButtonSendErrorReport->setEnabled(false);
    setCursor(Qt::BusyCursor);
    connect(reportPost, &THttpPost::Finished, this, &TfrmUnSupportFormat::ErrorReportFinished);
}

void TfrmUnSupportFormat::ErrorReportFinished(const QByteArray& reply, const QString& error)
{
    if (reportPost) {
        reportPost->deleteLater();
        reportPost = nullptr;
    }
    ButtonSendErrorReport->setEnabled(true);
    unsetCursor();
    // The window stays with everything typed, so the user can send again.
    if (!error.isEmpty()) {
        ReportException(error);
        return;
    }
    const QPointer<TfrmUnSupportFormat> self(this);
    ShowMessage(TfrmCommon::ErrorReportReplyText(reply));
    if (self)
        hide();
}

void TfrmUnSupportFormat::ShowMessage(const QString& text)
{
    TMessageBox::ShowTitled(this, applicationTitle, text, QMessageBox::Ok, QMessageBox::NoIcon);
}
