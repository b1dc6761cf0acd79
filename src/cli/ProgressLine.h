#pragma once
// The one progress line a terminal shows while velmora-cli converts: counter, file, percent,
// speed and time left, cut to the terminal's width.

#include <QString>

struct TProgressFigures
{
    int number = 0;        // the shown file's position in the batch, from 1
    int count = 0;         // files in the batch
    QString name;          // the shown file's name
    int othersRunning = 0; // further files converting at the same time
    int percent = -1;      // -1 while unknown
    double speed = 0;      // times real time, 0 while unknown
    qint64 secondsLeft = -1;
};

// "[3/12] clip.avi  (+1)  45%  2.3x  00:01:05 left", at most width columns wide: the file name
// gives way first, cut in its middle; control characters in it show as "?". leftFormat holds
// "%1" for the time left.
QString ProgressLine(const TProgressFigures& figures, const QString& leftFormat, int width);

// Columns a text takes on a terminal: East Asian wide letters take two, combining marks none.
int DisplayWidth(const QString& text);

// The text cut in its middle with "…" to at most width columns.
QString ElideMiddle(const QString& text, int width);

// The text cut at its end to at most width columns.
QString CutToWidth(const QString& text, int width);
