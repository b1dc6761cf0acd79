// The legacy ffmpeg-style command line the program hands to libm9s.exe: every option as
// given, in order, with the input and the output file picked out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TLegacyOptionInfo
{
    const char* name; // without the leading dash
    bool hasValue;
};

class TLegacyCommand
{
public:
    struct TOption
    {
        std::string name;
        std::string value; // empty for flags
    };

    // The 83 options of the legacy vocabulary (the output file is the 84th, a plain argument).
    static const std::vector<TLegacyOptionInfo>& OptionTable();
    static const TLegacyOptionInfo* FindOption(std::string_view name);

    // Options may come in any order; the output file is the one plain argument, normally the
    // last, and options may follow it (" -vtag MP4S" is appended after the output).
    // Throws TEncoderError on an unknown option, a missing value, no input or no output.
    static TLegacyCommand Parse(const std::vector<std::string>& args);

    bool Has(std::string_view name) const;
    // The value of the last occurrence; empty when not given.
    std::string Value(std::string_view name) const;

    std::string inputFile;
    std::string outputFile;
    std::vector<TOption> options; // everything but -i, in command-line order
};
