#include "TEncoderList.h"

#include "TFfmpegArguments.h"

#include <algorithm>
#include <sstream>

std::optional<std::set<std::string>> TEncoderList::Parse(const std::string& text)
{
    // " V....D libx264              libx264 H.264 / AVC ..." after a " ------" line; the first
    // flag is the kind (V, A or S), the other five are F, S, X, B, D or '.'.
    std::set<std::string> encoders;
    bool listed = false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!listed) {
            listed = line.find_first_not_of(' ') != std::string::npos &&
                     line.find_first_not_of(" -") == std::string::npos;
            continue;
        }
        std::istringstream fields(line);
        std::string flags, name;
        if (line.empty() || line[0] != ' ' || !(fields >> flags >> name) || flags.size() != 6 ||
            !std::all_of(flags.begin() + 1, flags.end(),
                         [](char c) { return std::string(".FSXBD").find(c) != std::string::npos; })) {
            continue;
        }
        if (flags[0] == 'V' || flags[0] == 'A') {
            encoders.insert(name);
        }
    }
    if (encoders.empty()) {
        return std::nullopt;
    }
    return encoders;
}

std::vector<std::string> TEncoderList::ProfileNames(const std::set<std::string>& encoders)
{
    auto has = [&](const std::string& name) { return encoders.count(name) > 0; };
    std::set<std::string> names = {"copy"};
    std::set<std::string> legacy;
    for (const auto& n : TFfmpegArguments::LegacyVideoCodecNames()) {
        legacy.insert(n);
        if (has(TFfmpegArguments::MapVideoCodec(n, has, nullptr))) {
            names.insert(n);
        }
    }
    for (const auto& n : TFfmpegArguments::LegacyAudioCodecNames()) {
        legacy.insert(n);
        if (has(TFfmpegArguments::MapAudioCodec(n))) {
            names.insert(n);
        }
    }
    // ffmpeg's own names pass unchanged, but for those the mapping gives another meaning.
    for (const auto& e : encoders) {
        if (!legacy.count(e)) {
            names.insert(e);
        }
    }
    return {names.begin(), names.end()};
}
