#include "engine/EncoderText.h"

#include "platform/AppError.h"

#include <cmath>

QString ExtractLastBetween(const QString& opening, const QString& closing, const QString& text)
{
    if (opening.isEmpty() || closing.isEmpty())
        return QString();
    const qsizetype closeAt = text.lastIndexOf(closing);
    if (closeAt < 0)
        return QString();
    // The opening text has to end at or before the closing text begins.
    if (closeAt < opening.size())
        return QString();
    const qsizetype openAt = text.lastIndexOf(opening, closeAt - opening.size());
    if (openAt < 0)
        return QString();
    const qsizetype valueAt = openAt + opening.size();
    return text.mid(valueAt, closeAt - valueAt);
}

namespace {

int TextToInteger(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

} // namespace

qint64 TimeTextToSeconds(const QString& text)
{
    if (text.isEmpty())
        return 0;
    const QStringList parts = SplitText(text, QStringLiteral("."));
    if (parts.size() != 2)
        return 0;
    const QStringList fields = SplitText(parts[0], QStringLiteral(":"));
    if (fields.size() != 3)
        return 0;
    const int hours = TextToInteger(fields[0]);
    const int minutes = TextToInteger(fields[1]);
    const int seconds = TextToInteger(fields[2]);
    TextToInteger(parts[1]); // the fraction must be a number, though it is not used
    // 32-bit arithmetic, wrapping like the original integer type would.
    const quint32 sum = quint32(hours) * 3600u + quint32(minutes) * 60u + quint32(seconds);
    return qint64(qint32(sum));
}

QString SecondsToTimeText(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const qint64 minutes = (seconds - hours * 3600) / 60;
    const qint64 rest = seconds - hours * 3600 - minutes * 60;
    auto twoDigits = [](qint64 n) {
        return n <= 9 ? QStringLiteral("0") + QString::number(n) : QString::number(n);
    };
    return twoDigits(hours) + u':' + twoDigits(minutes) + u':' + twoDigits(rest);
}

QStringList SplitText(const QString& text, const QString& separator)
{
    if (separator.isEmpty())
        return text.isEmpty() ? QStringList() : QStringList{text};
    return text.split(separator, Qt::SkipEmptyParts, Qt::CaseSensitive);
}

double TextToFloat(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw AppError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}
