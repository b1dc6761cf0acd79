#pragma once
// The encoder's option set: one text value or flag per option the encoder knows, turned into
// the encoder's command line (as text for the log) or into an argument vector (to start it).

#include <QObject>
#include <QString>
#include <QStringList>

class TFFMpeg : public QObject
{
    Q_OBJECT

public:
    explicit TFFMpeg(QObject* parent = nullptr);

    // The encoder's file name that heads every command line.
    static QString EncoderName() { return QStringLiteral("libm9s.exe"); }

    // The whole command line as one text: the encoder's name and every non-empty option in
    // its fixed order, values inserted verbatim. It is what the log shows.
    QString BuildCommandLine() const;

    // The same options as an argument vector WITHOUT the program name: "-i", value, "-y", ...,
    // output file. Every value is exactly one argument, so blanks, quotes, leading dashes and
    // non-ASCII letters stay whole.
    QStringList BuildArguments() const;

    // Empty text or false means "not given". Declared in this order on purpose (the emitted
    // order differs for OutputFile, Hq, Overwrite and NoVideo).
    QString InputFile;
    QString OutputFile;
    QString Format;
    QString Duration;
    QString StartTime;
    QString Title;
    QString Author;
    QString Copyright;
    QString Comment;
    QString Target;
    QString ItsOffset;
    bool Hq = false;
    bool Overwrite = false;
    QString VideoBitrate;
    QString FrameRate;
    QString FrameSize;
    QString Aspect;
    QString CropTop;
    QString CropBottom;
    QString PadTop;
    QString PadBottom;
    QString PadLeft;
    QString PadRight;
    QString PadColor;
    bool NoVideo = false;
    QString BitrateTolerance;
    QString MaxRate;
    QString MinRate;
    QString BufSize;
    QString VideoCodec;
    bool SameQ = false;
    QString Pass;
    QString PassLogFile;
    QString GopSize;
    bool Intra = false;
    QString QScale;
    QString QMin;
    QString QMax;
    QString QDiff;
    QString QBlur;
    QString QComp;
    QString RcInitCplx;
    QString BQFactor;
    QString IQFactor;
    QString BQOffset;
    QString IQOffset;
    QString RcEq;
    QString Me;
    QString DctAlgo;
    QString IdctAlgo;
    QString Er;
    QString Ec;
    QString Bf;
    QString Mdb;
    bool FourMv = false;
    bool Part = false;
    QString EncoderWorkarounds;
    QString Strict;
    bool Aic = false;
    bool Umv = false;
    bool Deinterlace = false;
    bool Interlace = false;
    bool Psnr = false;
    bool VStats = false;
    QString VHook;
    QString VideoTag;
    QString AudioBitrate;
    QString SampleRate;
    QString Channels;
    bool NoAudio = false;
    QString AudioCodec;
    QString Vd;
    QString Vc;
    QString TvStd;
    bool Dv1394 = false;
    QString Av;
    QString Map;
    bool Debug = false;
    bool Benchmark = false;
    bool Hex = false;
    bool BitExact = false;
    QString Ps;
    bool Re = false;
    bool Loop = false;

private:
    // Calls text(option, value) for each non-empty text option and flag(option) for each true
    // flag, in the emitted order, the output file last as text({}, value).
    template <typename TextFn, typename FlagFn> void VisitEmitted(TextFn text, FlagFn flag) const;
};
