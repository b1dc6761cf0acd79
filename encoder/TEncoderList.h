// The codec names a profile may carry that the ffmpeg at hand can write: ffmpeg's own encoder
// names, the legacy names whose replacement it has, and "copy".
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

class TEncoderList
{
public:
    // The video and audio encoders in ffmpeg's answer to -encoders; nullopt when the answer
    // holds no encoder list.
    static std::optional<std::set<std::string>> Parse(const std::string& text);
    // Every name -vcodec or -acodec may carry that works with these encoders after the adapter's
    // own mapping (xvid with libxvid or mpeg4, mp3 with libmp3lame, ...), sorted.
    static std::vector<std::string> ProfileNames(const std::set<std::string>& encoders);
};
