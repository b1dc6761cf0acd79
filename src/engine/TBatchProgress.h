#pragma once
// The progress of a whole run with several items converting at once: the bar by seconds once
// the length of every item is known, by items before, and the count of finished items.

#include <QList>

class TBatchProgress
{
public:
    void Reset(int count);

    // The length of the part an item converts, once known (0: not known).
    void SetWindow(int index, qint64 seconds);
    void SetReached(int index, qint64 seconds);
    // A finished item counts whole, whatever its end (skipped, failed and stopped included).
    void SetFinished(int index);

    int Count() const { return int(items.size()); }
    int FinishedCount() const;
    bool AllWindowsKnown() const;
    // 0..100; never below what it gave before in this run, as a bar moving back would mislead
    // (a switch from counting items to counting seconds may give less).
    int Position();

private:
    struct TItem
    {
        qint64 window = 0;
        qint64 reached = 0;
        bool finished = false;
    };
    QList<TItem> items;
    int shown = 0;
};
