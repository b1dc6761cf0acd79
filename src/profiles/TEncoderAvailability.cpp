#include "profiles/TEncoderAvailability.h"

#include "engine/TJobSetup.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>

namespace {

const QByteArray cacheMagic = "velmora encoders 1";

bool IsExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool IsEncoderName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_.+-]{1,64}$"));
    return pattern.match(name).hasMatch();
}

// A file named by what it is now: path, size and change time. A file that is not there gives
// nothing, so that no answer is cached for it.
QString Stamp(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QString::fromLatin1(QFile::encodeName(info.absoluteFilePath()).toPercentEncoding()) + u'|' +
           QString::number(info.size()) + u'|' + QString::number(info.lastModified().toMSecsSinceEpoch());
}

// The adapter's last words on standard error: its own "libm9s:" message when it gave one.
QString LastLine(const QByteArray& errors)
{
    const QList<QByteArray> lines = errors.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = QString::fromUtf8(*it).trimmed();
        if (!line.isEmpty())
            return line.left(500);
    }
    return QString();
}

QString AdapterName()
{
    return TJobSetup::EncoderFileName();
}

} // namespace

TEncoderAvailability::TEncoderAvailability(const QString& appFolder, const QString& cacheFile,
                                           QObject* parent)
    : QObject(parent), appFolder(appFolder), cacheFile(cacheFile)
{
    qRegisterMetaType<TEncoderAnswer>();
}

TEncoderAvailability::~TEncoderAvailability()
{
    if (process) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

QString TEncoderAvailability::FindFfmpeg(const QString& appFolder)
{
    // The adapter's own search: the folder it really lies in (links resolved), then PATH,
    // where an empty entry is the current folder.
    const QString adapter = QFileInfo(appFolder + AdapterName()).canonicalFilePath();
    if (!adapter.isEmpty()) {
        const QString beside = QFileInfo(adapter).absolutePath() + QStringLiteral("/ffmpeg");
        if (IsExecutableFile(beside))
            return beside;
    }
    const QByteArray pathVariable = qgetenv("PATH");
    const QString path =
        pathVariable.isNull() ? QStringLiteral("/usr/bin:/bin") : QFile::decodeName(pathVariable);
    for (QString folder : path.split(u':')) {
        if (folder.isEmpty())
            folder = QStringLiteral(".");
        const QString candidate = folder + QStringLiteral("/ffmpeg");
        if (IsExecutableFile(candidate))
            return QFileInfo(candidate).absoluteFilePath();
    }
    return QString();
}

QString TEncoderAvailability::CacheKey() const
{
    const QString ffmpeg = FindFfmpeg(appFolder);
    if (ffmpeg.isEmpty())
        return QString();
    const QString ffmpegStamp = Stamp(ffmpeg);
    const QString adapterStamp = Stamp(appFolder + AdapterName());
    if (ffmpegStamp.isEmpty() || adapterStamp.isEmpty())
        return QString();
    return QStringLiteral("ffmpeg=") + ffmpegStamp + QStringLiteral(";adapter=") + adapterStamp;
}

std::optional<QSet<QString>> TEncoderAvailability::ParseAnswer(const QByteArray& text)
{
    QSet<QString> names;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty())
            continue;
        if (!IsEncoderName(line))
            return std::nullopt;
        names.insert(line);
    }
    if (names.isEmpty())
        return std::nullopt;
    return names;
}

QStringList TEncoderAvailability::MissingEncoders(const TVideoProfile& profile, const QSet<QString>& encoders)
{
    QStringList missing;
    auto check = [&](const QString& codec) {
        if (!codec.isEmpty() && codec != QLatin1String("-1") && !encoders.contains(codec) &&
            !missing.contains(codec))
            missing << codec;
    };
    if (profile.HasVideo())
        check(profile.VideoCodec().Value);
    check(profile.AudioCodec().Value);
    return missing;
}

TEncoderAnswer TEncoderAvailability::CachedAnswer() const
{
    return cacheFile.isEmpty() ? TEncoderAnswer() : CachedAnswer(CacheKey());
}

TEncoderAnswer TEncoderAvailability::CachedAnswer(const QString& key) const
{
    TEncoderAnswer answer;
    if (cacheFile.isEmpty() || key.isEmpty())
        return answer;
    QFile file(cacheFile);
    // A cache is a few kilobytes; anything far larger is not ours.
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1024 * 1024)
        return answer;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.size() < 3 || lines[0].trimmed() != cacheMagic ||
        QString::fromUtf8(lines[1].trimmed()) != QStringLiteral("key=") + key)
        return answer;
    const std::optional<QSet<QString>> names = ParseAnswer(lines.mid(2).join('\n'));
    if (!names)
        return answer;
    answer.known = true;
    answer.encoders = *names;
    answer.fromCache = true;
    return answer;
}

QString TEncoderAvailability::WriteCache(const QString& key, const QSet<QString>& encoders) const
{
    if (cacheFile.isEmpty() || key.isEmpty())
        return QString();
    QStringList names(encoders.begin(), encoders.end());
    std::sort(names.begin(), names.end());
    const QByteArray text = cacheMagic + "\nkey=" + key.toUtf8() + '\n' + names.join(u'\n').toUtf8() + '\n';
    QSaveFile file(cacheFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("Cannot write file \"%1\". %2").arg(cacheFile, file.errorString());
    return QString();
}

TEncoderAnswer TEncoderAvailability::Conclude(int exitCode, bool crashed, const QByteArray& output,
                                              const QByteArray& errors, int timedOutAfterMs)
{
    TEncoderAnswer answer;
    const QString asked = appFolder + AdapterName() + QStringLiteral(" --encoders");
    if (timedOutAfterMs > 0) {
        answer.reason =
            QStringLiteral("%1 gave no answer within %2 s").arg(asked).arg(timedOutAfterMs / 1000.0);
        return answer;
    }
    if (crashed || exitCode != 0) {
        const QString said = LastLine(errors);
        answer.reason = said.isEmpty() ? QStringLiteral("%1 ended with status %2").arg(asked).arg(exitCode)
                                       : asked + QStringLiteral(": ") + said;
        return answer;
    }
    const std::optional<QSet<QString>> names = ParseAnswer(output);
    if (!names) {
        answer.reason = asked + QStringLiteral(" gave no encoder list");
        return answer;
    }
    answer.known = true;
    answer.encoders = *names;
    answer.cacheError = WriteCache(askedKey, answer.encoders);
    return answer;
}

void TEncoderAvailability::Ask()
{
    if (process)
        return;
    askedKey = CacheKey();
    timedOut = false;
    const QString adapter = appFolder + AdapterName();
    process = new QProcess(this);
    process->setProgram(adapter);
    process->setArguments({QStringLiteral("--encoders")});
    process->setStandardInputFile(QProcess::nullDevice());
    watchdog = new QTimer(this);
    watchdog->setSingleShot(true);
    connect(watchdog, &QTimer::timeout, this, [this] {
        timedOut = true;
        if (process)
            process->kill();
    });
    // Queued, so that Answered never comes from inside Ask, not even for an adapter that
    // cannot start.
    connect(
        process, &QProcess::errorOccurred, this,
        [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || !process)
                return;
            TEncoderAnswer answer;
            answer.reason =
                QStringLiteral("Cannot start %1: %2").arg(process->program(), process->errorString());
            Finish(answer);
        },
        Qt::QueuedConnection);
    connect(
        process, &QProcess::finished, this,
        [this](int exitCode, QProcess::ExitStatus status) {
            if (!process)
                return;
            Finish(Conclude(exitCode, status == QProcess::CrashExit, process->readAllStandardOutput(),
                            process->readAllStandardError(), timedOut ? AnswerTimeoutMs : 0));
        },
        Qt::QueuedConnection);
    process->start();
    watchdog->start(AnswerTimeoutMs);
}

bool TEncoderAvailability::IsAsking() const
{
    return process != nullptr;
}

void TEncoderAvailability::Finish(const TEncoderAnswer& answer)
{
    if (watchdog) {
        watchdog->stop();
        watchdog->deleteLater();
        watchdog = nullptr;
    }
    if (process) {
        process->disconnect(this);
        process->deleteLater();
        process = nullptr;
    }
    emit Answered(answer);
}

TEncoderAnswer TEncoderAvailability::AnswerNow(int timeoutMs)
{
    // One look for ffmpeg on PATH serves the cache and the answer written to it.
    askedKey = CacheKey();
    TEncoderAnswer cached = CachedAnswer(askedKey);
    if (cached.known)
        return cached;
    QProcess adapter;
    adapter.setStandardInputFile(QProcess::nullDevice());
    adapter.start(appFolder + AdapterName(), {QStringLiteral("--encoders")});
    if (!adapter.waitForStarted(timeoutMs)) {
        TEncoderAnswer answer;
        answer.reason = QStringLiteral("Cannot start %1: %2").arg(adapter.program(), adapter.errorString());
        return answer;
    }
    bool late = false;
    if (!adapter.waitForFinished(timeoutMs)) {
        late = true;
        adapter.kill();
        adapter.waitForFinished(1000);
    }
    return Conclude(adapter.exitCode(), adapter.exitStatus() == QProcess::CrashExit,
                    adapter.readAllStandardOutput(), adapter.readAllStandardError(), late ? timeoutMs : 0);
}
