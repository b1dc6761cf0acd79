// The option set: every option's fragment, the fixed order, the no-video switch and the
// argument vector built from the same fragments.
#include "engine/TFFMpeg.h"

#include <QTest>

#include <variant>

namespace {

using Field = std::variant<QString TFFMpeg::*, bool TFFMpeg::*>;

struct Row
{
    const char* name;
    Field field;
    const char* option; // the switch; empty for the output file
};

// The options in the order the encoder gets them, NoVideo in its place (row 6).
const Row emitted[] = {
    {"InputFile", &TFFMpeg::InputFile, "-i"},
    {"Overwrite", &TFFMpeg::Overwrite, "-y"},
    {"Format", &TFFMpeg::Format, "-f"},
    {"Duration", &TFFMpeg::Duration, "-t"},
    {"StartTime", &TFFMpeg::StartTime, "-ss"},
    {"NoVideo", &TFFMpeg::NoVideo, "-vn"},
    {"Title", &TFFMpeg::Title, "-title"},
    {"Author", &TFFMpeg::Author, "-author"},
    {"Copyright", &TFFMpeg::Copyright, "-copyright"},
    {"Comment", &TFFMpeg::Comment, "-comment"},
    {"Target", &TFFMpeg::Target, "-target"},
    {"Hq", &TFFMpeg::Hq, "-hq"},
    {"ItsOffset", &TFFMpeg::ItsOffset, "-itsoffset"},
    {"VideoBitrate", &TFFMpeg::VideoBitrate, "-b"},
    {"FrameRate", &TFFMpeg::FrameRate, "-r"},
    {"FrameSize", &TFFMpeg::FrameSize, "-s"},
    {"Aspect", &TFFMpeg::Aspect, "-aspect"},
    {"CropTop", &TFFMpeg::CropTop, "-croptop"},
    {"CropBottom", &TFFMpeg::CropBottom, "-cropbottom"},
    {"PadTop", &TFFMpeg::PadTop, "-padtop"},
    {"PadBottom", &TFFMpeg::PadBottom, "-padbottom"},
    {"PadLeft", &TFFMpeg::PadLeft, "-padleft"},
    {"PadRight", &TFFMpeg::PadRight, "-padright"},
    {"PadColor", &TFFMpeg::PadColor, "-padcolor"},
    {"BitrateTolerance", &TFFMpeg::BitrateTolerance, "-bt"},
    {"MaxRate", &TFFMpeg::MaxRate, "-maxrate"},
    {"MinRate", &TFFMpeg::MinRate, "-minrate"},
    {"BufSize", &TFFMpeg::BufSize, "-bufsize"},
    {"VideoCodec", &TFFMpeg::VideoCodec, "-vcodec"},
    {"SameQ", &TFFMpeg::SameQ, "-sameq"},
    {"Pass", &TFFMpeg::Pass, "-pass"},
    {"PassLogFile", &TFFMpeg::PassLogFile, "-passlogfile"},
    {"GopSize", &TFFMpeg::GopSize, "-g"},
    {"Intra", &TFFMpeg::Intra, "-intra"},
    {"QScale", &TFFMpeg::QScale, "-qscale"},
    {"QMin", &TFFMpeg::QMin, "-qmin"},
    {"QMax", &TFFMpeg::QMax, "-qmax"},
    {"QDiff", &TFFMpeg::QDiff, "-qdiff"},
    {"QBlur", &TFFMpeg::QBlur, "-qblur"},
    {"QComp", &TFFMpeg::QComp, "-qcomp"},
    {"RcInitCplx", &TFFMpeg::RcInitCplx, "-rc_init_cplx"},
    {"BQFactor", &TFFMpeg::BQFactor, "-b_qfactor"},
    {"IQFactor", &TFFMpeg::IQFactor, "-i_qfactor"},
    {"BQOffset", &TFFMpeg::BQOffset, "-b_qoffset"},
    {"IQOffset", &TFFMpeg::IQOffset, "-i_qoffset"},
    {"RcEq", &TFFMpeg::RcEq, "-rc_eq"},
    {"Me", &TFFMpeg::Me, "-me"},
    {"DctAlgo", &TFFMpeg::DctAlgo, "-dct_algo"},
    {"IdctAlgo", &TFFMpeg::IdctAlgo, "-idct_algo"},
    {"Er", &TFFMpeg::Er, "-er"},
    {"Ec", &TFFMpeg::Ec, "-ec"},
    {"Bf", &TFFMpeg::Bf, "-bf"},
    {"Mdb", &TFFMpeg::Mdb, "-mdb"},
    {"FourMv", &TFFMpeg::FourMv, "-4mv"},
    {"Part", &TFFMpeg::Part, "-part"},
    {"EncoderWorkarounds", &TFFMpeg::EncoderWorkarounds, "-bug"},
    {"Strict", &TFFMpeg::Strict, "-strict"},
    {"Aic", &TFFMpeg::Aic, "-aic"},
    {"Umv", &TFFMpeg::Umv, "-umv"},
    {"Deinterlace", &TFFMpeg::Deinterlace, "-deinterlace"},
    {"Interlace", &TFFMpeg::Interlace, "-interlace"},
    {"Psnr", &TFFMpeg::Psnr, "-psnr"},
    {"VStats", &TFFMpeg::VStats, "-vstats"},
    {"VHook", &TFFMpeg::VHook, "-vhook"},
    {"VideoTag", &TFFMpeg::VideoTag, "-vtag"},
    {"AudioBitrate", &TFFMpeg::AudioBitrate, "-ab"},
    {"SampleRate", &TFFMpeg::SampleRate, "-ar"},
    {"Channels", &TFFMpeg::Channels, "-ac"},
    {"NoAudio", &TFFMpeg::NoAudio, "-an"},
    {"AudioCodec", &TFFMpeg::AudioCodec, "-acodec"},
    {"Vd", &TFFMpeg::Vd, "-vd"},
    {"Vc", &TFFMpeg::Vc, "-vc"},
    {"TvStd", &TFFMpeg::TvStd, "-tvstd"},
    {"Dv1394", &TFFMpeg::Dv1394, "-dv1394"},
    {"Av", &TFFMpeg::Av, "-av"},
    {"Map", &TFFMpeg::Map, "-map"},
    {"Debug", &TFFMpeg::Debug, "-debug"},
    {"Benchmark", &TFFMpeg::Benchmark, "-benchmark"},
    {"Hex", &TFFMpeg::Hex, "-hex"},
    {"BitExact", &TFFMpeg::BitExact, "-bitexact"},
    {"Ps", &TFFMpeg::Ps, "-ps"},
    {"Re", &TFFMpeg::Re, "-re"},
    {"Loop", &TFFMpeg::Loop, "-loop"},
    {"OutputFile", &TFFMpeg::OutputFile, ""},
};
constexpr int noVideoRow = 5;
constexpr int firstAudioRow = 65;
static_assert(std::size(emitted) == 84);

// Sets the named options; text options take "Name=value", flags just "Name".
void Apply(TFFMpeg& f, const QStringList& settings)
{
    for (const QString& setting : settings) {
        const QString name = setting.section(u'=', 0, 0);
        const QString value = setting.section(u'=', 1);
        bool found = false;
        for (const Row& row : emitted) {
            if (name != QLatin1String(row.name))
                continue;
            found = true;
            if (auto text = std::get_if<QString TFFMpeg::*>(&row.field))
                f.*(*text) = value;
            else
                f.*std::get<bool TFFMpeg::*>(row.field) = true;
        }
        QVERIFY2(found, qPrintable(name));
    }
}

// The fragment of one row as the encoder's command line carries it.
QString Fragment(const Row& row, const QString& value)
{
    if (!*row.option)
        return u' ' + value;
    if (std::holds_alternative<bool TFFMpeg::*>(row.field))
        return QStringLiteral(" %1 ").arg(QLatin1String(row.option));
    return QStringLiteral(" %1 %2 ").arg(QLatin1String(row.option), value);
}

} // namespace

class TestFFMpeg : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void eachOptionAlone_data();
    void eachOptionAlone();
    void everyOptionInOrder();
    void noVideoSkipsTheWholeVideoStretch();
    void valuesPersist();
    void argumentsMatchTheCommandLine_data();
    void argumentsMatchTheCommandLine();
    void awkwardValuesStayOneArgument();
    void declaredOrder();
};

void TestFFMpeg::commandLine_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("nothing set") << QStringList() << "libm9s.exe" << QStringList();
    QTest::newRow("only the output file")
        << QStringList{"OutputFile=D:\\OUT.MP4"} << "libm9s.exe D:\\OUT.MP4" << QStringList{"D:\\OUT.MP4"};
    QTest::newRow("example job")
        << QStringList{"InputFile=C:\\IN.AVI",  "Overwrite",        "Format=mp4",
                       "VideoBitrate=768k",     "VideoCodec=mpeg4", "AudioCodec=aac",
                       "OutputFile=D:\\OUT.MP4"}
        << "libm9s.exe -i C:\\IN.AVI  -y  -f mp4  -b 768k  -vcodec mpeg4  -acodec aac  D:\\OUT.MP4"
        << QStringList{"-i",   "C:\\IN.AVI", "-y",    "-f",      "mp4", "-b",
                       "768k", "-vcodec",    "mpeg4", "-acodec", "aac", "D:\\OUT.MP4"};
    QTest::newRow("overwrite without input follows the name")
        << QStringList{"Overwrite"} << "libm9s.exe -y " << QStringList{"-y"};
    QTest::newRow("a blank is a value")
        << QStringList{"Format= "} << "libm9s.exe -f   " << QStringList{"-f", " "};
    QTest::newRow("time window follows the input, output last")
        << QStringList{"OutputFile=o.mp4", "StartTime=00:01:00", "Duration=00:00:30", "InputFile=i.avi"}
        << "libm9s.exe -i i.avi  -t 00:00:30  -ss 00:01:00  o.mp4"
        << QStringList{"-i", "i.avi", "-t", "00:00:30", "-ss", "00:01:00", "o.mp4"};
    QTest::newRow("audio-only job")
        << QStringList{"InputFile=a.wav",  "Overwrite",         "NoVideo",
                       "VideoCodec=mpeg4", "VideoBitrate=768k", "FrameSize=320x240",
                       "Aspect=4:3",       "Title=t",           "Hq",
                       "ItsOffset=1",      "VideoTag=XVID",     "AudioBitrate=128k",
                       "SampleRate=44100", "Channels=2",        "AudioCodec=libmp3lame",
                       "OutputFile=a.mp3"}
        << "libm9s.exe -i a.wav  -y  -vn  -ab 128k  -ar 44100  -ac 2  -acodec libmp3lame  a.mp3"
        << QStringList{"-i",    "a.wav", "-y", "-vn",     "-ab",        "128k", "-ar",
                       "44100", "-ac",   "2",  "-acodec", "libmp3lame", "a.mp3"};
    QTest::newRow("values are not quoted")
        << QStringList{"InputFile=C:\\My Videos\\a b.avi", "OutputFile=\"x y\".mp4"}
        << "libm9s.exe -i C:\\My Videos\\a b.avi  \"x y\".mp4"
        << QStringList{"-i", "C:\\My Videos\\a b.avi", "\"x y\".mp4"};
}

void TestFFMpeg::commandLine()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, expected);
    QFETCH(QStringList, arguments);
    TFFMpeg f;
    Apply(f, settings);
    QCOMPARE(f.BuildCommandLine(), expected);
    QCOMPARE(f.BuildArguments(), arguments);
    QVERIFY(!f.BuildCommandLine().contains(QStringLiteral(" -vn ")) || f.NoVideo);
}

void TestFFMpeg::eachOptionAlone_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(emitted)); ++i)
        QTest::newRow(emitted[i].name) << i;
}

void TestFFMpeg::eachOptionAlone()
{
    QFETCH(int, row);
    const Row& r = emitted[row];
    const bool flag = std::holds_alternative<bool TFFMpeg::*>(r.field);
    TFFMpeg f;
    Apply(f, {flag ? QString::fromLatin1(r.name) : QString::fromLatin1(r.name) + QStringLiteral("=v1")});
    QCOMPARE(f.BuildCommandLine(), QStringLiteral("libm9s.exe") + Fragment(r, QStringLiteral("v1")));
    QStringList args;
    if (*r.option)
        args << QString::fromLatin1(r.option);
    if (!flag)
        args << QStringLiteral("v1");
    QCOMPARE(f.BuildArguments(), args);
}

void TestFFMpeg::everyOptionInOrder()
{
    // Every option set at once, each value distinct, inserted in reverse order.
    TFFMpeg f;
    QString expected = QStringLiteral("libm9s.exe");
    for (int i = int(std::size(emitted)) - 1; i >= 0; --i) {
        const Row& r = emitted[i];
        if (i == noVideoRow)
            continue;
        if (auto text = std::get_if<QString TFFMpeg::*>(&r.field))
            f.*(*text) = QStringLiteral("v%1").arg(i + 1);
        else
            f.*std::get<bool TFFMpeg::*>(r.field) = true;
    }
    for (int i = 0; i < int(std::size(emitted)); ++i) {
        if (i != noVideoRow)
            expected += Fragment(emitted[i], QStringLiteral("v%1").arg(i + 1));
    }
    QCOMPARE(f.BuildCommandLine(), expected);
    QCOMPARE(f.BuildCommandLine(), f.BuildCommandLine()); // building changes nothing
}

void TestFFMpeg::noVideoSkipsTheWholeVideoStretch()
{
    TFFMpeg f;
    for (int i = 0; i < int(std::size(emitted)); ++i) {
        const Row& r = emitted[i];
        if (auto text = std::get_if<QString TFFMpeg::*>(&r.field))
            f.*(*text) = QStringLiteral("v%1").arg(i + 1);
        else
            f.*std::get<bool TFFMpeg::*>(r.field) = true;
    }
    QString expected = QStringLiteral("libm9s.exe");
    for (int i = 0; i < int(std::size(emitted)); ++i) {
        if (i <= noVideoRow || i >= firstAudioRow)
            expected += Fragment(emitted[i], QStringLiteral("v%1").arg(i + 1));
    }
    QCOMPARE(f.BuildCommandLine(), expected);
    QCOMPARE(f.BuildCommandLine().count(QStringLiteral(" -vn ")), 1);
    const QStringList args = f.BuildArguments();
    QCOMPARE(args.count(QStringLiteral("-vn")), 1);
    QCOMPARE(args.indexOf(QStringLiteral("-vn")), args.indexOf(QStringLiteral("-ss")) + 2);
    for (const char* video : {"-vcodec", "-b", "-s", "-aspect", "-title", "-hq", "-itsoffset", "-vtag"})
        QVERIFY2(!args.contains(QLatin1String(video)), video);
}

void TestFFMpeg::valuesPersist()
{
    TFFMpeg f;
    f.VideoTag = QStringLiteral("XVID");
    f.OutputFile = QStringLiteral("one.avi");
    const QString first = f.BuildCommandLine();
    QCOMPARE(first, QStringLiteral("libm9s.exe -vtag XVID  one.avi"));
    f.OutputFile = QStringLiteral("two.avi");
    QVERIFY(f.BuildCommandLine().contains(QStringLiteral(" -vtag XVID ")));
    f.VideoTag.clear();
    QCOMPARE(f.BuildCommandLine(), QStringLiteral("libm9s.exe two.avi"));
}

void TestFFMpeg::argumentsMatchTheCommandLine_data()
{
    QTest::addColumn<int>("seed");
    for (int seed = 1; seed <= 6; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("mix %1").arg(seed))) << seed;
}

void TestFFMpeg::argumentsMatchTheCommandLine()
{
    // For values without blanks, the argument vector is the command line cut at blanks.
    QFETCH(int, seed);
    TFFMpeg f;
    for (int i = 0; i < int(std::size(emitted)); ++i) {
        if ((i * 7 + seed) % (seed + 1) != 0)
            continue;
        const Row& r = emitted[i];
        if (auto text = std::get_if<QString TFFMpeg::*>(&r.field))
            f.*(*text) = QStringLiteral("x%1").arg(i);
        else
            f.*std::get<bool TFFMpeg::*>(r.field) = true;
    }
    QStringList words = f.BuildCommandLine().split(u' ', Qt::SkipEmptyParts);
    QCOMPARE(words.takeFirst(), TFFMpeg::EncoderName());
    QCOMPARE(f.BuildArguments(), words);
}

void TestFFMpeg::awkwardValuesStayOneArgument()
{
    TFFMpeg f;
    f.InputFile = QStringLiteral("/home/me/My Videos/it's \"one\".avi");
    f.Title = QStringLiteral("-not-an-option");
    f.Comment = QStringLiteral(u"中文 Größe");
    f.Format = QStringLiteral(" ");
    f.OutputFile = QStringLiteral("-out put.mp4");
    QCOMPARE(f.BuildArguments(),
             (QStringList{"-i", "/home/me/My Videos/it's \"one\".avi", "-f", " ", "-title", "-not-an-option",
                          "-comment", QStringLiteral(u"中文 Größe"), "-out put.mp4"}));
    QCOMPARE(f.BuildCommandLine(),
             QStringLiteral(u"libm9s.exe -i /home/me/My Videos/it's \"one\".avi  -f    "
                            u"-title -not-an-option  -comment 中文 Größe  -out put.mp4"));
}

void TestFFMpeg::declaredOrder()
{
    // Fields are declared in the emitted order except: OutputFile right after InputFile,
    // Hq and Overwrite after ItsOffset, NoVideo after PadColor.
    QStringList declared;
    for (const Row& r : emitted)
        declared << QString::fromLatin1(r.name);
    declared.removeAll(QStringLiteral("OutputFile"));
    declared.insert(1, QStringLiteral("OutputFile"));
    for (const char* moved : {"Hq", "Overwrite"}) {
        declared.removeAll(QLatin1String(moved));
        declared.insert(declared.indexOf(QStringLiteral("ItsOffset")) + 1 + (moved[0] == 'O'),
                        QLatin1String(moved));
    }
    declared.removeAll(QStringLiteral("NoVideo"));
    declared.insert(declared.indexOf(QStringLiteral("PadColor")) + 1, QStringLiteral("NoVideo"));

    // Members of one access level lie at rising addresses in declaration order.
    TFFMpeg f;
    const char* previous = nullptr;
    for (const QString& name : declared) {
        const char* address = nullptr;
        for (const Row& r : emitted) {
            if (name != QLatin1String(r.name))
                continue;
            if (auto text = std::get_if<QString TFFMpeg::*>(&r.field))
                address = reinterpret_cast<const char*>(&(f.*(*text)));
            else
                address = reinterpret_cast<const char*>(&(f.*std::get<bool TFFMpeg::*>(r.field)));
        }
        QVERIFY2(!previous || address > previous, qPrintable(name));
        previous = address;
    }
    QCOMPARE(declared.size(), 84);
}

QTEST_GUILESS_MAIN(TestFFMpeg)
#include "tst_TFFMpeg.moc"
