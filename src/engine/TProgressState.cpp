#include "engine/TProgressState.h"

#include "engine/EncoderText.h"
#include "platform/AppError.h"
#include "platform/SafeFormat.h"
#include "platform/TrimText.h"

#include <cmath>
#include <limits>

namespace {

const QString durationOpening = QStringLiteral("ffmpeg_release_duration=");
const QString durationClosing = QStringLiteral("=ffmpeg_release_duration");
const QString timeOpening = QStringLiteral("ffmpeg_release_time=");
const QString timeClosing = QStringLiteral("=ffmpeg_release_time");

// Nearest integer, halves to the even neighbour.
qint64 RoundToEven(double value)
{
    return qint64(std::nearbyint(value));
}

} // namespace

TProgressView TProgressState::ParseEncoderOutput(const QString& text, const TProgressItem& item,
                                                 const QString& statusRunFormat)
{
    const QString durationValue = TrimText(ExtractLastBetween(durationOpening, durationClosing, text));
    if (!durationValue.isEmpty())
        TotalSeconds = TimeTextToSeconds(durationValue);

    qint64 currentSeconds = ReachedSeconds;
    const QString timeValue = TrimText(ExtractLastBetween(timeOpening, timeClosing, text));
    if (!timeValue.isEmpty()) {
        currentSeconds = RoundToEven(TextToFloat(timeValue));
        if (currentSeconds > ReachedSeconds)
            ReachedSeconds = currentSeconds;
    }

    const qint64 startSeconds = TimeTextToSeconds(item.startText + QStringLiteral(".0"));
    qint64 windowLength = item.durationText.isEmpty()
                              ? TotalSeconds - startSeconds
                              : TimeTextToSeconds(item.durationText + QStringLiteral(".0"));
    if (windowLength == 0)
        windowLength = 1;
    const QString endText = SecondsToTimeText(startSeconds + windowLength);

    qint64 position = RoundToEven(double(currentSeconds) / double(windowLength) * 100.0);
    if (position > 99)
        position = 99;

    const QString counter = QStringLiteral("%1/%2").arg(item.index + 1).arg(item.count);
    TProgressView view;
    view.position = int(qMax<qint64>(position, std::numeric_limits<int>::min()));
    QString runText;
    try {
        runText = SafeFormat(statusRunFormat, counter);
    } catch (const AppError& error) {
        view.formatError = error.Text();
    }
    view.statusText = runText + QStringLiteral(" [%1-%2]").arg(item.startText, endText) + u' ' + item.caption;
    return view;
}
