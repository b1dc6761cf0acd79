#pragma once
// What the conversion tests and benchmarks share: a private copy of the program folder, media
// made by ffmpeg's test sources, ffprobe's view of a file, and a look for processes that
// outlived their run.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace ConversionFixture {

// Copies the assembled program folder without its settings and log, so that the test's
// config.ini and logFile.txt are its own. Returns the copy's path with a trailing "/".
inline QString CopyProgramFolder(const QString& from, const QString& to)
{
    const QDir source(from);
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = source.relativeFilePath(path);
        if (relative == QLatin1String("config.ini") || relative == QLatin1String("logFile.txt"))
            continue;
        const QString target = to + u'/' + relative;
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::copy(path, target);
        QFile::setPermissions(target, QFile::permissions(path));
    }
    return to.endsWith(u'/') ? to : to + u'/';
}

inline void WriteText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

inline TProbe Probe(const QString& path)
{
    TProbe probe;
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", path});
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0)
        return probe;
    const QJsonObject root = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
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

// Processes still alive in the process group that the encoder led (its ffmpeg included).
inline QStringList ProcessesInGroup(qint64 groupId)
{
    QStringList alive;
    if (groupId <= 0)
        return alive;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QByteArray stat = ReadAll(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        // pid (comm) state ppid pgrp ...: the command may hold blanks, so count from its ")".
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toLongLong() == groupId)
            alive << entry + QStringLiteral(" ") + QString::fromUtf8(stat.mid(0, close + 1));
    }
    return alive;
}

} // namespace ConversionFixture
