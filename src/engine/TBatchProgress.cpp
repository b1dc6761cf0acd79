#include "engine/TBatchProgress.h"

#include <algorithm>
#include <cmath>

void TBatchProgress::Reset(int count)
{
    items = QList<TItem>(qMax(0, count));
    shown = 0;
}

void TBatchProgress::SetWindow(int index, qint64 seconds)
{
    if (index >= 0 && index < items.size())
        items[index].window = qMax<qint64>(0, seconds);
}

void TBatchProgress::SetReached(int index, qint64 seconds)
{
    if (index >= 0 && index < items.size())
        items[index].reached = qMax(items[index].reached, seconds);
}

void TBatchProgress::SetFinished(int index)
{
    if (index >= 0 && index < items.size())
        items[index].finished = true;
}

int TBatchProgress::FinishedCount() const
{
    return int(std::count_if(items.begin(), items.end(), [](const TItem& item) { return item.finished; }));
}

bool TBatchProgress::AllWindowsKnown() const
{
    return std::all_of(items.begin(), items.end(),
                       [](const TItem& item) { return item.finished || item.window > 0; });
}

int TBatchProgress::Position()
{
    if (items.isEmpty())
        return 0;
    double done = 0;
    double whole = 0;
    if (AllWindowsKnown()) {
        // By seconds: a long file counts for more than a short one. A finished item of unknown
        // length counts as much as the average known one.
        qint64 knownTotal = 0;
        int known = 0;
        for (const TItem& item : items) {
            if (item.window > 0) {
                knownTotal += item.window;
                ++known;
            }
        }
        const double average = known > 0 ? double(knownTotal) / known : 1.0;
        for (const TItem& item : items) {
            const double window = item.window > 0 ? double(item.window) : average;
            whole += window;
            done += item.finished ? window : std::min(double(item.reached), window);
        }
    } else {
        for (const TItem& item : items) {
            whole += 1;
            if (item.finished)
                done += 1;
            else if (item.window > 0)
                done += std::min(1.0, double(item.reached) / double(item.window));
        }
    }
    shown = qMax(shown, int(std::clamp(std::floor(done / whole * 100.0), 0.0, 100.0)));
    return shown;
}
