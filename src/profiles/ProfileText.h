#pragma once
// The small text rules of profile lines.

#include <QString>
#include <QStringList>

// Cuts at every occurrence of the separator (letter case counts); k separators give k + 1
// fields, empty ones included. Nothing is trimmed.
QStringList SplitProfileText(const QString& text, const QString& separator);

// Only the text "0" is off; every other text, the empty one included, is on.
inline bool ProfileFlag(const QString& text)
{
    return text != QLatin1String("0");
}
