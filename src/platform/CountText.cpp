#include "platform/CountText.h"

#include "platform/IniFile.h"
#include "platform/SafeFormat.h"

TCountText TCountText::Read(const IniFile& language, const QString& section, const QString& key)
{
    const QStringList keys = FormKeys(key);
    TCountText text;
    text.one = language.ReadString(section, keys[0], QString());
    text.other = language.ReadString(section, keys[1], QString());
    if (text.other.isEmpty())
        text.other = language.ReadString(section, key, QString());
    if (text.one.isEmpty())
        text.one = text.other;
    return text;
}

QStringList TCountText::FormKeys(const QString& key)
{
    return {key + QStringLiteral("_one"), key + QStringLiteral("_other")};
}

QString TCountText::Format(qint64 count) const
{
    return SafeFormat(count == 1 ? one : other, QString::number(count));
}
