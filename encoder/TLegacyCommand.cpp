#include "TLegacyCommand.h"

#include "TEncoderError.h"

#include <algorithm>

const std::vector<TLegacyOptionInfo>& TLegacyCommand::OptionTable()
{
    static const std::vector<TLegacyOptionInfo> table = {
        {"i", true},
        {"y", false},
        {"f", true},
        {"t", true},
        {"ss", true},
        {"vn", false},
        {"title", true},
        {"author", true},
        {"copyright", true},
        {"comment", true},
        {"target", true},
        {"hq", false},
        {"itsoffset", true},
        {"b", true},
        {"r", true},
        {"s", true},
        {"aspect", true},
        {"croptop", true},
        {"cropbottom", true},
        {"padtop", true},
        {"padbottom", true},
        {"padleft", true},
        {"padright", true},
        {"padcolor", true},
        {"bt", true},
        {"maxrate", true},
        {"minrate", true},
        {"bufsize", true},
        {"vcodec", true},
        {"sameq", false},
        {"pass", true},
        {"passlogfile", true},
        {"g", true},
        {"intra", false},
        {"qscale", true},
        {"qmin", true},
        {"qmax", true},
        {"qdiff", true},
        {"qblur", true},
        {"qcomp", true},
        {"rc_init_cplx", true},
        {"b_qfactor", true},
        {"i_qfactor", true},
        {"b_qoffset", true},
        {"i_qoffset", true},
        {"rc_eq", true},
        {"me", true},
        {"dct_algo", true},
        {"idct_algo", true},
        {"er", true},
        {"ec", true},
        {"bf", true},
        {"mdb", true},
        {"4mv", false},
        {"part", false},
        {"bug", true},
        {"strict", true},
        {"aic", false},
        {"umv", false},
        {"deinterlace", false},
        {"interlace", false},
        {"psnr", false},
        {"vstats", false},
        {"vhook", true},
        {"vtag", true},
        {"ab", true},
        {"ar", true},
        {"ac", true},
        {"an", false},
        {"acodec", true},
        {"vd", true},
        {"vc", true},
        {"tvstd", true},
        {"dv1394", false},
        {"av", true},
        {"map", true},
        {"debug", false},
        {"benchmark", false},
        {"hex", false},
        {"bitexact", false},
        {"ps", true},
        {"re", false},
        {"loop", false},
    };
    return table;
}

const TLegacyOptionInfo* TLegacyCommand::FindOption(std::string_view name)
{
    for (const auto& info : OptionTable()) {
        if (name == info.name) {
            return &info;
        }
    }
    return nullptr;
}

namespace {

bool LooksLikeOption(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-';
}

// True when args[from..] are nothing but known options with their values.
bool OnlyOptionsFrom(const std::vector<std::string>& args, size_t from)
{
    size_t i = from;
    while (i < args.size()) {
        if (!LooksLikeOption(args[i])) {
            return false;
        }
        const TLegacyOptionInfo* info = TLegacyCommand::FindOption(std::string_view(args[i]).substr(1));
        if (!info) {
            return false;
        }
        i += info->hasValue ? 2 : 1;
    }
    return i == args.size();
}

} // namespace

TLegacyCommand TLegacyCommand::Parse(const std::vector<std::string>& args)
{
    TLegacyCommand cmd;
    std::vector<std::string> plain;
    bool haveInput = false;
    size_t i = 0;
    while (i < args.size()) {
        const std::string& arg = args[i];
        if (arg == "--") {
            // Everything after it is a file name, even when it begins with a dash.
            plain.insert(plain.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (!LooksLikeOption(arg)) {
            plain.push_back(arg);
            ++i;
            continue;
        }
        const TLegacyOptionInfo* info = FindOption(std::string_view(arg).substr(1));
        if (!info) {
            // An output file whose name begins with a dash: nothing but known options follow it.
            if (plain.empty() && OnlyOptionsFrom(args, i + 1)) {
                plain.push_back(arg);
                ++i;
                continue;
            }
            throw TEncoderError("unknown option " + arg);
        }
        std::string value;
        if (info->hasValue) {
            if (i + 1 >= args.size()) {
                throw TEncoderError("option " + arg + " needs a value");
            }
            value = args[i + 1];
            i += 2;
        } else {
            ++i;
        }
        if (std::string_view(info->name) == "i") {
            if (haveInput) {
                throw TEncoderError("more than one input file (-i) is not supported");
            }
            if (value.empty()) {
                throw TEncoderError("the input file name (-i) is empty");
            }
            haveInput = true;
            cmd.inputFile = value;
        } else {
            cmd.options.push_back({info->name, value});
        }
    }
    if (!haveInput) {
        throw TEncoderError("no input file given (-i)");
    }
    if (plain.empty()) {
        throw TEncoderError("no output file given");
    }
    if (plain.size() > 1) {
        throw TEncoderError("unexpected argument '" + plain.front() +
                            "' (only one output file is supported)");
    }
    if (plain.back().empty()) {
        throw TEncoderError("the output file name is empty");
    }
    cmd.outputFile = plain.back();
    return cmd;
}

bool TLegacyCommand::Has(std::string_view name) const
{
    return std::any_of(options.begin(), options.end(), [&](const TOption& o) { return o.name == name; });
}

std::string TLegacyCommand::Value(std::string_view name) const
{
    for (auto it = options.rbegin(); it != options.rend(); ++it) {
        if (it->name == name) {
            return it->value;
        }
    }
    return {};
}
