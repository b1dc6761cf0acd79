// Turns what ffmpeg reports into the converter's progress markers: the input's duration, read
// once from ffmpeg's "Duration:" line, and the output time with the speed, read from the
// key=value blocks of ffmpeg's -progress output (never from the human status line).
#pragma once

#include <optional>
#include <string>
#include <string_view>

class TProgressMarkers
{
public:
    // ffmpeg's standard error, in chunks as read. Gives the duration marker line (with its line
    // feed) the first time the input's duration shows, else an empty text.
    std::string FeedErrorText(std::string_view chunk);
    // One line of -progress output, without its line feed. Gives a time marker line when a
    // progress block ends with a later output time than the last one reported, followed by a
    // speed marker line when the block knows a speed above 0; else an empty text.
    std::string FeedProgressLine(std::string_view line);

    static std::string DurationMarker(double seconds);
    static std::string TimeMarker(double seconds);
    // The factor to three significant digits, without trailing zeros or an exponent.
    static std::string SpeedMarker(double factor);

    std::optional<double> Duration() const { return duration_; }
    // ffmpeg only guessed the duration from the bit rate.
    bool DurationEstimated() const { return estimated_; }
    double LastTime() const { return lastTime_; }
    bool Ended() const { return ended_; }

private:
    void ErrorLine(std::string_view line, std::string& out);

    std::string errLine_;
    bool durationSeen_ = false;
    std::optional<double> duration_;
    bool estimated_ = false;
    std::optional<double> blockTime_;
    std::optional<double> blockSpeed_;
    double lastTime_ = 0;
    bool timeReported_ = false;
    bool ended_ = false;
};
