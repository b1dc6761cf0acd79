#include "engine/TMediaInfoReader.h"

#include "platform/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

struct TMediaInfoReader::TJob
{
    QString path;
    bool thumbnail = false;
    // Read for the time left, not for a user waiting: it yields the processor to the encoders.
    bool background = false;
    QString output; // the picture being made
    QProcess* process = nullptr;
    QTimer* limit = nullptr;
    bool timedOut = false;
};

namespace {

double NumberOf(const QJsonValue& value)
{
    if (value.isDouble())
        return value.toDouble();
    bool ok = false;
    const double number = value.toString().toDouble(&ok);
    return ok && std::isfinite(number) ? number : -1;
}

// The process dies with the program, so a crash leaves no ffprobe or ffmpeg behind.
void DieWithParent(QProcess* process, bool background)
{
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent, background] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (background)
            ::setpriority(PRIO_PROCESS, 0, 10);
    });
}

} // namespace

TMediaInfoReader::TMediaInfoReader(const QString& folder, QObject* parent)
    : QObject(parent), programFolder(folder)
{
    if (!programFolder.isEmpty() && !programFolder.endsWith(u'/'))
        programFolder += u'/';
}

TMediaInfoReader::~TMediaInfoReader()
{
    for (const std::unique_ptr<TJob>& job : jobs) {
        job->process->disconnect(this);
        job->process->kill();
        job->process->waitForFinished(2000);
        delete job->process;
    }
    jobs.clear();
}

void TMediaInfoReader::SetMaxRunning(int count)
{
    maxRunning = qMax(1, count);
    PumpLater();
}

TMediaInfoReader::TStamp TMediaInfoReader::StampOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return TStamp();
    return TStamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

QString TMediaInfoReader::Program(const QString& name) const
{
    const QFileInfo beside(programFolder + name);
    if (!programFolder.isEmpty() && beside.isFile() && beside.isExecutable())
        return beside.filePath();
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? name : onPath;
}

TMediaInfo TMediaInfoReader::Info(const QString& path) const
{
    const auto it = known.constFind(path);
    return it == known.constEnd() ? TMediaInfo() : it->info;
}

void TMediaInfoReader::Read(const QString& path, bool urgent)
{
    if (urgent) {
        // The user asks now: an answer about a file that has changed since is no answer.
        const auto it = known.find(path);
        if (it != known.end() && (it->info.state == TMediaInfo::Missing ||
                                  it->info.state == TMediaInfo::Failed || StampOf(path) != it->stamp)) {
            if (!it->info.thumbnail.isEmpty())
                QFile::remove(it->info.thumbnail);
            known.erase(it);
        }
    }
    if (known.contains(path))
        return;
    if (std::any_of(jobs.begin(), jobs.end(),
                    [&path](const std::unique_ptr<TJob>& job) { return job->path == path; }))
        return;
    Queue(path, urgent);
}

void TMediaInfoReader::ReadWithThumbnail(const QString& path)
{
    wantThumbnail.insert(path);
    Read(path, true);
    const auto it = known.constFind(path);
    if (it == known.constEnd())
        return; // the picture follows the reading
    if (it->info.state == TMediaInfo::Readable && it->info.HasVideo() && !it->info.thumbnailDone)
        Queue(path, true);
    else
        wantThumbnail.remove(path);
}

void TMediaInfoReader::Queue(const QString& path, bool urgent)
{
    if (queued.contains(path)) {
        if (!urgent || urgentQueue.contains(path))
            return;
        queue.removeOne(path);
    }
    queued.insert(path);
    if (urgent)
        urgentQueue.prepend(path);
    else
        queue.append(path);
    PumpLater();
}

void TMediaInfoReader::DropQueued()
{
    for (const QString& path : queue)
        queued.remove(path);
    queue.clear();
}

void TMediaInfoReader::PumpLater()
{
    if (pumpQueued)
        return;
    pumpQueued = true;
    QTimer::singleShot(0, this, [this] {
        pumpQueued = false;
        Pump();
    });
}

void TMediaInfoReader::Pump()
{
    while (int(jobs.size()) < maxRunning && (!urgentQueue.isEmpty() || !queue.isEmpty())) {
        const bool urgent = !urgentQueue.isEmpty();
        const QString path = urgent ? urgentQueue.takeFirst() : queue.takeFirst();
        queued.remove(path);
        const auto it = known.constFind(path);
        if (it == known.constEnd())
            StartProbe(path, !urgent);
        else if (wantThumbnail.contains(path) && it->info.state == TMediaInfo::Readable &&
                 !it->info.thumbnailDone)
            StartThumbnail(path);
    }
}

void TMediaInfoReader::StartProbe(const QString& path, bool background)
{
    const QFileInfo file(path);
    if (!file.exists()) {
        TEntry entry;
        entry.info.state = TMediaInfo::Missing;
        known.insert(path, entry);
        wantThumbnail.remove(path);
        emit InfoRead(path);
        return;
    }
    auto job = std::make_unique<TJob>();
    job->path = path;
    job->background = background;
    // "file:" keeps a name with a colon or a leading dash a plain file name.
    const QStringList arguments{QStringLiteral("-v"),
                                QStringLiteral("error"),
                                QStringLiteral("-print_format"),
                                QStringLiteral("json"),
                                QStringLiteral("-show_format"),
                                QStringLiteral("-show_streams"),
                                QStringLiteral("file:") + file.absoluteFilePath()};
    StartJob(std::move(job), QStringLiteral("ffprobe"), arguments);
}

void TMediaInfoReader::StartThumbnail(const QString& path)
{
    if (!thumbnails) {
        thumbnails =
            std::make_unique<QTemporaryDir>(TempFolder() + QStringLiteral("velmora-pictures-XXXXXX"));
        if (!thumbnails->isValid()) {
            thumbnails.reset();
            known[path].info.thumbnailDone = true;
            wantThumbnail.remove(path);
            emit ThumbnailMade(path);
            return;
        }
    }
    const TMediaInfo info = known.value(path).info;
    auto job = std::make_unique<TJob>();
    job->path = path;
    job->thumbnail = true;
    job->output = thumbnails->filePath(QStringLiteral("picture-%1.png").arg(++thumbnailNumber));
    const double at = info.durationSeconds > 0 ? info.durationSeconds * 0.1 : 0;
    const QStringList arguments{QStringLiteral("-v"),
                                QStringLiteral("error"),
                                QStringLiteral("-nostdin"),
                                QStringLiteral("-ss"),
                                QString::number(at, 'f', 3),
                                QStringLiteral("-i"),
                                QStringLiteral("file:") + QFileInfo(path).absoluteFilePath(),
                                QStringLiteral("-map"),
                                QStringLiteral("0:v:0"),
                                QStringLiteral("-frames:v"),
                                QStringLiteral("1"),
                                QStringLiteral("-vf"),
                                QStringLiteral("scale=160:120:force_original_aspect_ratio=decrease"),
                                QStringLiteral("-y"),
                                QStringLiteral("file:") + job->output};
    StartJob(std::move(job), QStringLiteral("ffmpeg"), arguments);
}

void TMediaInfoReader::StartJob(std::unique_ptr<TJob> job, const QString& program, const QStringList& arguments)
{
    job->process = new QProcess(this);
    job->process->setProgram(Program(program));
    job->process->setArguments(arguments);
    jobs.push_back(std::move(job));
    TJob* raw = jobs.back().get();
    raw->process->setStandardInputFile(QProcess::nullDevice());
    // ffprobe's answer is read from standard output; the picture goes to a file.
    if (raw->thumbnail)
        raw->process->setStandardOutputFile(QProcess::nullDevice());
    raw->process->setStandardErrorFile(QProcess::nullDevice());
    DieWithParent(raw->process, raw->background);
    connect(raw->process, &QProcess::finished, this, [this, raw] { JobEnded(raw, true); });
    connect(raw->process, &QProcess::errorOccurred, this, [this, raw](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            JobEnded(raw, false);
    });
    raw->limit = new QTimer(raw->process);
    raw->limit->setSingleShot(true);
    connect(raw->limit, &QTimer::timeout, raw->process, [raw] {
        raw->timedOut = true;
        raw->process->kill();
    });
    raw->limit->start(timeLimitMs);
    raw->process->start(QIODevice::ReadOnly);
}

void TMediaInfoReader::JobEnded(TJob* job, bool finished)
{
    const auto it = std::find_if(jobs.begin(), jobs.end(),
                                 [job](const std::unique_ptr<TJob>& j) { return j.get() == job; });
    if (it == jobs.end())
        return;
    std::unique_ptr<TJob> owned = std::move(*it);
    jobs.erase(it);
    QProcess* process = owned->process;
    process->disconnect(this);
    owned->limit->stop();
    const bool clean = finished && !owned->timedOut && process->exitStatus() == QProcess::NormalExit;
    const int exitCode = process->exitCode();
    const QByteArray answer = clean && !owned->thumbnail ? process->readAllStandardOutput() : QByteArray();
    process->deleteLater();
    const QString path = owned->path;

    if (owned->thumbnail) {
        auto entry = known.find(path);
        const bool made = clean && exitCode == 0 && QFileInfo(owned->output).size() > 0;
        if (entry != known.end()) {
            // A program that was killed or never started may do better next time.
            entry->info.thumbnailDone = clean;
            if (made)
                entry->info.thumbnail = owned->output;
        }
        if (!made)
            QFile::remove(owned->output);
        wantThumbnail.remove(path);
        PumpLater();
        emit ThumbnailMade(path);
        return;
    }

    TEntry entry;
    entry.stamp = StampOf(path);
    if (!clean) {
        // Killed, out of time or not started: the next urgent request asks again.
        entry.info.state = TMediaInfo::Failed;
    } else if (!QFileInfo::exists(path)) {
        entry.info.state = TMediaInfo::Missing;
    } else if (exitCode != 0) {
        entry.info.state = TMediaInfo::Unreadable;
    } else {
        entry.info = ParseProbe(answer, path);
    }
    entry.info.fileSize = entry.stamp.size;
    known.insert(path, entry);
    if (wantThumbnail.contains(path)) {
        if (entry.info.state == TMediaInfo::Readable && entry.info.HasVideo())
            Queue(path, true);
        else
            wantThumbnail.remove(path);
    }
    PumpLater();
    emit InfoRead(path);
}

double TMediaInfoReader::ParseRate(const QString& rational)
{
    const QStringList parts = rational.split(u'/');
    bool ok = false;
    const double numerator = parts.value(0).toDouble(&ok);
    if (!ok)
        return 0;
    double denominator = 1;
    if (parts.size() == 2) {
        denominator = parts[1].toDouble(&ok);
        if (!ok)
            return 0;
    } else if (parts.size() > 2) {
        return 0;
    }
    if (!(denominator > 0) || !(numerator > 0))
        return 0;
    const double rate = numerator / denominator;
    return std::isfinite(rate) ? rate : 0;
}

QString TMediaInfoReader::RateText(double rate)
{
    if (!(rate > 0) || !std::isfinite(rate))
        return QString();
    QString text = QString::number(rate, 'f', 3);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

TMediaInfo TMediaInfoReader::ParseProbe(const QByteArray& json, const QString& fileName)
{
    TMediaInfo info;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject format = document.object().value(QStringLiteral("format")).toObject();
    const QString formatName = format.value(QStringLiteral("format_name")).toString();
    if (error.error != QJsonParseError::NoError || formatName.isEmpty()) {
        info.state = TMediaInfo::Unreadable;
        return info;
    }
    info.state = TMediaInfo::Readable;

    // A demuxer serves several kinds of file ("mov,mp4,m4a,3gp,3g2,mj2"): the file's own
    // extension says which one it is.
    const QStringList names = formatName.split(u',', Qt::SkipEmptyParts);
    const QString extension = QFileInfo(fileName).suffix().toLower();
    const QString longName = format.value(QStringLiteral("format_long_name")).toString();
    if (!extension.isEmpty() && names.contains(extension))
        info.container = extension.toUpper();
    else if (!longName.isEmpty())
        info.container = longName;
    else
        info.container = names.value(0).toUpper();

    double duration = NumberOf(format.value(QStringLiteral("duration")));
    for (const QJsonValue& value : document.object().value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(QStringLiteral("codec_type")).toString();
        // A cover picture of a music file is no video.
        const bool picture = stream.value(QStringLiteral("disposition"))
                                 .toObject()
                                 .value(QStringLiteral("attached_pic"))
                                 .toInt() != 0;
        if (type == QLatin1String("video") && !picture && info.videoCodec.isEmpty()) {
            info.videoCodec = stream.value(QStringLiteral("codec_name")).toString();
            if (info.videoCodec.isEmpty())
                info.videoCodec = QStringLiteral("?");
            info.width = qMax(0, stream.value(QStringLiteral("width")).toInt());
            info.height = qMax(0, stream.value(QStringLiteral("height")).toInt());
            info.frameRate = ParseRate(stream.value(QStringLiteral("avg_frame_rate")).toString());
            if (info.frameRate <= 0)
                info.frameRate = ParseRate(stream.value(QStringLiteral("r_frame_rate")).toString());
        } else if (type == QLatin1String("audio") && info.audioCodec.isEmpty()) {
            info.audioCodec = stream.value(QStringLiteral("codec_name")).toString();
            if (info.audioCodec.isEmpty())
                info.audioCodec = QStringLiteral("?");
            info.sampleRate = qMax(0, int(NumberOf(stream.value(QStringLiteral("sample_rate")))));
            info.channels = qMax(0, stream.value(QStringLiteral("channels")).toInt());
            info.channelLayout = stream.value(QStringLiteral("channel_layout")).toString();
        }
        if (duration <= 0)
            duration = std::max(duration, NumberOf(stream.value(QStringLiteral("duration"))));
    }
    info.durationSeconds = duration > 0 ? duration : -1;
    return info;
}
