#include "engine/TTimeLeft.h"

#include <algorithm>
#include <cmath>

void TTimeLeft::Reset(int count)
{
    items = QList<TItem>(qMax(0, count));
    fileShown = QList<TShown>(items.size());
    batchShown = TShown();
    samples = {TSample{}};
}

void TTimeLeft::SetWindow(int index, double seconds)
{
    if (index >= 0 && index < items.size() && std::isfinite(seconds) && seconds > 0)
        items[index].window = seconds;
}

void TTimeLeft::SetReached(int index, double seconds)
{
    if (index >= 0 && index < items.size() && std::isfinite(seconds))
        items[index].reached = std::max(items[index].reached, seconds);
}

void TTimeLeft::SetSpeed(int index, double speed)
{
    if (index >= 0 && index < items.size())
        items[index].speed = std::isfinite(speed) && speed > 0 ? speed : 0;
}

void TTimeLeft::SetStarted(int index)
{
    if (index >= 0 && index < items.size())
        items[index].started = true;
}

void TTimeLeft::SetFinished(int index, bool converted)
{
    if (index < 0 || index >= items.size())
        return;
    TItem& item = items[index];
    item.finished = true;
    item.speed = 0;
    if (converted && item.window > 0)
        item.reached = std::max(item.reached, item.window);
}

double TTimeLeft::SecondsLeft(double window, double reached, double speed)
{
    if (!(window > 0) || !(speed > 0) || !std::isfinite(speed))
        return -1;
    return std::max(0.0, window - std::max(0.0, reached)) / speed;
}

double TTimeLeft::Pace(double doneSeconds, qint64 nowMs, double runningSpeeds)
{
    // The pace kept so far holds what a speed leaves out: starting each encoder, files that
    // fail at once, several files at a time, a machine shared with others.
    if (nowMs >= PaceAfterMs && doneSeconds > 0)
        return doneSeconds * 1000.0 / double(nowMs);
    return runningSpeeds > 0 && std::isfinite(runningSpeeds) ? runningSpeeds : 0;
}

qint64 TTimeLeft::TShown::Give(double raw, qint64 nowMs)
{
    if (raw < 0)
        return -1;
    double figure = raw;
    // A better figure is taken at once; one that climbs back does so no faster than the clock,
    // so a passing slowdown does not make it jump.
    if (seconds >= 0)
        figure = std::min(figure, seconds + double(std::max<qint64>(0, nowMs - atMs)) / 1000.0);
    figure = std::max(0.0, figure);
    seconds = figure;
    atMs = nowMs;
    return qint64(std::ceil(figure - 1e-9));
}

qint64 TTimeLeft::FileLeft(int index, qint64 nowMs)
{
    if (index < 0 || index >= items.size() || items[index].finished)
        return -1;
    const TItem& item = items[index];
    return fileShown[index].Give(SecondsLeft(item.window, item.reached, item.speed), nowMs);
}

double TTimeLeft::BatchSpeed() const
{
    double speeds = 0;
    for (const TItem& item : items) {
        if (item.started && !item.finished)
            speeds += item.speed;
    }
    return speeds;
}

qint64 TTimeLeft::BatchLeft(qint64 nowMs)
{
    if (items.isEmpty())
        return -1;
    double left = 0;
    double done = 0;
    bool known = true;
    for (const TItem& item : items) {
        done += item.reached;
        if (item.finished)
            continue;
        if (item.window <= 0) {
            known = false;
            continue;
        }
        left += std::max(0.0, item.window - item.reached);
    }
    // The span is the later half of the run, and at least long enough to count.
    const qint64 spanStart = std::min(nowMs / 2, nowMs - PaceAfterMs);
    while (samples.size() > 1 && samples[1].atMs <= spanStart)
        samples.pop_front();
    const TSample from = samples.empty() ? TSample{} : samples.front();
    if (samples.empty() || nowMs > samples.back().atMs)
        samples.push_back(TSample{nowMs, done});
    const double pace = Pace(done - from.done, nowMs - from.atMs, BatchSpeed());
    const double raw = known && pace > 0 ? left / pace : -1;
    return batchShown.Give(raw, nowMs);
}
