#include "platform/TfrmCommon.h"

#include "platform/ErrorReportBody.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "platform/THttpPost.h"
#include "platform/TrimText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <sys/stat.h>

namespace {

struct EditionSite
{
    const char* root;
    const char* supportMail;
    const char* feedbackPage;
};

// The maker's sites live under the reserved .example domain, so no report or link can reach a
// stranger's server.
constexpr EditionSite internationalSite{"http://www.velmora.example/", "support@velmora.example",
                                        "feedback.htm"};
constexpr EditionSite chineseSite{"http://cn.velmora.example/", "support-cn@velmora.example",
                                  "contactus.htm"};

} // namespace

TfrmCommon::TfrmCommon(const QString& appFolderOverride)
{
    urlOpener = [](const QString& url) {
        // A desktop "open" of a program file would show it in an editor; a shell starts it.
        const QFileInfo program(url);
        if (program.isAbsolute() && program.isFile() && program.isExecutable()) {
            QProcess::startDetached(program.absoluteFilePath(), {}, program.absolutePath());
            return;
        }
        // The desktop's own opener, as the desktop services would call it; no display library
        // is needed for that, so the command-line program links none.
        const QUrl target = QUrl::fromUserInput(url, QDir::currentPath(), QUrl::AssumeLocalFile);
        QProcess::startDetached(QStringLiteral("xdg-open"), {target.toString()});
    };
    InitPaths(appFolderOverride);
}

void TfrmCommon::InitPaths(const QString& appFolderOverride)
{
    QString folder = appFolderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : appFolderOverride;
    folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!folder.endsWith(u'/'))
        folder += u'/';
    appFolder = folder;
    settingsPlace = FindSettingsPlace(appFolder);
    PlaceToolkitSettings();
    configFile = settingsPlace.File(QStringLiteral("config.ini"));
    logFile = settingsPlace.File(QStringLiteral("logFile.txt"));
    languageId = IniFile(configFile).ReadInteger(QStringLiteral("common"), QStringLiteral("language"), 2);

    const bool chinese = languageId == 1;
    const EditionSite& site = chinese ? chineseSite : internationalSite;
    languageFile =
        appFolder + (chinese ? QStringLiteral("language/gb.ini") : QStringLiteral("language/en.ini"));
    splashFile = appFolder + (chinese ? QStringLiteral("splash-gb.bmp") : QStringLiteral("splash-en.bmp"));

    const QString root = QString::fromLatin1(site.root);
    homePageLink = root;
    supportLink = QStringLiteral("mailto:") + QString::fromLatin1(site.supportMail);
    feedbackLink = root + QString::fromLatin1(site.feedbackPage);
    codecsLink = root + QStringLiteral("codecs.php");
    helpLink = root + QStringLiteral("help-mp4-converter.php");
    errorReportLink = root + QStringLiteral("bug_report_submit.php");
}

QString TfrmCommon::SettingsWarning() const
{
    if (settingsPlace.Usable())
        return QString();
    // A language file without these keys must not hide the only notice the user gets.
    const IniFile language(languageFile);
    const QString cause =
        settingsPlace.homeMissing
            ? language.ReadString(QStringLiteral("frmMain"), QStringLiteral("msgSettingsNoHome"),
                                  QStringLiteral("no home folder was found"))
            : settingsPlace.cause;
    return SafeFormat(language.ReadString(QStringLiteral("frmMain"), QStringLiteral("msgSettingsNotSaved"),
                                          QStringLiteral("Settings cannot be saved in %s.")),
                      settingsPlace.wanted + QStringLiteral(" (") + cause + u')');
}

bool TfrmCommon::DisplayHelpDialogEnabled() const
{
    return IniFile(configFile)
               .ReadInteger(QStringLiteral("setting"), QStringLiteral("displayHelpDialog"), 1) == 1;
}

bool TfrmCommon::LogFileEnabled() const
{
    if (logFileSwitch >= 0)
        return logFileSwitch == 1;
    // Asked for every line an encoder prints: the file is read again only when it changed, so
    // a switch made while a run goes on still counts from the next line.
    struct stat now;
    const bool known = ::stat(QFile::encodeName(configFile).constData(), &now) == 0;
    TConfigStamp stamp;
    if (known)
        stamp =
            TConfigStamp{true, now.st_dev, now.st_ino, now.st_size, now.st_mtim.tv_sec, now.st_mtim.tv_nsec};
    if (!known || !(stamp == logSwitchStamp) || logSwitchFile != configFile) {
        logSwitch =
            IniFile(configFile).ReadInteger(QStringLiteral("setting"), QStringLiteral("logfile"), 0) == 1;
        logSwitchStamp = known ? stamp : TConfigStamp();
        logSwitchFile = configFile;
    }
    return logSwitch;
}

void TfrmCommon::OpenURL(const QString& url) const
{
    if (urlOpener)
        urlOpener(url);
}

QString TfrmCommon::GetProductName() const
{
    return IniFile(languageFile).ReadString(QStringLiteral("frmMain"), QStringLiteral("caption"), QString());
}

void TfrmCommon::OpenCodecsPage(const QString& failedExtensions) const
{
    OpenURL(codecsLink + QStringLiteral("?format=") + failedExtensions);
}

THttpPost* TfrmCommon::SendErrorReport(const QString& userName, const QString& userEmail,
                                       const QString& orderId, const QString& errorInfo,
                                       QObject* parent) const
{
    const QByteArray body =
        BuildErrorReportBody(userName, userEmail, orderId, errorInfo, QString(), GetProductName());
    auto* post = new THttpPost(parent);
    try {
        post->Start(errorReportLink, "application/x-www-form-urlencoded", body, errorReportTimeoutMs);
    } catch (...) {
        delete post;
        throw;
    }
    return post;
}

QString TfrmCommon::ErrorReportReplyText(const QByteArray& body)
{
    const QString text = TrimText(QString::fromUtf8(body));
    if (body.isEmpty())
        return QStringLiteral("Error");
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(lineEnd);
    const bool more = lines.size() > ReplyLines;
    lines = lines.mid(0, ReplyLines);
    for (QString& line : lines) {
        if (line.size() > ReplyLineLength) {
            // Not between the two halves of a character outside the basic plane.
            qsizetype length = ReplyLineLength;
            if (line.at(length - 1).isHighSurrogate())
                --length;
            line = line.left(length) + QStringLiteral("…");
        }
    }
    if (more)
        lines << QStringLiteral("…");
    return lines.join(u'\n');
}
