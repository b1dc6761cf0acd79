#include "engine/TFFMpeg.h"

#include <span>

namespace {

// One option: its encoder switch and the field that holds it (text or flag).
struct Option
{
    const char* name;
    QString TFFMpeg::*text;
    bool TFFMpeg::*flag;
};

constexpr Option Text(const char* name, QString TFFMpeg::*field)
{
    return {name, field, nullptr};
}

constexpr Option Flag(const char* name, bool TFFMpeg::*field)
{
    return {name, nullptr, field};
}

// Always considered, before the video stretch.
const Option headOptions[] = {
    Text("-i", &TFFMpeg::InputFile), Flag("-y", &TFFMpeg::Overwrite),  Text("-f", &TFFMpeg::Format),
    Text("-t", &TFFMpeg::Duration),  Text("-ss", &TFFMpeg::StartTime),
};

// Skipped as a whole for an audio-only job.
const Option videoOptions[] = {
    Text("-title", &TFFMpeg::Title),
    Text("-author", &TFFMpeg::Author),
    Text("-copyright", &TFFMpeg::Copyright),
    Text("-comment", &TFFMpeg::Comment),
    Text("-target", &TFFMpeg::Target),
    Flag("-hq", &TFFMpeg::Hq),
    Text("-itsoffset", &TFFMpeg::ItsOffset),
    Text("-b", &TFFMpeg::VideoBitrate),
    Text("-r", &TFFMpeg::FrameRate),
    Text("-s", &TFFMpeg::FrameSize),
    Text("-aspect", &TFFMpeg::Aspect),
    Text("-croptop", &TFFMpeg::CropTop),
    Text("-cropbottom", &TFFMpeg::CropBottom),
    Text("-padtop", &TFFMpeg::PadTop),
    Text("-padbottom", &TFFMpeg::PadBottom),
    Text("-padleft", &TFFMpeg::PadLeft),
    Text("-padright", &TFFMpeg::PadRight),
    Text("-padcolor", &TFFMpeg::PadColor),
    Text("-bt", &TFFMpeg::BitrateTolerance),
    Text("-maxrate", &TFFMpeg::MaxRate),
    Text("-minrate", &TFFMpeg::MinRate),
    Text("-bufsize", &TFFMpeg::BufSize),
    Text("-vcodec", &TFFMpeg::VideoCodec),
    Flag("-sameq", &TFFMpeg::SameQ),
    Text("-pass", &TFFMpeg::Pass),
    Text("-passlogfile", &TFFMpeg::PassLogFile),
    Text("-g", &TFFMpeg::GopSize),
    Flag("-intra", &TFFMpeg::Intra),
    Text("-qscale", &TFFMpeg::QScale),
    Text("-qmin", &TFFMpeg::QMin),
    Text("-qmax", &TFFMpeg::QMax),
    Text("-qdiff", &TFFMpeg::QDiff),
    Text("-qblur", &TFFMpeg::QBlur),
    Text("-qcomp", &TFFMpeg::QComp),
    Text("-rc_init_cplx", &TFFMpeg::RcInitCplx),
    Text("-b_qfactor", &TFFMpeg::BQFactor),
    Text("-i_qfactor", &TFFMpeg::IQFactor),
    Text("-b_qoffset", &TFFMpeg::BQOffset),
    Text("-i_qoffset", &TFFMpeg::IQOffset),
    Text("-rc_eq", &TFFMpeg::RcEq),
    Text("-me", &TFFMpeg::Me),
    Text("-dct_algo", &TFFMpeg::DctAlgo),
    Text("-idct_algo", &TFFMpeg::IdctAlgo),
    Text("-er", &TFFMpeg::Er),
    Text("-ec", &TFFMpeg::Ec),
    Text("-bf", &TFFMpeg::Bf),
    Text("-mdb", &TFFMpeg::Mdb),
    Flag("-4mv", &TFFMpeg::FourMv),
    Flag("-part", &TFFMpeg::Part),
    Text("-bug", &TFFMpeg::EncoderWorkarounds),
    Text("-strict", &TFFMpeg::Strict),
    Flag("-aic", &TFFMpeg::Aic),
    Flag("-umv", &TFFMpeg::Umv),
    Flag("-deinterlace", &TFFMpeg::Deinterlace),
    Flag("-interlace", &TFFMpeg::Interlace),
    Flag("-psnr", &TFFMpeg::Psnr),
    Flag("-vstats", &TFFMpeg::VStats),
    Text("-vhook", &TFFMpeg::VHook),
    Text("-vtag", &TFFMpeg::VideoTag),
};

// Always considered, after the video stretch and before the output file.
const Option audioOptions[] = {
    Text("-ab", &TFFMpeg::AudioBitrate),
    Text("-ar", &TFFMpeg::SampleRate),
    Text("-ac", &TFFMpeg::Channels),
    Flag("-an", &TFFMpeg::NoAudio),
    Text("-acodec", &TFFMpeg::AudioCodec),
    Text("-vd", &TFFMpeg::Vd),
    Text("-vc", &TFFMpeg::Vc),
    Text("-tvstd", &TFFMpeg::TvStd),
    Flag("-dv1394", &TFFMpeg::Dv1394),
    Text("-av", &TFFMpeg::Av),
    Text("-map", &TFFMpeg::Map),
    Flag("-debug", &TFFMpeg::Debug),
    Flag("-benchmark", &TFFMpeg::Benchmark),
    Flag("-hex", &TFFMpeg::Hex),
    Flag("-bitexact", &TFFMpeg::BitExact),
    Text("-ps", &TFFMpeg::Ps),
    Flag("-re", &TFFMpeg::Re),
    Flag("-loop", &TFFMpeg::Loop),
};

static_assert(std::size(headOptions) + 1 + std::size(videoOptions) + std::size(audioOptions) + 1 == 84,
              "the option set knows 84 options");

} // namespace

TFFMpeg::TFFMpeg(QObject* parent) : QObject(parent) {}

template <typename TextFn, typename FlagFn> void TFFMpeg::VisitEmitted(TextFn text, FlagFn flag) const
{
    const auto visit = [&](std::span<const Option> options) {
        for (const Option& option : options) {
            const QLatin1StringView name(option.name);
            if (option.text) {
                const QString& value = this->*option.text;
                if (!value.isEmpty())
                    text(name, value);
            } else if (this->*option.flag) {
                flag(name);
            }
        }
    };
    visit(headOptions);
    if (NoVideo)
        flag(QLatin1StringView("-vn"));
    else
        visit(videoOptions);
    visit(audioOptions);
    if (!OutputFile.isEmpty())
        text(QLatin1StringView(), OutputFile);
}

QString TFFMpeg::BuildCommandLine() const
{
    QString line = EncoderName();
    VisitEmitted(
        [&](QLatin1StringView name, const QString& value) {
            if (name.isEmpty())
                line += u' ' + value;
            else
                line += u' ' + name + u' ' + value + u' ';
        },
        [&](QLatin1StringView name) { line += u' ' + name + u' '; });
    return line;
}

QStringList TFFMpeg::BuildArguments() const
{
    QStringList arguments;
    VisitEmitted(
        [&](QLatin1StringView name, const QString& value) {
            if (!name.isEmpty())
                arguments << name;
            arguments << value;
        },
        [&](QLatin1StringView name) { arguments << name; });
    return arguments;
}
