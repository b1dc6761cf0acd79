// libm9s.exe from the program folder against the real ffmpeg: legacy command lines as the
// option set writes them, outputs checked with ffprobe, markers, stops and bad input.

#include "support/Media.h"

#include <QtTest>

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>

#include <csignal>
#include <sys/stat.h>

using TestSupport::ProbeJson;

namespace {

const QString Adapter = QStringLiteral(VELMORA_APP_DIR "/libm9s.exe");

// Waits only guard against a hang: how fast the adapter answers is measured by bench_encoder.
constexpr int HangGuardMs = 120000;

struct TRun
{
    int exitCode = -1;
    bool normalExit = false;
    QByteArray out, err;
};

bool Ffmpeg(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(HangGuardMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QJsonObject Stream(const QJsonObject& probe, const QString& type)
{
    for (const QJsonValue& s : probe.value(QStringLiteral("streams")).toArray())
        if (s.toObject().value(QStringLiteral("codec_type")).toString() == type)
            return s.toObject();
    return {};
}

double Duration(const QJsonObject& probe)
{
    return probe.value(QStringLiteral("format"))
        .toObject()
        .value(QStringLiteral("duration"))
        .toString()
        .toDouble();
}

// Decodes the whole file; a broken file gives errors or no frames.
bool Playable(const QString& file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {"-v", "error", "-i", QStringLiteral("file:") + file, "-f", "null", "-"});
    p.waitForFinished(HangGuardMs);
    return p.exitCode() == 0 && p.readAllStandardError().trimmed().isEmpty() && Duration(ProbeJson(file)) > 0;
}

// Any process whose command line holds all the needles is still running.
bool ProcessRunning(const QList<QByteArray>& needles)
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmd(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!pid.toInt() || !cmd.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = cmd.readAll();
        if (std::all_of(needles.begin(), needles.end(),
                        [&](const QByteArray& n) { return line.contains(n); }))
            return true;
    }
    return false;
}

// Any ffmpeg whose command line names the path is still running.
bool FfmpegRunningFor(const QString& path)
{
    return ProcessRunning({"ffmpeg", path.toUtf8()});
}

// The legacy options as the option set writes them, with IN and OUT standing for the paths.
QStringList Arguments(const QString& options, const QString& in, const QString& out)
{
    QStringList args = options.split(u' ', Qt::SkipEmptyParts);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^IN$")), in);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^OUT$")), out);
    return args;
}

// One frame at a time in seconds as raw pixels of the given format, after the given filters
// (none: as stored).
QByteArray RawFrame(const QString& file, double at, const QString& filters, const QString& pixelFormat)
{
    QStringList args{"-v",        "error", "-ss", QString::number(at), "-i", QStringLiteral("file:") + file,
                     "-frames:v", "1"};
    if (!filters.isEmpty())
        args << "-vf" << filters;
    args << "-f"
         << "rawvideo"
         << "-pix_fmt" << pixelFormat << "-";
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), args);
    p.waitForFinished(HangGuardMs);
    return p.readAllStandardOutput();
}

QByteArray GrayFrame(const QString& file, double at, const QString& filters = {})
{
    return RawFrame(file, at, filters, QStringLiteral("gray"));
}

// Mean absolute difference of two gray pictures of the same size (255 when the sizes differ).
double MeanDifference(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 255;
    double sum = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        sum += qAbs(int(static_cast<unsigned char>(a[i])) - int(static_cast<unsigned char>(b[i])));
    return sum / a.size();
}

QString FrameSize(const QJsonObject& stream)
{
    return QStringLiteral("%1x%2")
        .arg(stream.value(QStringLiteral("width")).toInt())
        .arg(stream.value(QStringLiteral("height")).toInt());
}

// The types of a file's top-level boxes in order (an MP4 family file: ftyp, moov, mdat ...).
QStringList TopLevelBoxes(const QString& path)
{
    QStringList types;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return types;
    qint64 at = 0;
    while (at + 8 <= f.size() && types.size() < 64) {
        f.seek(at);
        const QByteArray head = f.read(16);
        quint64 size = qFromBigEndian<quint32>(head.constData());
        if (size == 1 && head.size() == 16)
            size = qFromBigEndian<quint64>(head.constData() + 8);
        else if (size == 0)
            size = quint64(f.size() - at);
        types << QString::fromLatin1(head.mid(4, 4));
        if (size < 8)
            break;
        at += qint64(size);
    }
    return types;
}

// Share of pixels whose colour differs by no more than 16 in every channel between two RGB
// pictures of the same size (0 when the sizes differ).
double CloseColours(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size() || a.isEmpty())
        return 0;
    qsizetype close = 0;
    for (qsizetype i = 0; i + 2 < a.size(); i += 3) {
        bool same = true;
        for (int k = 0; k < 3; ++k)
            same = same && qAbs(int(static_cast<unsigned char>(a[i + k])) -
                                int(static_cast<unsigned char>(b[i + k]))) <= 16;
        close += same;
    }
    return double(close) / (a.size() / 3);
}

struct TMarkers
{
    QList<QByteArray> durations;
    QList<double> times;
    QList<double> speeds;
    QStringList kinds; // "duration", "time" and "speed" in the order printed
};

TMarkers Markers(const QByteArray& out)
{
    TMarkers m;
    static const QRegularExpression marker(
        QStringLiteral("ffmpeg_release_(duration|time|speed)=(.*?)=ffmpeg_release_\\1"));
    for (auto it = marker.globalMatch(QString::fromUtf8(out)); it.hasNext();) {
        const auto match = it.next();
        const QString kind = match.captured(1), value = match.captured(2);
        m.kinds << kind;
        if (kind == u"duration")
            m.durations << value.toUtf8();
        else if (kind == u"time")
            m.times << value.toDouble();
        else
            m.speeds << value.toDouble();
    }
    return m;
}

} // namespace

class tst_libm9s : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversions_data();
    void conversions();
    void timeWindow_data();
    void timeWindow();
    void rotation_data();
    void rotation();
    void playableVideo_data();
    void playableVideo();
    void streamLengths_data();
    void streamLengths();
    void coverPicture_data();
    void coverPicture();
    void thumbnailKeepsRealVideo();
    void todaysCodecs_data();
    void todaysCodecs();
    void opusFromSideChannels();
    void streamCopy_data();
    void streamCopy();
    void animatedGif_data();
    void animatedGif();
    void overwritesPlaceholderInPlace();
    void refusesToOverwriteWithoutY();
    void stopLeavesPlayableFile_data();
    void stopLeavesPlayableFile();
    void killedAdapterTakesFfmpegAlong();
    void badInput_data();
    void badInput();
    void sourceIsNeverOverwritten();
    void ffmpegMissing();
    void ffmpegBesideAdapterFirst_data();
    void ffmpegBesideAdapterFirst();
    void encoderList();
    void encoderListStandIn_data();
    void encoderListStandIn();
    void encoderListWithoutFfmpeg();
    void awkwardPaths_data();
    void awkwardPaths();

private:
    TRun Run(const QStringList& args, const QByteArray& input = {}, const QProcessEnvironment& env = {},
             const QString& workDir = {});
    QString Placeholder(const QString& name);
    QString LosslessSource(const QString& pixelFormat, const QString& size);
    QString MusicSource(const QString& name);
    QString LongClip();
    QString StandIn(const QString& folder, const QByteArray& script);

    QTemporaryDir dir;
    QString clip;   // 3 s, 160x120, 25 fps, stereo 44.1 kHz
    QString halves; // 1 s, left half white, right half black
};

TRun tst_libm9s::Run(const QStringList& args, const QByteArray& input, const QProcessEnvironment& env,
                     const QString& workDir)
{
    TRun r;
    QProcess p;
    if (!env.isEmpty())
        p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(Adapter, args);
    if (!p.waitForStarted(HangGuardMs))
        return r;
    if (!input.isEmpty())
        p.write(input);
    p.waitForFinished(HangGuardMs);
    r.normalExit = p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The converter creates each output beforehand, holding "temp".
QString tst_libm9s::Placeholder(const QString& name)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write("temp\r\n");
    return path;
}

void tst_libm9s::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY2(QFileInfo(Adapter).isExecutable(), qPrintable(Adapter));
    clip = dir.filePath(QStringLiteral("clip.mp4"));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=44100:duration=3", "-ac", "2", "-c:v", "mpeg4", "-c:a",
                    "aac", clip}));
    halves = dir.filePath(QStringLiteral("halves.mp4"));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i",
                    "color=c=white:s=160x120:r=25:d=1,drawbox=x=80:y=0:w=80:h=120:color=black:t=fill", "-f",
                    "lavfi", "-i", "sine=duration=1", "-c:v", "mpeg4", "-q:v", "2", "-c:a", "aac", halves}));
}

void tst_libm9s::conversions_data()
{
    QTest::addColumn<QString>("options"); // as the option set writes them; IN and OUT stand for the paths
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("vcodec"); // empty: no video stream
    QTest::addColumn<QString>("vtag");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("dar");
    QTest::addColumn<QString>("acodec");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");

    QTest::newRow("mp4 mpeg4 aac") << "-i IN  -y  -f mp4  -ss 00:00:00  -b 300k  -r 25  -s 176x144  -aspect "
                                      "4:3  -vcodec mpeg4  -ab 64k  "
                                      "-ar 22050  -ac 1  -acodec aac  OUT"
                                   << "mp4"
                                   << "mpeg4"
                                   << "mp4v"
                                   << "176x144"
                                   << "4:3"
                                   << "aac" << 22050 << 1;
    QTest::newRow("avi libxvid tagged XVID") << "-i IN -y -f avi -s 320x240 -aspect 16:9 -vcodec libxvid "
                                                "-vtag XVID -ar 44100 -ac 2 -acodec libmp3lame OUT"
                                             << "avi"
                                             << "mpeg4"
                                             << "XVID"
                                             << "320x240"
                                             << "16:9"
                                             << "mp3" << 44100 << 2;
    QTest::newRow("legacy names xvid and mp3") << "-i IN -y -f avi -vcodec xvid -acodec mp3 OUT"
                                               << "avi"
                                               << "mpeg4"
                                               << "xvid"
                                               << "160x120"
                                               << "4:3"
                                               << "mp3" << 44100 << 2;
    QTest::newRow("asf with MP4S after the output")
        << "-i IN -y -f asf -aspect 4:3 -vcodec mpeg4 -acodec wmav2 OUT -vtag MP4S"
        << "asf"
        << "mpeg4"
        << "MP4S"
        << "160x120"
        << "4:3"
        << "wmav2" << 44100 << 2;
    QTest::newRow("wmv") << "-i IN -y -f asf -b 256k -vcodec wmv2 -ab 64k -acodec wmav2 OUT"
                         << "wmv"
                         << "wmv2"
                         << "WMV2"
                         << "160x120"
                         << "4:3"
                         << "wmav2" << 44100 << 2;
    QTest::newRow("libfaac") << "-i IN -y -f mp4 -vcodec mpeg4 -acodec libfaac -ar 32000 OUT"
                             << "mp4"
                             << "mpeg4"
                             << "mp4v"
                             << "160x120"
                             << "4:3"
                             << "aac" << 32000 << 2;
    QTest::newRow("audio only")
        << "-i IN -y -f mp3 -ss 00:00:00 -vn -ab 128k -ar 44100 -ac 2 -acodec libmp3lame OUT"
        << "mp3"
        << ""
        << ""
        << ""
        << ""
        << "mp3" << 44100 << 2;
    QTest::newRow("3gp h263 with legacy amr")
        << "-i IN -y -f 3gp -s 176x144 -vcodec h263 -ar 8000 -ac 1 -acodec libamr_nb OUT"
        << "3gp"
        << "h263"
        << "s263"
        << "176x144"
        << "4:3"
        << "aac" << 8000 << 1;
    // flv stores no aspect ratio.
    QTest::newRow("flv") << "-i IN -y -f flv -vcodec flv -ar 22050 -acodec libmp3lame OUT"
                         << "flv"
                         << "flv1"
                         << ""
                         << "160x120"
                         << ""
                         << "mp3" << 22050 << 2;
    QTest::newRow("matroska h264 vorbis") << "-i IN -y -f matroska -vcodec h264 -acodec libvorbis OUT"
                                          << "mkv"
                                          << "h264"
                                          << ""
                                          << "160x120"
                                          << "4:3"
                                          << "vorbis" << 44100 << 2;
}

void tst_libm9s::conversions()
{
    QFETCH(QString, options);
    QFETCH(QString, ext);
    QFETCH(QString, vcodec);
    QFETCH(QString, vtag);
    QFETCH(QString, size);
    QFETCH(QString, dar);
    QFETCH(QString, acodec);
    QFETCH(int, rate);
    QFETCH(int, channels);

    const QString out =
        Placeholder(QStringLiteral("%1.%2").arg(QString::fromLatin1(QTest::currentDataTag()), ext));
    TRun r = Run(Arguments(options, clip, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(2000).constData());

    const QJsonObject probe = ProbeJson(out);
    const QJsonObject v = Stream(probe, QStringLiteral("video"));
    const QJsonObject a = Stream(probe, QStringLiteral("audio"));
    if (vcodec.isEmpty()) {
        QVERIFY(v.isEmpty());
    } else {
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), vcodec);
        if (!vtag.isEmpty())
            QCOMPARE(v.value(QStringLiteral("codec_tag_string")).toString(), vtag);
        QCOMPARE(QStringLiteral("%1x%2")
                     .arg(v.value(QStringLiteral("width")).toInt())
                     .arg(v.value(QStringLiteral("height")).toInt()),
                 size);
        if (!dar.isEmpty())
            QCOMPARE(v.value(QStringLiteral("display_aspect_ratio")).toString(), dar);
    }
    QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), acodec);
    QCOMPARE(a.value(QStringLiteral("sample_rate")).toString().toInt(), rate);
    QCOMPARE(a.value(QStringLiteral("channels")).toInt(), channels);
    QVERIFY2(qAbs(Duration(probe) - 3.0) < 0.2, qPrintable(QString::number(Duration(probe))));

    // The duration once, then output times that never fall and reach the end.
    const TMarkers m = Markers(r.out);
    QCOMPARE(m.durations, QList<QByteArray>{"00:00:03.00"});
    QVERIFY(!m.times.isEmpty());
    for (int i = 1; i < m.times.size(); ++i)
        QVERIFY(m.times[i] > m.times[i - 1]);
    QVERIFY2(qAbs(m.times.last() - 3.0) < 0.2, qPrintable(QString::number(m.times.last())));
    QVERIFY(r.out.indexOf("ffmpeg_release_duration=") < r.out.indexOf("ffmpeg_release_time="));
    // A speed follows a time marker whenever ffmpeg knows it, at the latest with the last one.
    QVERIFY(!m.speeds.isEmpty());
    for (qsizetype i = 0; i < m.kinds.size(); ++i)
        if (m.kinds[i] == u"speed")
            QVERIFY(i > 0 && m.kinds[i - 1] == u"time");
    for (double speed : m.speeds)
        QVERIFY(speed > 0);
}

void tst_libm9s::timeWindow_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("length"); // empty: up to the end
    QTest::addColumn<double>("expected");
    QTest::newRow("start and length") << "00:00:01"
                                      << "00:00:01" << 1.0;
    QTest::newRow("start to the end") << "00:00:02"
                                      << "" << 1.0;
    QTest::newRow("length from the start") << "00:00:00"
                                           << "00:00:02" << 2.0;
}

void tst_libm9s::timeWindow()
{
    QFETCH(QString, start);
    QFETCH(QString, length);
    QFETCH(double, expected);
    const QString out = Placeholder(QStringLiteral("window.mp4"));
    QStringList args{"-i", clip, "-y", "-f", "mp4"};
    if (!length.isEmpty())
        args << "-t" << length;
    args << "-ss" << start << "-vcodec"
         << "mpeg4"
         << "-acodec"
         << "aac" << out;
    TRun r = Run(args);
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    const QJsonObject probe = ProbeJson(out);
    QVERIFY2(qAbs(Duration(probe) - expected) < 0.15, qPrintable(QString::number(Duration(probe))));
    QVERIFY(!Stream(probe, QStringLiteral("video")).isEmpty());
    // The duration marker is the whole input's; the display subtracts the start itself.
    const TMarkers m = Markers(r.out);
    QCOMPARE(m.durations, QList<QByteArray>{"00:00:03.00"});
    QVERIFY(qAbs(m.times.last() - expected) < 0.15);
}

void tst_libm9s::rotation_data()
{
    QTest::addColumn<QString>("script"); // %1 is the source's path
    QTest::addColumn<QString>("size");   // -s, empty for none
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("bright"); // which half of the picture holds the white half of the source

    QTest::newRow("as the program writes it") << "DirectShowSource(\"%1\",convertfps=true)\r\nturnleft()\r\n"
                                              << ""
                                              << "120x160"
                                              << "bottom";
    QTest::newRow("program script at a device size")
        << "DirectShowSource(\"%1\",convertfps=true)\r\nturnleft()\r\n"
        << "176x220"
        << "176x220"
        << "bottom";
    QTest::newRow("user's script followed by turnleft")
        << "# mine\r\nDirectShowSource(\"%1\")\r\nFlipHorizontal()\r\nturnleft()\r\n"
        << ""
        << "120x160"
        << "top";
    QTest::newRow("turnright") << "AviSource(\"%1\").TurnRight()"
                               << ""
                               << "120x160"
                               << "top";
    QTest::newRow("turn180") << "FFmpegSource2(\"%1\", atrack=-1)\nTurn180()"
                             << ""
                             << "160x120"
                             << "right";
}

void tst_libm9s::rotation()
{
    QFETCH(QString, script);
    QFETCH(QString, size);
    QFETCH(QString, expected);
    QFETCH(QString, bright);
    const QString avs = dir.filePath(QStringLiteral("m9s.avs"));
    QFile f(avs);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(script.arg(halves).toUtf8());
    f.close();
    const QString out = Placeholder(QStringLiteral("turned.avi"));
    QStringList args{"-i", avs, "-y", "-f", "avi"};
    if (!size.isEmpty())
        args << "-s" << size;
    args << "-aspect"
         << "4:3"
         << "-vcodec"
         << "mpeg4"
         << "-qscale"
         << "2"
         << "-acodec"
         << "libmp3lame" << out;
    TRun r = Run(args);
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    const QJsonObject v = Stream(ProbeJson(out), QStringLiteral("video"));
    const int w = v.value(QStringLiteral("width")).toInt(), h = v.value(QStringLiteral("height")).toInt();
    QCOMPARE(QStringLiteral("%1x%2").arg(w).arg(h), expected);
    QVERIFY(Markers(r.out).durations.size() == 1);

    // Where the white half went: compare the mean brightness of opposite halves of a frame.
    const QByteArray gray = GrayFrame(out, 0);
    QCOMPARE(gray.size(), w * h);
    auto mean = [&](int x0, int y0, int x1, int y1) {
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                sum += static_cast<unsigned char>(gray[y * w + x]);
        return sum / ((x1 - x0) * (y1 - y0));
    };
    const double top = mean(0, 0, w, h / 2), bottom = mean(0, h / 2, w, h);
    const double left = mean(0, 0, w / 2, h), right = mean(w / 2, 0, w, h);
    const double brightMean = bright == u"top"      ? top
                              : bright == u"bottom" ? bottom
                              : bright == u"left"   ? left
                                                    : right;
    const double darkMean = bright == u"top"      ? bottom
                            : bright == u"bottom" ? top
                            : bright == u"left"   ? right
                                                  : left;
    QVERIFY2(brightMean > 200 && darkMean < 60,
             qPrintable(QStringLiteral("%1 / %2").arg(brightMean).arg(darkMean)));
}

// A 1 s FFV1 clip that keeps the pixel format and size as made (RGB, 4:2:2, odd sizes).
QString tst_libm9s::LosslessSource(const QString& pixelFormat, const QString& size)
{
    const QString path = dir.filePath(QStringLiteral("src-%1-%2.mkv").arg(pixelFormat, size));
    if (!QFileInfo::exists(path) &&
        !Ffmpeg({"-f", "lavfi", "-i", QStringLiteral("testsrc=size=%1:rate=10:duration=1").arg(size),
                 "-pix_fmt", pixelFormat, "-c:v", "ffv1", path}))
        return {};
    return path;
}

void tst_libm9s::playableVideo_data()
{
    QTest::addColumn<QString>("source");  // pixel format/size of the FFV1 source
    QTest::addColumn<QString>("script");  // an .avs around the source (%1), or empty
    QTest::addColumn<QString>("options"); // IN and OUT stand for the paths
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("pixFmt");
    QTest::addColumn<QString>("size");

    // H.264 profile line from an RGB source: 4:2:0 (High), never High 4:4:4 Predictive.
    QTest::newRow("h264 from rgb") << "rgb24/160x120"
                                   << ""
                                   << "-i IN -y -f mp4 -b 300k -vcodec libx264 -acodec aac OUT"
                                   << "mp4"
                                   << "yuv420p"
                                   << "160x120";
    QTest::newRow("h264 from 4:2:2") << "yuv422p/160x120"
                                     << ""
                                     << "-i IN -y -f matroska -vcodec h264 OUT"
                                     << "mkv"
                                     << "yuv420p"
                                     << "160x120";
    QTest::newRow("mp4 without -vcodec") << "rgb24/160x120"
                                         << ""
                                         << "-i IN -y OUT"
                                         << "mp4"
                                         << "yuv420p"
                                         << "160x120";
    QTest::newRow("hevc from rgb") << "rgb24/160x120"
                                   << ""
                                   << "-i IN -y -f matroska -vcodec hevc OUT"
                                   << "mkv"
                                   << "yuv420p"
                                   << "160x120";
    QTest::newRow("vp9 from rgb") << "rgb24/160x120"
                                  << ""
                                  << "-i IN -y -f webm -vcodec vp9 OUT"
                                  << "webm"
                                  << "yuv420p"
                                  << "160x120";
    QTest::newRow("theora from rgb") << "rgb24/160x120"
                                     << ""
                                     << "-i IN -y -f ogg -vcodec theora OUT"
                                     << "ogg"
                                     << "yuv420p"
                                     << "160x120";
    QTest::newRow("mpeg2 from 4:2:2") << "yuv422p/160x120"
                                      << ""
                                      << "-i IN -y -f mpeg2 -r 25 -vcodec mpeg2 OUT"
                                      << "vob"
                                      << "yuv420p"
                                      << "160x120";

    // Odd source sizes are rounded down to even ones where the encoder needs them.
    QTest::newRow("h264 odd size") << "rgb24/161x121"
                                   << ""
                                   << "-i IN -y -f mp4 -vcodec libx264 OUT"
                                   << "mp4"
                                   << "yuv420p"
                                   << "160x120";
    QTest::newRow("h264 odd size after crop and pad")
        << "rgb24/161x121"
        << ""
        << "-i IN -y -f mp4 -croptop 2 -padleft 3 -padbottom 4 -vcodec libx264 OUT"
        << "mp4"
        << "yuv420p"
        << "162x122";
    QTest::newRow("h264 odd size from padding an -s picture")
        << "yuv420p/160x120"
        << ""
        << "-i IN -y -f mp4 -s 161x121 -padtop 2 -vcodec libx264 OUT"
        << "mp4"
        << "yuv420p"
        << "160x122";
    QTest::newRow("h264 odd size turned by a script")
        << "rgb24/161x121"
        << "DirectShowSource(\"%1\",convertfps=true)\r\nturnleft()\r\n"
        << "-i IN -y -f mp4 -vcodec libx264 OUT"
        << "mp4"
        << "yuv420p"
        << "120x160";
    QTest::newRow("h264 odd size with -s") << "rgb24/161x121"
                                           << ""
                                           << "-i IN -y -f mp4 -s 176x144 -vcodec libx264 OUT"
                                           << "mp4"
                                           << "yuv420p"
                                           << "176x144";
    QTest::newRow("xvid odd size") << "yuv420p/161x121"
                                   << ""
                                   << "-i IN -y -f avi -vcodec xvid OUT"
                                   << "avi"
                                   << "yuv420p"
                                   << "160x120";
    QTest::newRow("wmv2 odd size") << "rgb24/161x121"
                                   << ""
                                   << "-i IN -y -f asf -vcodec wmv2 OUT"
                                   << "wmv"
                                   << "yuv420p"
                                   << "160x120";
    QTest::newRow("rv40 odd size") << "yuv420p/161x121"
                                   << ""
                                   << "-i IN -y -f rm -vcodec rv40 OUT"
                                   << "rm"
                                   << "yuv420p"
                                   << "160x120";
    QTest::newRow("mpeg4 pads an odd source") << "yuv420p/161x121"
                                              << ""
                                              << "-i IN -y -f avi -padtop 2 -padleft 2 -vcodec mpeg4 OUT"
                                              << "avi"
                                              << "yuv420p"
                                              << "162x122";
    // mpeg4 takes odd sizes: nothing is scaled needlessly.
    QTest::newRow("mpeg4 keeps odd size") << "rgb24/161x121"
                                          << ""
                                          << "-i IN -y -f avi -vcodec mpeg4 OUT"
                                          << "avi"
                                          << "yuv420p"
                                          << "161x121";
}

void tst_libm9s::playableVideo()
{
    QFETCH(QString, source);
    QFETCH(QString, script);
    QFETCH(QString, options);
    QFETCH(QString, ext);
    QFETCH(QString, pixFmt);
    QFETCH(QString, size);

    QString in = LosslessSource(source.section(u'/', 0, 0), source.section(u'/', 1, 1));
    QVERIFY(!in.isEmpty());
    if (!script.isEmpty()) {
        const QString avs = dir.filePath(QStringLiteral("playable.avs"));
        QFile f(avs);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(script.arg(in).toUtf8());
        f.close();
        in = avs;
    }
    const QString out = Placeholder(QStringLiteral("playable.%1").arg(ext));
    TRun r = Run(Arguments(options, in, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(2000).constData());

    const QJsonObject v = Stream(ProbeJson(out), QStringLiteral("video"));
    QCOMPARE(v.value(QStringLiteral("pix_fmt")).toString(), pixFmt);
    QCOMPARE(QStringLiteral("%1x%2")
                 .arg(v.value(QStringLiteral("width")).toInt())
                 .arg(v.value(QStringLiteral("height")).toInt()),
             size);
    QVERIFY(Playable(out));
}

void tst_libm9s::streamLengths_data()
{
    QTest::addColumn<int>("videoSeconds"); // of the source
    QTest::addColumn<int>("audioSeconds");
    QTest::addColumn<QString>("container"); // of the source
    QTest::addColumn<QString>("options");   // IN and OUT stand for the paths
    QTest::addColumn<QString>("ext");
    QTest::addColumn<double>("expected"); // the output's length

    // The container lasts as long as its longest stream; the output takes what it takes.
    QTest::newRow("sound stops early, mp3") << 10 << 4 << "mp4"
                                            << "-i IN -y -f mp3 -vn -ab 128k -acodec libmp3lame OUT"
                                            << "mp3" << 4.0;
    QTest::newRow("sound stops early, matroska source") << 10 << 4 << "mkv"
                                                        << "-i IN -y -f mp3 -vn -acodec libmp3lame OUT"
                                                        << "mp3" << 4.0;
    QTest::newRow("sound stops early, from 2 s") << 10 << 4 << "mp4"
                                                 << "-i IN -y -f mp3 -ss 00:00:02 -vn -acodec libmp3lame OUT"
                                                 << "mp3" << 2.0;
    QTest::newRow("picture stops early, -an") << 4 << 10 << "mp4"
                                              << "-i IN -y -f mp4 -an -vcodec mpeg4 OUT"
                                              << "mp4" << 4.0;
    QTest::newRow("both streams, the longer counts") << 10 << 4 << "mp4"
                                                     << "-i IN -y -f avi -vcodec mpeg4 -acodec libmp3lame OUT"
                                                     << "avi" << 10.0;
}

void tst_libm9s::streamLengths()
{
    QFETCH(int, videoSeconds);
    QFETCH(int, audioSeconds);
    QFETCH(QString, container);
    QFETCH(QString, options);
    QFETCH(QString, ext);
    QFETCH(double, expected);

    const QString in =
        dir.filePath(QStringLiteral("v%1-a%2.%3").arg(videoSeconds).arg(audioSeconds).arg(container));
    if (!QFileInfo::exists(in))
        QVERIFY(Ffmpeg({"-f", "lavfi", "-i",
                        QStringLiteral("testsrc=size=160x120:rate=25:duration=%1").arg(videoSeconds), "-f",
                        "lavfi", "-i", QStringLiteral("sine=duration=%1").arg(audioSeconds), "-c:v", "mpeg4",
                        "-c:a", "aac", in}));
    const QString out = Placeholder(QStringLiteral("lengths.%1").arg(ext));
    TRun r = Run(Arguments(options, in, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(2000).constData());
    QVERIFY2(!r.err.contains("truncated"), r.err.right(2000).constData());
    QVERIFY2(qAbs(Duration(ProbeJson(out)) - expected) < 0.3,
             qPrintable(QString::number(Duration(ProbeJson(out)))));
    const TMarkers m = Markers(r.out);
    QVERIFY(!m.times.isEmpty());
    QVERIFY2(qAbs(m.times.last() - expected) < 0.3, qPrintable(QString::number(m.times.last())));
}

// 5 s of sound; "mp3", "m4a" and "flac" carry testsrc as their cover picture, "plain.mp3" none.
QString tst_libm9s::MusicSource(const QString& name)
{
    const QString cover = dir.filePath(QStringLiteral("cover.png"));
    if (!QFileInfo::exists(cover) &&
        !Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=1", "-frames:v", "1", cover}))
        return {};
    const QString path = dir.filePath(name.contains(u'.') ? name : QStringLiteral("music.") + name);
    if (QFileInfo::exists(path))
        return path;
    QStringList args{"-f", "lavfi", "-i", "sine=frequency=440:duration=5"};
    if (name == u"plain.mp3") {
        args << "-c:a"
             << "libmp3lame";
    } else {
        const bool jpeg = name == u"mp3";
        args << "-i" << cover << "-map"
             << "0"
             << "-map"
             << "1"
             << "-c:a"
             << (name == u"mp3"   ? "libmp3lame"
                 : name == u"m4a" ? "aac"
                                  : "flac")
             << "-c:v" << (jpeg ? "mjpeg" : "png") << "-disposition:v"
             << "attached_pic";
    }
    return Ffmpeg(args << path) ? path : QString();
}

void tst_libm9s::coverPicture_data()
{
    QTest::addColumn<QString>("source");  // see MusicSource
    QTest::addColumn<QString>("options"); // IN and OUT stand for the paths
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("vcodec");  // empty: no video stream
    QTest::addColumn<QString>("size");    // of the output
    QTest::addColumn<QString>("picture"); // where the cover lies in the output: crop=w:h:x:y
    QTest::addColumn<QString>("rate");
    QTest::addColumn<double>("duration");

    QTest::newRow("mp3, mpeg4 in mp4") << "mp3"
                                       << "-i IN -y -f mp4 -b 600k -vcodec mpeg4 -ab 64k -acodec aac OUT"
                                       << "mp4"
                                       << "mpeg4"
                                       << "320x240"
                                       << "crop=320:240:0:0"
                                       << "5/1" << 5.0;
    QTest::newRow("m4a, libx264 in mp4 at the profile's rate and size")
        << "m4a"
        << "-i IN -y -f mp4 -r 25 -s 176x144 -vcodec libx264 -acodec aac OUT"
        << "mp4"
        << "h264"
        << "176x144"
        << "crop=176:144:0:0"
        << "25/1" << 5.0;
    QTest::newRow("flac, libxvid in avi") << "flac"
                                          << "-i IN -y -f avi -b 600k -vcodec libxvid -acodec libmp3lame OUT"
                                          << "avi"
                                          << "mpeg4"
                                          << "320x240"
                                          << "crop=320:240:0:0"
                                          << "5/1" << 5.0;
    QTest::newRow("mp3, padded")
        << "mp3"
        << "-i IN -y -f avi -s 160x120 -padtop 20 -padbottom 20 -b 600k -vcodec mpeg4 "
           "-acodec libmp3lame OUT"
        << "avi"
        << "mpeg4"
        << "160x160"
        << "crop=160:120:0:20"
        << "5/1" << 5.0;
    QTest::newRow("m4a from 2 s") << "m4a"
                                  << "-i IN -y -f mp4 -ss 00:00:02 -b 600k -vcodec mpeg4 -acodec aac OUT"
                                  << "mp4"
                                  << "mpeg4"
                                  << "320x240"
                                  << "crop=320:240:0:0"
                                  << "5/1" << 3.0;
    QTest::newRow("flac, mpeg2 at a broadcast rate")
        << "flac"
        << "-i IN -y -f vob -b 2000k -vcodec mpeg2video -acodec mp2 OUT"
        << "vob"
        << "mpeg2video"
        << "320x240"
        << "crop=320:240:0:0"
        << "25/1" << 5.0;
    QTest::newRow("no cover: sound only, as before") << "plain.mp3"
                                                     << "-i IN -y -f mp4 -vcodec mpeg4 -acodec aac OUT"
                                                     << "mp4"
                                                     << ""
                                                     << ""
                                                     << ""
                                                     << "" << 5.0;
}

void tst_libm9s::coverPicture()
{
    QFETCH(QString, source);
    QFETCH(QString, options);
    QFETCH(QString, ext);
    QFETCH(QString, vcodec);
    QFETCH(QString, size);
    QFETCH(QString, picture);
    QFETCH(QString, rate);
    QFETCH(double, duration);

    const QString in = MusicSource(source);
    QVERIFY(!in.isEmpty());
    const QString out = Placeholder(QStringLiteral("cover.%1").arg(ext));
    TRun r = Run(Arguments(options, in, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(3000).constData());

    const QJsonObject probe = ProbeJson(out);
    QVERIFY2(qAbs(Duration(probe) - duration) < 0.3, qPrintable(QString::number(Duration(probe))));
    QVERIFY(!Stream(probe, QStringLiteral("audio")).isEmpty());
    const QJsonObject v = Stream(probe, QStringLiteral("video"));
    if (vcodec.isEmpty()) {
        QVERIFY(v.isEmpty());
        return;
    }
    QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), vcodec);
    QCOMPARE(FrameSize(v), size);
    QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rate);
    const double videoLength = v.value(QStringLiteral("duration")).toString().toDouble();
    if (videoLength > 0) // not every container keeps a stream length
        QVERIFY2(qAbs(videoLength - duration) < 0.5, qPrintable(QString::number(videoLength)));

    // The cover, at the start and near the end.
    const QStringList cropped = picture.mid(5).split(u':');
    const QByteArray cover = GrayFrame(dir.filePath(QStringLiteral("cover.png")), 0,
                                       QStringLiteral("scale=%1:%2").arg(cropped[0], cropped[1]));
    for (double at : {0.0, duration - 0.5}) {
        const double diff = MeanDifference(GrayFrame(out, at, picture), cover);
        QVERIFY2(diff < 12, qPrintable(QStringLiteral("%1 s: %2").arg(at).arg(diff)));
    }
    QVERIFY(Playable(out));
}

void tst_libm9s::thumbnailKeepsRealVideo()
{
    // A video whose file also holds a larger picture as a thumbnail.
    const QString cover =
        MusicSource(QStringLiteral("mp3")).isEmpty() ? QString() : dir.filePath("cover.png");
    QVERIFY(!cover.isEmpty());
    const QString in = dir.filePath(QStringLiteral("thumbnail.mp4"));
    QVERIFY(Ffmpeg({"-f",
                    "lavfi",
                    "-i",
                    "testsrc=size=160x120:rate=25:duration=3",
                    "-f",
                    "lavfi",
                    "-i",
                    "sine=duration=3",
                    "-i",
                    cover,
                    "-map",
                    "0",
                    "-map",
                    "1",
                    "-map",
                    "2",
                    "-c:v:0",
                    "libx264",
                    "-c:v:1",
                    "png",
                    "-disposition:v:1",
                    "attached_pic",
                    "-c:a",
                    "aac",
                    in}));
    const QString out = Placeholder(QStringLiteral("thumbnail.avi"));
    TRun r = Run({"-i", in, "-y", "-f", "avi", "-vcodec", "mpeg4", "-acodec", "libmp3lame", out});
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    const QJsonObject v = Stream(ProbeJson(out), QStringLiteral("video"));
    QCOMPARE(FrameSize(v), QStringLiteral("160x120"));
    QVERIFY(qAbs(Duration(ProbeJson(out)) - 3.0) < 0.2);
    QVERIFY(MeanDifference(GrayFrame(out, 2), GrayFrame(in, 2)) < 12);
}

void tst_libm9s::todaysCodecs_data()
{
    QTest::addColumn<QString>("options"); // IN and OUT stand for the paths
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("vcodec");   // empty: no video stream
    QTest::addColumn<QString>("vtag");     // empty: not checked
    QTest::addColumn<QString>("vprofile"); // empty: not checked
    QTest::addColumn<QString>("acodec");
    QTest::addColumn<int>("rate");       // sample rate (Opus always decodes at 48 kHz)
    QTest::addColumn<bool>("moovFirst"); // an MP4 family file that plays while it downloads

    QTest::newRow("hevc in mp4") << "-i IN -y -f mp4 -b 300k -vcodec libx265 -acodec aac OUT"
                                 << "mp4"
                                 << "hevc"
                                 << "hvc1"
                                 << "Main"
                                 << "aac" << 44100 << true;
    QTest::newRow("av1 in mp4") << "-i IN -y -f mp4 -b 300k -vcodec libsvtav1 -acodec aac OUT"
                                << "mp4"
                                << "av1"
                                << "av01"
                                << "Main"
                                << "aac" << 44100 << true;
    QTest::newRow("av1 and opus in webm") << "-i IN -y -f webm -b 300k -vcodec libsvtav1 -acodec libopus OUT"
                                          << "webm"
                                          << "av1"
                                          << ""
                                          << "Main"
                                          << "opus" << 48000 << false;
    QTest::newRow("vp9 and opus in webm at a rate opus lacks")
        << "-i IN -y -f webm -b 300k -vcodec libvpx-vp9 -ar 44100 -acodec libopus OUT"
        << "webm"
        << "vp9"
        << ""
        << "Profile 0"
        << "opus" << 48000 << false;
    QTest::newRow("opus in matroska at 22.05 kHz")
        << "-i IN -y -f matroska -vcodec libx264 -ar 22050 -acodec opus OUT"
        << "mkv"
        << "h264"
        << ""
        << "High"
        << "opus" << 48000 << false;
    QTest::newRow("opus file") << "-i IN -y -f opus -vn -ab 64k -ar 32000 -acodec libopus OUT"
                               << "opus"
                               << ""
                               << ""
                               << ""
                               << "opus" << 48000 << false;
    QTest::newRow("opus in ogg at the source's rate") << "-i IN -y -f ogg -vn -acodec libopus OUT"
                                                      << "ogg"
                                                      << ""
                                                      << ""
                                                      << ""
                                                      << "opus" << 48000 << false;
    QTest::newRow("flac") << "-i IN -y -f flac -vn -acodec flac OUT"
                          << "flac"
                          << ""
                          << ""
                          << ""
                          << "flac" << 44100 << false;
    QTest::newRow("flac in matroska") << "-i IN -y -f matroska -vn -ar 48000 -acodec flac OUT"
                                      << "mka"
                                      << ""
                                      << ""
                                      << ""
                                      << "flac" << 48000 << false;
    QTest::newRow("alac in m4a") << "-i IN -y -f m4a -vn -acodec alac OUT"
                                 << "m4a"
                                 << ""
                                 << ""
                                 << ""
                                 << "alac" << 44100 << true;
    // libx264 writes High for 4:2:0, which phones of the last decade all play.
    QTest::newRow("h264 for a phone") << "-i IN -y -f mp4 -b 400k -r 25 -s 176x144 -vcodec libx264 -ab 64k "
                                         "-ar 44100 -ac 2 -acodec aac OUT"
                                      << "mp4"
                                      << "h264"
                                      << "avc1"
                                      << "High"
                                      << "aac" << 44100 << true;
    QTest::newRow("mpeg4 in mov") << "-i IN -y -f mov -vcodec mpeg4 -acodec aac OUT"
                                  << "mov"
                                  << "mpeg4"
                                  << "mp4v"
                                  << ""
                                  << "aac" << 44100 << true;
}

void tst_libm9s::todaysCodecs()
{
    QFETCH(QString, options);
    QFETCH(QString, ext);
    QFETCH(QString, vcodec);
    QFETCH(QString, vtag);
    QFETCH(QString, vprofile);
    QFETCH(QString, acodec);
    QFETCH(int, rate);
    QFETCH(bool, moovFirst);

    const QString out = Placeholder(QStringLiteral("today.%1").arg(ext));
    TRun r = Run(Arguments(options, clip, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(3000).constData());

    const QJsonObject probe = ProbeJson(out);
    const QJsonObject v = Stream(probe, QStringLiteral("video"));
    const QJsonObject a = Stream(probe, QStringLiteral("audio"));
    if (vcodec.isEmpty()) {
        QVERIFY(v.isEmpty());
    } else {
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), vcodec);
        QCOMPARE(v.value(QStringLiteral("pix_fmt")).toString(), QStringLiteral("yuv420p"));
        if (!vtag.isEmpty())
            QCOMPARE(v.value(QStringLiteral("codec_tag_string")).toString(), vtag);
        if (!vprofile.isEmpty())
            QCOMPARE(v.value(QStringLiteral("profile")).toString(), vprofile);
    }
    QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), acodec);
    QCOMPARE(a.value(QStringLiteral("sample_rate")).toString().toInt(), rate);
    QVERIFY2(qAbs(Duration(probe) - 3.0) < 0.2, qPrintable(QString::number(Duration(probe))));
    const QStringList boxes = TopLevelBoxes(out);
    if (moovFirst) {
        QVERIFY2(boxes.contains(u"moov") && boxes.indexOf(u"moov") < boxes.indexOf(u"mdat"),
                 qPrintable(boxes.join(u' ')));
    }
    QVERIFY(Playable(out));
}

void tst_libm9s::opusFromSideChannels()
{
    // AC-3 and DTS sources carry 5.1 with side channels, a layout libopus refuses.
    const QString in = dir.filePath(QStringLiteral("side.wav"));
    QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "sine=duration=2,aformat=channel_layouts=5.1(side)", in}));
    QCOMPARE(
        Stream(ProbeJson(in), QStringLiteral("audio")).value(QStringLiteral("channel_layout")).toString(),
        QStringLiteral("5.1(side)"));
    const QString out = Placeholder(QStringLiteral("side.opus"));
    TRun r = Run({"-i", in, "-y", "-f", "opus", "-acodec", "libopus", out});
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    const QJsonObject a = Stream(ProbeJson(out), QStringLiteral("audio"));
    QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), QStringLiteral("opus"));
    QCOMPARE(a.value(QStringLiteral("channels")).toInt(), 6);
}

void tst_libm9s::streamCopy_data()
{
    QTest::addColumn<QString>("source");  // "clip", or a source of streamLengths: v10-a4.mp4
    QTest::addColumn<QString>("options"); // IN and OUT stand for the paths
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("vcodec"); // empty: no video stream
    QTest::addColumn<QString>("acodec");
    QTest::addColumn<double>("duration");
    QTest::addColumn<QString>("notice");

    // Encoding options given with a copied stream do not reach ffmpeg: the streams stay as they are.
    QTest::newRow("both streams into matroska")
        << "clip"
        << "-i IN -y -f matroska -b 500k -r 15 -s 320x240 -aspect 16:9 -qscale 2 -vcodec copy -ab 64k -ar "
           "22050 "
           "-ac 1 -acodec copy OUT"
        << "mkv"
        << "mpeg4"
        << "aac" << 3.0 << "option -s ignored: the video is copied, not encoded";
    QTest::newRow("video copied, sound encoded")
        << "clip"
        << "-i IN -y -f avi -b 500k -vcodec copy -ar 22050 -acodec mp3 OUT"
        << "avi"
        << "mpeg4"
        << "mp3" << 3.0 << "option -b ignored: the video is copied";
    QTest::newRow("a time window")
        << "clip"
        << "-i IN -y -f mp4 -ss 00:00:01 -t 00:00:01.5 -vcodec copy -acodec copy OUT"
        << "mp4"
        << "mpeg4"
        << "aac" << 1.5 << "";
    QTest::newRow("the sound of a video whose sound stops early")
        << "v10-a4.mp4"
        << "-i IN -y -f m4a -vn -ab 128k -acodec copy OUT"
        << "m4a"
        << ""
        << "aac" << 4.0 << "option -ab ignored: the audio is copied";
}

void tst_libm9s::streamCopy()
{
    QFETCH(QString, source);
    QFETCH(QString, options);
    QFETCH(QString, ext);
    QFETCH(QString, vcodec);
    QFETCH(QString, acodec);
    QFETCH(double, duration);
    QFETCH(QString, notice);

    QString in = clip;
    if (source != u"clip") {
        in = dir.filePath(source);
        if (!QFileInfo::exists(in))
            QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=10", "-f", "lavfi",
                            "-i", "sine=duration=4", "-c:v", "mpeg4", "-c:a", "aac", in}));
    }
    const QString out = Placeholder(QStringLiteral("copied.%1").arg(ext));
    TRun r = Run(Arguments(options, in, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(3000).constData());
    if (!notice.isEmpty())
        QVERIFY2(r.err.contains(notice.toUtf8()), r.err.left(3000).constData());

    const QJsonObject probe = ProbeJson(out);
    const QJsonObject v = Stream(probe, QStringLiteral("video"));
    if (vcodec.isEmpty()) {
        QVERIFY(v.isEmpty());
    } else {
        QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), vcodec);
        QCOMPARE(FrameSize(v), QStringLiteral("160x120"));
        QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), QStringLiteral("25/1"));
    }
    const QJsonObject a = Stream(probe, QStringLiteral("audio"));
    QCOMPARE(a.value(QStringLiteral("codec_name")).toString(), acodec);
    if (acodec == u"aac")
        QCOMPARE(a.value(QStringLiteral("sample_rate")).toString(), QStringLiteral("44100"));
    // A copy starts at the key frame before the window, so it may run a little longer.
    QVERIFY2(Duration(probe) > duration - 0.2 && Duration(probe) < duration + 1.1,
             qPrintable(QString::number(Duration(probe))));
    QVERIFY(Playable(out));
}

void tst_libm9s::animatedGif_data()
{
    QTest::addColumn<QString>("options"); // IN and OUT stand for the paths
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("compareColours"); // frame for frame with the source

    QTest::newRow("the clip's own size and rate") << "-i IN -y -f gif -vcodec gif OUT"
                                                  << "160x120"
                                                  << "25/1" << 50 << true;
    // Fewer frames are picked from the source's, and a scaler's edges differ from any other's,
    // so only the first row compares colours pixel for pixel.
    QTest::newRow("rate and size of the profile, sound options ignored")
        << "-i IN -y -f gif -r 5 -s 80x60 -vcodec gif -ab 64k -acodec libmp3lame OUT"
        << "80x60"
        << "5/1" << 10 << false;
}

void tst_libm9s::animatedGif()
{
    QFETCH(QString, options);
    QFETCH(QString, size);
    QFETCH(QString, rate);
    QFETCH(int, frames);
    QFETCH(bool, compareColours);

    // testsrc2's many shades are what a fixed 256-colour palette renders badly.
    const QString in = dir.filePath(QStringLiteral("colours.mkv"));
    if (!QFileInfo::exists(in))
        QVERIFY(Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                        "sine=duration=2", "-c:v", "ffv1", "-c:a", "flac", in}));
    const QString out = Placeholder(QStringLiteral("animated.gif"));
    TRun r = Run(Arguments(options, in, out));
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.right(3000).constData());

    QProcess count;
    count.start(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-print_format", "json",
                                            "-show_streams", QStringLiteral("file:") + out});
    QVERIFY(count.waitForFinished(HangGuardMs));
    const QJsonArray streams = QJsonDocument::fromJson(count.readAllStandardOutput())
                                   .object()
                                   .value(QStringLiteral("streams"))
                                   .toArray();
    QCOMPARE(streams.size(), 1); // no sound
    const QJsonObject v = streams.first().toObject();
    QCOMPARE(v.value(QStringLiteral("codec_name")).toString(), QStringLiteral("gif"));
    QCOMPARE(FrameSize(v), size);
    QCOMPARE(v.value(QStringLiteral("r_frame_rate")).toString(), rate);
    QVERIFY2(qAbs(v.value(QStringLiteral("nb_read_frames")).toString().toInt() - frames) <= 1,
             qPrintable(v.value(QStringLiteral("nb_read_frames")).toString()));

    // The colours of the clip itself, not of a fixed palette (which gets about 80 % of testsrc2's
    // pixels that close).
    for (double at : {0.2, 1.0, 1.6}) {
        if (!compareColours)
            break;
        const double close = CloseColours(RawFrame(out, at, {}, QStringLiteral("rgb24")),
                                          RawFrame(in, at, {}, QStringLiteral("rgb24")));
        QVERIFY2(close > 0.95, qPrintable(QStringLiteral("%1 s: %2").arg(at).arg(close)));
    }
}

void tst_libm9s::overwritesPlaceholderInPlace()
{
    const QString out = Placeholder(QStringLiteral("inplace.avi"));
    struct stat before = {}, after = {};
    QCOMPARE(stat(QFile::encodeName(out).constData(), &before), 0);
    TRun r = Run({"-i", clip, "-y", "-f", "avi", "-vcodec", "mpeg4", "-acodec", "libmp3lame", out});
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    QCOMPARE(stat(QFile::encodeName(out).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino); // the same file, rewritten
    QVERIFY(Playable(out));
}

void tst_libm9s::refusesToOverwriteWithoutY()
{
    const QString out = Placeholder(QStringLiteral("keep.avi"));
    TRun r = Run({"-i", clip, "-f", "avi", out});
    QVERIFY(r.normalExit);
    QVERIFY(r.exitCode != 0);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("temp\r\n"));
}

void tst_libm9s::stopLeavesPlayableFile_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("playable");
    // The Convert button sends both lines at once; "quit" alone comes when the window closes.
    QTest::newRow("q then quit") << QByteArray("q\nquit\n") << true;
    QTest::newRow("q") << QByteArray("q\n") << true;
    QTest::newRow("quit") << QByteArray("quit\n") << false;
    QTest::newRow("SIGTERM") << QByteArray() << true; // a polite kill finishes the file like "quit"
}

// A 30 s clip: -re reads it in real time, so a stop always comes well before its end.
QString tst_libm9s::LongClip()
{
    const QString path = dir.filePath(QStringLiteral("long.mp4"));
    if (!QFileInfo::exists(path) &&
        !Ffmpeg({"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=30", "-f", "lavfi", "-i",
                 "sine=duration=30", "-c:v", "mpeg4", "-c:a", "aac", path}))
        return {};
    return path;
}

void tst_libm9s::stopLeavesPlayableFile()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, playable);
    const QString in = LongClip();
    QVERIFY(!in.isEmpty());
    const QString out =
        Placeholder(QStringLiteral("stopped %1.mp4").arg(QString::fromLatin1(QTest::currentDataTag())));
    QProcess p;
    p.start(Adapter, {"-i", in, "-y", "-f", "mp4", "-vcodec", "mpeg4", "-acodec", "aac", "-re", out});
    QVERIFY(p.waitForStarted(HangGuardMs));
    QByteArray seen;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            seen += p.readAllStandardOutput();
            const TMarkers m = Markers(seen);
            return !m.times.isEmpty() && m.times.last() >= 0.5;
        }(),
        HangGuardMs);
    if (lines.isEmpty())
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    else
        p.write(lines);
    // The adapter ends by itself, with a failure status and without leaving ffmpeg behind.
    QVERIFY(p.waitForFinished(HangGuardMs));
    QVERIFY(p.exitStatus() == QProcess::NormalExit);
    QVERIFY(p.exitCode() != 0); // a shortened file is not a complete one
    QVERIFY(!FfmpegRunningFor(out));
    if (playable) {
        QVERIFY(Playable(out));
        QVERIFY(Duration(ProbeJson(out)) < 25);
    }
}

void tst_libm9s::killedAdapterTakesFfmpegAlong()
{
    const QString in = LongClip();
    QVERIFY(!in.isEmpty());
    const QString out = Placeholder(QStringLiteral("killed.avi"));
    QProcess p;
    p.start(Adapter, {"-i", in, "-y", "-f", "avi", "-re", out});
    QVERIFY(p.waitForStarted(HangGuardMs));
    QByteArray seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += p.readAllStandardOutput()).contains("ffmpeg_release_time="),
                             HangGuardMs);
    QVERIFY(FfmpegRunningFor(out));
    ::kill(static_cast<pid_t>(p.processId()), SIGKILL); // only the adapter, not its group
    QVERIFY(p.waitForFinished(HangGuardMs));
    QTRY_VERIFY_WITH_TIMEOUT(!FfmpegRunningFor(out), HangGuardMs);
}

void tst_libm9s::badInput_data()
{
    QTest::addColumn<QStringList>("args"); // IN and OUT are replaced
    QTest::addColumn<QString>("input");    // file contents to create, or "-" for none, "=clip" for the clip
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("ffmpegRuns"); // false: refused before ffmpeg starts

    const QStringList plain{"-i", "IN", "-y", "-f", "avi", "OUT"};
    QTest::newRow("missing") << plain << "-"
                             << "input file does not exist" << false;
    QTest::newRow("empty") << plain << ""
                           << "input file is empty" << false;
    QTest::newRow("not media") << plain << "hello, this is text\n"
                               << "Invalid data found" << true;
    QTest::newRow("truncated mp4") << plain << "=truncmp4"
                                   << "Invalid data found" << true;
    QTest::newRow("truncated mkv") << plain << "=truncmkv"
                                   << "truncated" << true;
    QTest::newRow("output folder missing") << QStringList{"-i", "IN", "-y", "NOWHERE/x.avi"} << "=clip"
                                           << "output folder does not exist" << false;
    QTest::newRow("output folder is a file") << QStringList{"-i", "IN", "-y", "IN/x.avi"} << "=clip"
                                             << "output folder does not exist" << false;
    QTest::newRow("unknown option") << QStringList{"-i", "IN", "-y", "-frobnicate", "1", "OUT"} << "=clip"
                                    << "unknown option -frobnicate" << false;
    QTest::newRow("bitrate rejected") << QStringList{"-i", "IN", "-y", "-b", "fast", "OUT"} << "=clip"
                                      << "ffmpeg failed" << true;
    QTest::newRow("codec rejected") << QStringList{"-i", "IN", "-y", "-vcodec", "nosuchcodec", "OUT"}
                                    << "=clip"
                                    << "Unknown encoder 'nosuchcodec'" << true;
    QTest::newRow("frame size rejected") << QStringList{"-i", "IN", "-y", "-s", "big", "OUT"} << "=clip"
                                         << "Invalid frame size" << true;
    QTest::newRow("copy of a truncated mkv")
        << QStringList{"-i", "IN", "-y", "-f", "matroska", "-vcodec", "copy", "-acodec", "copy", "OUT"}
        << "=truncmkv"
        << "truncated" << true;
    QTest::newRow("copy into a container that cannot hold it")
        << QStringList{"-i", "IN", "-y", "-f", "webm", "-vcodec", "copy", "-acodec", "copy", "OUT"} << "=clip"
        << "Only VP8 or VP9 or AV1 video" << true;
    QTest::newRow("start beyond the end")
        << QStringList{"-i", "IN", "-y", "-ss", "00:01:00", "OUT"} << "=clip"
        << "beyond the end" << true;
    QTest::newRow("script syntax error") << QStringList{"-i", "IN.avs", "-y", "OUT"}
                                         << "DirectShowSource(\"x.avi\",convertfps=true\r\nturnleft()\r\n"
                                         << "syntax error in script" << false;
    QTest::newRow("script names a missing file")
        << QStringList{"-i", "IN.avs", "-y", "OUT"}
        << "DirectShowSource(\"/no/such/file.avi\",convertfps=true)\r\n"
           "turnleft()\r\n"
        << "names a file that does not exist: /no/such/file.avi" << false;
}

void tst_libm9s::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QString, input);
    QFETCH(QString, message);
    QFETCH(bool, ffmpegRuns);

    const QString stem = dir.filePath(
        QStringLiteral("bad-%1").arg(QString::fromLatin1(QTest::currentDataTag())).replace(u' ', u'_'));
    QString in = stem + QStringLiteral(".mp4");
    for (QString& a : args) {
        if (a == u"IN.avs") {
            in = stem + QStringLiteral(".avs");
            a = in;
        } else {
            a.replace(QStringLiteral("IN"), in);
        }
        a.replace(QStringLiteral("OUT"), stem + QStringLiteral("-out.avi"));
        a.replace(QStringLiteral("NOWHERE"), dir.filePath(QStringLiteral("no/such/folder")));
    }
    QFile::remove(in);
    if (input == u"=clip") {
        QVERIFY(QFile::copy(clip, in));
    } else if (input == u"=truncmp4") {
        QFile src(clip);
        QVERIFY(src.open(QIODevice::ReadOnly));
        QFile dst(in);
        QVERIFY(dst.open(QIODevice::WriteOnly));
        dst.write(src.read(src.size() / 2));
    } else if (input == u"=truncmkv") {
        const QString full = stem + QStringLiteral("-full.mkv");
        QVERIFY(Ffmpeg({"-i", clip, "-c", "copy", full}));
        QFile src(full);
        QVERIFY(src.open(QIODevice::ReadOnly));
        in = stem + QStringLiteral(".mkv");
        QFile dst(in);
        QVERIFY(dst.open(QIODevice::WriteOnly));
        dst.write(src.read(src.size() / 3));
        args.replaceInStrings(stem + QStringLiteral(".mp4"), in);
    } else if (input != u"-") {
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(input.toUtf8());
    }

    TRun r = Run(args);
    QVERIFY2(r.normalExit, "crashed");
    QVERIFY2(r.exitCode != 0, r.err.right(2000).constData());
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.right(2000).constData());
    QVERIFY2(r.err.contains("libm9s: "), r.err.right(2000).constData());
    // ffmpeg's banner shows whether it ran; a refusal of the adapter's own comes before it.
    QCOMPARE(r.err.contains("ffmpeg version"), ffmpegRuns);
    QVERIFY(!FfmpegRunningFor(stem));
}

void tst_libm9s::sourceIsNeverOverwritten()
{
    const QString src = dir.filePath(QStringLiteral("self.avi"));
    QVERIFY(Ffmpeg({"-i", clip, "-c:v", "mpeg4", "-c:a", "libmp3lame", src}));
    const qint64 size = QFileInfo(src).size();
    // A second name for the same file must not fool the check either.
    const QString link = dir.filePath(QStringLiteral("self-link.avi"));
    QVERIFY(QFile::link(src, link));
    TRun r = Run({"-i", src, "-y", "-f", "avi", link});
    QVERIFY(r.exitCode != 0);
    QVERIFY2(r.err.contains("the output file is the source file"), r.err.constData());
    QCOMPARE(QFileInfo(src).size(), size);
    QVERIFY(Playable(src));

    // Nor the script that names it.
    const QString avs = dir.filePath(QStringLiteral("self.avs"));
    QFile f(avs);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QByteArray script = QStringLiteral("AviSource(\"%1\")\r\nturnleft()\r\n").arg(src).toUtf8();
    f.write(script);
    f.close();
    r = Run({"-i", avs, "-y", "-f", "avi", avs});
    QVERIFY(r.exitCode != 0);
    QVERIFY2(r.err.contains("the output file is the source file"), r.err.constData());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), script);
}

void tst_libm9s::ffmpegMissing()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), dir.filePath(QStringLiteral("empty-bin")));
    TRun r = Run({"-i", clip, "-y", Placeholder(QStringLiteral("noffmpeg.avi"))}, {}, env);
    QVERIFY(r.normalExit);
    QCOMPARE(r.exitCode, 127);
    QVERIFY2(r.err.contains("ffmpeg was found neither beside libm9s.exe nor on PATH"), r.err.constData());
}

void tst_libm9s::ffmpegBesideAdapterFirst_data()
{
    QTest::addColumn<int>("status");   // the stand-in's exit status
    QTest::addColumn<int>("expected"); // the adapter's
    QTest::addColumn<QString>("message");
    QTest::newRow("failure passed on") << 3 << 3 << "ffmpeg failed with exit status 3";
    QTest::newRow("success that ended early") << 0 << 1 << "the input ended after 2.50 s of 7.50 s";
}

void tst_libm9s::ffmpegBesideAdapterFirst()
{
    QFETCH(int, status);
    QFETCH(int, expected);
    QFETCH(QString, message);
    const QString copy =
        StandIn(QStringLiteral("standin"),
                QStringLiteral("echo 'stand-in ffmpeg' >&2\n"
                               "echo '  Duration: 00:00:07.50, start: 0.000000, bitrate: 1 kb/s' >&2\n"
                               "printf 'out_time_us=N/A\\nspeed=N/A\\nprogress=continue\\n' >&3\n"
                               "printf 'out_time_us=1000000\\nspeed=2.5x\\nprogress=continue\\n' >&3\n"
                               "printf 'out_time_us=2500000\\nspeed=   3x\\nprogress=end\\n' >&3\n"
                               "exit %1\n")
                    .arg(status)
                    .toUtf8());
    QVERIFY(!copy.isEmpty());

    QProcess p;
    p.start(copy, {"-i", clip, "-y", Placeholder(QStringLiteral("standin.avi"))});
    QVERIFY(p.waitForFinished(HangGuardMs));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitCode(), expected);
    QVERIFY2(err.contains("stand-in ffmpeg"), err.constData());
    QVERIFY2(QString::fromUtf8(err).contains(message), err.constData());
    const TMarkers m = Markers(p.readAllStandardOutput());
    QCOMPARE(m.durations, QList<QByteArray>{"00:00:07.50"});
    QCOMPARE(m.times, (QList<double>{1.0, 2.5}));
    QCOMPARE(m.speeds, (QList<double>{2.5, 3.0}));
    QCOMPARE(m.kinds, (QStringList{"duration", "time", "speed", "time", "speed"}));
}

// A copy of the program folder's adapter in a folder of its own with a stand-in ffmpeg beside it
// (a shell script with the given body); the real ffmpeg stays on PATH. Gives the copy's path.
QString tst_libm9s::StandIn(const QString& folder, const QByteArray& script)
{
    QDir app(dir.filePath(folder));
    if (!app.mkpath(QStringLiteral(".")))
        return {};
    const QString copy = app.filePath(QStringLiteral("libm9s.exe"));
    QFile::remove(copy);
    QFile fake(app.filePath(QStringLiteral("ffmpeg")));
    if (!QFile::copy(Adapter, copy) || !fake.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    fake.write("#!/bin/sh\n" + script);
    fake.close();
    if (!fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return {};
    return copy;
}

void tst_libm9s::encoderList()
{
    TRun r = Run({"--encoders"});
    QVERIFY2(r.normalExit && r.exitCode == 0, r.err.constData());
    const QList<QByteArray> names = r.out.split('\n');
    QCOMPARE(names.last(), QByteArray()); // every line ends
    QList<QByteArray> sorted = names.mid(0, names.size() - 1);
    QVERIFY(std::is_sorted(sorted.begin(), sorted.end()));
    QVERIFY(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
    // ffmpeg's own names, the legacy names of what it has, and copy; no subtitle encoders.
    for (const char* name :
         {"copy",    "libx264", "h264", "x264",    "libx265", "hevc", "libsvtav1", "libvpx-vp9",
          "vp9",     "libopus", "opus", "flac",    "alac",    "gif",  "mpeg4",     "xvid",
          "libxvid", "mp3",     "aac",  "libfaac", "amr_nb",  "wmv3", "vorbis"})
        QVERIFY2(sorted.contains(name), name);
    for (const char* name : {"srt", "mov_text", "nosuchcodec", ""})
        QVERIFY2(!sorted.contains(name), name);

    // What it lists converts.
    for (const QByteArray& name : {QByteArray("x264"), QByteArray("opus"), QByteArray("xvid")}) {
        const QString out = Placeholder(QStringLiteral("listed-%1.mkv").arg(QString::fromLatin1(name)));
        const QStringList args = name == "opus"
                                     ? QStringList{"-i", clip, "-y", "-f", "matroska", "-acodec", name, out}
                                     : QStringList{"-i", clip, "-y", "-f", "matroska", "-vcodec", name, out};
        TRun c = Run(args);
        QVERIFY2(c.exitCode == 0, c.err.right(2000).constData());
    }
}

void tst_libm9s::encoderListStandIn_data()
{
    QTest::addColumn<QByteArray>("script"); // the stand-in ffmpeg's body
    QTest::addColumn<int>("status");        // the adapter's exit status
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("unlisted");
    QTest::addColumn<QString>("message"); // on standard error

    const QByteArray list = "Encoders:\n"
                            " V..... = Video\n"
                            " A..... = Audio\n"
                            " S..... = Subtitle\n"
                            " .F.... = Frame-level multithreading\n"
                            " ------\n"
                            " V....D libx264              libx264 H.264 / AVC\n"
                            " V..... mpeg4                MPEG-4 part 2\n"
                            " V....D libvpx-vp9           libvpx VP9 (codec vp9)\n"
                            " A....D aac                  AAC (Advanced Audio Coding)\n"
                            " A....D libmp3lame           libmp3lame MP3 (MPEG audio layer 3) (codec mp3)\n"
                            " A..X.. opus                 Opus\n"
                            " S..... srt                  SubRip subtitle\n";
    QTest::newRow("without libx265 and libsvtav1")
        << QByteArray("cat <<'EOF'\n" + list + "EOF\n") << 0
        << QStringList{"copy", "libx264",    "h264", "x264",    "avc",    "mpeg4", "xvid",       "divx",
                       "vp9",  "libvpx-vp9", "aac",  "libfaac", "amr_nb", "mp3",   "libmp3lame", "lame"}
        << QStringList{"libx265", "hevc", "h265",   "x265", "libsvtav1",
                       "libopus", "opus", "vorbis", "srt",  "theora"}
        << "";
    QTest::newRow("hanging") << QByteArray("sleep 300.25\n") << 1 << QStringList{} << QStringList{"copy"}
                             << "did not answer -encoders within 5 s";
    QTest::newRow("garbage") << QByteArray("echo 'hello, this is not ffmpeg'\n") << 1 << QStringList{}
                             << QStringList{"copy"} << "gave no encoder list";
    QTest::newRow("failing") << QByteArray("cat <<'EOF'\n" + list + "EOF\nexit 1\n") << 1 << QStringList{}
                             << QStringList{"copy"} << "gave no encoder list (exit status 1)";
}

void tst_libm9s::encoderListStandIn()
{
    QFETCH(QByteArray, script);
    QFETCH(int, status);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, unlisted);
    QFETCH(QString, message);

    const QString copy =
        StandIn(QStringLiteral("encoders %1").arg(QString::fromLatin1(QTest::currentDataTag())), script);
    QVERIFY(!copy.isEmpty());
    QProcess p;
    p.start(copy, {"--encoders"});
    QVERIFY(p.waitForFinished(HangGuardMs));
    QVERIFY(p.exitStatus() == QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    const QStringList names = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    for (const QString& n : listed)
        QVERIFY2(names.contains(n), qPrintable(n));
    for (const QString& n : unlisted)
        QVERIFY2(!names.contains(n), qPrintable(n));
    if (!message.isEmpty()) {
        QVERIFY2(err.startsWith(u"libm9s: ") && err.contains(message), qPrintable(err));
    }
    // A stand-in that hangs is killed with what it started.
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessRunning({"sleep", "300.25"}), HangGuardMs);
    QVERIFY(!ProcessRunning({copy.toUtf8()}));
}

void tst_libm9s::encoderListWithoutFfmpeg()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), dir.filePath(QStringLiteral("empty-bin")));
    TRun r = Run({"--encoders"}, {}, env);
    QVERIFY(r.normalExit);
    QCOMPARE(r.exitCode, 127);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains("libm9s: ffmpeg was found neither beside libm9s.exe nor on PATH"),
             r.err.constData());
}

void tst_libm9s::awkwardPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << "my clip  two.mp4";
    QTest::newRow("quotes") << "it's \"quoted\".mp4";
    QTest::newRow("dollar") << "$HOME $(id).mp4";
    QTest::newRow("leading dash") << "-i.mp4";
    QTest::newRow("non-ASCII") << "Größe 视频.mp4";
    QTest::newRow("colon") << "http:x.mp4";
}

void tst_libm9s::awkwardPaths()
{
    QFETCH(QString, name);
    QDir sub(dir.filePath(QStringLiteral("awk")));
    QVERIFY(sub.mkpath(QStringLiteral(".")));
    const QString in = sub.filePath(name);
    QFile::remove(in);
    QVERIFY(QFile::copy(clip, in));
    const QString outName =
        QStringLiteral("-out ") + QFileInfo(name).completeBaseName() + QStringLiteral(".avi");
    QFile::remove(sub.filePath(outName));
    // Relative names, as a user typing them would give them; a leading dash must stay a file name.
    TRun r = Run({"-i", name, "-y", "-f", "avi", "-vcodec", "mpeg4", outName}, {}, {}, sub.path());
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    QVERIFY(Playable(sub.filePath(outName)));
    // The script path form: the source named inside an .avs in triple quotes.
    const QString avs = sub.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".avs"));
    QFile f(avs);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QStringLiteral("DirectShowSource(\"\"\"%1\"\"\",convertfps=true)\r\nturnleft()\r\n")
                .arg(in)
                .toUtf8());
    f.close();
    const QString out2 = sub.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(" turned.avi"));
    r = Run({"-i", avs, "-y", "-f", "avi", out2});
    QVERIFY2(r.exitCode == 0, r.err.right(2000).constData());
    QCOMPARE(Stream(ProbeJson(out2), QStringLiteral("video")).value(QStringLiteral("width")).toInt(), 120);
}

QTEST_GUILESS_MAIN(tst_libm9s)
#include "tst_libm9s.moc"
