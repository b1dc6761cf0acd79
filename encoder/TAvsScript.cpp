#include "TAvsScript.h"

#include "TEncoderError.h"

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

enum class TTok
{
    Ident,
    String,
    Number,
    LParen,
    RParen,
    Comma,
    Assign,
    Dot,
    Minus,
    Newline,
    End
};

struct TToken
{
    TTok kind;
    std::string text;
    int line;
};

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

class TLexer
{
public:
    TLexer(const std::string& text, const std::string& name) : s_(text), name_(name) {}

    std::vector<TToken> Run()
    {
        std::vector<TToken> out;
        if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            pos_ = 3; // editors on Windows like to start UTF-8 files with a byte-order mark
        }
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '#') {
                while (pos_ < s_.size() && s_[pos_] != '\n') {
                    ++pos_;
                }
            } else if (c == '/' && Peek(1) == '*') {
                SkipBlock("*/");
            } else if (c == '[' && Peek(1) == '*') {
                SkipBlock("*]");
            } else if (c == '\\') {
                // A trailing backslash joins the next line to this one.
                size_t p = pos_ + 1;
                while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t' || s_[p] == '\r')) {
                    ++p;
                }
                if (p < s_.size() && s_[p] != '\n') {
                    Fail("unexpected '\\'");
                }
                pos_ = p + 1;
                ++line_;
            } else if (c == '\n') {
                ++pos_;
                ++line_;
                // A line beginning with a backslash continues the previous one.
                size_t p = pos_;
                while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t')) {
                    ++p;
                }
                if (p < s_.size() && s_[p] == '\\') {
                    pos_ = p + 1;
                } else {
                    out.push_back({TTok::Newline, "", line_ - 1});
                }
            } else if (c == '"') {
                out.push_back({TTok::String, ReadString(), line_});
            } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                       (c == '.' && std::isdigit(static_cast<unsigned char>(Peek(1))))) {
                size_t start = pos_;
                while (pos_ < s_.size() &&
                       (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.')) {
                    ++pos_;
                }
                out.push_back({TTok::Number, s_.substr(start, pos_ - start), line_});
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
                size_t start = pos_;
                while (pos_ < s_.size() &&
                       (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) {
                    ++pos_;
                }
                out.push_back({TTok::Ident, s_.substr(start, pos_ - start), line_});
            } else if (c == '$') {
                // Hexadecimal colour constants such as $000000.
                size_t start = pos_++;
                while (pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
                    ++pos_;
                }
                out.push_back({TTok::Number, s_.substr(start, pos_ - start), line_});
            } else {
                TTok kind;
                switch (c) {
                case '(':
                    kind = TTok::LParen;
                    break;
                case ')':
                    kind = TTok::RParen;
                    break;
                case ',':
                    kind = TTok::Comma;
                    break;
                case '.':
                    kind = TTok::Dot;
                    break;
                case '-':
                    kind = TTok::Minus;
                    break;
                case '=':
                    if (Peek(1) == '=') {
                        Fail("operator '==' is not supported");
                    }
                    kind = TTok::Assign;
                    break;
                default:
                    Fail(std::string("unexpected character '") + c + "'");
                }
                out.push_back({kind, std::string(1, c), line_});
                ++pos_;
            }
        }
        out.push_back({TTok::Newline, "", line_});
        out.push_back({TTok::End, "", line_});
        return out;
    }

private:
    char Peek(size_t ahead) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw TEncoderError("syntax error in script " + name_ + ", line " + std::to_string(line_) + ": " +
                            what);
    }

    void SkipBlock(const char* close)
    {
        size_t end = s_.find(close, pos_ + 2);
        if (end == std::string::npos) {
            Fail("unterminated comment");
        }
        line_ += static_cast<int>(
            std::count(s_.begin() + static_cast<long>(pos_), s_.begin() + static_cast<long>(end), '\n'));
        pos_ = end + 2;
    }

    std::string ReadString()
    {
        if (s_.compare(pos_, 3, "\"\"\"") == 0) {
            size_t end = s_.find("\"\"\"", pos_ + 3);
            if (end == std::string::npos) {
                Fail("unterminated string");
            }
            std::string v = s_.substr(pos_ + 3, end - pos_ - 3);
            pos_ = end + 3;
            return v;
        }
        size_t end = s_.find('"', pos_ + 1);
        size_t nl = s_.find('\n', pos_ + 1);
        if (end == std::string::npos || (nl != std::string::npos && nl < end)) {
            Fail("unterminated string");
        }
        std::string v = s_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        return v;
    }

    const std::string& s_;
    std::string name_;
    size_t pos_ = 0;
    int line_ = 1;
};

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
    TEvaluator(std::vector<TToken> tokens, std::string baseFolder, std::string name, TEnv& env)
        : t_(std::move(tokens)), base_(std::move(baseFolder)), name_(std::move(name)), env_(env)
    {
    }

    // Runs the statements; gives the value of "return", else "last".
    TValue Run()
    {
        while (Cur().kind != TTok::End) {
            if (Cur().kind == TTok::Newline) {
                ++p_;
                continue;
            }
            if (Cur().kind == TTok::Ident && Lower(Cur().text) == "return") {
                ++p_;
                TValue v = Expr();
                EndOfStatement();
                return v;
            }
            if (Cur().kind == TTok::Ident && Next().kind == TTok::Assign) {
                std::string var = Lower(Cur().text);
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
    const TToken& Cur() const { return t_[p_]; }
    const TToken& Next() const { return t_[std::min(p_ + 1, t_.size() - 1)]; }

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
        if (Cur().kind != TTok::Newline && Cur().kind != TTok::End) {
            Fail("unexpected '" + Cur().text + "'");
        }
    }

    void Expect(TTok kind, const char* what)
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
        while (Cur().kind == TTok::Dot) {
            ++p_;
            if (Cur().kind != TTok::Ident) {
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
        if (Cur().kind != TTok::LParen) {
            return args;
        }
        ++p_;
        if (Cur().kind == TTok::RParen) {
            ++p_;
            return args;
        }
        while (true) {
            if (Cur().kind == TTok::Ident && Next().kind == TTok::Assign) {
                std::string key = Lower(Cur().text);
                p_ += 2;
                args.named[key] = Expr();
            } else {
                if (!args.named.empty()) {
                    Fail("a plain argument follows a named one");
                }
                args.positional.push_back(Expr());
            }
            if (Cur().kind == TTok::Comma) {
                ++p_;
                continue;
            }
            Expect(TTok::RParen, "')'");
            return args;
        }
    }

    TValue Primary()
    {
        const TToken tok = Cur();
        switch (tok.kind) {
        case TTok::String:
            ++p_;
            return tok.text;
        case TTok::Number:
            ++p_;
            return Number(tok.text, false);
        case TTok::Minus:
            ++p_;
            if (Cur().kind != TTok::Number) {
                Fail("only numbers can be negated");
            }
            ++p_;
            return Number(t_[p_ - 1].text, true);
        case TTok::LParen: {
            ++p_;
            TValue v = Expr();
            Expect(TTok::RParen, "')'");
            return v;
        }
        case TTok::Ident: {
            ++p_;
            std::string lower = Lower(tok.text);
            if (Cur().kind != TTok::LParen) {
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

    // Argument helpers: by position or by name.
    static const TValue* Arg(const TArgs& a, size_t index, const char* name)
    {
        auto it = a.named.find(name);
        if (it != a.named.end()) {
            return &it->second;
        }
        return index < a.positional.size() ? &a.positional[index] : nullptr;
    }

    std::string StringArg(const TArgs& a, size_t index, const char* name, const std::string& fn,
                          int line) const
    {
        const TValue* v = Arg(a, index, name);
        if (!v || !std::holds_alternative<std::string>(*v)) {
            Unsupported(fn + " needs a file name", line);
        }
        return std::get<std::string>(*v);
    }

    bool BoolArg(const TArgs& a, size_t index, const char* name, bool def, const std::string& fn,
                 int line) const
    {
        const TValue* v = Arg(a, index, name);
        if (!v) {
            return def;
        }
        if (!std::holds_alternative<bool>(*v)) {
            Unsupported(std::string("argument ") + name + " of " + fn + " must be true or false", line);
        }
        return std::get<bool>(*v);
    }

    std::optional<double> NumberArg(const TArgs& a, size_t index, const char* name, const std::string& fn,
                                    int line) const
    {
        const TValue* v = Arg(a, index, name);
        if (!v) {
            return std::nullopt;
        }
        if (std::holds_alternative<long long>(*v)) {
            return static_cast<double>(std::get<long long>(*v));
        }
        if (std::holds_alternative<double>(*v)) {
            return std::get<double>(*v);
        }
        Unsupported(std::string("argument ") + name + " of " + fn + " must be a number", line);
    }

    long long IntArg(const TArgs& a, size_t index, const char* name, const std::string& fn, int line) const
    {
        const TValue* v = Arg(a, index, name);
        if (!v || !std::holds_alternative<long long>(*v)) {
            Unsupported(fn + " needs a whole number for " + name, line);
        }
        return std::get<long long>(*v);
    }

    TAvsClip Source(const std::string& file, const std::string& fn, int line) const
    {
        fs::path p(file);
        if (p.is_relative()) {
            p = fs::path(base_) / p;
        }
        std::error_code ec;
        if (!fs::is_regular_file(p, ec)) {
            Unsupported(fn + " names a file that does not exist: " + file, line);
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

    TValue Call(const std::string& name, TArgs& args, int line)
    {
        const std::string fn = Lower(name);

        // Sources.
        if (fn == "directshowsource") {
            TAvsClip c = Source(StringArg(args, 0, "filename", name, line), name, line);
            c.audio = BoolArg(args, 3, "audio", true, name, line);
            c.video = BoolArg(args, 4, "video", true, name, line);
            c.constantFrameRate = BoolArg(args, 5, "convertfps", false, name, line);
            if (auto fps = NumberArg(args, 1, "fps", name, line)) {
                c.videoFilters.push_back("fps=" + Rate(*fps));
            }
            return c;
        }
        if (fn == "avisource" || fn == "avifilesource" || fn == "opendmlsource") {
            if (args.positional.size() > 1 && std::holds_alternative<std::string>(args.positional[1])) {
                Unsupported(name + " with more than one file is not supported", line);
            }
            TAvsClip c = Source(StringArg(args, 0, "filename", name, line), name, line);
            c.audio = BoolArg(args, 1, "audio", true, name, line);
            return c;
        }
        if (fn == "ffmpegsource2" || fn == "ffms2") {
            TAvsClip c = Source(StringArg(args, 0, "source", name, line), name, line);
            // FFmpegSource2 leaves the audio out unless an audio track is asked for.
            const TValue* atrack = Arg(args, 2, "atrack");
            c.audio =
                atrack && !(std::holds_alternative<long long>(*atrack) && std::get<long long>(*atrack) == -2);
            return c;
        }
        if (fn == "ffvideosource" || fn == "lwlibavvideosource" || fn == "lsmashvideosource") {
            TAvsClip c = Source(StringArg(args, 0, "source", name, line), name, line);
            c.audio = false;
            return c;
        }
        if (fn == "ffaudiosource" || fn == "lwlibavaudiosource" || fn == "lsmashaudiosource" ||
            fn == "wavsource") {
            TAvsClip c = Source(StringArg(args, 0, "source", name, line), name, line);
            c.video = false;
            return c;
        }
        if (fn == "import") {
            fs::path p(StringArg(args, 0, "filename", name, line));
            if (p.is_relative()) {
                p = fs::path(base_) / p;
            }
            if (env_.depth >= 8) {
                Unsupported("Import is nested too deeply", line);
            }
            std::error_code ec;
            if (!fs::is_regular_file(p, ec)) {
                Unsupported("Import names a file that does not exist: " + p.string(), line);
            }
            std::ifstream in(p, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            ++env_.depth;
            const std::string src = text.str();
            TEvaluator inner(TLexer(src, p.string()).Run(), p.parent_path().string(), p.string(), env_);
            TValue v = inner.Run();
            --env_.depth;
            return v;
        }

        // Housekeeping of a Windows AviSynth set-up; nothing to do here.
        if (fn == "loadplugin" || fn == "loadcplugin" || fn == "load_stdcall_plugin" ||
            fn == "loadvirtualdubplugin" || fn == "setmemorymax" || fn == "setmtmode" ||
            fn == "setfiltermtmode") {
            return {};
        }

        // Filters: the clip comes first, or "last" when none is given.
        TAvsClip clip;
        if (!args.positional.empty() && std::holds_alternative<TAvsClip>(args.positional.front())) {
            clip = std::get<TAvsClip>(args.positional.front());
            args.positional.erase(args.positional.begin());
        } else if (env_.last) {
            clip = *env_.last;
        } else {
            if (!IsFilter(fn)) {
                Unsupported("unsupported function " + name, line);
            }
            Unsupported(name + " has no clip to work on", line);
        }

        if (fn == "turnleft") {
            clip.videoFilters.push_back("transpose=2");
        } else if (fn == "turnright") {
            clip.videoFilters.push_back("transpose=1");
        } else if (fn == "turn180") {
            clip.videoFilters.push_back("hflip");
            clip.videoFilters.push_back("vflip");
        } else if (fn == "fliphorizontal") {
            clip.videoFilters.push_back("hflip");
        } else if (fn == "flipvertical") {
            clip.videoFilters.push_back("vflip");
        } else if (fn.rfind("convertto", 0) == 0 || fn == "prefetch" || fn == "assumetff" ||
                   fn == "assumebff" || fn == "assumeframebased") {
            // ffmpeg converts pixel formats as the encoder needs them.
        } else if (fn == "killaudio") {
            clip.audio = false;
        } else if (fn == "killvideo") {
            clip.video = false;
        } else if (fn == "crop") {
            long long l = IntArg(args, 0, "left", name, line);
            long long t = IntArg(args, 1, "top", name, line);
            long long w = IntArg(args, 2, "width", name, line);
            long long h = IntArg(args, 3, "height", name, line);
            if (l < 0 || t < 0) {
                Unsupported("Crop needs left and top of 0 or more", line);
            }
            std::string ws = w > 0 ? std::to_string(w) : "iw-" + std::to_string(l - w);
            std::string hs = h > 0 ? std::to_string(h) : "ih-" + std::to_string(t - h);
            clip.videoFilters.push_back("crop=" + ws + ":" + hs + ":" + std::to_string(l) + ":" +
                                        std::to_string(t));
        } else if (fn.size() > 6 && fn.compare(fn.size() - 6, 6, "resize") == 0 && ResizeFlags(fn)) {
            long long w = IntArg(args, 0, "target_width", name, line);
            long long h = IntArg(args, 1, "target_height", name, line);
            if (w <= 0 || h <= 0) {
                Unsupported(name + " needs a positive width and height", line);
            }
            clip.videoFilters.push_back("scale=" + std::to_string(w) + ":" + std::to_string(h) +
                                        ":flags=" + ResizeFlags(fn));
        } else if (fn == "changefps" || fn == "convertfps") {
            auto fps = NumberArg(args, 0, "numerator", name, line);
            if (!fps || *fps <= 0) {
                Unsupported(name + " needs a positive frame rate", line);
            }
            clip.videoFilters.push_back("fps=" + Rate(*fps));
        } else {
            Unsupported("unsupported function " + name, line);
        }
        return clip;
    }

    static bool IsFilter(const std::string& fn)
    {
        static const char* names[] = {"turnleft",  "turnright", "turn180", "fliphorizontal", "flipvertical",
                                      "killaudio", "killvideo", "crop",    "changefps",      "convertfps"};
        return std::find_if(std::begin(names), std::end(names), [&](const char* n) { return fn == n; }) !=
                   std::end(names) ||
               fn.rfind("convertto", 0) == 0 || ResizeFlags(fn);
    }

    static const char* ResizeFlags(const std::string& fn)
    {
        static const std::pair<const char*, const char*> table[] = {
            {"bilinearresize", "bilinear"}, {"bicubicresize", "bicubic"}, {"lanczosresize", "lanczos"},
            {"lanczos4resize", "lanczos"},  {"spline16resize", "spline"}, {"spline36resize", "spline"},
            {"spline64resize", "spline"},   {"pointresize", "neighbor"},  {"gaussresize", "gauss"},
            {"blackmanresize", "lanczos"}};
        for (const auto& [n, flags] : table) {
            if (fn == n) {
                return flags;
            }
        }
        return nullptr;
    }

    std::vector<TToken> t_;
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
    TEvaluator eval(TLexer(text, scriptName).Run(), baseFolder, scriptName, env);
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
