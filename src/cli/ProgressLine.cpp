#include "cli/ProgressLine.h"

#include "cli/TCliTexts.h"
#include "engine/EncoderText.h"

#include <QStringList>

namespace {

const QString ellipsis = QStringLiteral("\u2026");

int CharWidth(char32_t c)
{
    if (c == 0)
        return 0;
    const QChar::Category category = QChar::category(c);
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
        category == QChar::Other_Format)
        return 0;
    if (c < 32 || (c >= 0x7f && c < 0xa0))
        return 0;
    const bool wide =
        (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0x303e) || (c >= 0x3041 && c <= 0x33ff) ||
        (c >= 0x3400 && c <= 0x4dbf) || (c >= 0x4e00 && c <= 0x9fff) || (c >= 0xa000 && c <= 0xa4cf) ||
        (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) ||
        (c >= 0xff00 && c <= 0xff60) || (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x1f300 && c <= 0x1f64f) ||
        (c >= 0x1f900 && c <= 0x1f9ff) || (c >= 0x20000 && c <= 0x3fffd);
    return wide ? 2 : 1;
}

// The code points of text in order.
QList<char32_t> CodePoints(const QString& text)
{
    const QList<uint> points = text.toUcs4();
    return QList<char32_t>(points.begin(), points.end());
}

QString FromCodePoints(const QList<char32_t>& points, qsizetype from, qsizetype to)
{
    return QString::fromUcs4(points.constData() + from, to - from);
}

} // namespace

int DisplayWidth(const QString& text)
{
    int width = 0;
    for (const char32_t c : CodePoints(text))
        width += CharWidth(c);
    return width;
}

QString CutToWidth(const QString& text, int width)
{
    const QList<char32_t> points = CodePoints(text);
    int used = 0;
    qsizetype end = 0;
    while (end < points.size() && used + CharWidth(points[end]) <= width)
        used += CharWidth(points[end++]);
    return FromCodePoints(points, 0, end);
}

QString ElideMiddle(const QString& text, int width)
{
    if (DisplayWidth(text) <= width)
        return text;
    if (width <= 0)
        return QString();
    if (width == 1)
        return ellipsis;
    const QList<char32_t> points = CodePoints(text);
    // The end keeps the larger half: it holds the extension and the distinguishing number.
    const int headWidth = (width - 1) / 2;
    const int tailWidth = width - 1 - headWidth;
    int used = 0;
    qsizetype head = 0;
    while (head < points.size() && used + CharWidth(points[head]) <= headWidth)
        used += CharWidth(points[head++]);
    used = 0;
    qsizetype tail = points.size();
    while (tail > head && used + CharWidth(points[tail - 1]) <= tailWidth)
        used += CharWidth(points[--tail]);
    return FromCodePoints(points, 0, head) + ellipsis + FromCodePoints(points, tail, points.size());
}

QString ProgressLine(const TProgressFigures& figures, const QString& leftFormat, int width)
{
    // A name holding a line break or an escape would break the line or steer the terminal.
    QString name = figures.name;
    for (QChar& c : name) {
        if (c.unicode() < 32 || c.unicode() == 0x7f)
            c = u'?';
    }
    const QString counter = QStringLiteral("[%1/%2] ").arg(figures.number).arg(figures.count);
    QStringList tail;
    if (figures.othersRunning > 0)
        tail << QStringLiteral("(+%1)").arg(figures.othersRunning);
    tail << (figures.percent >= 0 ? QStringLiteral("%1%").arg(figures.percent, 3) : QStringLiteral("  -%"));
    tail << (figures.speed > 0 ? QStringLiteral("%1x").arg(figures.speed, 0, 'f', 1) : QStringLiteral("-x"));
    const QString left =
        figures.secondsLeft >= 0 ? SecondsToTimeText(figures.secondsLeft) : QStringLiteral("--:--:--");
    tail << TCliTexts::Substitute(leftFormat, {left});
    const QString after = QStringLiteral("  ") + tail.join(QStringLiteral("  "));

    const int room = width - DisplayWidth(counter) - DisplayWidth(after);
    if (room >= 8 || room >= DisplayWidth(name))
        return counter + ElideMiddle(name, room) + after;
    // Too narrow for a useful name: the line is cut at its end, so it never wraps.
    return CutToWidth(counter + ElideMiddle(name, 8) + after, width);
}
