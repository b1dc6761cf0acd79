#include "TOutputCheck.h"

#include <algorithm>
#include <cstdio>

namespace {

bool ClearlyShort(double outputTime, double expected)
{
    return outputTime < expected - std::max(1.5, 0.1 * expected);
}

} // namespace

std::string TOutputCheck::EndedEarly(double outputTime, std::optional<double> duration,
                                     const TFfmpegPlan& plan, const TFfmpegArguments::TSourceQuery& source)
{
    if (!duration || *duration <= 0) {
        return {};
    }
    double expected = *duration - plan.startSeconds;
    if (expected <= 0) {
        return "the start time lies beyond the end of the input";
    }
    if (plan.windowSeconds) {
        expected = std::min(expected, *plan.windowSeconds);
    }
    if (!ClearlyShort(outputTime, expected)) {
        return {};
    }
    // A container is as long as its longest stream; the output may take a shorter one (the
    // audio of a video whose sound stops early, under -vn).
    const TSourceProbe* probe = source ? source() : nullptr;
    if (probe) {
        if (auto end = probe->EndOf(plan.video && !plan.coverPicture, plan.audio, plan.mappedStream)) {
            double taken = *end - plan.startSeconds;
            if (taken <= 0) {
                return "the start time lies beyond the end of the streams the output takes";
            }
            expected = plan.windowSeconds ? std::min(taken, *plan.windowSeconds) : taken;
            if (!ClearlyShort(outputTime, expected)) {
                return {};
            }
        }
    }
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "the input ended after %.2f s of %.2f s; the source file looks truncated or damaged",
                  outputTime, expected);
    return buf;
}
