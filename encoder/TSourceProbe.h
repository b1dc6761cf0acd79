// What ffprobe says about the source's streams: their kinds, whether a video stream is only an
// attached (cover) picture, and where each one ends. Asked for only when the container's own
// duration is not enough to judge the output, or when the source may be music with a cover.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TStreamInfo
{
    int index = -1;
    std::string type; // "video", "audio", ...
    bool attachedPicture = false;
    std::optional<double> start;
    std::optional<double> duration;
};

class TSourceProbe
{
public:
    // ffprobe's "compact" answer to the entries Arguments() asks for; nullopt when no stream is named.
    static std::optional<TSourceProbe> Parse(const std::string& text);
    // The ffprobe command line (without the program) for a source file.
    static std::vector<std::string> Arguments(const std::string& sourceFile);
    // Runs ffprobe on the source; nullopt when ffprobe is missing, fails or does not answer.
    static std::optional<TSourceProbe> Run(const std::string& ffprobe, const std::string& sourceFile);

    // A file whose name or first bytes say it is an audio format that may carry a cover picture,
    // so that probing it is worth its cost.
    static bool MayHoldCover(const std::string& path);

    // No real video, but at least one attached picture and some audio.
    bool CoverOnly() const;
    // Where the output of the given streams ends, in seconds from the start of the source: the
    // longer of the video (without attached pictures) and the audio, each as far as the shortest
    // candidate stream of its kind goes; or only the stream of index mapped. nullopt when a stream
    // the output takes has no known length.
    std::optional<double> EndOf(bool video, bool audio, std::optional<int> mapped) const;

    std::vector<TStreamInfo> streams;
    std::optional<double> formatStart;
    std::optional<double> formatDuration;
};
