// Turns a legacy command (and the clip of an .avs input) into the argument vector of ffmpeg 5.1.
#pragma once

#include "TAvsClip.h"
#include "TLegacyCommand.h"
#include "TSourceProbe.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TFfmpegPlan
{
    std::vector<std::string> arguments;  // without the program name
    std::vector<std::string> notices;    // options ignored or changed, one line each
    double startSeconds = 0;             // -ss, for judging whether the input ended early
    std::optional<double> windowSeconds; // -t
    bool video = true;                   // the output takes the source's video
    bool audio = true;                   // ... and its audio
    std::optional<int> mappedStream;     // -map 0:N
    bool coverPicture = false; // the video is the source's cover picture, shown as long as the sound
};

class TFfmpegArguments
{
public:
    // Answers whether this ffmpeg has an encoder of the given name.
    using TEncoderProbe = std::function<bool(const std::string&)>;
    // What ffprobe knows of the source, asked only where it matters (an encoded video output
    // from a file that may be music with a cover picture); nullptr when unknown.
    using TSourceQuery = std::function<const TSourceProbe*()>;

    // clip is the evaluated script when the input is an .avs file. progressFd is the descriptor
    // ffmpeg writes its machine-readable progress to. Throws TEncoderError for values that cannot
    // be put on ffmpeg's command line safely.
    static TFfmpegPlan Build(const TLegacyCommand& cmd, const std::optional<TAvsClip>& clip, int progressFd,
                             const TEncoderProbe& hasEncoder, const TSourceQuery& source = {});

    // Legacy codec and format names to the names ffmpeg 5.1 knows. tag receives a fourcc the
    // replacement needs (xvid without libxvid becomes mpeg4 tagged XVID).
    static std::string MapVideoCodec(const std::string& name, const TEncoderProbe& hasEncoder,
                                     std::string* tag);
    static std::string MapAudioCodec(const std::string& name);
    // The names the two functions above change, in lower case.
    static std::vector<std::string> LegacyVideoCodecNames();
    static std::vector<std::string> LegacyAudioCodecNames();
    static std::string MapFormat(const std::string& name);
    // Seconds of a time text "[-][HH:]MM:SS[.m]" or "S[.m]"; nullopt when it is not one.
    static std::optional<double> ParseTime(const std::string& text);
    // A path ffmpeg takes as a plain file whatever its first character or a colon in it.
    static std::string FileUrl(const std::string& path);
};
