// Every shipped profile converts a real clip through the program folder's libm9s.exe with the
// profile's default settings, and ffprobe finds the profile's container, codecs, tag, size, rate
// and channels. Stream copy keeps the source's codecs, takes a fraction of a re-encode's time,
// and fails as a failed item where the container cannot hold them.

#include "engine/TBatchRun.h"
#include "engine/TFFMpeg.h"
#include "engine/TJobSetup.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "profiles/ProfileFolder.h"
#include "profiles/TProfileCatalogue.h"
#include "profiles/VideoProfile.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using TestSupport::ProbeJson;

namespace {
QString AppFolder()
{
    return QStringLiteral(VELMORA_APP_DIR "/");
}

QString Encoder()
{
    return AppFolder() + TJobSetup::EncoderFileName();
}

// What a settings box shows after the profile is applied: the matching item ("-1" shown as
// "auto"), else the default value itself in an editable box and nothing in a list-only one.
QString BoxText(const ProfileChoice& choice, bool editable)
{
    const TChoiceItems items = TProfileCatalogue::MakeChoiceItems(choice.Value, choice.Choices);
    if (items.match >= 0)
        return items.items.at(items.match);
    return editable ? choice.Value : QString();
}

// The codec ffprobe reports for an encoder the profiles name.
QString CodecOf(const QString& encoder)
{
    static const QHash<QString, QString> codecs = {
        {"libx264", "h264"},     {"libxvid", "mpeg4"},  {"flv", "flv1"},         {"libvpx", "vp8"},
        {"libtheora", "theora"}, {"libmp3lame", "mp3"}, {"libvorbis", "vorbis"}, {"libx265", "hevc"},
        {"libsvtav1", "av1"},    {"libvpx-vp9", "vp9"}, {"libopus", "opus"}};
    return codecs.value(encoder, encoder);
}

// The tag an MP4-family file gives a video codec: the one players look for.
QString Mp4TagOf(const QString& encoder)
{
    static const QHash<QString, QString> tags = {
        {"libx264", "avc1"}, {"libx265", "hvc1"}, {"libsvtav1", "av01"}};
    return tags.value(encoder);
}

bool IsMp4Family(const QString& muxer)
{
    return QStringList{"mp4", "ipod", "mov", "3gp", "psp"}.contains(muxer);
}

// The top-level boxes of an MP4-family file, in file order.
QStringList TopLevelBoxes(const QString& path)
{
    QFile file(path);
    QStringList boxes;
    if (!file.open(QIODevice::ReadOnly))
        return boxes;
    qint64 at = 0;
    while (at + 8 <= file.size() && file.seek(at)) {
        const QByteArray head = file.read(16);
        if (head.size() < 8)
            break;
        quint64 size = qFromBigEndian<quint32>(head.constData());
        if (size == 1 && head.size() == 16)
            size = qFromBigEndian<quint64>(head.constData() + 8);
        else if (size == 0)
            size = quint64(file.size() - at);
        boxes << QString::fromLatin1(head.mid(4, 4));
        if (size < 8)
            break;
        at += qint64(size);
    }
    return boxes;
}

// How many frames ffprobe decodes from the first video stream.
int FrameCount(const QString& path)
{
    QProcess ffprobe;
    ffprobe.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                              "stream=nb_read_frames", "-of", "default=nw=1:nk=1", "file:" + path});
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0)
        return -1;
    return ffprobe.readAllStandardOutput().trimmed().toInt();
}

double RateOf(const QString& fraction)
{
    const QStringList parts = fraction.split('/');
    const double denominator = parts.value(1, "1").toDouble();
    return denominator > 0 ? parts.value(0).toDouble() / denominator : 0;
}

// The name ffprobe gives the demuxer for a muxer the profiles name.
QString DemuxerOf(const QString& muxer)
{
    static const QHash<QString, QString> demuxers = {
        {"mp4", "mp4"},   {"psp", "mp4"},  {"ipod", "mp4"},  {"3gp", "3gp"},
        {"vob", "mpeg"},  {"dvd", "mpeg"}, {"mpeg", "mpeg"}, {"matroska", "matroska"},
        {"webm", "webm"}, {"mp2", "mp3"},  {"opus", "ogg"}};
    return demuxers.value(muxer, muxer);
}

// The job settings of a profile at its defaults, as the settings panel shows them.
TJobSettings DefaultSettings(const TVideoProfile& profile, const QString& videoSize = QString())
{
    TJobSettings settings;
    settings.videoCodec = BoxText(profile.VideoCodec(), false);
    settings.videoBitrate = BoxText(profile.VideoBitrate(), true);
    settings.frameRate = BoxText(profile.FrameRate(), true);
    settings.videoSize = videoSize.isEmpty() ? BoxText(profile.VideoSize(), true) : videoSize;
    settings.aspect = "auto";
    settings.audioCodec = BoxText(profile.AudioCodec(), false);
    settings.audioBitrate = BoxText(profile.AudioBitrate(), true);
    settings.sampleRate = BoxText(profile.SampleRate(), true);
    settings.channel = BoxText(profile.Channel(), false);
    settings.currentFormat = profile.ContainerFormat();
    settings.currentExtension = profile.Extension();
    settings.hasVideo = profile.HasVideo();
    settings.appFolder = AppFolder();
    return settings;
}

struct TConverted
{
    bool ok = false;
    QString log;
    QString commandLine;
};

// Converts source into output (which the batch run would have created holding "temp") through
// the program folder's adapter.
TConverted Convert(const TJobSettings& settings, const QString& source, const QString& output,
                   bool* scriptWritten = nullptr)
{
    TConverted result;
    {
        QFile placeholder(output);
        if (!placeholder.open(QIODevice::WriteOnly))
            return result;
        placeholder.write("temp");
    }
    TJobFiles files{source, output, "00:00:00", QString()};
    TFFMpeg ffmpeg;
    const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
    if (scriptWritten)
        *scriptWritten = job.scriptWritten;
    result.commandLine = job.commandLine;
    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(job.program, job.arguments);
    const bool finished = encoder.waitForFinished(300000);
    result.log = QString::fromUtf8(encoder.readAll());
    result.ok = finished && encoder.exitStatus() == QProcess::NormalExit && encoder.exitCode() == 0;
    return result;
}

bool MakeH264Clip(const QString& path, int seconds, const QString& size)
{
    QProcess ff;
    ff.start("ffmpeg", {"-v",        "error",
                        "-f",        "lavfi",
                        "-i",        QString("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                        "-f",        "lavfi",
                        "-i",        QString("sine=frequency=440:sample_rate=48000:duration=%1").arg(seconds),
                        "-c:v",      "libx264",
                        "-preset",   "ultrafast",
                        "-pix_fmt",  "yuv420p",
                        "-c:a",      "aac",
                        "-shortest", "-y",
                        path});
    return ff.waitForFinished(300000) && ff.exitCode() == 0;
}
} // namespace

class tst_ProfilesConvert : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convert_data();
    void convert();
    void wideSourceKeepsItsShape();
    void streamCopyIsFast();
    void streamCopyIntoContainerThatCannotHoldIt();

private:
    QTemporaryDir work;
    QString source;     // MPEG-4 video and PCM sound in Matroska
    QString h264Source; // H.264 and AAC, which every container of the copy profiles holds
};

void tst_ProfilesConvert::initTestCase()
{
    // A broken adapter build or a machine without ffmpeg must fail here, not pass unseen.
    QVERIFY2(QFileInfo(Encoder()).isExecutable(),
             qPrintable("the encoder adapter " + Encoder() + " is missing: build the libm9s target"));
    QVERIFY2(!QStandardPaths::findExecutable("ffmpeg").isEmpty() &&
                 !QStandardPaths::findExecutable("ffprobe").isEmpty(),
             "ffmpeg and ffprobe are needed");
    QVERIFY(work.isValid());

    // 3-second clips with a blank and a non-ASCII letter in their names.
    source = work.filePath("clip ä.mkv");
    QProcess ff;
    ff.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3", "-f",
                        "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3", "-c:v", "mpeg4",
                        "-c:a", "pcm_s16le", "-shortest", "-y", source});
    QVERIFY(ff.waitForFinished(60000));
    QCOMPARE(ff.exitCode(), 0);
    h264Source = work.filePath("clip ä h264.mkv");
    QVERIFY(MakeH264Clip(h264Source, 3, "160x120"));
}

void tst_ProfilesConvert::convert_data()
{
    QTest::addColumn<QString>("profilePath");
    QTest::addColumn<QString>("videoSize"); // empty: the profile's default
    const QStringList files = ListProfileFiles(AppFolder() + "profile");
    if (files.isEmpty())
        QTest::newRow("no profiles") << QString() << QString();
    for (const QString& path : files)
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path << QString();
    // A portrait device size goes through the rotation script.
    const QString phone = AppFolder() + "profile/53-phone-mp4.pf";
    QVERIFY(files.contains(phone));
    QTest::newRow("53-phone-mp4.pf portrait") << phone << QStringLiteral("[Phone]176x220");
}

void tst_ProfilesConvert::convert()
{
    QFETCH(QString, profilePath);
    QFETCH(QString, videoSize);
    QVERIFY2(!profilePath.isEmpty(), "the program folder holds no profiles");

    TVideoProfile profile;
    profile.LoadFromFile(profilePath);
    TJobSettings settings = DefaultSettings(profile, videoSize);
    const QString tempFolder =
        work.filePath(QFileInfo(profilePath).baseName() + (videoSize.isEmpty() ? "" : "-r"));
    QVERIFY(QDir().mkpath(tempFolder));
    settings.tempFolder = tempFolder + "/";

    // A copy keeps the source's codecs: it gets a source whose codecs its container holds.
    const bool copied = profile.VideoCodec().Value == "copy";
    const QString input = copied ? h264Source : source;
    const QString output = tempFolder + "/out put." + profile.Extension();
    bool scriptWritten = false;
    const TConverted converted = Convert(settings, input, output, &scriptWritten);
    QCOMPARE(scriptWritten, !videoSize.isEmpty());
    QVERIFY2(converted.ok, qPrintable(converted.commandLine + "\n" + converted.log.right(3000)));

    const QJsonObject probe = ProbeJson(output);
    QVERIFY2(!probe.isEmpty(), qPrintable("ffprobe cannot read the output of " + converted.commandLine));
    const QStringList demuxers = probe["format"].toObject()["format_name"].toString().split(',');
    QVERIFY2(demuxers.contains(DemuxerOf(profile.ContainerFormat())),
             qPrintable(demuxers.join(',') + " for " + profile.ContainerFormat()));
    const double duration = probe["format"].toObject()["duration"].toString().toDouble();
    QVERIFY2(duration > 2.5 && duration < 3.6, qPrintable(QString::number(duration)));

    QJsonObject video, audio;
    int videoStreams = 0;
    int audioStreams = 0;
    for (const QJsonValue& s : probe["streams"].toArray()) {
        const QJsonObject stream = s.toObject();
        if (stream["codec_type"] == "video") {
            video = stream;
            ++videoStreams;
        } else if (stream["codec_type"] == "audio") {
            audio = stream;
            ++audioStreams;
        }
    }

    if (profile.AudioCodec().Value == "-1") {
        QCOMPARE(audioStreams, 0); // an animated picture has no sound
    } else {
        QCOMPARE(audioStreams, 1);
        QCOMPARE(audio["codec_name"].toString(),
                 copied ? QStringLiteral("aac") : CodecOf(profile.AudioCodec().Value));
    }
    if (!settings.channel.isEmpty() && !TJobSetup::IsAuto(settings.channel))
        QCOMPARE(audio["channels"].toInt(), settings.channel.toInt());
    if (!TJobSetup::IsAuto(settings.sampleRate))
        QCOMPARE(audio["sample_rate"].toString(), settings.sampleRate);

    // MP4, M4A, MOV, 3GP and PSP files play while they download: the index comes first.
    if (IsMp4Family(profile.ContainerFormat())) {
        const QStringList boxes = TopLevelBoxes(output);
        QVERIFY2(boxes.contains("moov") && boxes.contains("mdat") &&
                     boxes.indexOf("moov") < boxes.indexOf("mdat"),
                 qPrintable(boxes.join(' ')));
    }

    if (!profile.HasVideo()) {
        QCOMPARE(videoStreams, 0);
        return;
    }
    QCOMPARE(videoStreams, 1);
    const QString encoder = profile.VideoCodec().Value;
    QCOMPARE(video["codec_name"].toString(), copied ? QStringLiteral("h264") : CodecOf(encoder));
    if (!TJobSetup::IsAuto(settings.videoSize)) {
        const QString size = settings.videoSize.mid(settings.videoSize.indexOf(']') + 1);
        QCOMPARE(QString("%1x%2").arg(video["width"].toInt()).arg(video["height"].toInt()), size);
    } else {
        QCOMPARE(video["width"].toInt(), 160);
    }
    if (!TJobSetup::IsAuto(settings.frameRate)) {
        const double rate = RateOf(video["avg_frame_rate"].toString());
        QVERIFY2(qAbs(rate / settings.frameRate.toDouble() - 1) < 0.02,
                 qPrintable(video["avg_frame_rate"].toString() + " for " + settings.frameRate));
    }
    if (profile.Extension() == "asf")
        QCOMPARE(video["codec_tag_string"].toString(), QStringLiteral("MP4S"));
    if (encoder == "libxvid")
        QCOMPARE(video["codec_tag_string"].toString(), QStringLiteral("XVID"));
    if (IsMp4Family(profile.ContainerFormat()) && !Mp4TagOf(encoder).isEmpty())
        QCOMPARE(video["codec_tag_string"].toString(), Mp4TagOf(encoder));
    // libx264 writes the High profile, which phones and tablets play.
    if (encoder == "libx264")
        QCOMPARE(video["profile"].toString(), QStringLiteral("High"));
    if (encoder == "gif")
        QVERIFY2(FrameCount(output) > 1, qPrintable(QString::number(FrameCount(output))));
}

// With the size and the aspect left automatic, a wide source comes out as wide as it went in,
// not marked 4:3 and shown squeezed.
void tst_ProfilesConvert::wideSourceKeepsItsShape()
{
    const QString wide = work.filePath("wide.mkv");
    QVERIFY(MakeH264Clip(wide, 1, "320x180"));
    TVideoProfile profile;
    profile.LoadFromFile(AppFolder() + "profile/01-mp4-h264-aac.pf");
    const TJobSettings settings = DefaultSettings(profile);
    QCOMPARE(settings.videoSize, QStringLiteral("auto"));
    const QString output = work.filePath("wide.mp4");
    const TConverted converted = Convert(settings, wide, output);
    QVERIFY2(converted.ok, qPrintable(converted.log));
    QJsonObject video;
    for (const QJsonValue& stream : ProbeJson(output).value("streams").toArray())
        if (stream.toObject().value("codec_type").toString() == QLatin1String("video"))
            video = stream.toObject();
    QCOMPARE(video.value("width").toInt(), 320);
    QCOMPARE(video.value("height").toInt(), 180);
    const QString shape = video.value("display_aspect_ratio").toString();
    QVERIFY2(shape.isEmpty() || shape == QLatin1String("16:9"), qPrintable(shape));
    const QString pixel = video.value("sample_aspect_ratio").toString();
    QVERIFY2(pixel.isEmpty() || pixel == QLatin1String("1:1"), qPrintable(pixel));
}

void tst_ProfilesConvert::streamCopyIsFast()
{
    // Long enough that the encoding, not the start of the programs, takes the time.
    const QString longClip = work.filePath("long clip ä.mkv");
    QVERIFY(MakeH264Clip(longClip, 20, "640x360"));
    TVideoProfile copy, encode;
    copy.LoadFromFile(AppFolder() + "profile/07-mp4-copy.pf");
    encode.LoadFromFile(AppFolder() + "profile/01-mp4-h264-aac.pf");
    QVERIFY(QDir().mkpath(work.filePath("speed")));

    auto timed = [this, &longClip](const TVideoProfile& profile, const QString& name) {
        TJobSettings settings = DefaultSettings(profile);
        settings.tempFolder = work.filePath("speed") + "/";
        QElapsedTimer timer;
        timer.start();
        const TConverted converted = Convert(settings, longClip, work.filePath("speed/" + name));
        const qint64 elapsed = timer.elapsed();
        return converted.ok ? elapsed : -1;
    };
    // The faster of two copies: one late start on a busy machine must not decide.
    const qint64 copied = qMin(timed(copy, "copy1.mp4"), timed(copy, "copy2.mp4"));
    const qint64 encoded = timed(encode, "encoded.mp4");
    QVERIFY(copied >= 0 && encoded > 0);
    QVERIFY2(copied * 4 < encoded,
             qPrintable(QString("copy %1 ms, re-encode %2 ms").arg(copied).arg(encoded)));
    qInfo("20 s of 640x360 video: copied in %lld ms, encoded in %lld ms", copied, encoded);

    const QJsonObject probe = ProbeJson(work.filePath("speed/copy1.mp4"));
    const double duration = probe["format"].toObject()["duration"].toString().toDouble();
    QVERIFY2(duration > 19.5 && duration < 20.5, qPrintable(QString::number(duration)));
}

void tst_ProfilesConvert::streamCopyIntoContainerThatCannotHoldIt()
{
    // MP4 cannot hold PCM sound: ffmpeg refuses, and the item fails with its message logged.
    QTemporaryDir other;
    const QString folder = TestSupport::CopyProgramFolder(AppFolder(), other.filePath("app"));
    QVERIFY(!folder.isEmpty());
    IniFile(folder + "config.ini").WriteInteger("setting", "logfile", 1);
    TfrmCommon common(folder);
    TVideoProfile copy;
    copy.LoadFromFile(folder + "profile/07-mp4-copy.pf");
    TJobSettings settings = DefaultSettings(copy);
    settings.appFolder = folder;
    settings.tempFolder = other.path() + "/";

    TBatchRun run(common);
    QSignalSpy finished(&run, &TBatchRun::RunFinished);
    const QString outputs = other.filePath("out");
    run.Start({TBatchItem{source, "00:00:00", QString()}}, settings, outputs, 1,
              [](int, const QString& path) { return path; });
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 120000);
    QCOMPARE(finished.first().at(0).toStringList(), QStringList{".mkv"});
    QCOMPARE(finished.first().at(1).toBool(), false);
    QCOMPARE(finished.first().at(2).toString(), QString());
    const QString log = QString::fromUtf8(TestSupport::ReadAll(folder + "logFile.txt"));
    QVERIFY2(log.contains("pcm_s16le") && log.contains("-vcodec copy"), qPrintable(log.right(3000)));
    // The source is untouched, and no half-written output is left as a good one.
    QVERIFY(QFileInfo(source).size() > 0);
}

QTEST_GUILESS_MAIN(tst_ProfilesConvert)
#include "tst_ProfilesConvert.moc"
