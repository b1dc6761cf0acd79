// libm9s.exe: the converter's encoder. Reads the legacy ffmpeg-style command line and an
// AviSynth input, runs ffmpeg 5.1 and reports progress with the converter's markers.
#include "TAvsScript.h"
#include "TEncoderError.h"
#include "TEncoderProcess.h"
#include "TFfmpegArguments.h"
#include "TInputCheck.h"
#include "TLegacyCommand.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

void Message(const std::string& text)
{
    std::string line = "libm9s: " + text + "\n";
    [[maybe_unused]] ssize_t n = write(2, line.data(), line.size());
}

// The output time falls clearly short of what the input promised: the source broke off.
std::string EndedEarly(const TEncoderProcess& run, const TFfmpegPlan& plan)
{
    const TProgressMarkers& m = run.Markers();
    if (!m.Duration() || m.DurationEstimated() || *m.Duration() <= 0) {
        return {};
    }
    double expected = *m.Duration() - plan.startSeconds;
    if (expected <= 0) {
        return "the start time lies beyond the end of the input";
    }
    if (plan.windowSeconds) {
        expected = std::min(expected, *plan.windowSeconds);
    }
    if (m.LastTime() < expected - std::max(1.5, 0.1 * expected)) {
        char buf[160];
        std::snprintf(buf, sizeof buf,
                      "the input ended after %.2f s of %.2f s; the source file looks truncated or damaged",
                      m.LastTime(), expected);
        return buf;
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    // Standard streams closed by the caller must not be taken over by pipes.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        TLegacyCommand cmd = TLegacyCommand::Parse(args);

        std::string ffmpeg = TEncoderProcess::FindFfmpeg();
        if (ffmpeg.empty()) {
            throw TEncoderError("ffmpeg was found neither beside libm9s.exe nor on PATH", 127);
        }

        TInputCheck::CheckInput(cmd.inputFile);
        std::optional<TAvsClip> clip;
        std::string source = cmd.inputFile;
        if (TInputCheck::IsScript(cmd.inputFile)) {
            clip = TAvsScript::Load(cmd.inputFile);
            source = clip->sourceFile;
            TInputCheck::CheckInput(source);
        }
        TInputCheck::CheckOutput(cmd.outputFile, {cmd.inputFile, source});

        std::map<std::string, bool> known;
        auto hasEncoder = [&](const std::string& name) {
            auto it = known.find(name);
            if (it == known.end()) {
                std::string help =
                    TEncoderProcess::Capture(ffmpeg, {"-hide_banner", "-h", "encoder=" + name});
                it = known.emplace(name, help.find("Encoder " + name) != std::string::npos).first;
            }
            return it->second;
        };
        TFfmpegPlan plan = TFfmpegArguments::Build(cmd, clip, TEncoderProcess::ProgressFd, hasEncoder);
        for (const auto& n : plan.notices) {
            Message(n);
        }

        TEncoderProcess run;
        int code = run.Run(ffmpeg, plan.arguments);
        if (code == 0 && !run.StopRequested()) {
            std::string early = EndedEarly(run, plan);
            if (!early.empty()) {
                Message(early);
                return 1;
            }
        }
        if (code != 0) {
            Message(run.StopRequested() ? "stopped; the output holds what was converted so far"
                                        : "ffmpeg failed with exit status " + std::to_string(code));
        }
        return code;
    } catch (const TEncoderError& e) {
        Message(e.what());
        return e.ExitCode();
    } catch (const std::exception& e) {
        Message(std::string("unexpected error: ") + e.what());
        return 1;
    }
}
