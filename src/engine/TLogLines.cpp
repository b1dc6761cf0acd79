#include "engine/TLogLines.h"

QStringList TLogLines::Take(const QString& text)
{
    QStringList lines;
    for (const QChar c : text) {
        if (c == u'\n' && afterCr) {
            afterCr = false;
            continue;
        }
        afterCr = c == u'\r';
        if (c == u'\n' || c == u'\r') {
            lines << pending;
            pending.clear();
            continue;
        }
        // Not between the two halves of a character outside the basic plane.
        if (pending.size() >= MaxLine && !(c.isLowSurrogate() && pending.back().isHighSurrogate())) {
            lines << pending;
            pending.clear();
        }
        pending += c;
    }
    return lines;
}

QStringList TLogLines::Rest()
{
    afterCr = false;
    if (pending.isEmpty())
        return {};
    QStringList rest{pending};
    pending.clear();
    return rest;
}
