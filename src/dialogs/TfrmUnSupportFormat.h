#pragma once
// The unsupported-format notice shown after a run with failed items: names the failed source
// extensions, offers the codec download page, shows the run's encoder log and sends an error
// report. Created hidden once and shown modeless; the typed name, e-mail and order number stay.

#include <QDialog>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TfrmCommon;
class THttpPost;

class TfrmUnSupportFormat : public QDialog
{
    Q_OBJECT

public:
    TfrmUnSupportFormat(TfrmCommon& common, QWidget* parent = nullptr);

    // Captions and the two message fields from section [frmUnSupportFormat]; the caption of
    // its message boxes from [App] Title.
    void LoadLanguage(const QString& languageFile);

    // What the batch run calls at its end: sets failedExtensions ("a,b" without a trailing
    // comma) and shows the window without waiting. An already visible window is refreshed.
    void ShowFailedFormats(const QString& extensions);

    // Notice text from failedExtensions, then LoadErrorLog. Runs on every show.
    void FormShow();
    // Replaces the text box with the encoder log, when that file exists.
    void LoadErrorLog();

    void ButtonDownloadCodecsClick();
    void ButtonCancelClick();
    void ButtonSendErrorReportClick();

    QString failedExtensions;
    QString unSupportFormatText;
    QString pleaseInputEmail;
    QString applicationTitle;

    QGroupBox* GroupBoxNotice = nullptr;
    QLabel* LabelUnSupportFormat = nullptr;
    QPushButton* ButtonDownloadCodecs = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QLabel* LabelErrorMsg = nullptr;
    QLabel* LabelUserName = nullptr;
    QLineEdit* EditUserName = nullptr;
    QLabel* LabelUserEmail = nullptr;
    QLineEdit* EditUserEmail = nullptr;
    QLabel* LabelOrderID = nullptr;
    QLineEdit* EditOrderID = nullptr;
    QLabel* LabelOrderIDNotice = nullptr;
    QPlainTextEdit* RichEditErrorMsg = nullptr;
    QPushButton* ButtonSendErrorReport = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowMessage(const QString& text);
    // The report's reply has come, or its error.
    void ErrorReportFinished(const QByteArray& reply, const QString& error);

    TfrmCommon& common;
    THttpPost* reportPost = nullptr; // while a report travels
};
