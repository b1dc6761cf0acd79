// Checks made before ffmpeg starts, so that a bad job fails at once with a plain message:
// the input exists and is a non-empty file, the output folder exists and is writable, and the
// output is not the source itself.
#pragma once

#include <string>
#include <vector>

class TInputCheck
{
public:
    // Throws TEncoderError.
    static void CheckInput(const std::string& path);
    // sourcePaths: the input, and the media file an .avs input names.
    static void CheckOutput(const std::string& outputPath, const std::vector<std::string>& sourcePaths);
    static bool IsScript(const std::string& path);
};
