// Runs ffmpeg as a child that cannot outlive the adapter, relays its messages to standard
// error and its progress as markers to standard output, and obeys "q" and "quit" on standard
// input: "q" lets ffmpeg finish the file it has written so far, "quit" ends it for good.
#pragma once

#include "TProgressMarkers.h"

#include <string>
#include <vector>

class TEncoderProcess
{
public:
    // The descriptor ffmpeg writes its -progress output to.
    static constexpr int ProgressFd = 3;

    // ffmpeg beside the adapter's own executable first, then on PATH; empty when there is none.
    static std::string FindFfmpeg();
    // Runs a short ffmpeg query and gives its standard output (empty on any failure).
    static std::string Capture(const std::string& program, const std::vector<std::string>& args);

    // Runs ffmpeg to its end; gives the adapter's exit status (ffmpeg's own, 128 + signal when it
    // died by a signal, never 0 after a stop).
    int Run(const std::string& ffmpeg, const std::vector<std::string>& args);

    const TProgressMarkers& Markers() const { return markers_; }
    bool StopRequested() const { return stopRequested_; }

private:
    TProgressMarkers markers_;
    bool stopRequested_ = false;
};
