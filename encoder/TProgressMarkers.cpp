#include "TProgressMarkers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::optional<double> ClockToSeconds(std::string_view text)
{
    // HH:MM:SS.ff as ffmpeg prints it.
    int h = 0, m = 0;
    double s = 0;
    std::string copy(text);
    char tail = 0;
    if (std::sscanf(copy.c_str(), "%d:%d:%lf%c", &h, &m, &s, &tail) != 3 || h < 0 || m < 0 || s < 0) {
        return std::nullopt;
    }
    return h * 3600.0 + m * 60.0 + s;
}

} // namespace

std::string TProgressMarkers::DurationMarker(double seconds)
{
    long long centis = std::llround(std::max(0.0, seconds) * 100.0);
    char buf[96];
    std::snprintf(buf, sizeof buf,
                  "ffmpeg_release_duration=%02lld:%02lld:%02lld.%02lld=ffmpeg_release_duration\n",
                  centis / 360000, centis / 6000 % 60, centis / 100 % 60, centis % 100);
    return buf;
}

std::string TProgressMarkers::TimeMarker(double seconds)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "ffmpeg_release_time=%.2f=ffmpeg_release_time\n", std::max(0.0, seconds));
    return buf;
}

std::string TProgressMarkers::SpeedMarker(double factor)
{
    const int digits = std::clamp(2 - static_cast<int>(std::floor(std::log10(factor))), 0, 6);
    char value[64];
    std::snprintf(value, sizeof value, "%.*f", digits, factor);
    std::string v = value;
    if (v.find('.') != std::string::npos) {
        v.erase(v.find_last_not_of('0') + 1);
        if (v.back() == '.') {
            v.pop_back();
        }
    }
    return "ffmpeg_release_speed=" + v + "=ffmpeg_release_speed\n";
}

std::string TProgressMarkers::FeedErrorText(std::string_view chunk)
{
    std::string out;
    for (char c : chunk) {
        if (c == '\n' || c == '\r') {
            ErrorLine(errLine_, out);
            errLine_.clear();
        } else if (errLine_.size() < 4096) {
            errLine_ += c;
        }
    }
    return out;
}

void TProgressMarkers::ErrorLine(std::string_view line, std::string& out)
{
    if (line.find("Estimating duration from bitrate") != std::string_view::npos) {
        estimated_ = true;
    }
    // Only the first input's "  Duration: 00:00:30.00, start: ..." line counts.
    constexpr std::string_view key = "  Duration: ";
    if (durationSeen_ || line.substr(0, key.size()) != key) {
        return;
    }
    durationSeen_ = true;
    std::string_view value = line.substr(key.size());
    value = value.substr(0, value.find(','));
    if (auto secs = ClockToSeconds(value)) {
        duration_ = *secs;
        out += DurationMarker(*secs);
    }
}

std::string TProgressMarkers::FeedProgressLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        return {};
    }
    std::string_view key = line.substr(0, eq);
    std::string value(line.substr(eq + 1));
    if (key == "out_time_us" || key == "out_time_ms") {
        char* end = nullptr;
        long long us = std::strtoll(value.c_str(), &end, 10);
        if (end != value.c_str() && *end == '\0') {
            blockTime_ = std::max(0.0, us / 1e6);
        }
    } else if (key == "speed") {
        // "3.1x", "   1x" or "N/A".
        char* end = nullptr;
        double factor = std::strtod(value.c_str(), &end);
        if (end != value.c_str() && std::string_view(end) == "x" && factor > 0 && std::isfinite(factor)) {
            blockSpeed_ = factor;
        }
    } else if (key == "out_time" && !blockTime_) {
        if (auto secs = ClockToSeconds(value)) {
            blockTime_ = *secs;
        }
    } else if (key == "progress") {
        bool end = value == "end";
        std::string out;
        if (blockTime_ && (*blockTime_ > lastTime_ || !timeReported_)) {
            lastTime_ = *blockTime_;
            timeReported_ = true;
            out = TimeMarker(lastTime_);
            if (blockSpeed_) {
                out += SpeedMarker(*blockSpeed_);
            }
        }
        blockTime_.reset();
        blockSpeed_.reset();
        ended_ = ended_ || end;
        return out;
    }
    return {};
}
