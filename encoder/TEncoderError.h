// An error the adapter reports on standard error before it exits with a failure status.
#pragma once

#include <stdexcept>
#include <string>

class TEncoderError : public std::runtime_error
{
public:
    explicit TEncoderError(const std::string& message, int exitCode = 1)
        : std::runtime_error(message), exitCode_(exitCode)
    {
    }
    int ExitCode() const { return exitCode_; }

private:
    int exitCode_;
};
