#pragma once
// The time left of a run: for a converting file from the encoder's speed, for the whole batch
// from the length of what is left and the pace the run has kept so far. A figure is given only
// once it is known, is never negative, and never climbs back faster than the clock runs.

#include <QList>
#include <QtGlobal>

#include <deque>

class TTimeLeft
{
public:
    void Reset(int count);

    // The length in seconds of the part an item converts, once known (0 or less: not known).
    void SetWindow(int index, double seconds);
    // The output time reached; only rises.
    void SetReached(int index, double seconds);
    // The encoder's speed (times real time) while the item converts; 0 while unknown.
    void SetSpeed(int index, double speed);
    // The item is converting.
    void SetStarted(int index);
    // Nothing of the item is left to do, whatever its end; converted means all of it was done.
    void SetFinished(int index, bool converted);

    // Seconds left, at nowMs of the run's clock (converting time, pauses left out); -1 while
    // not known. Each figure rises by at most the time that passed since it was last given.
    qint64 FileLeft(int index, qint64 nowMs);
    qint64 BatchLeft(qint64 nowMs);
    // The sum of the speeds of the items converting now: how fast the batch goes; 0 unknown.
    double BatchSpeed() const;

    // The arithmetic on its own. Seconds of a window left at a speed; -1 when the window or the
    // speed is not known.
    static double SecondsLeft(double window, double reached, double speed);
    // The pace of a run in media seconds per second: what it has done over the time it took,
    // once it has run for a while and done something; before that, the sum of the speeds of the
    // encoders running. 0 when neither is known. The batch takes the later half of its run so
    // far, which leaves out a slow start (the lengths being read, the first encoder starting).
    static double Pace(double doneSeconds, qint64 nowMs, double runningSpeeds);
    // Below this much run time the pace comes from the encoders' own speeds.
    static constexpr qint64 PaceAfterMs = 3000;

private:
    struct TItem
    {
        double window = 0;
        double reached = 0;
        double speed = 0;
        bool started = false;
        bool finished = false;
    };
    // A figure as last given, so the next one never rises faster than the clock.
    struct TShown
    {
        double seconds = -1;
        qint64 atMs = 0;
        qint64 Give(double raw, qint64 nowMs);
    };

    // What the batch had done at a moment of the run's clock.
    struct TSample
    {
        qint64 atMs = 0;
        double done = 0;
    };

    QList<TItem> items;
    QList<TShown> fileShown;
    TShown batchShown;
    // From the latest one at or before the start of the pace's span; the run's start first.
    std::deque<TSample> samples;
};
