#include "TAvsScript.h"

#include "TAvsLexer.h"
#include "TEncoderError.h"
#include "TText.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <variant>

namespace fs = std::filesystem;

namespace {

using TValue = std::variant<std::monostate, long long, double, bool, std::string, TAvsClip>;

struct TArgs
{
    std::vector<TValue> positional;
    std::map<std::string, TValue> named; // lower-case names
};

struct TEnv
{
    std::map<std::string, TValue> vars; // lower-case names
    std::optional<TAvsClip> last;
    int depth = 0;
};

class TEvaluator
{
public:
    TEvaluator(std::vector<TAvsToken> tokens, std::string baseFolder, std::string name, TEnv& env)
        : t_(std::move(tokens)), base_(std::move(baseFolder)), name_(std::move(name)), env_(env)
    {
    }

    // Runs the statements; gives the value of "return", else "last".
    TValue Run()
    {
        while (Cur().kind != TAvsTok::End) {
            if (Cur().kind == TAvsTok::Newline) {
                ++p_;
                continue;
            }
            if (Cur().kind == TAvsTok::Ident && TText::Lower(Cur().text) == "return") {
                ++p_;
                TValue v = Expr();
                EndOfStatement();
                return v;
            }
            if (Cur().kind == TAvsTok::Ident && Next().kind == TAvsTok::Assign) {
                std::string var = TText::Lower(Cur().text);
                p_ += 2;
                TValue v = Expr();
                EndOfStatement();
                if (var == "last") {
                    if (!std::holds_alternative<TAvsClip>(v)) {
                        Fail("'last' must be a clip");
                    }
                    env_.last = std::get<TAvsClip>(v);
                } else {
                    env_.vars[var] = v;
                }
                continue;
            }
            TValue v = Expr();
            EndOfStatement();
            if (std::holds_alternative<TAvsClip>(v)) {
                env_.last = std::get<TAvsClip>(v);
            }
        }
        if (env_.last) {
            return *env_.last;
        }
        return {};
    }

private:
    const TAvsToken& Cur() const { return t_[p_]; }
    const TAvsToken& Next() const { return t_[std::min(p_ + 1, t_.size() - 1)]; }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw TEncoderError("syntax error in script " + name_ + ", line " + std::to_string(Cur().line) +
                            ": " + what);
    }
    [[noreturn]] void Unsupported(const std::string& what, int line) const
    {
        throw TEncoderError("script " + name_ + ", line " + std::to_string(line) + ": " + what);
    }

    void EndOfStatement()
    {
        if (Cur().kind != TAvsTok::Newline && Cur().kind != TAvsTok::End) {
            Fail("unexpected '" + Cur().text + "'");
        }
    }

    void Expect(TAvsTok kind, const char* what)
    {
        if (Cur().kind != kind) {
            Fail(std::string("expected ") + what +
                 (Cur().text.empty() ? " at end of line" : " before '" + Cur().text + "'"));
        }
        ++p_;
    }

    TValue Expr()
    {
        TValue v = Primary();
        while (Cur().kind == TAvsTok::Dot) {
            ++p_;
            if (Cur().kind != TAvsTok::Ident) {
                Fail("expected a function name after '.'");
            }
            std::string fn = Cur().text;
            int line = Cur().line;
            ++p_;
            TArgs args = OptionalArgs();
            args.positional.insert(args.positional.begin(), v);
            v = Call(fn, args, line);
        }
        return v;
    }

    TArgs OptionalArgs()
    {
        TArgs args;
        if (Cur().kind != TAvsTok::LParen) {
            return args;
        }
        ++p_;
        if (Cur().kind == TAvsTok::RParen) {
            ++p_;
            return args;
        }
        while (true) {
            if (Cur().kind == TAvsTok::Ident && Next().kind == TAvsTok::Assign) {
                std::string key = TText::Lower(Cur().text);
                p_ += 2;
                args.named[key] = Expr();
            } else {
                if (!args.named.empty()) {
                    Fail("a plain argument follows a named one");
                }
                args.positional.push_back(Expr());
            }
            if (Cur().kind == TAvsTok::Comma) {
                ++p_;
                continue;
            }
            Expect(TAvsTok::RParen, "')'");
            return args;
        }
    }

    TValue Primary()
    {
        const TAvsToken tok = Cur();
        switch (tok.kind) {
        case TAvsTok::String:
            ++p_;
            return tok.text;
        case TAvsTok::Number:
            ++p_;
            return Number(tok.text, false);
        case TAvsTok::Minus:
            ++p_;
            if (Cur().kind != TAvsTok::Number) {
                Fail("only numbers can be negated");
            }
            ++p_;
            return Number(t_[p_ - 1].text, true);
        case TAvsTok::LParen: {
            ++p_;
            TValue v = Expr();
            Expect(TAvsTok::RParen, "')'");
            return v;
        }
        case TAvsTok::Ident: {
            ++p_;
            std::string lower = TText::Lower(tok.text);
            if (Cur().kind != TAvsTok::LParen) {
                if (lower == "true" || lower == "yes") {
                    return true;
                }
                if (lower == "false" || lower == "no") {
                    return false;
                }
                if (lower == "last") {
                    if (!env_.last) {
                        Unsupported("'last' is used before any clip was made", tok.line);
                    }
                    return *env_.last;
                }
                auto it = env_.vars.find(lower);
                if (it != env_.vars.end()) {
                    return it->second;
                }
            }
            TArgs args = OptionalArgs();
            return Call(tok.text, args, tok.line);
        }
        default:
            Fail(tok.text.empty() ? "unexpected end of line" : "unexpected '" + tok.text + "'");
        }
    }

    TValue Number(const std::string& text, bool negative)
    {
        try {
            if (text[0] == '$') {
                return static_cast<long long>(std::stoll(text.substr(1), nullptr, 16));
            }
            if (std::count(text.begin(), text.end(), '.') > 1) {
                Fail("malformed number '" + text + "'");
            }
            if (text.find('.') != std::string::npos) {
                double d = std::stod(text);
                return negative ? -d : d;
            }
            long long n = std::stoll(text);
            return negative ? -n : n;
        } catch (const std::logic_error&) {
            // stoll and stod throw invalid_argument or out_of_range, both logic errors
            Fail("malformed number '" + text + "'");
        }
    }

    // One call as the handlers see it. For filters, clip is the clip worked on (the first
    // argument, or "last") and no longer among the arguments.
    struct TCall
    {
        std::string name; // as written, for messages
        TArgs args;
        int line;
        const char* data; // the table's entry: filter graph entries, resize flags
        TAvsClip clip;
    };
    using THandler = TValue (TEvaluator::*)(TCall&);
    struct TFunction
    {
        THandler handler;
        bool filter; // works on a clip
        const char* data;
    };

    // Every function of the subset by its lower-case name.
    static const TFunction* Find(const std::string& fn)
    {
        static const std::map<std::string, TFunction> table = {
            {"directshowsource", {&TEvaluator::DirectShowSource, false, nullptr}},
            {"avisource", {&TEvaluator::AviSource, false, nullptr}},
            {"avifilesource", {&TEvaluator::AviSource, false, nullptr}},
            {"opendmlsource", {&TEvaluator::AviSource, false, nullptr}},
            {"ffmpegsource2", {&TEvaluator::FFmpegSource2, false, nullptr}},
            {"ffms2", {&TEvaluator::FFmpegSource2, false, nullptr}},
            {"ffvideosource", {&TEvaluator::VideoSource, false, nullptr}},
            {"lwlibavvideosource", {&TEvaluator::VideoSource, false, nullptr}},
            {"lsmashvideosource", {&TEvaluator::VideoSource, false, nullptr}},
            {"ffaudiosource", {&TEvaluator::AudioSource, false, nullptr}},
            {"lwlibavaudiosource", {&TEvaluator::AudioSource, false, nullptr}},
            {"lsmashaudiosource", {&TEvaluator::AudioSource, false, nullptr}},
            {"wavsource", {&TEvaluator::AudioSource, false, nullptr}},
            {"import", {&TEvaluator::Import, false, nullptr}},
            // Housekeeping of a Windows AviSynth set-up; nothing to do here.
            {"loadplugin", {&TEvaluator::Nothing, false, nullptr}},
            {"loadcplugin", {&TEvaluator::Nothing, false, nullptr}},
            {"load_stdcall_plugin", {&TEvaluator::Nothing, false, nullptr}},
            {"loadvirtualdubplugin", {&TEvaluator::Nothing, false, nullptr}},
            {"setmemorymax", {&TEvaluator::Nothing, false, nullptr}},
            {"setmtmode", {&TEvaluator::Nothing, false, nullptr}},
            {"setfiltermtmode", {&TEvaluator::Nothing, false, nullptr}},
            {"turnleft", {&TEvaluator::AddFilters, true, "transpose=2"}},
            {"turnright", {&TEvaluator::AddFilters, true, "transpose=1"}},
            {"turn180", {&TEvaluator::AddFilters, true, "hflip,vflip"}},
            {"fliphorizontal", {&TEvaluator::AddFilters, true, "hflip"}},
            {"flipvertical", {&TEvaluator::AddFilters, true, "vflip"}},
            // Frame properties and threading: ffmpeg works them out itself.
            {"prefetch", {&TEvaluator::AddFilters, true, ""}},
            {"assumetff", {&TEvaluator::AddFilters, true, ""}},
            {"assumebff", {&TEvaluator::AddFilters, true, ""}},
            {"assumeframebased", {&TEvaluator::AddFilters, true, ""}},
            {"killaudio", {&TEvaluator::KillAudio, true, nullptr}},
            {"killvideo", {&TEvaluator::KillVideo, true, nullptr}},
            {"crop", {&TEvaluator::Crop, true, nullptr}},
            {"bilinearresize", {&TEvaluator::Resize, true, "bilinear"}},
            {"bicubicresize", {&TEvaluator::Resize, true, "bicubic"}},
            {"lanczosresize", {&TEvaluator::Resize, true, "lanczos"}},
            {"lanczos4resize", {&TEvaluator::Resize, true, "lanczos"}},
            {"spline16resize", {&TEvaluator::Resize, true, "spline"}},
            {"spline36resize", {&TEvaluator::Resize, true, "spline"}},
            {"spline64resize", {&TEvaluator::Resize, true, "spline"}},
            {"pointresize", {&TEvaluator::Resize, true, "neighbor"}},
            {"gaussresize", {&TEvaluator::Resize, true, "gauss"}},
            {"blackmanresize", {&TEvaluator::Resize, true, "lanczos"}},
            {"changefps", {&TEvaluator::ChangeFps, true, nullptr}},
            {"convertfps", {&TEvaluator::ChangeFps, true, nullptr}},
        };
        // ConvertToRGB32, ConvertToYV12 ...: ffmpeg converts pixel formats as the encoder needs them.
        static const TFunction convert = {&TEvaluator::AddFilters, true, ""};
        auto it = table.find(fn);
        if (it != table.end()) {
            return &it->second;
        }
        return fn.rfind("convertto", 0) == 0 ? &convert : nullptr;
    }

    TValue Call(const std::string& name, TArgs& args, int line)
    {
        const TFunction* f = Find(TText::Lower(name));
        if (!f) {
            Unsupported("unsupported function " + name, line);
        }
        TCall call{name, std::move(args), line, f->data, {}};
        if (f->filter) {
            // The clip comes first, or "last" when none is given.
            auto& positional = call.args.positional;
            if (!positional.empty() && std::holds_alternative<TAvsClip>(positional.front())) {
                call.clip = std::get<TAvsClip>(positional.front());
                positional.erase(positional.begin());
            } else if (env_.last) {
                call.clip = *env_.last;
            } else {
                Unsupported(name + " has no clip to work on", line);
            }
        }
        return (this->*f->handler)(call);
    }

    // Sources.

    TValue DirectShowSource(TCall& c)
    {
        TAvsClip clip = Source(c, "filename");
        clip.audio = BoolArg(c, 3, "audio", true);
        clip.video = BoolArg(c, 4, "video", true);
        clip.constantFrameRate = BoolArg(c, 5, "convertfps", false);
        if (auto fps = NumberArg(c, 1, "fps")) {
            clip.videoFilters.push_back("fps=" + Rate(*fps));
        }
        return clip;
    }

    TValue AviSource(TCall& c)
    {
        const auto& positional = c.args.positional;
        if (positional.size() > 1 && std::holds_alternative<std::string>(positional[1])) {
            Unsupported(c.name + " with more than one file is not supported", c.line);
        }
        TAvsClip clip = Source(c, "filename");
        clip.audio = BoolArg(c, 1, "audio", true);
        return clip;
    }

    TValue FFmpegSource2(TCall& c)
    {
        TAvsClip clip = Source(c, "source");
        // FFmpegSource2 leaves the audio out unless an audio track is asked for.
        const TValue* atrack = Arg(c.args, 2, "atrack");
        clip.audio =
            atrack && !(std::holds_alternative<long long>(*atrack) && std::get<long long>(*atrack) == -2);
        return clip;
    }

    TValue VideoSource(TCall& c)
    {
        TAvsClip clip = Source(c, "source");
        clip.audio = false;
        return clip;
    }

    TValue AudioSource(TCall& c)
    {
        TAvsClip clip = Source(c, "source");
        clip.video = false;
        return clip;
    }

    // Runs another script in the same context.
    TValue Import(TCall& c)
    {
        fs::path p = Resolve(StringArg(c, 0, "filename"));
        if (env_.depth >= 8) {
            Unsupported("Import is nested too deeply", c.line);
        }
        std::error_code ec;
        if (!fs::is_regular_file(p, ec)) {
            Unsupported("Import names a file that does not exist: " + p.string(), c.line);
        }
        std::ifstream in(p, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        ++env_.depth;
        TEvaluator inner(TAvsLexer::Tokens(text.str(), p.string()), p.parent_path().string(), p.string(),
                         env_);
        TValue v = inner.Run();
        --env_.depth;
        return v;
    }

    TValue Nothing(TCall&) { return {}; }

    // Filters.

    // The table's comma-separated filter graph entries, in order; none for calls without effect.
    TValue AddFilters(TCall& c)
    {
        std::string entries = c.data;
        size_t start = 0;
        while (start < entries.size()) {
            size_t comma = entries.find(',', start);
            c.clip.videoFilters.push_back(entries.substr(start, comma - start));
            start = comma == std::string::npos ? entries.size() : comma + 1;
        }
        return c.clip;
    }

    TValue KillAudio(TCall& c)
    {
        c.clip.audio = false;
        return c.clip;
    }

    TValue KillVideo(TCall& c)
    {
        c.clip.video = false;
        return c.clip;
    }

    // Crop(left, top, width, height): width and height of 0 or less count from the right and bottom.
    TValue Crop(TCall& c)
    {
        long long l = IntArg(c, 0, "left"), t = IntArg(c, 1, "top");
        long long w = IntArg(c, 2, "width"), h = IntArg(c, 3, "height");
        if (l < 0 || t < 0) {
            Unsupported("Crop needs left and top of 0 or more", c.line);
        }
        std::string ws = w > 0 ? std::to_string(w) : "iw-" + std::to_string(l - w);
        std::string hs = h > 0 ? std::to_string(h) : "ih-" + std::to_string(t - h);
        c.clip.videoFilters.push_back("crop=" + ws + ":" + hs + ":" + std::to_string(l) + ":" +
                                      std::to_string(t));
        return c.clip;
    }

    TValue Resize(TCall& c)
    {
        long long w = IntArg(c, 0, "target_width"), h = IntArg(c, 1, "target_height");
        if (w <= 0 || h <= 0) {
            Unsupported(c.name + " needs a positive width and height", c.line);
        }
        c.clip.videoFilters.push_back("scale=" + std::to_string(w) + ":" + std::to_string(h) +
                                      ":flags=" + c.data);
        return c.clip;
    }

    TValue ChangeFps(TCall& c)
    {
        auto fps = NumberArg(c, 0, "numerator");
        if (!fps || *fps <= 0) {
            Unsupported(c.name + " needs a positive frame rate", c.line);
        }
        c.clip.videoFilters.push_back("fps=" + Rate(*fps));
        return c.clip;
    }

    // Argument helpers: by position or by name.

    static const TValue* Arg(const TArgs& a, size_t index, const char* name)
    {
        auto it = a.named.find(name);
        if (it != a.named.end()) {
            return &it->second;
        }
        return index < a.positional.size() ? &a.positional[index] : nullptr;
    }

    std::string StringArg(const TCall& c, size_t index, const char* name) const
    {
        const TValue* v = Arg(c.args, index, name);
        if (!v || !std::holds_alternative<std::string>(*v)) {
            Unsupported(c.name + " needs a file name", c.line);
        }
        return std::get<std::string>(*v);
    }

    bool BoolArg(const TCall& c, size_t index, const char* name, bool def) const
    {
        const TValue* v = Arg(c.args, index, name);
        if (!v) {
            return def;
        }
        if (!std::holds_alternative<bool>(*v)) {
            Unsupported(std::string("argument ") + name + " of " + c.name + " must be true or false", c.line);
        }
        return std::get<bool>(*v);
    }

    std::optional<double> NumberArg(const TCall& c, size_t index, const char* name) const
    {
        const TValue* v = Arg(c.args, index, name);
        if (!v) {
            return std::nullopt;
        }
        if (std::holds_alternative<long long>(*v)) {
            return static_cast<double>(std::get<long long>(*v));
        }
        if (std::holds_alternative<double>(*v)) {
            return std::get<double>(*v);
        }
        Unsupported(std::string("argument ") + name + " of " + c.name + " must be a number", c.line);
    }

    long long IntArg(const TCall& c, size_t index, const char* name) const
    {
        const TValue* v = Arg(c.args, index, name);
        if (!v || !std::holds_alternative<long long>(*v)) {
            Unsupported(c.name + " needs a whole number for " + name, c.line);
        }
        return std::get<long long>(*v);
    }

    // Relative paths are taken from the script's folder.
    fs::path Resolve(const std::string& file) const
    {
        fs::path p(file);
        return p.is_relative() ? fs::path(base_) / p : p;
    }

    // The clip of a source call's file (the first argument or the named one).
    TAvsClip Source(const TCall& c, const char* name) const
    {
        const std::string file = StringArg(c, 0, name);
        fs::path p = Resolve(file);
        std::error_code ec;
        if (!fs::is_regular_file(p, ec)) {
            Unsupported(c.name + " names a file that does not exist: " + file, c.line);
        }
        TAvsClip clip;
        clip.sourceFile = p.string();
        return clip;
    }

    static std::string Rate(double fps)
    {
        std::ostringstream s;
        s << fps;
        return s.str();
    }

    std::vector<TAvsToken> t_;
    size_t p_ = 0;
    std::string base_;
    std::string name_;
    TEnv& env_;
};

} // namespace

TAvsClip TAvsScript::Evaluate(const std::string& text, const std::string& baseFolder,
                              const std::string& scriptName)
{
    TEnv env;
    TEvaluator eval(TAvsLexer::Tokens(text, scriptName), baseFolder, scriptName, env);
    TValue v = eval.Run();
    if (!std::holds_alternative<TAvsClip>(v)) {
        throw TEncoderError("script " + scriptName + " does not give a clip");
    }
    TAvsClip clip = std::get<TAvsClip>(v);
    if (!clip.video && !clip.audio) {
        throw TEncoderError("script " + scriptName + " gives a clip with neither video nor audio");
    }
    return clip;
}

TAvsClip TAvsScript::Load(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw TEncoderError("input file does not exist: " + path);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw TEncoderError("cannot read the script " + path);
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string folder = fs::absolute(fs::path(path), ec).parent_path().string();
    return Evaluate(text.str(), folder, path);
}
