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
const QString speedOpening = QStringLiteral("ffmpeg_release_speed=");
const QString speedClosing = QStringLiteral("=ffmpeg_release_speed");

// Nearest integer, halves to the even neighbour.
qint64 RoundToEven(double value)
{
    return qint64(std::nearbyint(value));
}

} // namespace

void TProgressState::TakeMarkers(const QString& text)
{
    const QString durationValue = TrimText(ExtractLastBetween(durationOpening, durationClosing, text));
    if (!durationValue.isEmpty())
        TotalSeconds = TimeTextToSeconds(durationValue);

    const QString timeValue = TrimText(ExtractLastBetween(timeOpening, timeClosing, text));
    if (!timeValue.isEmpty()) {
        currentSeconds = RoundToEven(TextToFloat(timeValue));
        if (currentSeconds > ReachedSeconds)
            ReachedSeconds = currentSeconds;
    } else {
        currentSeconds = ReachedSeconds;
    }

    const QString speedValue = TrimText(ExtractLastBetween(speedOpening, speedClosing, text));
    if (!speedValue.isEmpty()) {
        const double speed = TextToFloat(speedValue);
        // Nothing sensible comes of a speed that is not a positive finite number.
        if (std::isfinite(speed) && speed > 0)
            Speed = speed;
    }
}

qint64 TProgressState::WindowSeconds(qint64 totalSeconds, const QString& startText,
                                     const QString& durationText)
{
    const qint64 startSeconds = TimeTextToSeconds(startText + QStringLiteral(".0"));
    const qint64 length = durationText.isEmpty() ? totalSeconds - startSeconds
                                                 : TimeTextToSeconds(durationText + QStringLiteral(".0"));
    return length == 0 ? 1 : length;
}

TProgressView TProgressState::View(const TProgressItem& item, const QString& statusRunFormat) const
{
    return MakeView(TotalSeconds, currentSeconds, item, statusRunFormat);
}

TProgressView TProgressState::MakeView(qint64 totalSeconds, qint64 currentSeconds, const TProgressItem& item,
                                       const QString& statusRunFormat, const QString& figures)
{
    const qint64 startSeconds = TimeTextToSeconds(item.startText + QStringLiteral(".0"));
    const qint64 windowLength = WindowSeconds(totalSeconds, item.startText, item.durationText);
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
    if (!figures.isEmpty())
        runText += QStringLiteral(" · ") + figures;
    view.statusText = runText + QStringLiteral(" [%1-%2]").arg(item.startText, endText) + u' ' + item.caption;
    return view;
}

TProgressView TProgressState::ParseEncoderOutput(const QString& text, const TProgressItem& item,
                                                 const QString& statusRunFormat)
{
    TakeMarkers(text);
    return View(item, statusRunFormat);
}
