// Reads the AviSynth subset the converter meets: a source call (DirectShowSource, AviSource,
// FFmpegSource2, FFVideoSource, ...), Import, rotate, flip, crop, resize and frame-rate calls,
// variables, "last" and method chains. Anything else is refused with a message naming the line.
#pragma once

#include "TAvsClip.h"

#include <string>

class TAvsScript
{
public:
    // Throws TEncoderError on a syntax error, an unsupported call or a missing source file.
    static TAvsClip Load(const std::string& path);
    // Relative paths inside the script are taken from baseFolder (the script's own folder).
    static TAvsClip Evaluate(const std::string& text, const std::string& baseFolder,
                             const std::string& scriptName);
};
