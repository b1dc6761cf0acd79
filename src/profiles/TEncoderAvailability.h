#pragma once
// Which encoders the ffmpeg behind libm9s.exe can use ("libm9s.exe --encoders"), kept in a cache
// file for that ffmpeg, and which encoders a profile needs that it lacks. The window asks in the
// background; a command line waits for the answer.

#include "profiles/VideoProfile.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class QProcess;
class QTimer;

struct TEncoderAnswer
{
    // False when nothing could be learnt: every profile then counts as available.
    bool known = false;
    // The codec names a profile may carry, after the adapter's own mapping.
    QSet<QString> encoders;
    // Why nothing is known (the adapter's own message where it gave one).
    QString reason;
    // The answer is known but could not be kept for the next start, and why.
    QString cacheError;
    bool fromCache = false;
};

class TEncoderAvailability : public QObject
{
    Q_OBJECT

public:
    // The adapter stops an ffmpeg that does not answer within 5 s; this is the limit for an
    // adapter that does not end itself.
    static constexpr int AnswerTimeoutMs = 10000;
    static QString CacheFileName() { return QStringLiteral("encoders.cache"); }

    // appFolder holds libm9s.exe and ends in "/"; cacheFile is empty when nothing can be kept.
    TEncoderAvailability(const QString& appFolder, const QString& cacheFile, QObject* parent = nullptr);
    // An adapter still asking is killed, and its ffmpeg with it.
    ~TEncoderAvailability() override;

    // The cached answer when it was made for the ffmpeg and the adapter there are now; an
    // unknown answer otherwise. Costs a few file look-ups and one small read.
    TEncoderAnswer CachedAnswer() const;

    // Starts the adapter without waiting; Answered comes once, for a failure too, and the
    // answer is cached when it is known. Nothing happens while an asking is under way.
    void Ask();
    bool IsAsking() const;

    // The cached answer, else the adapter's, waiting at most timeoutMs. For a command line;
    // the window uses Ask.
    TEncoderAnswer AnswerNow(int timeoutMs = AnswerTimeoutMs);

    // The ffmpeg the adapter of appFolder runs: beside the adapter first, then on PATH.
    // Empty when there is none.
    static QString FindFfmpeg(const QString& appFolder);

    // The names of the adapter's answer, one a line; nullopt when the text is not such a list.
    static std::optional<QSet<QString>> ParseAnswer(const QByteArray& text);

    // The codecs the profile names that encoders lacks: its video codec (when it has video),
    // then its audio codec. Automatic ("-1") and empty codecs need nothing.
    static QStringList MissingEncoders(const TVideoProfile& profile, const QSet<QString>& encoders);

signals:
    void Answered(const TEncoderAnswer& answer);

private:
    // What the answer depends on: the ffmpeg and the adapter, each by path, size and change
    // time. Empty when there is no ffmpeg to name.
    QString CacheKey() const;
    // The cached answer when it was written under key.
    TEncoderAnswer CachedAnswer(const QString& key) const;
    // timedOutAfterMs: the limit the adapter did not answer within, 0 when it ended itself.
    TEncoderAnswer Conclude(int exitCode, bool crashed, const QByteArray& output, const QByteArray& errors,
                            int timedOutAfterMs);
    void Finish(const TEncoderAnswer& answer);
    QString WriteCache(const QString& key, const QSet<QString>& encoders) const;

    QString appFolder;
    QString cacheFile;
    QString askedKey; // the key of the ffmpeg the running adapter was asked about
    QProcess* process = nullptr;
    QTimer* watchdog = nullptr;
    bool timedOut = false;
};

Q_DECLARE_METATYPE(TEncoderAnswer)
