#include "joblist/TimeWindowText.h"

#include <QRegularExpression>

QString TimeWindowText::Trim(const QString& text)
{
    int first = 0;
    int last = text.size() - 1;
    while (first <= last && text.at(first).unicode() <= 32)
        ++first;
    while (last >= first && text.at(last).unicode() <= 32)
        --last;
    return text.mid(first, last - first + 1);
}

QString TimeWindowText::ForEdit(const QString& itemText, bool isDuration)
{
    if (isDuration && itemText.isEmpty())
        return Zero();
    static const QRegularExpression oneHourDigit(QStringLiteral("\\A\\d:\\d\\d:\\d\\d\\z"));
    if (oneHourDigit.match(itemText).hasMatch())
        return u'_' + itemText;
    return itemText;
}

QString TimeWindowText::DurationForItem(const QString& editText)
{
    const QString text = Trim(editText);
    return text == Zero() ? QString() : text;
}

bool TimeWindowText::IsDurationKey(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == QChar(8);
}
