#include "engine/TJobSetup.h"

#include "engine/TFFMpeg.h"
#include "platform/AppError.h"
#include "platform/TrimText.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>

namespace {

QString ValueOf(const QString& boxText)
{
    return TJobSetup::IsAuto(boxText) ? QString() : boxText;
}

QString BitrateOf(const QString& boxText)
{
    return TJobSetup::IsAuto(boxText) ? QString() : boxText + u'k';
}

// A plain name for a link to path in folder, keeping a short extension the encoder may go by.
QString LinkTo(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        throw AppError(QStringLiteral("Cannot name \"%1\" in a script.").arg(path));
    QString suffix = QFileInfo(path).suffix();
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9]{1,8}$"));
    suffix = plain.match(suffix).hasMatch() ? u'.' + suffix : QString();
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    for (int number = 1;; ++number) {
        const QString link = base + QStringLiteral("source%1").arg(number) + suffix;
        if (QFile::link(path, link))
            return link;
        if (!QFileInfo(link).isSymLink())
            throw AppError(QStringLiteral("Cannot create file \"%1\".").arg(link));
    }
}

// The temporary folder is shared with everybody: whatever lies at the script's name (a link
// planted there, say) is removed, and the script is created new, never written through it.
void WriteScript(const QString& scriptPath, const QByteArray& content)
{
    QFile::remove(scriptPath);
    QFile script(scriptPath);
    if (!script.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(scriptPath, script.errorString()));
    if (script.write(content) != content.size() || !script.flush())
        throw AppError(QStringLiteral("Cannot write file \"%1\". %2").arg(scriptPath, script.errorString()));
    script.close();
}

} // namespace

QString TJobSetup::ScriptString(const QString& path)
{
    // A plain string ends at a quotation mark or a line break; the three-quote form holds both
    // but ends at the first three quotes, so a quote next to its ends would be misread.
    if (!path.contains(u'"') && !path.contains(u'\n') && !path.contains(u'\r'))
        return u'"' + path + u'"';
    if (!path.contains(QStringLiteral("\"\"\"")) && !path.startsWith(u'"') && !path.endsWith(u'"'))
        return QStringLiteral("\"\"\"") + path + QStringLiteral("\"\"\"");
    return QString();
}

bool TJobSetup::IsRotatingFrameSize(const QString& frameSize)
{
    return frameSize == QLatin1String("176x224") || frameSize == QLatin1String("176x220") ||
           frameSize == QLatin1String("213x240");
}

QString TJobSetup::AspectForFrameSize(const QString& frameSize)
{
    // A source that keeps its own size keeps its own shape: 4:3 would squeeze a wide video.
    if (frameSize.isEmpty())
        return QString();
    if (frameSize == QLatin1String("480x272") || frameSize == QLatin1String("432x240"))
        return QStringLiteral("16:9");
    if (frameSize == QLatin1String("400x240"))
        return QStringLiteral("16:10");
    // A wide size (1280x720, 854x480, 1280x800) marked 4:3 would be shown squeezed: such a
    // size gives its own shape. Within 1 %, as sizes are rounded to even numbers.
    static const QRegularExpression size(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = size.match(frameSize);
    if (match.hasMatch() && match.captured(2).toInt() > 0) {
        const double ratio = match.captured(1).toDouble() / match.captured(2).toDouble();
        if (std::abs(ratio / (16.0 / 9.0) - 1.0) <= 0.01)
            return QStringLiteral("16:9");
        if (std::abs(ratio / (16.0 / 10.0) - 1.0) <= 0.01)
            return QStringLiteral("16:10");
    }
    return QStringLiteral("4:3");
}

bool TJobSetup::IsAuto(const QString& text)
{
    return text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
}

TJobCommand TJobSetup::BuildJobCommandLine(TFFMpeg& ffmpeg, const TJobSettings& settings,
                                           const TJobFiles& files)
{
    TJobCommand job;
    // Blanks and control characters around the item's time texts do not belong to them.
    const QString startText = TrimText(files.startText);
    const QString durationText = TrimText(files.durationText);

    ffmpeg.VideoCodec = ValueOf(settings.videoCodec);
    ffmpeg.VideoTag = settings.videoCodec == QLatin1String("libxvid") ? QStringLiteral("XVID") : QString();
    ffmpeg.VideoBitrate = BitrateOf(settings.videoBitrate);
    ffmpeg.FrameRate = ValueOf(settings.frameRate);

    QString frameSize;
    if (!IsAuto(settings.videoSize)) {
        const qsizetype bracket = settings.videoSize.indexOf(u']');
        frameSize = bracket < 0 ? settings.videoSize : settings.videoSize.mid(bracket + 1);
    }
    ffmpeg.FrameSize = frameSize;

    job.inputFile = files.sourcePath;
    if (IsRotatingFrameSize(frameSize)) {
        const QString scriptPath =
            files.scriptPath.isEmpty() ? ScriptPath(settings.tempFolder) : files.scriptPath;
        // A source that is a script itself is imported rather than changed: the user's file
        // stays as it is, and its relative paths still count from its own folder.
        const bool sourceIsScript = QFileInfo(files.sourcePath).suffix().toLower() == QLatin1String("avs");
        // A name no script string can hold must not end the string early and add lines of
        // its own: the script names a link with a plain name instead.
        QString sourceText = ScriptString(files.sourcePath);
        if (sourceText.isEmpty())
            sourceText = ScriptString(LinkTo(files.sourcePath, files.privateFolder));
        if (sourceText.isEmpty())
            throw AppError(QStringLiteral("Cannot name \"%1\" in a script.").arg(files.sourcePath));
        const QString firstLine =
            sourceIsScript ? QStringLiteral("Import(%1)").arg(sourceText)
                           : QStringLiteral("DirectShowSource(%1,convertfps=true)").arg(sourceText);
        WriteScript(scriptPath, (firstLine + QStringLiteral("\r\nturnleft()\r\n")).toUtf8());
        job.inputFile = scriptPath;
        job.scriptWritten = true;
    }

    if (settings.aspect == QLatin1String("auto"))
        // A copied video keeps the shape it has: an aspect for it would only be dropped.
        // An empty aspect leaves -aspect out.
        ffmpeg.Aspect =
            settings.videoCodec == QLatin1String("copy") ? QString() : AspectForFrameSize(ffmpeg.FrameSize);
    else if (settings.aspect == QLatin1String("4:3") || settings.aspect == QLatin1String("16:9") ||
             settings.aspect == QLatin1String("16:10"))
        ffmpeg.Aspect = settings.aspect;
    else
        ffmpeg.Aspect.clear(); // the box holds nothing else; never leave an earlier job's value

    ffmpeg.InputFile = job.inputFile;
    ffmpeg.OutputFile = files.outputPath;
    ffmpeg.Overwrite = true;
    ffmpeg.StartTime = startText;
    ffmpeg.Duration = durationText;
    ffmpeg.Format = settings.currentFormat;
    ffmpeg.NoVideo = !settings.hasVideo;

    ffmpeg.AudioCodec = ValueOf(settings.audioCodec);
    ffmpeg.AudioBitrate = BitrateOf(settings.audioBitrate);
    ffmpeg.SampleRate = ValueOf(settings.sampleRate);
    ffmpeg.Channels = ValueOf(settings.channel);

    QString line = ffmpeg.BuildCommandLine();
    job.arguments = ffmpeg.BuildArguments();
    if (settings.currentExtension == QLatin1String("asf")) {
        line += QStringLiteral(" -vtag MP4S");
        job.arguments << QStringLiteral("-vtag") << QStringLiteral("MP4S");
    }
    job.commandLine = settings.appFolder + line;
    job.program = settings.appFolder + EncoderFileName();
    return job;
}
