// libm9s.exe: the converter's encoder. Reads the legacy ffmpeg-style command line and an
// AviSynth input, runs ffmpeg 5.1 and reports progress with the converter's markers.
#include "TAvsScript.h"
#include "TEncoderError.h"
#include "TEncoderList.h"
#include "TEncoderProcess.h"
#include "TFfmpegArguments.h"
#include "TInputCheck.h"
#include "TLegacyCommand.h"
#include "TOutputCheck.h"
#include "TSourceProbe.h"

#include <fcntl.h>
#include <map>
#include <unistd.h>

namespace {

// ffmpeg answers its own queries at once; one that takes longer hangs.
constexpr int QueryTimeoutMs = 5000;

void Message(const std::string& text)
{
    std::string line = "libm9s: " + text + "\n";
    [[maybe_unused]] ssize_t n = write(2, line.data(), line.size());
}

std::string FfmpegOrFail()
{
    std::string ffmpeg = TEncoderProcess::FindFfmpeg();
    if (ffmpeg.empty()) {
        throw TEncoderError("ffmpeg was found neither beside libm9s.exe nor on PATH", 127);
    }
    return ffmpeg;
}

// --encoders: the codec names a profile may carry that the ffmpeg a conversion would run can
// write, one a line.
int ListEncoders()
{
    const std::string ffmpeg = FfmpegOrFail();
    TCaptured answer = TEncoderProcess::Capture(ffmpeg, {"-hide_banner", "-encoders"}, QueryTimeoutMs);
    if (answer.timedOut) {
        throw TEncoderError(ffmpeg + " did not answer -encoders within " +
                            std::to_string(QueryTimeoutMs / 1000) + " s and was stopped");
    }
    auto encoders = TEncoderList::Parse(answer.output);
    if (answer.status != 0 || !encoders) {
        throw TEncoderError(
            ffmpeg + " -encoders gave no encoder list" +
            (answer.status != 0 ? " (exit status " + std::to_string(answer.status) + ")" : ""));
    }
    std::string text;
    for (const auto& name : TEncoderList::ProfileNames(*encoders)) {
        text += name + "\n";
    }
    return write(1, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
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
        if (args == std::vector<std::string>{"--encoders"}) {
            return ListEncoders();
        }
        TLegacyCommand cmd = TLegacyCommand::Parse(args);
        const std::string ffmpeg = FfmpegOrFail();

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
                TCaptured help = TEncoderProcess::Capture(ffmpeg, {"-hide_banner", "-h", "encoder=" + name},
                                                          QueryTimeoutMs);
                it = known.emplace(name, help.output.find("Encoder " + name) != std::string::npos).first;
            }
            return it->second;
        };
        // ffprobe costs about as much as starting ffmpeg, so the source is asked at most once and
        // only where the answer matters.
        std::optional<std::optional<TSourceProbe>> probed;
        auto probe = [&]() -> const TSourceProbe* {
            if (!probed) {
                probed = TSourceProbe::Run(TEncoderProcess::FindFfprobe(ffmpeg), source);
            }
            return *probed ? &**probed : nullptr;
        };
        auto coverQuery = [&]() -> const TSourceProbe* {
            return TSourceProbe::MayHoldCover(source) ? probe() : nullptr;
        };
        TFfmpegPlan plan =
            TFfmpegArguments::Build(cmd, clip, TEncoderProcess::ProgressFd, hasEncoder, coverQuery);
        for (const auto& n : plan.notices) {
            Message(n);
        }

        TEncoderProcess run;
        int code = run.Run(ffmpeg, plan.arguments);
        if (code == 0 && !run.StopRequested()) {
            const TProgressMarkers& m = run.Markers();
            std::string early = TOutputCheck::EndedEarly(
                m.LastTime(), m.DurationEstimated() ? std::nullopt : m.Duration(), plan, probe);
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
