// The legacy command line as the option set writes it, and the ffmpeg 5.1 arguments it becomes.
#include "TEncoderError.h"
#include "TFfmpegArguments.h"
#include "TLegacyCommand.h"

#include <QtTest>

namespace {

std::vector<std::string> Split(const QString& line)
{
    std::vector<std::string> out;
    for (const QString& part : line.split(u' ', Qt::SkipEmptyParts))
        out.push_back(part.toStdString());
    return out;
}

// " a b c " so that fragments can be searched with their blanks.
QString Joined(const std::vector<std::string>& args)
{
    QString s = QStringLiteral(" ");
    for (const auto& a : args)
        s += QString::fromStdString(a) + u' ';
    return s;
}

bool WithLibxvid(const std::string& name)
{
    return name == "libxvid";
}

// The first fragment that args lacks or holds against the expectation, or an empty text.
QString WrongFragment(const QString& args, const QStringList& present, const QStringList& absent)
{
    for (const QString& p : present)
        if (!args.contains(p))
            return QStringLiteral("'%1' not in%2").arg(p, args);
    for (const QString& a : absent)
        if (args.contains(a))
            return QStringLiteral("'%1' in%2").arg(a, args);
    return {};
}

TFfmpegPlan Plan(const QString& line, bool libxvid = true, const std::optional<TAvsClip>& clip = std::nullopt)
{
    TLegacyCommand cmd = TLegacyCommand::Parse(Split(line));
    return TFfmpegArguments::Build(cmd, clip, 3,
                                   [&](const std::string& n) { return libxvid && WithLibxvid(n); });
}

} // namespace

class tst_LegacyMapping : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseErrors_data();
    void parseErrors();
    void everyOptionIsKnown();
    void mapping_data();
    void mapping();
    void inputAndOutputAreFileUrls();
    void rejectedValues_data();
    void rejectedValues();
    void scriptClip();
    void coverPicture_data();
    void coverPicture();
    void coverOfUnknownLength();
    void parseTime_data();
    void parseTime();
};

void tst_LegacyMapping::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("vtag");

    QTest::newRow("as the option set writes it")
        << " -i /in/a.avi  -y  -f mp4  -b 768k  -vcodec mpeg4  -acodec aac  /out/a.mp4"
        << "/in/a.avi"
        << "/out/a.mp4"
        << "";
    QTest::newRow("tag after the output") << "-i /a.avi -y -f asf /b.asf -vtag MP4S"
                                          << "/a.avi"
                                          << "/b.asf"
                                          << "MP4S";
    QTest::newRow("any order") << "/o.mp4 -vtag XVID -i /a.avi"
                               << "/a.avi"
                               << "/o.mp4"
                               << "XVID";
    QTest::newRow("output with a leading dash") << "-i ./-in.avi -y -out.mp4"
                                                << "./-in.avi"
                                                << "-out.mp4"
                                                << "";
    QTest::newRow("dash output before trailing options") << "-i a.avi -out.asf -vtag MP4S"
                                                         << "a.avi"
                                                         << "-out.asf"
                                                         << "MP4S";
    QTest::newRow("double dash") << "-i a.avi -- -vn"
                                 << "a.avi"
                                 << "-vn"
                                 << "";
    QTest::newRow("last tag wins") << "-i a.avi -vtag XVID o.asf -vtag MP4S"
                                   << "a.avi"
                                   << "o.asf"
                                   << "MP4S";
}

void tst_LegacyMapping::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QString, vtag);
    TLegacyCommand cmd = TLegacyCommand::Parse(Split(line));
    QCOMPARE(QString::fromStdString(cmd.inputFile), input);
    QCOMPARE(QString::fromStdString(cmd.outputFile), output);
    QCOMPARE(QString::fromStdString(cmd.Value("vtag")), vtag);
}

void tst_LegacyMapping::parseErrors_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << "-i a.avi -frobnicate o.mp4"
                                    << "unknown option -frobnicate";
    QTest::newRow("missing value") << "-i a.avi o.mp4 -b"
                                   << "option -b needs a value";
    QTest::newRow("no input") << "-y o.mp4"
                              << "no input file";
    QTest::newRow("no output") << "-i a.avi -y"
                               << "no output file";
    QTest::newRow("two outputs") << "-i a.avi x.mp4 y.mp4"
                                 << "unexpected argument 'x.mp4'";
    QTest::newRow("two inputs") << "-i a.avi -i b.avi o.mp4"
                                << "more than one input";
    QTest::newRow("nothing") << ""
                             << "no input file";
}

void tst_LegacyMapping::parseErrors()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    try {
        TLegacyCommand::Parse(Split(line));
        QFAIL("accepted");
    } catch (const TEncoderError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
        QVERIFY(e.ExitCode() != 0);
    }
}

void tst_LegacyMapping::everyOptionIsKnown()
{
    // The 83 options before the output file, each in the option set's spelling.
    const QStringList names =
        QStringLiteral(
            "i y f t ss vn title author copyright comment target hq itsoffset b r s aspect croptop "
            "cropbottom padtop "
            "padbottom padleft padright padcolor bt maxrate minrate bufsize vcodec sameq pass passlogfile g "
            "intra "
            "qscale qmin qmax qdiff qblur qcomp rc_init_cplx b_qfactor i_qfactor b_qoffset i_qoffset rc_eq "
            "me "
            "dct_algo idct_algo er ec bf mdb 4mv part bug strict aic umv deinterlace interlace psnr vstats "
            "vhook "
            "vtag ab ar ac an acodec vd vc tvstd dv1394 av map debug benchmark hex bitexact ps re loop")
            .split(u' ');
    QCOMPARE(names.size(), 83);
    QCOMPARE(TLegacyCommand::OptionTable().size(), size_t(83));
    for (const QString& n : names) {
        QVERIFY2(TLegacyCommand::FindOption(n.toStdString()), qPrintable(n));
        // Every option must be accepted and never break the build of ffmpeg's arguments.
        const TLegacyOptionInfo* info = TLegacyCommand::FindOption(n.toStdString());
        if (n == u"i")
            continue;
        QString line =
            QStringLiteral("-i a.avi -%1 %2 o.avi").arg(n, info->hasValue ? QStringLiteral("1") : QString());
        Plan(line);
    }
}

void tst_LegacyMapping::mapping_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QString>("notice");

    const QString in = QStringLiteral("-i a.avi ");
    auto row = [&](const char* name, const QString& opts, QStringList present, QStringList absent = {},
                   QString notice = {}) {
        QTest::newRow(name) << in + opts + QStringLiteral(" o.avi") << present << absent << notice;
    };
    row("job set-up line",
        "-y -f mp4 -t 00:00:05 -ss 00:00:01 -b 768k -r 25 -s 320x240 -aspect 4:3 -vcodec mpeg4 -ab 128k -ar "
        "44100 -ac 2 -acodec aac",
        {" -y -ss 00:00:01 -i file:a.avi ", " -f mp4 ", " -t 00:00:05 ", " -b:v 768k ", " -r 25 ",
         " -s 320x240 ", " -aspect 4:3 ", " -c:v mpeg4 ", " -b:a 128k ", " -ar 44100 ", " -ac 2 ",
         " -c:a aac ", " file:o.avi "},
        {" -b ", " -vcodec ", " -acodec ", " -ab "});
    row("progress on descriptor 3, no prompts", "",
        {" -nostdin ", " -nostats ", " -progress pipe:3 ", " -n "}, {" -y "});
    row("no video", "-vn -b 768k -s 320x240 -vcodec mpeg4 -acodec mp3", {" -vn ", " -c:a libmp3lame "},
        {" -b:v ", " -s ", " -c:v "}, "ignored: the output has no video");
    row("no audio", "-an -ab 128k", {" -an "}, {" -b:a "}, "ignored: the output has no audio");
    row("libfaac", "-acodec libfaac", {" -c:a aac "}, {}, "libfaac is written with ffmpeg's aac");
    row("faac", "-acodec faac", {" -c:a aac "});
    row("mp3", "-acodec mp3", {" -c:a libmp3lame "});
    row("amr without an encoder", "-acodec libamr_nb -ar 8000 -ac 1", {" -c:a aac ", " -ar 8000 "});
    row("wma", "-acodec wma", {" -c:a wmav2 "});
    row("vorbis", "-acodec vorbis", {" -c:a libvorbis "});
    row("xvid", "-vcodec xvid", {" -c:v libxvid "}, {" -tag:v "});
    row("h264", "-vcodec h264", {" -c:v libx264 "});
    row("wmv3 has no encoder", "-vcodec wmv3", {" -c:v wmv2 "});
    row("modern names unchanged", "-vcodec wmv2 -acodec wmav2", {" -c:v wmv2 ", " -c:a wmav2 "});
    row("vtag", "-vcodec libxvid -vtag XVID", {" -c:v libxvid ", " -tag:v XVID "});
    row("mpeg4 tag picks the codec", "-f asf -vtag MP4S", {" -c:v mpeg4 ", " -tag:v MP4S "});
    row("tag not fitting the codec", "-vcodec wmv2 -vtag MP4S", {" -c:v wmv2 "}, {" -tag:v "},
        "does not fit the video codec");
    row("xvid tag in mp4 left out", "-f mp4 -vcodec libxvid -vtag XVID", {" -c:v libxvid "}, {" -tag:v "},
        "not allowed in this container");
    row("metadata", "-title T -author A -copyright C -comment K",
        {" -metadata title=T ", " -metadata author=A ", " -metadata artist=A ", " -metadata copyright=C ",
         " -metadata comment=K "});
    row("target", "-target pal-dvd", {" -target pal-dvd "});
    row("hq", "-hq", {" -mbd:v rd "});
    row("itsoffset before input", "-itsoffset 2", {" -itsoffset 2 -i file:a.avi "});
    row("crop", "-croptop 8 -cropbottom 4", {" -vf crop=iw:ih-8-4:0:8 "});
    row("pad after scale", "-s 160x120 -padtop 10 -padbottom 10 -padcolor FF0000",
        {" -vf scale=s=160x120,scale=trunc(iw/2)*2:trunc(ih/2)*2,pad=iw+0+0:ih+10+10:0:10:color=0xFF0000 "},
        {" -s "});
    row("padcolor alone", "-padcolor 00FF00", {}, {" -vf "}, "no padding is given");
    row("rate control", "-bt 100k -maxrate 1M -minrate 10k -bufsize 2M",
        {" -bt:v 100k ", " -maxrate:v 1M ", " -minrate:v 10k ", " -bufsize:v 2M "});
    row("sameq", "-sameq", {}, {" -sameq "}, "-sameq ignored");
    row("two pass", "-pass 1 -passlogfile /tmp/x", {" -pass:v 1 ", " -passlogfile /tmp/x "});
    row("gop and intra", "-g 12", {" -g:v 12 "});
    row("intra", "-intra", {" -g:v 1 "});
    row("quantizers", "-qscale 3 -qmin 2 -qmax 31 -qdiff 3 -qblur 0.5 -qcomp 0.6 -rc_init_cplx 1",
        {" -q:v 3 ", " -qmin:v 2 ", " -qmax:v 31 ", " -qdiff:v 3 ", " -qblur:v 0.5 ", " -qcomp:v 0.6 ",
         " -rc_init_cplx:v 1 "});
    row("quantizer factors", "-b_qfactor 1.25 -i_qfactor 0.8 -b_qoffset 1 -i_qoffset 0 -rc_eq tex",
        {" -b_qfactor:v 1.25 ", " -i_qfactor:v 0.8 ", " -b_qoffset:v 1 ", " -i_qoffset:v 0 ",
         " -rc_eq:v tex "});
    row("me epzs", "-me epzs", {" -motion_est epzs "});
    row("me hex", "-me hex", {" -me_method hex "});
    row("me full", "-me full", {" -motion_est epzs "}, {}, "no longer exists");
    row("dct", "-dct_algo 1 -idct_algo 2", {" -dct:v 1 ", " -idct:v 2 "});
    row("decoder options before input", "-ec 3 -bug 1 -re", {" -ec 3 -bug 1 -i ", " -re "});
    row("er", "-er 2", {}, {" -er "}, "-er ignored");
    row("b frames and mbd", "-bf 2 -mdb 2", {" -bf:v 2 ", " -mbd:v 2 "});
    row("flags", "-4mv -aic -interlace", {" -flags:v +mv4+aic+ilme+ildct "});
    row("part and umv", "-part -umv", {" -data_partitioning 1 ", " -umv 1 "});
    row("strict", "-strict -2", {" -strict -2 "});
    row("deinterlace", "-deinterlace", {" -vf yadif "});
    row("psnr vstats", "-psnr -vstats", {" -psnr ", " -vstats "});
    row("vhook", "-vhook x.so", {}, {" -vhook ", "x.so"}, "-vhook ignored");
    row("capture devices", "-vd /dev/video0 -vc 1 -tvstd pal -dv1394 -av 1", {},
        {" -vd ", " -tvstd ", "/dev/video0"}, "capture devices are not supported");
    row("legacy map", "-map 0.1", {" -map 0:1 "});
    row("map with sync", "-map 0.1:0.0", {" -map 0:1 "});
    row("debug", "-debug -benchmark -hex", {" -loglevel debug ", " -benchmark ", " -hex "});
    row("bitexact ps", "-bitexact -ps 1400", {" -bitexact ", " -ps:v 1400 "});
    row("loop", "-loop", {}, {" -loop ", " -stream_loop "}, "-loop ignored");
    row("formats", "-f mkv", {" -f matroska "});
    row("format aac", "-f aac", {" -f adts "});

    // Playable output: 4:2:0 for encoders that would keep a 4:4:4 or 4:2:2 source, the size rounded
    // down to the encoder's multiple when the source's size is kept. ffmpeg's pad filter cannot pad
    // an odd 4:2:0 picture, so padding gets an even one.
    const QString even = QStringLiteral("scale=trunc(iw/2)*2:trunc(ih/2)*2");
    row("h264 gets 4:2:0 and an even size", "-vcodec h264 -b 500k",
        {" -c:v libx264 ", " -pix_fmt yuv420p ", " -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 "});
    row("even size after crop and pad", "-vcodec libx264 -croptop 2 -padleft 3",
        {" -vf crop=iw:ih-2-0:0:2," + even + ",pad=iw+3+0:ih+0+0:3:0:color=0x000000," + even + " "});
    row("even size after padding an -s picture", "-vcodec libx264 -s 161x121 -padtop 1",
        {" -vf scale=s=161x121," + even + ",pad=iw+0+0:ih+1+0:0:1:color=0x000000," + even + " "}, {" -s "});
    row("an -s size is kept as given", "-vcodec libx264 -s 320x240", {" -s 320x240 ", " -pix_fmt yuv420p "},
        {"trunc"});
    row("hevc", "-vcodec hevc", {" -c:v libx265 ", " -pix_fmt yuv420p "});
    row("vp9", "-vcodec vp9", {" -pix_fmt yuv420p "}, {"trunc"});
    row("theora", "-vcodec theora", {" -pix_fmt yuv420p "}, {"trunc"});
    row("mpeg2 from 4:2:2", "-vcodec mpeg2", {" -c:v mpeg2video ", " -pix_fmt yuv420p "}, {"trunc"});
    row("xvid needs even sizes only", "-vcodec xvid", {" -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 "},
        {" -pix_fmt "});
    row("wmv2 needs even sizes", "-vcodec wmv2", {" -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 "}, {" -pix_fmt "});
    row("rv20 needs multiples of 4", "-vcodec rv40", {" -vf scale=trunc(iw/4)*4:trunc(ih/4)*4 "});
    row("h263+ needs multiples of 4", "-vcodec h263+", {" -vf scale=trunc(iw/4)*4:trunc(ih/4)*4 "});
    row("mpeg4 takes any size and chooses 4:2:0 itself", "-vcodec mpeg4 -croptop 1",
        {" -vf crop=iw:ih-1-0:0:1 "}, {" -pix_fmt ", "trunc"});
    row("stream copy untouched", "-vcodec copy", {" -c:v copy "}, {" -pix_fmt ", " -vf "});
    row("target brings its own format", "-target pal-dvd -vcodec mpeg2video", {" -target pal-dvd "},
        {" -pix_fmt ", " -vf "});
    row("mkv without -vcodec is h264", "-f mkv", {" -pix_fmt yuv420p ", "trunc(iw/2)"}, {" -c:v "});
    row("webm without -vcodec is vp9", "-f webm", {" -pix_fmt yuv420p "}, {"trunc"});
    row("avi without -vcodec is mpeg4", "-f avi", {}, {" -pix_fmt ", " -vf "});
    row("no video, no pixel format", "-vn -vcodec h264", {" -vn "}, {" -pix_fmt ", " -vf "});

    // Today's codecs.
    row("hevc in mp4 is tagged hvc1", "-f mp4 -vcodec libx265",
        {" -c:v libx265 -tag:v hvc1 ", " -pix_fmt yuv420p "});
    row("hevc in mov is tagged hvc1", "-f mov -vcodec hevc", {" -c:v libx265 -tag:v hvc1 "});
    row("hevc in matroska keeps its tag", "-f matroska -vcodec libx265", {" -c:v libx265 "}, {" -tag:v "});
    row("av1", "-f webm -vcodec libsvtav1", {" -c:v libsvtav1 ", " -pix_fmt yuv420p ", "trunc(iw/2)"});
    row("opus at a rate it takes", "-acodec opus -ar 24000", {" -c:a libopus ", " -ar 24000 "});
    row("opus raises 44.1 kHz", "-acodec libopus -ar 44100", {" -ar 48000 "}, {" -ar 44100 "},
        "sample rate 44100 is written as 48000");
    row("opus raises 22.05 kHz", "-acodec libopus -ar 22050", {" -ar 24000 "});
    row("opus raises 11.025 kHz", "-acodec libopus -ar 11025", {" -ar 12000 "});
    row("opus lowers 96 kHz", "-acodec libopus -ar 96000", {" -ar 48000 "});
    row("opus remaps side channels", "-acodec libopus",
        {" -af aformat=channel_layouts=mono|stereo|3.0|quad|5.0|5.1|6.1|7.1 -c:a libopus "}, {" -ar "});
    row("flac and alac pass through", "-f ipod -acodec alac", {" -c:a alac "});
    row("video copy takes no encoding options",
        "-vcodec copy -vtag XVID -b 500k -r 25 -s 320x240 -aspect 4:3 -croptop 2 -padtop 2 -deinterlace "
        "-qscale 3 "
        "-g 12",
        {" -c:v copy -tag:v XVID "},
        {" -b:v ", " -r ", " -s ", " -aspect ", " -vf ", " -pix_fmt ", " -q:v ", " -g:v "},
        "option -b ignored: the video is copied, not encoded");
    row("audio copy takes no encoding options", "-acodec copy -ab 128k -ar 44100 -ac 2", {" -c:a copy "},
        {" -b:a ", " -ar ", " -ac ", " -af "}, "option -ar ignored: the audio is copied, not encoded");
    row("gif: palette per frame after rate and size",
        "-f gif -vcodec gif -r 10 -s 120x90 -acodec mp3 -ab 64k",
        {" -vf fps=10,scale=s=120x90,split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1 ",
         " -an "},
        {" -r ", " -s ", " -c:a ", " -b:a "}, "option -acodec ignored: a GIF holds no sound");
    row("gif container picks the gif encoder", "-f gif", {"paletteuse", " -an "}, {" -c:v "});
    row("gif keeps the even size of padding", "-vcodec gif -padtop 2",
        {" -vf scale=trunc(iw/2)*2:trunc(ih/2)*2,pad=iw+0+0:ih+2+0:0:2:color=0x000000,split[a][b]"});
    row("mp4 plays while it downloads", "-f mp4", {" -movflags +faststart "});
    row("m4a plays while it downloads", "-f m4a -vn", {" -f ipod ", " -movflags +faststart "});
    row("mov plays while it downloads", "-f mov", {" -movflags +faststart "});
    row("3gp plays while it downloads", "-f 3gp", {" -movflags +faststart "});
    row("avi has no index to move", "-f avi", {}, {" -movflags "});
    row("ismv is fragmented already", "-f ismv", {}, {" -movflags "});
}

void tst_LegacyMapping::mapping()
{
    QFETCH(QString, line);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    QFETCH(QString, notice);
    TFfmpegPlan plan = Plan(line, /*libxvid=*/true);
    const QString args = Joined(plan.arguments);
    const QString wrong = WrongFragment(args, present, absent);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QString notices;
    for (const auto& n : plan.notices)
        notices += QString::fromStdString(n) + u'\n';
    if (!notice.isEmpty())
        QVERIFY2(notices.contains(notice), qPrintable(notices));
    QVERIFY(args.endsWith(QStringLiteral(" file:o.avi ")));
}

void tst_LegacyMapping::inputAndOutputAreFileUrls()
{
    // Leading dashes, colons and blanks stay file names, never options or protocols.
    TLegacyCommand cmd;
    cmd.inputFile = "-in put:1.avi";
    cmd.outputFile = "http:out $x.mp4";
    TFfmpegPlan plan = TFfmpegArguments::Build(cmd, std::nullopt, 3, WithLibxvid);
    auto& a = plan.arguments;
    auto i = std::find(a.begin(), a.end(), std::string("-i"));
    QVERIFY(i != a.end());
    QCOMPARE(*(i + 1), std::string("file:-in put:1.avi"));
    QCOMPARE(a.back(), std::string("file:http:out $x.mp4"));
}

void tst_LegacyMapping::rejectedValues_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("crop injection") << "-i a -croptop 1,drawtext=x o"
                                    << "invalid value for -croptop";
    QTest::newRow("pad colour") << "-i a -padtop 2 -padcolor red,x o"
                                << "invalid value for -padcolor";
    QTest::newRow("size before pad") << "-i a -padtop 2 -s 10x10,x o"
                                     << "invalid frame size";
    QTest::newRow("start") << "-i a -ss soon o"
                           << "invalid start time";
    QTest::newRow("duration") << "-i a -t 00:00:00 o"
                              << "invalid duration";
    QTest::newRow("gif rate") << "-i a -vcodec gif -r 10,drawtext o"
                              << "invalid frame rate for -r";
    QTest::newRow("gif size") << "-i a -f gif -s 10x10[x] o"
                              << "invalid frame size for -s";
}

void tst_LegacyMapping::rejectedValues()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    try {
        Plan(line);
        QFAIL("accepted");
    } catch (const TEncoderError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
    }
}

void tst_LegacyMapping::scriptClip()
{
    TAvsClip clip;
    clip.sourceFile = "/src/movie.mp4";
    clip.audio = false;
    clip.videoFilters = {"transpose=2"};
    clip.constantFrameRate = true;
    TFfmpegPlan plan = Plan(QStringLiteral("-i /tmp/m9s.avs -y -s 176x220 -deinterlace o.avi"), true, clip);
    const QString args = Joined(plan.arguments);
    QVERIFY2(args.contains(QStringLiteral(" -i file:/src/movie.mp4 ")), qPrintable(args));
    QVERIFY2(args.contains(QStringLiteral(" -vf transpose=2,yadif ")), qPrintable(args));
    QVERIFY2(args.contains(QStringLiteral(" -s 176x220 ")), qPrintable(args));
    QVERIFY2(args.contains(QStringLiteral(" -an ")), qPrintable(args));
    QVERIFY2(args.contains(QStringLiteral(" -fps_mode:v cfr ")), qPrintable(args));
    QVERIFY(!args.contains(QStringLiteral("m9s.avs")));

    // The even size comes last, after the script's rotation and the command line's crop and pad;
    // the output's extension picks the encoder when -vcodec is missing.
    plan = Plan(QStringLiteral("-i /tmp/m9s.avs -y -croptop 1 -padright 1 o.mp4"), true, clip);
    QVERIFY2(
        Joined(plan.arguments)
            .contains(QStringLiteral(" -vf transpose=2,crop=iw:ih-1-0:0:1,scale=trunc(iw/2)*2:trunc(ih/2)*2,"
                                     "pad=iw+0+1:ih+0+0:0:0:color=0x000000,"
                                     "scale=trunc(iw/2)*2:trunc(ih/2)*2 ")),
        qPrintable(Joined(plan.arguments)));
    QVERIFY(Joined(plan.arguments).contains(QStringLiteral(" -pix_fmt yuv420p ")));

    // Without libxvid the xvid codec becomes mpeg4 tagged XVID.
    plan = Plan(QStringLiteral("-i a.avi -vcodec libxvid o.avi"), /*libxvid=*/false);
    QVERIFY(Joined(plan.arguments).contains(QStringLiteral(" -c:v mpeg4 -tag:v XVID ")));
}

void tst_LegacyMapping::coverPicture_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("cover"); // the source is music with a cover picture
    QTest::addColumn<bool>("asked"); // whether the source had to be probed
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    const QString in = QStringLiteral("-i a.mp3 -y ");
    auto row = [&](const char* name, const QString& opts, bool cover, bool asked, QStringList present,
                   QStringList absent = {}) {
        QTest::newRow(name) << in + opts + QStringLiteral(" o.mp4") << cover << asked << present << absent;
    };
    row("picture held as long as the sound", "-f mp4 -vcodec mpeg4 -acodec aac", true, true,
        {" -i file:a.mp3 -r 5 -i file:a.mp3 -f mp4 ", " -map 1:v:0 -map 0:a:0 -disposition:v:0 default ",
         " -vf tpad=stop_mode=clone:stop_duration=4.800 "});
    row("the profile's rate", "-r 25 -vcodec mpeg4", true, true,
        {" -r 25 -i file:a.mp3 ", " -vf tpad=stop_mode=clone:stop_duration=4.960 ", " -r 25 "});
    row("broadcast rate for mpeg2", "-f vob -vcodec mpeg2video", true, true, {" -r 25 -i file:a.mp3 "});
    row("window after a start", "-ss 00:00:02 -vcodec mpeg4", true, true,
        {" -ss 00:00:02 -i file:a.mp3 -r 5 -i file:a.mp3 ", "stop_duration=2.800 "});
    row("scaled and padded after the hold", "-s 160x120 -padtop 20 -vcodec mpeg4", true, true,
        {" -vf tpad=stop_mode=clone:stop_duration=4.800,scale=s=160x120,"});
    row("without sound", "-an -vcodec mpeg4", true, true,
        {" -map 1:v:0 -disposition:v:0 default ", "stop_duration=4.800 "}, {" 0:a:0 ", " -shortest "});
    row("sound ends the picture", "-vcodec mpeg4", true, true, {" -shortest "});
    row("music without a cover", "-vcodec mpeg4", false, true, {}, {" -map ", "tpad", " -r "});
    row("no video wanted", "-vn -acodec aac", true, false, {}, {" -map ", "tpad"});
    row("stream copy", "-vcodec copy -acodec copy", true, false, {}, {" -map ", "tpad"});
    row("explicit map", "-map 0.0 -vcodec mpeg4", true, false, {" -map 0:0 "}, {"tpad", " 1:v:0 "});
}

void tst_LegacyMapping::coverPicture()
{
    QFETCH(QString, line);
    QFETCH(bool, cover);
    QFETCH(bool, asked);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    TSourceProbe probe;
    TStreamInfo sound;
    sound.index = 0;
    sound.type = "audio";
    sound.start = 0;
    sound.duration = 5.0;
    probe.streams.push_back(sound);
    if (cover) {
        TStreamInfo picture;
        picture.index = 1;
        picture.type = "video";
        picture.attachedPicture = true;
        probe.streams.push_back(picture);
    }
    bool wasAsked = false;
    TFfmpegPlan plan =
        TFfmpegArguments::Build(TLegacyCommand::Parse(Split(line)), std::nullopt, 3, WithLibxvid, [&] {
            wasAsked = true;
            return &probe;
        });
    QCOMPARE(wasAsked, asked);
    QCOMPARE(plan.coverPicture, cover && asked);
    const QString args = Joined(plan.arguments);
    const QString wrong = WrongFragment(args, present, absent);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void tst_LegacyMapping::coverOfUnknownLength()
{
    TSourceProbe probe;
    TStreamInfo sound, picture;
    sound.index = 0;
    sound.type = "audio";
    picture.index = 1;
    picture.type = "video";
    picture.attachedPicture = true;
    probe.streams = {sound, picture};
    auto build = [&](const char* line) {
        return TFfmpegArguments::Build(TLegacyCommand::Parse(Split(QString::fromLatin1(line))), std::nullopt,
                                       3, WithLibxvid, [&] { return &probe; });
    };

    // The sound ends the held picture.
    TFfmpegPlan plan = build("-i a.mp3 -vcodec mpeg4 o.mp4");
    QVERIFY(plan.coverPicture);
    QVERIFY(Joined(plan.arguments).contains(QStringLiteral(" -vf tpad=stop_mode=clone:stop=-1 ")));
    QVERIFY(Joined(plan.arguments).contains(QStringLiteral(" -shortest ")));
    // Without sound nothing would: ffmpeg's own way then.
    plan = build("-i a.mp3 -an -vcodec mpeg4 o.mp4");
    QVERIFY(!plan.coverPicture);
    QVERIFY(!Joined(plan.arguments).contains(QStringLiteral("tpad")));
    // The container's length stands in for the sound's.
    probe.formatDuration = 6.0;
    plan = build("-i a.mp3 -an -vcodec mpeg4 o.mp4");
    QVERIFY(plan.coverPicture);
    QVERIFY2(
        Joined(plan.arguments).contains(QStringLiteral(" -vf tpad=stop_mode=clone:stop_duration=5.800 ")),
        qPrintable(Joined(plan.arguments)));
}

void tst_LegacyMapping::parseTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("valid");
    QTest::newRow("hms") << "00:01:30" << 90.0 << true;
    QTest::newRow("fraction") << "01:00:00.5" << 3600.5 << true;
    QTest::newRow("seconds") << "12.25" << 12.25 << true;
    QTest::newRow("ms") << "2:05" << 125.0 << true;
    QTest::newRow("word") << "soon" << 0.0 << false;
    QTest::newRow("empty field") << "00::10" << 0.0 << false;
    QTest::newRow("four fields") << "1:2:3:4" << 0.0 << false;
}

void tst_LegacyMapping::parseTime()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, seconds);
    auto secs = TFfmpegArguments::ParseTime(text.toStdString());
    QCOMPARE(secs.has_value(), valid);
    if (secs)
        QCOMPARE(*secs, seconds);
}

QTEST_GUILESS_MAIN(tst_LegacyMapping)
#include "tst_LegacyMapping.moc"
