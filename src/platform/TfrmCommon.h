#pragma once
// Application services: where the program's files are, which language edition runs, the
// edition's web links, and the few configuration reads and writes every window shares.
// Created first at start-up; its path and link fields are fixed by InitPaths.

#include "platform/SettingsPlace.h"

#include <QString>
#include <functional>

class QObject;
class THttpPost;

class TfrmCommon
{
public:
    // appFolderOverride: the program folder to use instead of the executable's (tests).
    explicit TfrmCommon(const QString& appFolderOverride = QString());

    void InitPaths(const QString& appFolderOverride = QString());

    // The one message for settings that cannot be saved, from the language file; empty when
    // they can.
    QString SettingsWarning() const;

    bool DisplayHelpDialogEnabled() const;
    bool LogFileEnabled() const;

    // Shell "open" of a web address, mail link, folder or file; the result is not examined.
    void OpenURL(const QString& url) const;

    // Where OpenURL sends its text; tests replace it to see what would be opened.
    std::function<void(const QString&)> urlOpener;

    // [frmMain] caption of the language file: the product name of the error report.
    QString GetProductName() const;
    // Opens codecsLink + "?format=" + the failed extensions as they stand.
    void OpenCodecsPage(const QString& failedExtensions) const;
    // Starts posting the error report to errorReportLink, at most errorReportTimeoutMs for the
    // whole exchange, and returns the post, a child of parent, which tells its end through its
    // Finished signal. An address that cannot be posted to raises AppError at once.
    THttpPost* SendErrorReport(const QString& userName, const QString& userEmail, const QString& orderId,
                               const QString& errorInfo, QObject* parent) const;
    int errorReportTimeoutMs = 30000;
    // What the user is shown of a reply: trimmed of blanks and control characters, "Error" when
    // the body was empty, and no more than ReplyLines lines of ReplyLineLength characters, so a
    // huge reply is still a small message.
    static QString ErrorReportReplyText(const QByteArray& body);
    static constexpr int ReplyLines = 10;
    static constexpr int ReplyLineLength = 200;

    // [skin] skin: the chosen skin's number, 10 when missing or not an integer.
    int ReadSkinIndex() const;
    void WriteSkinIndex(int number) const;

    // The Help menu: each opens its link of the edition through OpenURL.
    void OpenOnlineHelp() const;
    void OpenHomePage() const;
    void OpenSupport() const;
    void OpenFeedBack() const;
    // Starts "update.EXE" of the program folder through OpenURL; the caller then ends the program.
    void RunUpdate() const;

    QString appFolder; // ends in "/"
    // Where config.ini and logFile.txt live: the program folder, or the user's configuration
    // folder for an installed copy (FindSettingsPlace). Both names are empty when nothing can
    // be saved: every read then gives its default and every write is dropped.
    TSettingsPlace settingsPlace;
    QString configFile;
    // The encoder log, beside config.ini unless a program names another file. Empty means none:
    // a run then neither writes nor deletes a log.
    QString logFile;
    // -1: [setting] logfile decides whether to log; 0 or 1: the program decided (command line).
    int logFileSwitch = -1;
    int languageId = 2;
    QString languageFile;
    QString splashFile;
    QString homePageLink;
    QString supportLink;
    QString feedbackLink;
    QString codecsLink;
    QString helpLink;
    QString errorReportLink;

    bool IsChineseEdition() const { return languageId == 1; }

private:
    // What the log switch was read from: the file's identity, size and change time.
    struct TConfigStamp
    {
        bool valid = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 seconds = 0;
        qint64 nanoseconds = 0;
        bool operator==(const TConfigStamp&) const = default;
    };
    mutable TConfigStamp logSwitchStamp;
    mutable QString logSwitchFile;
    mutable bool logSwitch = false;
};
