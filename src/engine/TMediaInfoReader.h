#pragma once
// What ffprobe tells about a media file (duration, container, streams) and a small picture from
// it made by ffmpeg, read in the background: at most a chosen number of programs at once, never
// blocking the caller, each answer kept while the program runs.

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

class QProcess;
class QTemporaryDir;

struct TMediaInfo
{
    enum TState
    {
        Unread,     // nothing known yet (maybe being read)
        Readable,   // ffprobe read it
        Unreadable, // ffprobe could not read it: no media, or a format ffmpeg does not know
        Missing,    // no such file
        Failed,     // ffprobe did not finish (killed, or no answer in time); asked again next time
    };
    TState state = Unread;
    double durationSeconds = -1; // -1: not known (a stream without an end, or no media)
    QString container;           // as the file is commonly called: "MP4", "AVI", "Matroska / WebM"
    QString videoCodec;          // empty: no video stream
    int width = 0;
    int height = 0;
    double frameRate = 0; // 0: not known
    QString audioCodec;   // empty: no audio stream
    int sampleRate = 0;
    int channels = 0;
    QString channelLayout; // "stereo", "mono", ...; may be empty
    qint64 fileSize = -1;
    QString thumbnail;          // the picture's file, empty when there is none (yet)
    bool thumbnailDone = false; // ffmpeg was asked for the picture (whatever came of it)

    bool HasVideo() const { return !videoCodec.isEmpty(); }
};

class TMediaInfoReader : public QObject
{
    Q_OBJECT

public:
    // ffprobe and ffmpeg are taken from programFolder when they are there, else from PATH.
    explicit TMediaInfoReader(const QString& programFolder, QObject* parent = nullptr);
    // Ends every program still reading; the pictures go with their folder.
    ~TMediaInfoReader() override;

    // How many programs may read at once (at least 1). Lowering it stops nothing that runs.
    void SetMaxRunning(int count);
    int MaxRunning() const { return maxRunning; }
    int RunningCount() const { return int(jobs.size()); }

    // Queues path unless it is known or queued already. Urgent requests (a user waiting for the
    // answer) go before all others; an urgent request for a file that changed or vanished since
    // it was read reads it again. InfoRead follows, from the event loop, never from inside.
    void Read(const QString& path, bool urgent = false);
    // Read, then the picture from 10% into the file (for files with a video stream); ThumbnailMade
    // follows once ffmpeg is done, with or without a picture.
    void ReadWithThumbnail(const QString& path);
    // Drops the requests that are not urgent and have not started.
    void DropQueued();

    // What is known about path (state Unread when nothing is).
    TMediaInfo Info(const QString& path) const;

    // How long one program may take before it is ended and the file counts as Failed.
    int timeLimitMs = 60000;

    // ffprobe's JSON answer (-show_format -show_streams) for a file named fileName.
    static TMediaInfo ParseProbe(const QByteArray& json, const QString& fileName);
    // "30000/1001" and the like; 0 for anything that is no positive rate.
    static double ParseRate(const QString& rational);
    // "29.97", "25", "23.976": at most three decimals, no trailing zeros.
    static QString RateText(double rate);

signals:
    void InfoRead(const QString& path);
    void ThumbnailMade(const QString& path);

private:
    struct TJob;
    struct TStamp
    {
        qint64 size = -1;
        qint64 modified = 0;
        bool operator==(const TStamp&) const = default;
    };
    struct TEntry
    {
        TMediaInfo info;
        TStamp stamp;
    };

    void Queue(const QString& path, bool urgent);
    void PumpLater();
    void Pump();
    // background: for the time left, not for a user waiting on a tool tip.
    void StartProbe(const QString& path, bool background);
    void StartThumbnail(const QString& path);
    // Runs program for the job with a time limit; JobEnded comes once, whatever happens.
    void StartJob(std::unique_ptr<TJob> job, const QString& program, const QStringList& arguments);
    void JobEnded(TJob* job, bool finished);
    QString Program(const QString& name) const;
    static TStamp StampOf(const QString& path);

    QString programFolder;
    int maxRunning = 1;
    QList<QString> urgentQueue;
    QList<QString> queue;
    QSet<QString> queued; // in either queue
    QSet<QString> wantThumbnail;
    QHash<QString, TEntry> known;
    std::vector<std::unique_ptr<TJob>> jobs;
    std::unique_ptr<QTemporaryDir> thumbnails;
    int thumbnailNumber = 0;
    bool pumpQueued = false;
};
