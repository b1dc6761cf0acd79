#include "TSourceProbe.h"

#include "TEncoderProcess.h"
#include "TFfmpegArguments.h"
#include "TText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

namespace {

// A plain decimal such as "4.023000"; "N/A" and anything else give nullopt.
std::optional<double> Decimal(const std::string& text)
{
    if (text.empty() || text == "N/A") {
        return std::nullopt;
    }
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0') {
        return std::nullopt;
    }
    return v;
}

// "section|key=value|key=value" as ffprobe's compact writer prints it.
std::map<std::string, std::string> Fields(const std::string& line)
{
    std::map<std::string, std::string> fields;
    size_t start = line.find('|');
    while (start != std::string::npos) {
        size_t next = line.find('|', start + 1);
        std::string part =
            line.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1);
        size_t eq = part.find('=');
        if (eq != std::string::npos) {
            fields[part.substr(0, eq)] = part.substr(eq + 1);
        }
        start = next;
    }
    return fields;
}

} // namespace

std::vector<std::string> TSourceProbe::Arguments(const std::string& sourceFile)
{
    return {"-v",
            "error",
            "-show_entries",
            "format=start_time,duration:stream=index,codec_type,start_time,duration:"
            "stream_disposition=attached_pic:stream_tags=DURATION",
            "-of",
            "compact",
            TFfmpegArguments::FileUrl(sourceFile)};
}

std::optional<TSourceProbe> TSourceProbe::Parse(const std::string& text)
{
    TSourceProbe probe;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        auto f = Fields(line);
        if (line.rfind("stream|", 0) == 0) {
            TStreamInfo s;
            s.index = f.count("index") ? std::atoi(f["index"].c_str()) : -1;
            s.type = f["codec_type"];
            s.attachedPicture = f["disposition:attached_pic"] == "1";
            s.start = Decimal(f["start_time"]);
            s.duration = Decimal(f["duration"]);
            if (!s.duration && f.count("tag:DURATION")) {
                // Matroska keeps stream lengths only as a tag.
                s.duration = TFfmpegArguments::ParseTime(f["tag:DURATION"]);
            }
            probe.streams.push_back(s);
        } else if (line.rfind("format|", 0) == 0) {
            probe.formatStart = Decimal(f["start_time"]);
            probe.formatDuration = Decimal(f["duration"]);
        }
    }
    if (probe.streams.empty()) {
        return std::nullopt;
    }
    return probe;
}

std::optional<TSourceProbe> TSourceProbe::Run(const std::string& ffprobe, const std::string& sourceFile)
{
    if (ffprobe.empty()) {
        return std::nullopt;
    }
    TCaptured answer = TEncoderProcess::Capture(ffprobe, Arguments(sourceFile), 30000);
    if (answer.status != 0) {
        return std::nullopt;
    }
    return Parse(answer.output);
}

bool TSourceProbe::MayHoldCover(const std::string& path)
{
    static const char* const audioExtensions[] = {
        "mp3", "mp2", "m4a", "m4b",  "m4p",  "m4r", "aac", "flac", "ogg", "oga", "opus", "spx", "wma",
        "wav", "w64", "aif", "aiff", "aifc", "ape", "wv",  "mpc",  "tta", "dsf", "mka",  "ac3", "caf"};
    if (TText::OneOf(TText::Extension(path), audioExtensions)) {
        return true;
    }
    // A renamed file still shows what it is in its first bytes.
    unsigned char head[12] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (in.gcount() < static_cast<std::streamsize>(sizeof head)) {
        return false;
    }
    auto is = [&](size_t at, const char* magic) {
        return std::memcmp(head + at, magic, std::strlen(magic)) == 0;
    };
    const bool mpegAudio = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    const bool appleAudio = is(4, "ftyp") && (is(8, "M4A") || is(8, "M4B") || is(8, "M4P"));
    return mpegAudio || appleAudio || is(0, "ID3") || is(0, "fLaC") || is(0, "OggS") ||
           (is(0, "FORM") && is(8, "AIF")) || is(0, "MAC ") || is(0, "wvpk") ||
           (is(0, "RIFF") && is(8, "WAVE"));
}

bool TSourceProbe::CoverOnly() const
{
    bool picture = false, audio = false;
    for (const auto& s : streams) {
        if (s.type == "video" && !s.attachedPicture) {
            return false;
        }
        picture = picture || (s.type == "video" && s.attachedPicture);
        audio = audio || s.type == "audio";
    }
    return picture && audio;
}

std::optional<double> TSourceProbe::EndOf(bool video, bool audio, std::optional<int> mapped) const
{
    const double origin = formatStart.value_or(0);
    auto endOf = [&](const TStreamInfo& s) -> std::optional<double> {
        if (!s.duration) {
            return std::nullopt;
        }
        return s.start.value_or(origin) - origin + *s.duration;
    };
    if (mapped) {
        for (const auto& s : streams) {
            if (s.index == *mapped) {
                return endOf(s);
            }
        }
        return std::nullopt;
    }
    // ffmpeg takes one stream of each kind; the shortest candidate is the one that cannot be
    // judged complete wrongly.
    auto kindEnd = [&](bool wanted, const char* type, bool& known) -> std::optional<double> {
        std::optional<double> end;
        if (!wanted) {
            return end;
        }
        for (const auto& s : streams) {
            if (s.type != type || s.attachedPicture) {
                continue;
            }
            auto e = endOf(s);
            if (!e) {
                known = false;
                continue;
            }
            end = end ? std::min(*end, *e) : *e;
        }
        return end;
    };
    bool known = true;
    auto v = kindEnd(video, "video", known);
    auto a = kindEnd(audio, "audio", known);
    if (!known || (!v && !a)) {
        return std::nullopt;
    }
    return std::max(v.value_or(0), a.value_or(0));
}
