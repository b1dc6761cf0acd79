#include "TFfmpegArguments.h"

#include "TEncoderError.h"
#include "TText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string_view>

namespace {

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
    static const char* const tags[] = {"XVID", "DIVX", "DX50", "MP4S", "M4S2",
                                       "FMP4", "DIV5", "DIV6", "3IV2", "MP4V"};
    return TText::OneOf(TText::Upper(tag), tags);
}

// Containers of the QuickTime family accept only their own codec tags.
bool IsMovFamily(const std::string& format, const std::string& outputFile)
{
    static const char* const formats[] = {"mp4", "mov", "3gp", "3g2", "psp", "ipod", "ismv", "f4v"};
    static const char* const exts[] = {"mp4", "m4v", "mov", "3gp", "3g2", "m4a", "f4v", "psp", "qt"};
    return format.empty() ? TText::OneOf(TText::Extension(outputFile), exts) : TText::OneOf(format, formats);
}

// The encoder ffmpeg picks itself when no -vcodec is given: only the containers whose default is
// an encoder that keeps 4:4:4 or odd sizes matter here.
std::string DefaultVideoEncoder(const std::string& format, const std::string& outputFile)
{
    static const std::map<std::string, std::string> byFormat = {
        {"mp4", "libx264"},   {"mov", "libx264"},   {"matroska", "libx264"}, {"ipod", "libx264"},
        {"f4v", "libx264"},   {"ismv", "libx264"},  {"psp", "libx264"},      {"webm", "libvpx-vp9"},
        {"ogg", "libtheora"}, {"ogv", "libtheora"}, {"gif", "gif"},
    };
    static const std::map<std::string, std::string> byExtension = {
        {"mp4", "libx264"},   {"m4v", "libx264"},   {"mov", "libx264"}, {"mkv", "libx264"},
        {"f4v", "libx264"},   {"ismv", "libx264"},  {"psp", "libx264"}, {"webm", "libvpx-vp9"},
        {"ogg", "libtheora"}, {"ogv", "libtheora"}, {"gif", "gif"},
    };
    if (!format.empty()) {
        auto it = byFormat.find(format);
        return it == byFormat.end() ? std::string() : it->second;
    }
    auto it = byExtension.find(TText::Extension(outputFile));
    return it == byExtension.end() ? std::string() : it->second;
}

// Encoders that keep a 4:4:4, 4:2:2 or high-bit-depth source as it is (High 4:4:4, VP9 profile 1,
// MPEG-2 4:2:2 ...), which most players and devices cannot decode.
bool NeedsYuv420(const std::string& encoder)
{
    static const char* const encoders[] = {"libx264",    "libx265",   "libvpx-vp9", "libtheora",
                                           "libaom-av1", "libsvtav1", "mpeg2video"};
    return TText::OneOf(encoder, encoders);
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

// A scale filter for the -s size where later filters need the picture at that size; -s itself
// is then left out (size cleared). The size goes into the filter graph, so it must not be able
// to add filters of its own.
void ScaleToSize(std::vector<std::string>& filters, std::string& size)
{
    if (size.empty()) {
        return;
    }
    if (!AllOf(size, isalnum)) {
        throw TEncoderError("invalid frame size for -s: '" + size + "'");
    }
    filters.push_back("scale=s=" + size);
    size.clear();
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

// Opus codes only 8, 12, 16, 24 and 48 kHz; another rate is raised to the next of them.
std::string OpusRate(const std::string& rate)
{
    char* end = nullptr;
    const long hz = std::strtol(rate.c_str(), &end, 10);
    if (end == rate.c_str() || *end != '\0') {
        return rate; // not a number: ffmpeg says what is wrong with it
    }
    for (long ok : {8000L, 12000L, 16000L, 24000L}) {
        if (hz <= ok) {
            return std::to_string(ok);
        }
    }
    return "48000";
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

namespace {

// Legacy codec names and the ffmpeg encoders that write them (xvid and libxvid aside: they
// depend on what this ffmpeg has).
const std::map<std::string, std::string>& VideoCodecTable()
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
    return table;
}

const std::map<std::string, std::string>& AudioCodecTable()
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
    return table;
}

std::vector<std::string> Keys(const std::map<std::string, std::string>& table)
{
    std::vector<std::string> keys;
    for (const auto& entry : table) {
        keys.push_back(entry.first);
    }
    return keys;
}

} // namespace

std::string TFfmpegArguments::MapVideoCodec(const std::string& name, const TEncoderProbe& hasEncoder,
                                            std::string* tag)
{
    std::string low = TText::Lower(name);
    if (low == "xvid" || low == "libxvid") {
        if (hasEncoder("libxvid")) {
            return "libxvid";
        }
        if (tag) {
            *tag = "XVID";
        }
        return "mpeg4";
    }
    auto it = VideoCodecTable().find(low);
    return it == VideoCodecTable().end() ? name : it->second;
}

std::string TFfmpegArguments::MapAudioCodec(const std::string& name)
{
    auto it = AudioCodecTable().find(TText::Lower(name));
    return it == AudioCodecTable().end() ? name : it->second;
}

std::vector<std::string> TFfmpegArguments::LegacyVideoCodecNames()
{
    std::vector<std::string> names = Keys(VideoCodecTable());
    names.insert(names.end(), {"xvid", "libxvid"});
    return names;
}

std::vector<std::string> TFfmpegArguments::LegacyAudioCodecNames()
{
    return Keys(AudioCodecTable());
}

std::string TFfmpegArguments::MapFormat(const std::string& name)
{
    static const std::map<std::string, std::string> table = {
        {"mkv", "matroska"}, {"mpg", "mpeg"},         {"mpeg1", "mpeg"}, {"mpeg2", "vob"}, {"ts", "mpegts"},
        {"m2ts", "mpegts"},  {"aac", "adts"},         {"m4a", "ipod"},   {"wmv", "asf"},   {"wma", "asf"},
        {"qt", "mov"},       {"divx", "avi"},         {"xvid", "avi"},   {"3gpp", "3gp"},  {"m4v", "m4v"},
        {"ogm", "ogg"},      {"audio_device", "oss"},
    };
    auto it = table.find(TText::Lower(name));
    return it == table.end() ? name : it->second;
}

namespace {

// Where an option goes on ffmpeg's command line.
enum class TPart
{
    Global,    // before the input
    Input,     // input options, just before -i
    Container, // output options about the file as a whole
    Video,
    Audio,
    Output, // last output options
};

// Options that pass through under a new name. value: nullptr takes the command line's value,
// "" makes a flag, anything else is the fixed value. Within a part the order is ffmpeg's order,
// so that e.g. -intra wins over -g.
struct TRename
{
    const char* legacy;
    TPart part;
    const char* option;
    const char* value;
};

const TRename Renamed[] = {
    {"debug", TPart::Global, "-loglevel", "debug"},
    {"benchmark", TPart::Global, "-benchmark", ""},
    {"hex", TPart::Global, "-hex", ""},
    {"itsoffset", TPart::Input, "-itsoffset", nullptr},
    {"re", TPart::Input, "-re", ""},
    {"ec", TPart::Input, "-ec", nullptr},
    {"bug", TPart::Input, "-bug", nullptr},
    {"target", TPart::Container, "-target", nullptr},
    {"r", TPart::Video, "-r", nullptr},
    {"aspect", TPart::Video, "-aspect", nullptr},
    {"b", TPart::Video, "-b:v", nullptr},
    {"bt", TPart::Video, "-bt:v", nullptr},
    {"maxrate", TPart::Video, "-maxrate:v", nullptr},
    {"minrate", TPart::Video, "-minrate:v", nullptr},
    {"bufsize", TPart::Video, "-bufsize:v", nullptr},
    {"pass", TPart::Video, "-pass:v", nullptr},
    {"passlogfile", TPart::Video, "-passlogfile", nullptr},
    {"g", TPart::Video, "-g:v", nullptr},
    {"intra", TPart::Video, "-g:v", "1"},
    {"qscale", TPart::Video, "-q:v", nullptr},
    {"qmin", TPart::Video, "-qmin:v", nullptr},
    {"qmax", TPart::Video, "-qmax:v", nullptr},
    {"qdiff", TPart::Video, "-qdiff:v", nullptr},
    {"qblur", TPart::Video, "-qblur:v", nullptr},
    {"qcomp", TPart::Video, "-qcomp:v", nullptr},
    {"rc_init_cplx", TPart::Video, "-rc_init_cplx:v", nullptr},
    {"b_qfactor", TPart::Video, "-b_qfactor:v", nullptr},
    {"i_qfactor", TPart::Video, "-i_qfactor:v", nullptr},
    {"b_qoffset", TPart::Video, "-b_qoffset:v", nullptr},
    {"i_qoffset", TPart::Video, "-i_qoffset:v", nullptr},
    {"rc_eq", TPart::Video, "-rc_eq:v", nullptr},
    {"dct_algo", TPart::Video, "-dct:v", nullptr},
    {"idct_algo", TPart::Video, "-idct:v", nullptr},
    {"bf", TPart::Video, "-bf:v", nullptr},
    {"mdb", TPart::Video, "-mbd:v", nullptr},
    {"ps", TPart::Video, "-ps:v", nullptr},
    {"part", TPart::Video, "-data_partitioning", "1"},
    {"umv", TPart::Video, "-umv", "1"},
    {"psnr", TPart::Video, "-psnr", ""},
    {"vstats", TPart::Video, "-vstats", ""},
    {"ab", TPart::Audio, "-b:a", nullptr},
    {"ar", TPart::Audio, "-ar", nullptr},
    {"ac", TPart::Audio, "-ac", nullptr},
    {"strict", TPart::Output, "-strict", nullptr},
    {"bitexact", TPart::Output, "-bitexact", ""},
};

// Video options handled one by one below, besides the video entries of Renamed.
const char* const VideoSpecials[] = {
    "hq",       "s",      "croptop", "cropbottom", "padtop", "padbottom",   "padleft",   "padright",
    "padcolor", "vcodec", "me",      "4mv",        "aic",    "deinterlace", "interlace", "vtag"};
const char* const AudioSpecials[] = {"acodec"};

// Options with nothing left to do in ffmpeg.
const std::pair<const char*, const char*> Dropped[] = {
    {"sameq", "ffmpeg dropped it, a quantizer cannot carry over between codecs; use -qscale"},
    {"vhook", "video hooks were replaced by filters"},
    {"er", "decoder error resilience levels no longer exist; ffmpeg's error detection applies"},
    {"vd", "capture devices are not supported; the input is a file"},
    {"vc", "capture devices are not supported; the input is a file"},
    {"tvstd", "capture devices are not supported; the input is a file"},
    {"dv1394", "capture devices are not supported; the input is a file"},
    {"av", "capture devices are not supported; the input is a file"},
    {"loop", "looping the input would never end the conversion"},
};

// -title and the like become metadata; containers use either key for the author.
const std::pair<const char*, const char*> Metadata[] = {
    {"title", "title"},         {"author", "author"},   {"author", "artist"},
    {"copyright", "copyright"}, {"comment", "comment"},
};

class TBuilder
{
public:
    TBuilder(const TLegacyCommand& cmd, const std::optional<TAvsClip>& clip,
             const TFfmpegArguments::TEncoderProbe& hasEncoder, TFfmpegPlan& plan)
        : cmd_(cmd), clip_(clip), hasEncoder_(hasEncoder), plan_(plan), a_(plan.arguments)
    {
        format_ = cmd.Has("f") ? TFfmpegArguments::MapFormat(cmd.Value("f")) : std::string();
        defaultEncoder_ = DefaultVideoEncoder(format_, cmd.outputFile);
        movFamily_ = IsMovFamily(format_, cmd.outputFile);
        plan.video = !(cmd.Has("vn") || (clip && !clip->video));
        plan.audio = !(cmd.Has("an") || (clip && !clip->audio));
        const std::string vcodec = TText::Lower(cmd.Value("vcodec"));
        gif_ = plan.video && (vcodec == "gif" || (vcodec.empty() && defaultEncoder_ == "gif"));
        if (gif_) {
            plan.audio = false; // a GIF holds no sound
        }
    }

    void Global(int progressFd)
    {
        Add({"-nostdin", "-nostats", "-progress", "pipe:" + std::to_string(progressFd)});
        Pass(TPart::Global);
        Add({cmd_.Has("y") ? "-y" : "-n"});
    }

    // The legacy -ss came after -i (decode and drop); seeking the input gives the same window
    // much faster, and output timestamps still start at 0.
    void Input(const TFfmpegArguments::TSourceQuery& source)
    {
        if (cmd_.Has("ss")) {
            const std::string ss = cmd_.Value("ss");
            auto secs = TFfmpegArguments::ParseTime(ss);
            if (!secs || *secs < 0) {
                throw TEncoderError("invalid start time for -ss: '" + ss + "'");
            }
            plan_.startSeconds = *secs;
            Add({"-ss", ss});
        }
        Pass(TPart::Input);
        const std::string sourceFile = clip_ ? clip_->sourceFile : cmd_.inputFile;
        Add({"-i", TFfmpegArguments::FileUrl(sourceFile)});
        CoverInput(sourceFile, source);
    }

    void Container()
    {
        if (!format_.empty()) {
            Add({"-f", format_});
        }
        if (cmd_.Has("t")) {
            const std::string t = cmd_.Value("t");
            auto secs = TFfmpegArguments::ParseTime(t);
            if (!secs || *secs <= 0) {
                throw TEncoderError("invalid duration for -t: '" + t + "'");
            }
            plan_.windowSeconds = *secs;
            Add({"-t", t});
        }
        Pass(TPart::Container);
        if (cmd_.Has("map")) {
            // Legacy stream specifiers read "0.1" (and "0.1:0.0" with a sync stream).
            std::string m = cmd_.Value("map");
            if (m.find('.') != std::string::npos) {
                m = m.substr(0, m.find(':'));
                std::replace(m.begin(), m.end(), '.', ':');
            }
            Add({"-map", m});
            if (m.rfind("0:", 0) == 0 && AllOf(m.substr(2), isdigit)) {
                plan_.mappedStream = std::atoi(m.c_str() + 2);
            }
        }
        if (plan_.coverPicture) {
            Add({"-map", "1:v:0"});
            if (plan_.audio) {
                Add({"-map", "0:a:0"});
            }
            // Without the attached-picture mark, or MP4 family muxers take the stream for cover art.
            Add({"-disposition:v:0", "default"});
        }
        if (!plan_.video) {
            Add({"-vn"});
        }
        for (const auto& [legacy, key] : Metadata) {
            if (cmd_.Has(legacy)) {
                Add({"-metadata", std::string(key) + "=" + cmd_.Value(legacy)});
            }
        }
    }

    void Video()
    {
        if (!plan_.video) {
            IgnoreGiven(TPart::Video, VideoSpecials, "the output has no video");
            return;
        }
        const std::string codec = VideoCodec();
        if (codec == "copy") {
            IgnoreGiven(TPart::Video, VideoSpecials, "the video is copied, not encoded", {"vcodec", "vtag"});
            if (clip_ && (!clip_->videoFilters.empty() || clip_->constantFrameRate)) {
                Notice("the script's video filters are left out: the video is copied, not encoded");
            }
            return;
        }
        const std::string encoder = codec.empty() ? defaultEncoder_ : codec;
        const bool target = cmd_.Has("target"); // -target brings its own size and pixel format
        std::string size = cmd_.Value("s");
        std::vector<std::string> filters = VideoFilters(size);
        // Without a size of their own, pictures keep the source's size, which an encoder that
        // works on whole chroma blocks cannot take when it is odd: round down to its multiple
        // after all other filters.
        if (int m = SizeMultiple(encoder); m > 1 && size.empty() && !target) {
            filters.push_back(RoundedSize(m));
        }
        if (gif_) {
            GifPalette(filters, size);
        }
        if (!filters.empty()) {
            std::string graph;
            for (const auto& f : filters) {
                graph += (graph.empty() ? "" : ",") + f;
            }
            Add({"-vf", graph});
        }
        if (!size.empty()) {
            Add({"-s", size});
        }
        // ffmpeg would keep an RGB, 4:4:4 or 4:2:2 source's chroma for these encoders.
        if (NeedsYuv420(encoder) && !target) {
            Add({"-pix_fmt", "yuv420p"});
        }
        if (clip_ && clip_->constantFrameRate) {
            Add({"-fps_mode:v", "cfr"});
        }
        Pass(TPart::Video,
             gif_ ? std::initializer_list<std::string_view>{"r"} : std::initializer_list<std::string_view>{});
        if (cmd_.Has("hq") && !cmd_.Has("mdb")) {
            Add({"-mbd:v", "rd"});
        }
        MotionEstimation();
        std::string flags;
        for (const auto& [legacy, flag] :
             {std::pair{"4mv", "+mv4"}, {"aic", "+aic"}, {"interlace", "+ilme+ildct"}}) {
            if (cmd_.Has(legacy)) {
                flags += flag;
            }
        }
        if (!flags.empty()) {
            Add({"-flags:v", flags});
        }
    }

    void Audio()
    {
        if (!plan_.audio) {
            Add({"-an"});
            IgnoreGiven(TPart::Audio, AudioSpecials,
                        gif_ ? "a GIF holds no sound" : "the output has no audio");
            return;
        }
        std::string codec;
        if (cmd_.Has("acodec")) {
            const std::string given = cmd_.Value("acodec");
            codec = TFfmpegArguments::MapAudioCodec(given);
            if (codec != given) {
                Notice("audio codec " + given + " is written with ffmpeg's " + codec);
            }
        }
        if (codec == "copy") {
            IgnoreGiven(TPart::Audio, AudioSpecials, "the audio is copied, not encoded", {"acodec"});
        } else if (codec == "libopus") {
            Pass(TPart::Audio, {"ar"});
            if (cmd_.Has("ar")) {
                const std::string given = cmd_.Value("ar");
                const std::string rate = OpusRate(given);
                if (rate != given) {
                    Notice("sample rate " + given + " is written as " + rate +
                           ": Opus takes only 8000, 12000, 16000, 24000 and 48000 Hz");
                }
                Add({"-ar", rate});
            }
            // libopus refuses the side-channel layouts of AC-3 and DTS sources (5.1(side) and the
            // like); offered these, ffmpeg remaps the channels itself.
            Add({"-af", "aformat=channel_layouts=mono|stereo|3.0|quad|5.0|5.1|6.1|7.1"});
        } else {
            Pass(TPart::Audio);
        }
        if (!codec.empty()) {
            Add({"-c:a", codec});
        }
    }

    void Output()
    {
        Pass(TPart::Output);
        // The index (moov) before the media data, so that the file plays while it downloads.
        if (movFamily_ && format_ != "ismv") {
            Add({"-movflags", "+faststart"});
        }
        for (const auto& [legacy, why] : Dropped) {
            if (cmd_.Has(legacy)) {
                Ignore(legacy, why);
            }
        }
        Add({TFfmpegArguments::FileUrl(cmd_.outputFile)});
    }

private:
    void Add(std::initializer_list<std::string> args) { a_.insert(a_.end(), args); }
    void Notice(const std::string& text) { plan_.notices.push_back(text); }
    void Ignore(const std::string& option, const std::string& why)
    {
        Notice("option -" + option + " ignored: " + why);
    }

    // The Renamed options of one part that the command line gives, in the table's order, but for
    // those the caller writes itself.
    void Pass(TPart part, std::initializer_list<std::string_view> skip = {})
    {
        for (const auto& r : Renamed) {
            if (r.part != part || !cmd_.Has(r.legacy) ||
                std::find(skip.begin(), skip.end(), r.legacy) != skip.end()) {
                continue;
            }
            if (!r.value) {
                Add({r.option, cmd_.Value(r.legacy)});
            } else if (*r.value) {
                Add({r.option, r.value});
            } else {
                Add({r.option});
            }
        }
    }

    // Reports the options of a part (the Renamed ones and the specials) that cannot take effect,
    // but for those kept.
    template <size_t N>
    void IgnoreGiven(TPart part, const char* const (&specials)[N], const char* why,
                     std::initializer_list<std::string_view> keep = {})
    {
        auto report = [&](const char* o) {
            if (cmd_.Has(o) && std::find(keep.begin(), keep.end(), o) == keep.end()) {
                Ignore(o, why);
            }
        };
        for (const auto& r : Renamed) {
            if (r.part == part) {
                report(r.legacy);
            }
        }
        for (const char* o : specials) {
            report(o);
        }
    }

    // A GIF has 256 colours a frame. Each frame gets a palette made from its own colours (a
    // palette of the whole clip would hold every frame in memory until the end); the frame rate
    // and size come first, so the palette is made from the frames as they are written.
    void GifPalette(std::vector<std::string>& filters, std::string& size)
    {
        if (cmd_.Has("r")) {
            const std::string r = cmd_.Value("r");
            if (!std::all_of(r.begin(), r.end(),
                             [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '/'; })) {
                throw TEncoderError("invalid frame rate for -r: '" + r + "'");
            }
            filters.push_back("fps=" + r);
        }
        ScaleToSize(filters, size);
        filters.push_back("split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1");
    }

    // Music with a cover picture: ffmpeg would take the picture as a one-frame video, which most
    // encoders and containers refuse. The picture is read from a second, unseeked opening of the
    // source (its one frame lies at the start) at a constant rate and held as long as the sound.
    void CoverInput(const std::string& sourceFile, const TFfmpegArguments::TSourceQuery& source)
    {
        if (!plan_.video || cmd_.Has("map") || !source) {
            return;
        }
        const std::string given = cmd_.Value("vcodec");
        const std::string encoder =
            given.empty() ? defaultEncoder_ : TFfmpegArguments::MapVideoCodec(given, hasEncoder_, nullptr);
        const TSourceProbe* probe = encoder == "copy" ? nullptr : source();
        if (!probe || !probe->CoverOnly()) {
            return;
        }
        soundEnd_ = probe->EndOf(false, true, std::nullopt);
        if (!soundEnd_) {
            soundEnd_ = probe->formatDuration;
        }
        if (!soundEnd_ && !plan_.audio) {
            return; // neither a length nor the sound could end the picture
        }
        plan_.coverPicture = true;
        coverRate_ = cmd_.Has("r") ? cmd_.Value("r") : CoverRate(encoder, cmd_.Has("target"));
        Add({"-r", coverRate_, "-i", TFfmpegArguments::FileUrl(sourceFile)});
    }

    // -vcodec and -vtag: the encoder's ffmpeg name and the fourcc, if any.
    std::string VideoCodec()
    {
        std::string tag = cmd_.Value("vtag");
        std::string codec;
        if (cmd_.Has("vcodec")) {
            const std::string given = cmd_.Value("vcodec");
            std::string fallbackTag;
            codec = TFfmpegArguments::MapVideoCodec(given, hasEncoder_, &fallbackTag);
            if (codec != given) {
                Notice("video codec " + given + " is written with ffmpeg's " + codec);
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
                Notice("video tag " + tag + " does not fit the video codec " + codec +
                       "; the tag is left out");
                tag.clear();
            }
            if (!tag.empty() && movFamily_) {
                Notice("video tag " + tag + " is not allowed in this container; the tag is left out");
                tag.clear();
            }
        }
        if (codec == "libx265" && tag.empty() && movFamily_) {
            // Apple's players take HEVC in MP4 and MOV only as hvc1 (parameter sets in the
            // sample description), not as ffmpeg's default hev1.
            tag = "hvc1";
        }
        if (!codec.empty()) {
            Add({"-c:v", codec});
        }
        if (!tag.empty()) {
            Add({"-tag:v", tag});
        }
        return codec;
    }

    // The filter chain: the cover's hold, the script's filters, yadif, crop, then scale and pad.
    // size is the -s value; it is cleared when the scale filter before the padding takes it.
    std::vector<std::string> VideoFilters(std::string& size)
    {
        std::vector<std::string> filters;
        if (plan_.coverPicture) {
            if (soundEnd_) {
                // The picture's own frame plus the clones fill the sound from the start on.
                const double length =
                    *soundEnd_ - plan_.startSeconds - 1.0 / FrameRate(coverRate_).value_or(1e9);
                char pad[96];
                std::snprintf(pad, sizeof pad, "tpad=stop_mode=clone:stop_duration=%.3f",
                              std::max(0.0, length));
                filters.push_back(pad);
            } else {
                filters.push_back("tpad=stop_mode=clone:stop=-1");
            }
            // The sound ends the output, also where the source claims a length it does not have.
            if (plan_.audio) {
                Add({"-shortest"});
            }
        }
        if (clip_) {
            filters.insert(filters.end(), clip_->videoFilters.begin(), clip_->videoFilters.end());
        }
        if (cmd_.Has("deinterlace")) {
            filters.push_back("yadif");
        }
        if (cmd_.Has("croptop") || cmd_.Has("cropbottom")) {
            std::string t = WholeNumber(cmd_, "croptop"), b = WholeNumber(cmd_, "cropbottom");
            filters.push_back("crop=iw:ih-" + t + "-" + b + ":0:" + t);
        }
        if (cmd_.Has("padtop") || cmd_.Has("padbottom") || cmd_.Has("padleft") || cmd_.Has("padright")) {
            // Legacy padding surrounds the picture of the -s size, so scale before padding.
            ScaleToSize(filters, size);
            // ffmpeg's pad filter rounds a 4:2:0 or 4:2:2 picture's padded size down to even and
            // then refuses it as smaller than an odd input: pad an even picture.
            filters.push_back(RoundedSize(2));
            std::string t = WholeNumber(cmd_, "padtop"), b = WholeNumber(cmd_, "padbottom");
            std::string l = WholeNumber(cmd_, "padleft"), r = WholeNumber(cmd_, "padright");
            std::string color = cmd_.Has("padcolor") ? cmd_.Value("padcolor") : "000000";
            if (!AllOf(color, isxdigit)) {
                throw TEncoderError("invalid value for -padcolor: '" + color + "' (RRGGBB in hex is needed)");
            }
            filters.push_back("pad=iw+" + l + "+" + r + ":ih+" + t + "+" + b + ":" + l + ":" + t +
                              ":color=0x" + color);
        } else if (cmd_.Has("padcolor")) {
            Ignore("padcolor", "no padding is given");
        }
        return filters;
    }

    void MotionEstimation()
    {
        if (!cmd_.Has("me")) {
            return;
        }
        const std::string me = TText::Lower(cmd_.Value("me"));
        if (me == "zero" || me == "epzs" || me == "xone") {
            Add({"-motion_est", me});
        } else if (me == "dia" || me == "hex" || me == "umh" || me == "esa" || me == "tesa") {
            Add({"-me_method", me});
        } else if (me == "full" || me == "log" || me == "phods" || me == "x1") {
            Add({"-motion_est", "epzs"});
            Notice("motion estimation " + me + " no longer exists; epzs is used");
        } else {
            Ignore("me", "unknown motion estimation method");
        }
    }

    const TLegacyCommand& cmd_;
    const std::optional<TAvsClip>& clip_;
    const TFfmpegArguments::TEncoderProbe& hasEncoder_;
    TFfmpegPlan& plan_;
    std::vector<std::string>& a_;
    std::string format_;
    std::string defaultEncoder_; // ffmpeg's choice for this container when no -vcodec is given
    bool movFamily_ = false;
    bool gif_ = false;
    std::string coverRate_;
    std::optional<double> soundEnd_;
};

} // namespace

TFfmpegPlan TFfmpegArguments::Build(const TLegacyCommand& cmd, const std::optional<TAvsClip>& clip,
                                    int progressFd, const TEncoderProbe& hasEncoder,
                                    const TSourceQuery& source)
{
    TFfmpegPlan plan;
    TBuilder b(cmd, clip, hasEncoder, plan);
    b.Global(progressFd);
    b.Input(source);
    b.Container();
    b.Video();
    b.Audio();
    b.Output();
    return plan;
}
