#include "joblist/TimeWindowText.h"

#include "platform/TrimText.h"

#include <QRegularExpression>

QString TimeWindowText::Trim(const QString& text)
{
    return TrimText(text);
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
