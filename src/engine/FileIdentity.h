#pragma once
// Which file a name leads to, and whether it is still as it was: device and inode, size and
// change time. A run keeps it for the files it made, so that a later run recognises that very
// file and no other (not one put in its place, nor one changed since).

#include <QString>
#include <QtGlobal>

#include <utility>

struct TFileIdentity
{
    bool valid = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 changeSeconds = 0;
    qint64 changeNanoseconds = 0;

    // The regular file at the name itself: a link, a folder or nothing gives an invalid one.
    static TFileIdentity Of(const QString& path);
    // Whatever the path leads to, links followed: the file a source name stands for.
    static TFileIdentity Reached(const QString& path);

    // Device and inode: the same file, whatever became of it.
    std::pair<quint64, quint64> Key() const { return {device, inode}; }
    bool SameFile(const TFileIdentity& other) const;
    // The same file, not written to or changed since.
    bool Unchanged(const TFileIdentity& other) const;

    // "device:inode:size:seconds.nanoseconds"; empty for an invalid one.
    QString Text() const;
    // An invalid identity for anything that is not such a text.
    static TFileIdentity FromText(const QString& text);
};
