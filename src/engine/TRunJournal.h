#pragma once
// The journal of a run (queue.ini): its items with their time windows and states, the output
// folder and the format, kept on disk while the run goes on so that a run cut off by a kill or
// a power loss can be taken up again at the next start. Written whole through a temporary file
// renamed into place, at once when an item starts or ends; removed when the run ends or is
// stopped. For each file the run made at an output name (its placeholder, or the output once
// kept) and for the partial file an encoder writes, it keeps which file that is, so that the
// next start recognises them and nothing else. A lock beside it tells a second copy of the
// program that the journal belongs to a live run.

#include "engine/FileIdentity.h"
#include "engine/TBatchRun.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QLockFile;
class QTimer;

enum class TJournalState
{
    Waiting,
    Converting,
    Done,
    Failed,
    Skipped,
    Stopped,
};

struct TJournalItem
{
    QString source;
    QString startText;
    QString durationText;
    TJournalState state = TJournalState::Waiting;
    QString output; // what the run was writing or wrote for the item; empty before it started
    // The file at output that the run made, as it was when the journal was last written;
    // invalid when the run made none there (an existing output it was to replace).
    TFileIdentity outputIdentity;
    QString partial;               // the hidden file the item's encoder was writing
    TFileIdentity partialIdentity; // which file that was (it grows: device and inode count)
};

struct TJournal
{
    QString outputFolder;
    int formatIndex = -1; // the format list's entry
    QString formatFile;   // that entry's profile file, so a changed list still finds it
    QList<TJournalItem> items;

    // The items that were not converted, in list order.
    QList<TJournalItem> Unfinished() const;
};

class TRunJournal : public QObject
{
    Q_OBJECT

public:
    static QString FileName() { return QStringLiteral("queue.ini"); }
    // Where a journal that cannot be read is set aside.
    static QString BadFileName() { return QStringLiteral("queue.ini.bad"); }

    static QString StateText(TJournalState state);
    // Raises AppError for a text that names no state.
    static TJournalState StateOf(const QString& text);

    // The whole journal at once. Raises AppError "Unable to write to <path>".
    static void Write(const QString& path, const TJournal& journal);
    // Raises AppError naming what is wrong when the file cannot be read or is no journal.
    static TJournal Read(const QString& path);
    // Moves a journal that cannot be read out of the way (replacing an older one); returns the
    // name it now has, or an empty text when it could not be moved.
    static QString SetAside(const QString& path);
    // True while a live run (this program or another copy) keeps the journal at path.
    static bool InUse(const QString& path);
    // Removes what a cut-off run left for items that is of no use: the partial files its
    // encoders were writing and, with placeholders, the placeholders still holding nothing at
    // its output names (a run that takes the items up again replaces those unasked); each only
    // while it is the very file the journal names. Nothing else is touched.
    static void RemoveLeftovers(const QList<TJournalItem>& items, bool placeholders);

    explicit TRunJournal(QObject* parent = nullptr);
    ~TRunJournal() override;

    // Starts keeping the journal of run at path: written at once, then at once whenever an item
    // starts or ends (for a journal of more than atOnceItems items at most once every
    // minIntervalMs, as each write of such a list takes long). Raises AppError when it cannot
    // be written (nothing is kept then); returns false without a word when another live run
    // keeps it.
    bool Begin(const QString& path, const TJournal& journal, TBatchRun* run);
    // Removes the journal and follows the run no further.
    void End();
    bool IsKeeping() const { return !path.isEmpty(); }
    const TJournal& Journal() const { return journal; }

    int minIntervalMs = 1000;
    int atOnceItems = 10000;

signals:
    // A later write failed; the run goes on without the journal, which is removed.
    void WriteFailed(const QString& text);

private:
    void ItemStarted(int index, const QString& outputPath);
    void ItemFinished(int index, TItemResult result);
    void Changed();
    void Flush();
    // What the run made for the item, as it is now.
    void TakeFiles(TJournalItem& item, int index);

    QString path;
    TJournal journal;
    QPointer<TBatchRun> run;
    std::unique_ptr<QLockFile> lock;
    QList<QMetaObject::Connection> connections;
    QTimer* writeTimer = nullptr;
    QElapsedTimer sinceWrite;
    bool dirty = false;
};
