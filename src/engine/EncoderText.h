#pragma once
// Text helpers of the encoder's progress display: the framed progress markers, the
// hours:minutes:seconds time texts and the splitter shared with the settings panel.

#include <QString>
#include <QStringList>

// What lies between the last closing text and the nearest opening text before it; empty
// when either is missing.
QString ExtractLastBetween(const QString& opening, const QString& closing, const QString& text);

// "HH:MM:SS.ff" to whole seconds. Anything without exactly one "." and three ":"-separated
// fields gives 0; a field that is no integer raises AppError "'x' is not a valid integer value".
qint64 TimeTextToSeconds(const QString& text);

// Whole seconds to "HH:MM:SS"; hours take more digits when needed.
QString SecondsToTimeText(qint64 seconds);

// The non-empty pieces of text between the separators.
QStringList SplitText(const QString& text, const QString& separator);

// A decimal number with a point; raises AppError "'x' is not a valid floating point value".
double TextToFloat(const QString& text);
