// Runs ffmpeg as a child that cannot outlive the adapter, relays its messages to standard
// error and its progress as markers to standard output, and obeys "q" and "quit" on standard
// input: "q" lets ffmpeg finish the file it has written so far, "quit" ends it for good.
#pragma once

#include "TProgressMarkers.h"

#include <string>
#include <vector>

// What a short query of ffmpeg or ffprobe gave.
struct TCaptured
{
    std::string output; // standard output
    int status = -1;    // exit status; -1 when it could not start, died by a signal or was killed
    bool timedOut = false;
};

class TEncoderProcess
{
public:
    // The descriptor ffmpeg writes its -progress output to.
    static constexpr int ProgressFd = 3;

    // ffmpeg beside the adapter's own executable first, then on PATH; empty when there is none.
    static std::string FindFfmpeg();
    // ffprobe from the folder of the ffmpeg that runs (never a stranger of another version);
    // empty when there is none.
    static std::string FindFfprobe(const std::string& ffmpeg);
    // Runs a short query with its standard error discarded. A query still running after
    // timeoutMs is killed with everything it started.
    static TCaptured Capture(const std::string& program, const std::vector<std::string>& args, int timeoutMs);

    // Runs ffmpeg to its end; gives the adapter's exit status (ffmpeg's own, 128 + signal when it
    // died by a signal, never 0 after a stop).
    int Run(const std::string& ffmpeg, const std::vector<std::string>& args);

    const TProgressMarkers& Markers() const { return markers_; }
    bool StopRequested() const { return stopRequested_; }

private:
    TProgressMarkers markers_;
    bool stopRequested_ = false;
};
