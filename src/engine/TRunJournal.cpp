#include "engine/TRunJournal.h"

#include "engine/OutputFile.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/SettingsPlace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTimer>

namespace {

const QString queueSection = QStringLiteral("queue");

// A value is one line of the file: a line break in a name would end it early. "%" escapes the
// three characters that need it, so every name comes back exactly.
QString Encode(const QString& text)
{
    if (!text.contains(u'%') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString encoded = text;
    encoded.replace(u'%', QStringLiteral("%25"));
    encoded.replace(u'\n', QStringLiteral("%0A"));
    encoded.replace(u'\r', QStringLiteral("%0D"));
    return encoded;
}

QString Decode(const QString& text)
{
    if (!text.contains(u'%'))
        return text;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

QString ItemSection(int number)
{
    return QStringLiteral("item%1").arg(number);
}

QString LockName(const QString& path)
{
    return path + QStringLiteral(".lock");
}

} // namespace

QList<TJournalItem> TJournal::Unfinished() const
{
    QList<TJournalItem> unfinished;
    for (const TJournalItem& item : items) {
        if (item.state != TJournalState::Done)
            unfinished << item;
    }
    return unfinished;
}

QString TRunJournal::StateText(TJournalState state)
{
    switch (state) {
    case TJournalState::Waiting:
        return QStringLiteral("waiting");
    case TJournalState::Converting:
        return QStringLiteral("converting");
    case TJournalState::Done:
        return QStringLiteral("done");
    case TJournalState::Failed:
        return QStringLiteral("failed");
    case TJournalState::Skipped:
        return QStringLiteral("skipped");
    case TJournalState::Stopped:
        return QStringLiteral("stopped");
    }
    return QString();
}

TJournalState TRunJournal::StateOf(const QString& text)
{
    for (TJournalState state : {TJournalState::Waiting, TJournalState::Converting, TJournalState::Done,
                                TJournalState::Failed, TJournalState::Skipped, TJournalState::Stopped}) {
        if (text.compare(StateText(state), Qt::CaseInsensitive) == 0)
            return state;
    }
    throw AppError(QStringLiteral("unknown state \"%1\"").arg(text));
}

void TRunJournal::Write(const QString& path, const TJournal& journal)
{
    if (path.isEmpty())
        throw AppError(QStringLiteral("Unable to write to %1").arg(FileName()));
    // Straight to the file, section by section: a journal of many files is no list in memory.
    TIniWriter writer(path);
    writer.Section(queueSection);
    writer.Entry(QStringLiteral("outputFolder"), Encode(journal.outputFolder));
    writer.Entry(QStringLiteral("formatIndex"), QString::number(journal.formatIndex));
    writer.Entry(QStringLiteral("formatFile"), Encode(journal.formatFile));
    writer.Entry(QStringLiteral("count"), QString::number(journal.items.size()));
    int number = 0;
    for (const TJournalItem& item : journal.items) {
        writer.Section(ItemSection(++number));
        writer.Entry(QStringLiteral("source"), Encode(item.source));
        writer.Entry(QStringLiteral("start"), Encode(item.startText));
        writer.Entry(QStringLiteral("duration"), Encode(item.durationText));
        writer.Entry(QStringLiteral("state"), StateText(item.state));
        if (!item.output.isEmpty())
            writer.Entry(QStringLiteral("output"), Encode(item.output));
        if (item.outputIdentity.valid)
            writer.Entry(QStringLiteral("outputFile"), item.outputIdentity.Text());
        if (!item.partial.isEmpty()) {
            writer.Entry(QStringLiteral("partial"), Encode(item.partial));
            if (item.partialIdentity.valid)
                writer.Entry(QStringLiteral("partialFile"), item.partialIdentity.Text());
        }
    }
    writer.Commit();
}

TJournal TRunJournal::Read(const QString& path)
{
    bool readable = true;
    const TIniValues values = IniFile(path).ReadAll(&readable);
    if (!readable || !QFileInfo(path).isFile())
        throw AppError(QStringLiteral("the file cannot be read"));
    const auto queue = values.constFind(IniFile::CaseKey(queueSection));
    if (queue == values.constEnd())
        throw AppError(QStringLiteral("the section [queue] is missing"));
    const auto value = [](const QHash<QString, QString>& section, const char* key) {
        return section.value(IniFile::CaseKey(QString::fromLatin1(key)));
    };

    TJournal journal;
    journal.outputFolder = Decode(value(*queue, "outputFolder"));
    journal.formatFile = Decode(value(*queue, "formatFile"));
    if (!IniFile::ParseInteger(value(*queue, "formatIndex"), journal.formatIndex))
        journal.formatIndex = -1;
    int count = -1;
    if (!IniFile::ParseInteger(value(*queue, "count"), count) || count < 0)
        throw AppError(QStringLiteral("the number of items is missing"));
    // Every item needs its own section: a count larger than the file is no reason for memory.
    if (count > values.size() - 1)
        throw AppError(QStringLiteral("%1 items are counted, but the file holds fewer").arg(count));
    journal.items.reserve(count);
    for (int number = 1; number <= count; ++number) {
        const auto section = values.constFind(IniFile::CaseKey(ItemSection(number)));
        if (section == values.constEnd())
            throw AppError(QStringLiteral("item %1 is missing").arg(number));
        TJournalItem item;
        item.source = Decode(value(*section, "source"));
        if (item.source.isEmpty())
            throw AppError(QStringLiteral("item %1 names no file").arg(number));
        item.startText = Decode(value(*section, "start"));
        item.durationText = Decode(value(*section, "duration"));
        item.output = Decode(value(*section, "output"));
        // Missing in journals of earlier versions, and not to be trusted when garbled: an
        // identity that does not read waives nothing, which is always safe.
        item.outputIdentity = TFileIdentity::FromText(value(*section, "outputFile"));
        item.partial = Decode(value(*section, "partial"));
        item.partialIdentity = TFileIdentity::FromText(value(*section, "partialFile"));
        try {
            item.state = StateOf(value(*section, "state"));
        } catch (const AppError& error) {
            throw AppError(QStringLiteral("item %1: %2").arg(number).arg(error.Text()));
        }
        journal.items << item;
    }
    return journal;
}

QString TRunJournal::SetAside(const QString& path)
{
    const QString bad = QFileInfo(path).dir().filePath(BadFileName());
    QFile::remove(bad);
    return QFile::rename(path, bad) ? bad : QString();
}

bool TRunJournal::InUse(const QString& path)
{
    QLockFile probe(LockName(path));
    // Only a live holder counts: the lock of a killed program is stale at once.
    probe.setStaleLockTime(0);
    if (probe.tryLock(0)) {
        probe.unlock();
        return false;
    }
    return probe.error() == QLockFile::LockFailedError;
}

void TRunJournal::RemoveLeftovers(const QList<TJournalItem>& items, bool placeholders)
{
    for (const TJournalItem& item : items) {
        if (item.output.isEmpty())
            continue;
        // Only a name of the form the run gives, beside the output, and the file it made there.
        if (!item.partial.isEmpty() && IsPartialOf(item.partial, item.output) &&
            TFileIdentity::Of(item.partial).SameFile(item.partialIdentity))
            QFile::remove(item.partial);
        if (placeholders && TFileIdentity::Of(item.output).Unchanged(item.outputIdentity) &&
            StillPlaceholder(item.output))
            QFile::remove(item.output);
    }
}

TRunJournal::TRunJournal(QObject* parent) : QObject(parent)
{
    writeTimer = new QTimer(this);
    writeTimer->setSingleShot(true);
    connect(writeTimer, &QTimer::timeout, this, &TRunJournal::Flush);
}

TRunJournal::~TRunJournal()
{
    End();
}

bool TRunJournal::Begin(const QString& newPath, const TJournal& newJournal, TBatchRun* newRun)
{
    End();
    if (newPath.isEmpty())
        throw AppError(QStringLiteral("Unable to write to %1").arg(FileName()));
    // A folder whose permission bits deny writing counts as read-only, for the superuser too.
    if (!FolderWritable(QFileInfo(newPath).absolutePath()))
        throw AppError(QStringLiteral("Unable to write to %1").arg(newPath));
    auto newLock = std::make_unique<QLockFile>(LockName(newPath));
    newLock->setStaleLockTime(0);
    if (!newLock->tryLock(0)) {
        if (newLock->error() == QLockFile::LockFailedError)
            return false;
        throw AppError(QStringLiteral("Unable to write to %1").arg(LockName(newPath)));
    }
    try {
        Write(newPath, newJournal);
    } catch (...) {
        newLock->unlock();
        throw;
    }
    lock = std::move(newLock);
    path = newPath;
    journal = newJournal;
    run = newRun;
    dirty = false;
    sinceWrite.start();
    if (newRun) {
        connections << connect(newRun, &TBatchRun::ItemStarted, this, &TRunJournal::ItemStarted);
        connections << connect(newRun, &TBatchRun::ItemFinished, this, &TRunJournal::ItemFinished);
    }
    return true;
}

void TRunJournal::End()
{
    for (const QMetaObject::Connection& connection : connections)
        disconnect(connection);
    connections.clear();
    writeTimer->stop();
    dirty = false;
    if (!path.isEmpty())
        QFile::remove(path);
    path.clear();
    run.clear();
    if (lock)
        lock->unlock();
    lock.reset();
}

void TRunJournal::ItemStarted(int index, const QString& outputPath)
{
    if (index < 0 || index >= journal.items.size())
        return;
    TJournalItem& item = journal.items[index];
    item.state = TJournalState::Converting;
    item.output = outputPath;
    TakeFiles(item, index);
    Changed();
}

void TRunJournal::TakeFiles(TJournalItem& item, int index)
{
    item.outputIdentity = run && run->MadeOutput(index) ? TFileIdentity::Of(item.output) : TFileIdentity();
    item.partial = run ? run->PartialOf(index) : QString();
    item.partialIdentity = TFileIdentity::Of(item.partial);
}

void TRunJournal::ItemFinished(int index, TItemResult result)
{
    if (index < 0 || index >= journal.items.size())
        return;
    TJournalItem& item = journal.items[index];
    switch (result) {
    case TItemResult::Converted:
        item.state = TJournalState::Done;
        break;
    case TItemResult::Failed:
        item.state = TJournalState::Failed;
        break;
    case TItemResult::Skipped:
        item.state = TJournalState::Skipped;
        break;
    case TItemResult::Stopped:
        item.state = TJournalState::Stopped;
        break;
    }
    TakeFiles(item, index);
    Changed();
}

void TRunJournal::Changed()
{
    if (path.isEmpty())
        return;
    dirty = true;
    // At once: a kill a moment after an item started or ended must find it said. Only a very
    // long list, whose every write takes long, is written at most once a second however fast
    // its items change.
    if (journal.items.size() <= atOnceItems) {
        writeTimer->stop();
        Flush();
        return;
    }
    if (writeTimer->isActive())
        return;
    writeTimer->start(int(qMax<qint64>(0, minIntervalMs - sinceWrite.elapsed())));
}

void TRunJournal::Flush()
{
    if (path.isEmpty() || !dirty)
        return;
    dirty = false;
    try {
        Write(path, journal);
        sinceWrite.restart();
    } catch (const AppError& error) {
        // Told once; a journal that cannot be kept up to date would put back the wrong files.
        const QString text = error.Text();
        End();
        emit WriteFailed(text);
    }
}
