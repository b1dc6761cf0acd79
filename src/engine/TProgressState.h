#pragma once
// Per-file progress of a running encoder: the figures taken from its progress markers and the
// run-time ticks, and the progress bar position and status line made from them.

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
    qint64 TotalSeconds = 0;   // the input's duration, once the encoder told it
    qint64 ReachedSeconds = 0; // output time reached; only rises
    double Speed = 0;          // times real time, 0 while unknown
    int RunTicks = 0;

    void Reset()
    {
        TotalSeconds = 0;
        ReachedSeconds = 0;
        Speed = 0;
        RunTicks = 0;
        currentSeconds = 0;
    }

    // Takes the markers of one piece of encoder output. Raises AppError for a marker value
    // that is not a number; the state keeps what was taken before the bad value. Lines that
    // carry no marker, or a marker this version does not know, change nothing.
    void TakeMarkers(const QString& text);

    // The length in seconds of the part of the input the item converts: its duration text,
    // or the input's duration from its start on. A length of 0 counts as 1, so nothing divides
    // by it; a start past the end gives a negative length, which the bar's position survives.
    qint64 WindowSeconds(const QString& startText, const QString& durationText) const
    {
        return WindowSeconds(TotalSeconds, startText, durationText);
    }
    static qint64 WindowSeconds(qint64 totalSeconds, const QString& startText, const QString& durationText);

    // The bar position and status line for item. statusRunFormat holds at most one "%s" (the
    // counter). A status format that does not format is no reason to lose the progress: it is
    // returned in formatError, for the caller to report once.
    TProgressView View(const TProgressItem& item, const QString& statusRunFormat) const;

    // View for figures kept elsewhere: the input's duration and the output time reached.
    // figures (speed, time left), when there are any, follow the counter after a " · ".
    static TProgressView MakeView(qint64 totalSeconds, qint64 currentSeconds, const TProgressItem& item,
                                  const QString& statusRunFormat, const QString& figures = QString());

    // TakeMarkers, then View.
    TProgressView ParseEncoderOutput(const QString& text, const TProgressItem& item,
                                     const QString& statusRunFormat);

private:
    qint64 currentSeconds = 0; // the time the last piece reported (the bar follows it)
};
