#pragma once
// Per-file progress of the running encoder: the figures taken from its two progress markers
// and the run-time ticks, and the progress bar position and status line made from them.

#include <QString>

struct TProgressItem
{
    QString caption;      // source path as shown in the job list
    QString startText;    // "HH:MM:SS"
    QString durationText; // "HH:MM:SS", or empty for up to the end
    int index = 0;        // position in the job list, from 0
    int count = 0;        // items in the job list
};

struct TProgressView
{
    int position = 0; // 0..99, or negative (an empty bar) while the window is not known yet
    QString statusText;
    QString formatError; // why the status format did not format; the text then has no counter
};

class TProgressState
{
public:
    qint64 TotalSeconds = 0;
    qint64 ReachedSeconds = 0;
    int RunTicks = 0;

    void Reset()
    {
        TotalSeconds = 0;
        ReachedSeconds = 0;
        RunTicks = 0;
    }

    // Takes one piece of encoder output, keeps what its markers report and gives the bar
    // position and status line for item. statusRunFormat holds at most one "%s" (the counter).
    // Raises AppError for a marker value that is not a number; the state keeps what was
    // taken before the bad value. A status format that does not format is no reason to lose
    // the progress: it is returned in formatError, for the caller to report once.
    TProgressView ParseEncoderOutput(const QString& text, const TProgressItem& item,
                                     const QString& statusRunFormat);
};
