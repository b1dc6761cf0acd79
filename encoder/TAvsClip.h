// What an AviSynth script amounts to for ffmpeg: one source file, whether its video and audio
// are used, and the video filters the script's calls stand for, in order.
#pragma once

#include <string>
#include <vector>

struct TAvsClip
{
    std::string sourceFile;
    bool video = true;
    bool audio = true;
    bool constantFrameRate =
        false; // DirectShowSource(..., convertfps=true): duplicate or drop frames to a fixed rate
    std::vector<std::string> videoFilters; // ffmpeg filter-graph entries, e.g. "transpose=2"
};
