#pragma once
// Media for the tests and benchmarks, made by ffmpeg's test sources, and ffprobe's view of a
// file.

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestSupport {

// A clip of testsrc video and a sine tone; true when ffmpeg made it.
inline bool MakeClip(const QString& path, int seconds, const QString& size = QStringLiteral("320x240"),
                     int rate = 25)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-y", "-f", "lavfi", "-i",
                  QStringLiteral("testsrc=size=%1:rate=%2:duration=%3").arg(size).arg(rate).arg(seconds),
                  "-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), "-c:v",
                  "mpeg4", "-q:v", "5", "-c:a", "libmp3lame", "-shortest", path});
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitStatus() == QProcess::NormalExit &&
           ffmpeg.exitCode() == 0;
}

// ffprobe's format and streams of a file as JSON; empty when ffprobe cannot read it. The
// "file:" prefix keeps a name with a colon or a leading dash a plain file name.
inline QJsonObject ProbeJson(const QString& path)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {"-v", "error", "-print_format", "json", "-show_format",
                                              "-show_streams", QStringLiteral("file:") + path});
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
}

struct TProbe
{
    bool ok = false;
    QString formatName;
    double duration = 0;
    QString videoCodec; // empty when there is no video stream
    int width = 0;
    int height = 0;
    QString audioCodec; // empty when there is no audio stream
};

// The first video and audio stream of a file and its container, as ffprobe reads them.
inline TProbe Probe(const QString& path)
{
    TProbe probe;
    const QJsonObject root = ProbeJson(path);
    probe.formatName = root.value("format").toObject().value("format_name").toString();
    probe.duration = root.value("format").toObject().value("duration").toString().toDouble();
    for (const QJsonValue& value : root.value("streams").toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value("codec_type").toString();
        if (type == QLatin1String("video") && probe.videoCodec.isEmpty()) {
            probe.videoCodec = stream.value("codec_name").toString();
            probe.width = stream.value("width").toInt();
            probe.height = stream.value("height").toInt();
        } else if (type == QLatin1String("audio") && probe.audioCodec.isEmpty()) {
            probe.audioCodec = stream.value("codec_name").toString();
        }
    }
    probe.ok = !probe.formatName.isEmpty();
    return probe;
}

} // namespace TestSupport
