#pragma once
// The rules of the time-window texts without any window: the edit mask, trimming, the empty
// duration shown as zero, and which typed characters the duration edit takes.

#include <QChar>
#include <QString>

class TimeWindowText
{
public:
    // An optional and a required hour digit, then two minute and two second digits; ":" is
    // part of the text and an empty place shows as "_".
    static QString InputMask() { return QStringLiteral("09:99:99;_"); }
    static QString Zero() { return QStringLiteral("00:00:00"); }
    static QString InvalidInputMessage()
    {
        return QStringLiteral("Invalid input value.  Use escape key to abandon changes");
    }

    // Leading and trailing blanks and control characters removed.
    static QString Trim(const QString& text);

    // The text to put into an edit for an item's text: an empty duration reads as zero, and a
    // text with one hour digit gets the mask's blank "_" in front, so the optional digit stays
    // empty instead of the digits shifting left.
    static QString ForEdit(const QString& itemText, bool isDuration);

    // What the item stores from the duration edit: exactly "00:00:00" means up to the end.
    static QString DurationForItem(const QString& editText);

    // The duration edit's key filter: digits and backspace only.
    static bool IsDurationKey(QChar c);
};
