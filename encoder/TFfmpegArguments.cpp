#include "TFfmpegArguments.h"

#include "TEncoderError.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool AllOf(const std::string& s, int (*pred)(int))
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [&](unsigned char c) { return pred(c) != 0; });
}

// Values that go into a filter graph must not be able to add filters of their own.
std::string WholeNumber(const TLegacyCommand& cmd, const char* name)
{
    std::string v = cmd.Value(name);
    if (v.empty()) {
        return "0";
    }
    if (!AllOf(v, isdigit)) {
        throw TEncoderError(std::string("invalid value for -") + name + ": '" + v +
                            "' (a whole number is needed)");
    }
    return v;
}

bool IsMpeg4Tag(const std::string& tag)
{
    static const char* tags[] = {"XVID", "DIVX", "DX50", "MP4S", "M4S2",
                                 "FMP4", "DIV5", "DIV6", "3IV2", "MP4V"};
    std::string up = tag;
    std::transform(up.begin(), up.end(), up.begin(), [](unsigned char c) { return std::toupper(c); });
    return std::find_if(std::begin(tags), std::end(tags), [&](const char* t) { return up == t; }) !=
           std::end(tags);
}

// Containers of the QuickTime family accept only their own codec tags.
bool IsMovFamily(const std::string& format, const std::string& outputFile)
{
    static const char* formats[] = {"mp4", "mov", "3gp", "3g2", "psp", "ipod", "ismv", "f4v"};
    static const char* exts[] = {"mp4", "m4v", "mov", "3gp", "3g2", "m4a", "f4v", "psp", "qt"};
    if (!format.empty()) {
        return std::find_if(std::begin(formats), std::end(formats),
                            [&](const char* f) { return format == f; }) != std::end(formats);
    }
    auto dot = outputFile.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string ext = Lower(outputFile.substr(dot + 1));
    return std::find_if(std::begin(exts), std::end(exts), [&](const char* e) { return ext == e; }) !=
           std::end(exts);
}

// The encoder ffmpeg picks itself when no -vcodec is given: only the containers whose default is
// an encoder that keeps 4:4:4 or odd sizes matter here.
std::string DefaultVideoEncoder(const std::string& format, const std::string& outputFile)
{
    static const std::map<std::string, std::string> byFormat = {
        {"mp4", "libx264"},   {"mov", "libx264"},   {"matroska", "libx264"}, {"ipod", "libx264"},
        {"f4v", "libx264"},   {"ismv", "libx264"},  {"psp", "libx264"},      {"webm", "libvpx-vp9"},
        {"ogg", "libtheora"}, {"ogv", "libtheora"},
    };
    static const std::map<std::string, std::string> byExtension = {
        {"mp4", "libx264"},   {"m4v", "libx264"},   {"mov", "libx264"}, {"mkv", "libx264"},
        {"f4v", "libx264"},   {"ismv", "libx264"},  {"psp", "libx264"}, {"webm", "libvpx-vp9"},
        {"ogg", "libtheora"}, {"ogv", "libtheora"},
    };
    if (!format.empty()) {
        auto it = byFormat.find(format);
        return it == byFormat.end() ? std::string() : it->second;
    }
    auto dot = outputFile.rfind('.');
    if (dot == std::string::npos || outputFile.find('/', dot) != std::string::npos) {
        return {};
    }
    auto it = byExtension.find(Lower(outputFile.substr(dot + 1)));
    return it == byExtension.end() ? std::string() : it->second;
}

// Encoders that keep a 4:4:4, 4:2:2 or high-bit-depth source as it is (High 4:4:4, VP9 profile 1,
// MPEG-2 4:2:2 ...), which most players and devices cannot decode.
bool NeedsYuv420(const std::string& encoder)
{
    static const char* encoders[] = {"libx264",    "libx265",   "libvpx-vp9", "libtheora",
                                     "libaom-av1", "libsvtav1", "mpeg2video"};
    return std::find_if(std::begin(encoders), std::end(encoders),
                        [&](const char* e) { return encoder == e; }) != std::end(encoders);
}

// The multiple an encoder needs the frame width and height to be (1: any size).
int SizeMultiple(const std::string& encoder)
{
    static const std::map<std::string, int> table = {
        {"libx264", 2}, {"libx265", 2}, {"libxvid", 2}, {"libsvtav1", 2}, {"wmv1", 2},
        {"wmv2", 2},    {"h263p", 4},   {"rv20", 4},    {"cinepak", 4},   {"rv10", 16},
    };
    auto it = table.find(encoder);
    return it == table.end() ? 1 : it->second;
}

// A scale filter that rounds the picture's width and height down to a multiple of m; frames
// that already fit pass through unscaled.
std::string RoundedSize(int m)
{
    const std::string k = std::to_string(m);
    return "scale=trunc(iw/" + k + ")*" + k + ":trunc(ih/" + k + ")*" + k;
}

// Frames per second of an -r value ("25", "29.97", "30000/1001"); nullopt for other forms.
std::optional<double> FrameRate(const std::string& text)
{
    char* end = nullptr;
    double num = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) {
        return std::nullopt;
    }
    double den = 1;
    if (*end == '/') {
        const char* d = end + 1;
        den = std::strtod(d, &end);
        if (end == d) {
            return std::nullopt;
        }
    }
    if (*end != '\0' || num <= 0 || den <= 0) {
        return std::nullopt;
    }
    return num / den;
}

// The rate a cover picture is shown at when the command line gives none: low, as the picture
// never changes, but one of the broadcast rates for encoders that accept nothing else.
std::string CoverRate(const std::string& encoder, bool target)
{
    const bool broadcastOnly = encoder == "mpeg1video" || encoder == "mpeg2video" || encoder == "dvvideo";
    return broadcastOnly || target ? "25" : "5";
}

} // namespace

std::string TFfmpegArguments::FileUrl(const std::string& path)
{
    return "file:" + path;
}

std::optional<double> TFfmpegArguments::ParseTime(const std::string& text)
{
    std::string s = text;
    bool negative = !s.empty() && s[0] == '-';
    if (negative) {
        s.erase(0, 1);
    }
    if (s.empty()) {
        return std::nullopt;
    }
    double total = 0;
    size_t start = 0;
    int fields = 0;
    while (true) {
        size_t colon = s.find(':', start);
        std::string part = s.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        bool last = colon == std::string::npos;
        if (part.empty() || !std::all_of(part.begin(), part.end(), [&](unsigned char c) {
                return std::isdigit(c) || (last && c == '.');
            })) {
            return std::nullopt;
        }
        if (std::count(part.begin(), part.end(), '.') > 1) {
            return std::nullopt;
        }
        total = total * 60 + std::strtod(part.c_str(), nullptr);
        if (++fields > 3) {
            return std::nullopt;
        }
        if (last) {
            break;
        }
        start = colon + 1;
    }
    return negative ? -total : total;
}

std::string TFfmpegArguments::MapVideoCodec(const std::string& name, const TEncoderProbe& hasEncoder,
                                            std::string* tag)
{
    static const std::map<std::string, std::string> table = {
        {"divx", "mpeg4"},       {"dx50", "mpeg4"},       {"mp4v", "mpeg4"},        {"h264", "libx264"},
        {"x264", "libx264"},     {"avc", "libx264"},      {"h265", "libx265"},      {"hevc", "libx265"},
        {"x265", "libx265"},     {"theora", "libtheora"}, {"vp8", "libvpx"},        {"vp9", "libvpx-vp9"},
        {"vp6", "flv"},          {"vp6f", "flv"},         {"vp6a", "flv"},          {"flv1", "flv"},
        {"wmv3", "wmv2"},        {"wmv9", "wmv2"},        {"vc1", "wmv2"},          {"mpeg1", "mpeg1video"},
        {"mpeg2", "mpeg2video"}, {"dv", "dvvideo"},       {"msmpeg4v3", "msmpeg4"}, {"div3", "msmpeg4"},
        {"divx3", "msmpeg4"},    {"rv30", "rv20"},        {"rv40", "rv20"},         {"h263+", "h263p"},
        {"mjpg", "mjpeg"},       {"svq3", "svq1"},
    };
    std::string low = Lower(name);
    if (low == "xvid" || low == "libxvid") {
        if (hasEncoder("libxvid")) {
            return "libxvid";
        }
        if (tag) {
            *tag = "XVID";
        }
        return "mpeg4";
    }
    auto it = table.find(low);
    return it == table.end() ? name : it->second;
}

std::string TFfmpegArguments::MapAudioCodec(const std::string& name)
{
    static const std::map<std::string, std::string> table = {
        {"libfaac", "aac"},        {"faac", "aac"},         {"libfdk_aac", "aac"},
        {"libvo_aacenc", "aac"},   {"libaacplus", "aac"},   {"mp3", "libmp3lame"},
        {"lame", "libmp3lame"},    {"libamr_nb", "aac"},    {"amr_nb", "aac"},
        {"amrnb", "aac"},          {"samr", "aac"},         {"libamr_wb", "aac"},
        {"amr_wb", "aac"},         {"amrwb", "aac"},        {"libopencore_amrnb", "aac"},
        {"libvo_amrwbenc", "aac"}, {"vorbis", "libvorbis"}, {"wma", "wmav2"},
        {"pcm", "pcm_s16le"},      {"opus", "libopus"},
    };
    auto it = table.find(Lower(name));
    return it == table.end() ? name : it->second;
}

std::string TFfmpegArguments::MapFormat(const std::string& name)
{
    static const std::map<std::string, std::string> table = {
        {"mkv", "matroska"}, {"mpg", "mpeg"},         {"mpeg1", "mpeg"}, {"mpeg2", "vob"}, {"ts", "mpegts"},
        {"m2ts", "mpegts"},  {"aac", "adts"},         {"m4a", "ipod"},   {"wmv", "asf"},   {"wma", "asf"},
        {"qt", "mov"},       {"divx", "avi"},         {"xvid", "avi"},   {"3gpp", "3gp"},  {"m4v", "m4v"},
        {"ogm", "ogg"},      {"audio_device", "oss"},
    };
    auto it = table.find(Lower(name));
    return it == table.end() ? name : it->second;
}

TFfmpegPlan TFfmpegArguments::Build(const TLegacyCommand& cmd, const std::optional<TAvsClip>& clip,
                                    int progressFd, const TEncoderProbe& hasEncoder,
                                    const TSourceQuery& source)
{
    TFfmpegPlan plan;
    auto& a = plan.arguments;
    auto notice = [&](const std::string& text) { plan.notices.push_back(text); };
    auto ignored = [&](const char* option, const char* why) {
        notice(std::string("option -") + option + " ignored: " + why);
    };

    a = {"-nostdin", "-nostats", "-progress", "pipe:" + std::to_string(progressFd)};
    if (cmd.Has("debug")) {
        a.insert(a.end(), {"-loglevel", "debug"});
    }
    if (cmd.Has("benchmark")) {
        a.push_back("-benchmark");
    }
    if (cmd.Has("hex")) {
        a.push_back("-hex");
    }
    a.push_back(cmd.Has("y") ? "-y" : "-n");

    // Input side. The legacy -ss came after -i (decode and drop); seeking the input gives the
    // same window much faster, and output timestamps still start at 0.
    if (cmd.Has("ss")) {
        std::string ss = cmd.Value("ss");
        auto secs = ParseTime(ss);
        if (!secs || *secs < 0) {
            throw TEncoderError("invalid start time for -ss: '" + ss + "'");
        }
        plan.startSeconds = *secs;
        a.insert(a.end(), {"-ss", ss});
    }
    if (cmd.Has("itsoffset")) {
        a.insert(a.end(), {"-itsoffset", cmd.Value("itsoffset")});
    }
    if (cmd.Has("re")) {
        a.push_back("-re");
    }
    if (cmd.Has("ec")) {
        a.insert(a.end(), {"-ec", cmd.Value("ec")});
    }
    if (cmd.Has("bug")) {
        a.insert(a.end(), {"-bug", cmd.Value("bug")});
    }
    const std::string sourceFile = clip ? clip->sourceFile : cmd.inputFile;
    a.push_back("-i");
    a.push_back(FileUrl(sourceFile));

    const std::string format = cmd.Has("f") ? MapFormat(cmd.Value("f")) : std::string();
    const bool noVideo = cmd.Has("vn") || (clip && !clip->video);
    const bool noAudio = cmd.Has("an") || (clip && !clip->audio);
    plan.video = !noVideo;
    plan.audio = !noAudio;

    // Music with a cover picture: ffmpeg would take the picture as a one-frame video, which most
    // encoders and containers refuse. The picture is read from a second, unseeked opening of the
    // source (its one frame lies at the start) at a constant rate and held as long as the sound.
    std::string coverRate;
    std::optional<double> soundEnd;
    if (!noVideo && !cmd.Has("map") && source) {
        const std::string given = cmd.Value("vcodec");
        const std::string encoder = given.empty() ? DefaultVideoEncoder(format, cmd.outputFile)
                                                  : MapVideoCodec(given, hasEncoder, nullptr);
        const TSourceProbe* probe = encoder == "copy" ? nullptr : source();
        if (probe && probe->CoverOnly()) {
            plan.coverPicture = true;
            coverRate = cmd.Has("r") ? cmd.Value("r") : CoverRate(encoder, cmd.Has("target"));
            soundEnd = probe->EndOf(false, true, std::nullopt);
            a.insert(a.end(), {"-r", coverRate, "-i", FileUrl(sourceFile)});
        }
    }

    // Output side.
    if (!format.empty()) {
        a.insert(a.end(), {"-f", format});
    }
    if (cmd.Has("t")) {
        std::string t = cmd.Value("t");
        auto secs = ParseTime(t);
        if (!secs || *secs <= 0) {
            throw TEncoderError("invalid duration for -t: '" + t + "'");
        }
        plan.windowSeconds = *secs;
        a.insert(a.end(), {"-t", t});
    }
    if (cmd.Has("target")) {
        a.insert(a.end(), {"-target", cmd.Value("target")});
    }
    if (cmd.Has("map")) {
        // Legacy stream specifiers read "0.1" (and "0.1:0.0" with a sync stream).
        std::string m = cmd.Value("map");
        if (m.find('.') != std::string::npos) {
            m = m.substr(0, m.find(':'));
            std::replace(m.begin(), m.end(), '.', ':');
        }
        a.insert(a.end(), {"-map", m});
        if (m.rfind("0:", 0) == 0 && m.size() > 2 && AllOf(m.substr(2), isdigit)) {
            plan.mappedStream = std::atoi(m.c_str() + 2);
        }
    }
    if (plan.coverPicture) {
        // Without the attached-picture mark, or MP4 family muxers take the stream for cover art.
        a.insert(a.end(), {"-map", "1:v:0"});
        if (!noAudio) {
            a.insert(a.end(), {"-map", "0:a:0"});
        }
        a.insert(a.end(), {"-disposition:v:0", "default"});
    }

    if (noVideo) {
        a.push_back("-vn");
    }
    // The legacy option set writes these only when the output has video.
    if (cmd.Has("title")) {
        a.insert(a.end(), {"-metadata", "title=" + cmd.Value("title")});
    }
    if (cmd.Has("author")) {
        a.insert(a.end(), {"-metadata", "author=" + cmd.Value("author")});
        a.insert(a.end(), {"-metadata", "artist=" + cmd.Value("author")});
    }
    if (cmd.Has("copyright")) {
        a.insert(a.end(), {"-metadata", "copyright=" + cmd.Value("copyright")});
    }
    if (cmd.Has("comment")) {
        a.insert(a.end(), {"-metadata", "comment=" + cmd.Value("comment")});
    }

    static const char* videoOnly[] = {
        "hq",           "b",           "r",         "s",         "aspect",    "croptop",     "cropbottom",
        "padtop",       "padbottom",   "padleft",   "padright",  "padcolor",  "bt",          "maxrate",
        "minrate",      "bufsize",     "vcodec",    "sameq",     "pass",      "passlogfile", "g",
        "intra",        "qscale",      "qmin",      "qmax",      "qdiff",     "qblur",       "qcomp",
        "rc_init_cplx", "b_qfactor",   "i_qfactor", "b_qoffset", "i_qoffset", "rc_eq",       "me",
        "dct_algo",     "idct_algo",   "bf",        "mdb",       "4mv",       "part",        "aic",
        "umv",          "deinterlace", "interlace", "psnr",      "vstats",    "vtag",        "ps"};
    if (noVideo) {
        for (const char* o : videoOnly) {
            if (cmd.Has(o)) {
                ignored(o, "the output has no video");
            }
        }
    } else {
        std::string tag = cmd.Value("vtag");
        std::string codec;
        if (cmd.Has("vcodec")) {
            std::string given = cmd.Value("vcodec");
            std::string fallbackTag;
            codec = MapVideoCodec(given, hasEncoder, &fallbackTag);
            if (codec != given) {
                notice("video codec " + given + " is written with ffmpeg's " + codec);
            }
            if (tag.empty()) {
                tag = fallbackTag;
            }
        }
        if (!tag.empty() && IsMpeg4Tag(tag)) {
            if (codec.empty()) {
                // An MPEG-4 fourcc says which encoder the file needs.
                codec = "mpeg4";
            } else if (codec != "mpeg4" && codec != "libxvid" && codec != "copy") {
                notice("video tag " + tag + " does not fit the video codec " + codec +
                       "; the tag is left out");
                tag.clear();
            }
            if (!tag.empty() && IsMovFamily(format, cmd.outputFile)) {
                notice("video tag " + tag + " is not allowed in this container; the tag is left out");
                tag.clear();
            }
        }
        if (!codec.empty()) {
            a.insert(a.end(), {"-c:v", codec});
        }
        if (!tag.empty()) {
            a.insert(a.end(), {"-tag:v", tag});
        }
        std::vector<std::string> filters;
        if (plan.coverPicture) {
            if (soundEnd) {
                // The picture's own frame plus the clones fill the sound from the start on.
                double length = *soundEnd - plan.startSeconds - 1.0 / FrameRate(coverRate).value_or(1e9);
                char pad[96];
                std::snprintf(pad, sizeof pad, "tpad=stop_mode=clone:stop_duration=%.3f",
                              std::max(0.0, length));
                filters.push_back(pad);
            } else {
                filters.push_back("tpad=stop_mode=clone:stop=-1");
                a.push_back("-shortest");
            }
        }
        if (clip) {
            filters.insert(filters.end(), clip->videoFilters.begin(), clip->videoFilters.end());
        }
        if (cmd.Has("deinterlace")) {
            filters.push_back("yadif");
        }
        const bool crop = cmd.Has("croptop") || cmd.Has("cropbottom");
        const bool pad =
            cmd.Has("padtop") || cmd.Has("padbottom") || cmd.Has("padleft") || cmd.Has("padright");
        if (crop) {
            std::string t = WholeNumber(cmd, "croptop"), b = WholeNumber(cmd, "cropbottom");
            filters.push_back("crop=iw:ih-" + t + "-" + b + ":0:" + t);
        }
        std::string size = cmd.Value("s");
        if (pad) {
            // Legacy padding surrounds the picture of the -s size, so scale before padding.
            if (!size.empty()) {
                if (!std::all_of(size.begin(), size.end(), [](unsigned char c) { return std::isalnum(c); })) {
                    throw TEncoderError("invalid frame size for -s: '" + size + "'");
                }
                filters.push_back("scale=s=" + size);
                size.clear();
            }
            // ffmpeg's pad filter rounds a 4:2:0 or 4:2:2 picture's padded size down to even and
            // then refuses it as smaller than an odd input: pad an even picture.
            filters.push_back(RoundedSize(2));
            std::string t = WholeNumber(cmd, "padtop"), b = WholeNumber(cmd, "padbottom");
            std::string l = WholeNumber(cmd, "padleft"), r = WholeNumber(cmd, "padright");
            std::string color = cmd.Value("padcolor");
            if (color.empty()) {
                color = "000000";
            }
            if (!AllOf(color, isxdigit)) {
                throw TEncoderError("invalid value for -padcolor: '" + color + "' (RRGGBB in hex is needed)");
            }
            filters.push_back("pad=iw+" + l + "+" + r + ":ih+" + t + "+" + b + ":" + l + ":" + t +
                              ":color=0x" + color);
        } else if (cmd.Has("padcolor")) {
            ignored("padcolor", "no padding is given");
        }
        // Without a size of their own, pictures keep the source's size, which an encoder that
        // works on whole chroma blocks cannot take when it is odd: round down to its multiple
        // after all other filters.
        const std::string encoder = codec.empty() ? DefaultVideoEncoder(format, cmd.outputFile) : codec;
        const bool targetSet = cmd.Has("target"); // -target brings its own size and pixel format
        if (int m = SizeMultiple(encoder); m > 1 && size.empty() && !targetSet) {
            filters.push_back(RoundedSize(m));
        }
        if (!filters.empty()) {
            std::string graph;
            for (const auto& f : filters) {
                graph += (graph.empty() ? "" : ",") + f;
            }
            a.insert(a.end(), {"-vf", graph});
        }
        if (!size.empty()) {
            a.insert(a.end(), {"-s", size});
        }
        // ffmpeg would keep an RGB, 4:4:4 or 4:2:2 source's chroma for these encoders.
        if (NeedsYuv420(encoder) && !targetSet) {
            a.insert(a.end(), {"-pix_fmt", "yuv420p"});
        }
        if (cmd.Has("r")) {
            a.insert(a.end(), {"-r", cmd.Value("r")});
        }
        if (clip && clip->constantFrameRate) {
            a.insert(a.end(), {"-fps_mode:v", "cfr"});
        }
        if (cmd.Has("aspect")) {
            a.insert(a.end(), {"-aspect", cmd.Value("aspect")});
        }

        static const std::pair<const char*, const char*> renamed[] = {
            {"b", "-b:v"},
            {"bt", "-bt:v"},
            {"maxrate", "-maxrate:v"},
            {"minrate", "-minrate:v"},
            {"bufsize", "-bufsize:v"},
            {"pass", "-pass:v"},
            {"passlogfile", "-passlogfile"},
            {"g", "-g:v"},
            {"qscale", "-q:v"},
            {"qmin", "-qmin:v"},
            {"qmax", "-qmax:v"},
            {"qdiff", "-qdiff:v"},
            {"qblur", "-qblur:v"},
            {"qcomp", "-qcomp:v"},
            {"rc_init_cplx", "-rc_init_cplx:v"},
            {"b_qfactor", "-b_qfactor:v"},
            {"i_qfactor", "-i_qfactor:v"},
            {"b_qoffset", "-b_qoffset:v"},
            {"i_qoffset", "-i_qoffset:v"},
            {"rc_eq", "-rc_eq:v"},
            {"dct_algo", "-dct:v"},
            {"idct_algo", "-idct:v"},
            {"bf", "-bf:v"},
            {"mdb", "-mbd:v"},
            {"ps", "-ps:v"},
        };
        for (const auto& [legacy, current] : renamed) {
            if (cmd.Has(legacy)) {
                a.insert(a.end(), {current, cmd.Value(legacy)});
            }
        }
        if (cmd.Has("intra")) {
            a.insert(a.end(), {"-g:v", "1"});
        }
        if (cmd.Has("hq") && !cmd.Has("mdb")) {
            a.insert(a.end(), {"-mbd:v", "rd"});
        }
        if (cmd.Has("me")) {
            std::string me = Lower(cmd.Value("me"));
            if (me == "zero" || me == "epzs" || me == "xone") {
                a.insert(a.end(), {"-motion_est", me});
            } else if (me == "dia" || me == "hex" || me == "umh" || me == "esa" || me == "tesa") {
                a.insert(a.end(), {"-me_method", me});
            } else if (me == "full" || me == "log" || me == "phods" || me == "x1") {
                a.insert(a.end(), {"-motion_est", "epzs"});
                notice("motion estimation " + me + " no longer exists; epzs is used");
            } else {
                ignored("me", "unknown motion estimation method");
            }
        }
        std::string flags;
        if (cmd.Has("4mv")) {
            flags += "+mv4";
        }
        if (cmd.Has("aic")) {
            flags += "+aic";
        }
        if (cmd.Has("interlace")) {
            flags += "+ilme+ildct";
        }
        if (!flags.empty()) {
            a.insert(a.end(), {"-flags:v", flags});
        }
        if (cmd.Has("part")) {
            a.insert(a.end(), {"-data_partitioning", "1"});
        }
        if (cmd.Has("umv")) {
            a.insert(a.end(), {"-umv", "1"});
        }
        if (cmd.Has("psnr")) {
            a.push_back("-psnr");
        }
        if (cmd.Has("vstats")) {
            a.push_back("-vstats");
        }
        if (cmd.Has("sameq")) {
            ignored("sameq", "ffmpeg dropped it, a quantizer cannot carry over between codecs; use -qscale");
        }
        if (cmd.Has("vhook")) {
            ignored("vhook", "video hooks were replaced by filters");
        }
    }
    if (cmd.Has("strict")) {
        a.insert(a.end(), {"-strict", cmd.Value("strict")});
    }
    if (cmd.Has("er")) {
        ignored("er", "decoder error resilience levels no longer exist; ffmpeg's error detection applies");
    }

    // Audio.
    if (noAudio) {
        a.push_back("-an");
        for (const char* o : {"ab", "ar", "ac", "acodec"}) {
            if (cmd.Has(o)) {
                ignored(o, "the output has no audio");
            }
        }
    } else {
        if (cmd.Has("ab")) {
            a.insert(a.end(), {"-b:a", cmd.Value("ab")});
        }
        if (cmd.Has("ar")) {
            a.insert(a.end(), {"-ar", cmd.Value("ar")});
        }
        if (cmd.Has("ac")) {
            a.insert(a.end(), {"-ac", cmd.Value("ac")});
        }
        if (cmd.Has("acodec")) {
            std::string given = cmd.Value("acodec");
            std::string codec = MapAudioCodec(given);
            if (codec != given) {
                notice("audio codec " + given + " is written with ffmpeg's " + codec);
            }
            a.insert(a.end(), {"-c:a", codec});
        }
    }

    if (cmd.Has("bitexact")) {
        a.push_back("-bitexact");
    }
    for (const char* o : {"vd", "vc", "tvstd", "dv1394", "av"}) {
        if (cmd.Has(o)) {
            ignored(o, "capture devices are not supported; the input is a file");
        }
    }
    if (cmd.Has("loop")) {
        ignored("loop", "looping the input would never end the conversion");
    }
    a.push_back(FileUrl(cmd.outputFile));
    return plan;
}
