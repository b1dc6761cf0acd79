// Judges a conversion that ffmpeg ended with success: did the output get everything the source
// promised? A truncated source shows as an output time clearly short of the input's length.
#pragma once

#include "TFfmpegArguments.h"

#include <optional>
#include <string>

class TOutputCheck
{
public:
    // outputTime: the last time ffmpeg reported; duration: the container's, nullopt when ffmpeg
    // gave none or only estimated it. The container's length is judged first, as it costs
    // nothing; only when the output falls short of it is the source asked (through source)
    // how long the streams the output takes really are. Gives the reason for failing, or an empty
    // text for a complete output.
    static std::string EndedEarly(double outputTime, std::optional<double> duration, const TFfmpegPlan& plan,
                                  const TFfmpegArguments::TSourceQuery& source);
};
