// Every shipped profile converts a real clip through the program folder's libm9s.exe with the
// profile's default settings, and ffprobe finds the profile's container and codecs.

#include "engine/TFFMpeg.h"
#include "engine/TJobSetup.h"
#include "platform/AppError.h"
#include "profiles/ProfileFolder.h"
#include "profiles/TProfileCatalogue.h"
#include "profiles/VideoProfile.h"
#include "support/Media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

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
        {"libx264", "h264"},     {"libxvid", "mpeg4"},  {"flv", "flv1"},        {"libvpx", "vp8"},
        {"libtheora", "theora"}, {"libmp3lame", "mp3"}, {"libvorbis", "vorbis"}};
    return codecs.value(encoder, encoder);
}

// The name ffprobe gives the demuxer for a muxer the profiles name.
QString DemuxerOf(const QString& muxer)
{
    static const QHash<QString, QString> demuxers = {
        {"mp4", "mp4"},  {"psp", "mp4"},   {"ipod", "mp4"},          {"3gp", "3gp"},   {"vob", "mpeg"},
        {"dvd", "mpeg"}, {"mpeg", "mpeg"}, {"matroska", "matroska"}, {"webm", "webm"}, {"mp2", "mp3"}};
    return demuxers.value(muxer, muxer);
}
} // namespace

class tst_ProfilesConvert : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void convert_data();
    void convert();

private:
    QTemporaryDir work;
    QString source;
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

    // A 3-second clip with a blank and a non-ASCII letter in its name.
    source = work.filePath("clip ä.mkv");
    QProcess ff;
    ff.start("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=3", "-f",
                        "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3", "-c:v", "mpeg4",
                        "-c:a", "pcm_s16le", "-shortest", "-y", source});
    QVERIFY(ff.waitForFinished(60000));
    QCOMPARE(ff.exitCode(), 0);
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
    const QString phone = AppFolder() + "profile/22-phone-mp4.pf";
    if (files.contains(phone))
        QTest::newRow("22-phone-mp4.pf portrait") << phone << QStringLiteral("[Phone]176x220");
}

void tst_ProfilesConvert::convert()
{
    QFETCH(QString, profilePath);
    QFETCH(QString, videoSize);
    QVERIFY2(!profilePath.isEmpty(), "the program folder holds no profiles");

    TVideoProfile profile;
    profile.LoadFromFile(profilePath);

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
    const QString tempFolder =
        work.filePath(QFileInfo(profilePath).baseName() + (videoSize.isEmpty() ? "" : "-r"));
    QVERIFY(QDir().mkpath(tempFolder));
    settings.tempFolder = tempFolder + "/";

    // The batch run creates the output file first, holding "temp".
    const QString output = tempFolder + "/out put." + profile.Extension();
    {
        QFile placeholder(output);
        QVERIFY(placeholder.open(QIODevice::WriteOnly));
        placeholder.write("temp");
    }
    TJobFiles files{source, output, "00:00:00", QString()};
    TFFMpeg ffmpeg;
    const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
    QCOMPARE(job.scriptWritten, !videoSize.isEmpty());

    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(job.program, job.arguments);
    QVERIFY2(encoder.waitForFinished(120000), qPrintable(job.commandLine));
    const QString log = QString::fromUtf8(encoder.readAll());
    QVERIFY2(encoder.exitStatus() == QProcess::NormalExit && encoder.exitCode() == 0,
             qPrintable(job.commandLine + "\n" + log.right(3000)));

    const QJsonObject probe = ProbeJson(output);
    QVERIFY2(!probe.isEmpty(), qPrintable("ffprobe cannot read the output of " + job.commandLine));
    const QStringList demuxers = probe["format"].toObject()["format_name"].toString().split(',');
    QVERIFY2(demuxers.contains(DemuxerOf(profile.ContainerFormat())),
             qPrintable(demuxers.join(',') + " for " + profile.ContainerFormat()));
    const double duration = probe["format"].toObject()["duration"].toString().toDouble();
    QVERIFY2(duration > 2.5 && duration < 3.6, qPrintable(QString::number(duration)));

    QJsonObject video, audio;
    int videoStreams = 0;
    for (const QJsonValue& s : probe["streams"].toArray()) {
        const QJsonObject stream = s.toObject();
        if (stream["codec_type"] == "video") {
            video = stream;
            ++videoStreams;
        } else if (stream["codec_type"] == "audio") {
            audio = stream;
        }
    }

    QCOMPARE(audio["codec_name"].toString(), CodecOf(profile.AudioCodec().Value));
    if (!settings.channel.isEmpty() && !TJobSetup::IsAuto(settings.channel))
        QCOMPARE(audio["channels"].toInt(), settings.channel.toInt());
    if (!TJobSetup::IsAuto(settings.sampleRate))
        QCOMPARE(audio["sample_rate"].toString(), settings.sampleRate);

    if (!profile.HasVideo()) {
        QCOMPARE(videoStreams, 0);
        return;
    }
    QCOMPARE(videoStreams, 1);
    QCOMPARE(video["codec_name"].toString(), CodecOf(profile.VideoCodec().Value));
    if (!TJobSetup::IsAuto(settings.videoSize)) {
        const QString size = settings.videoSize.mid(settings.videoSize.indexOf(']') + 1);
        QCOMPARE(QString("%1x%2").arg(video["width"].toInt()).arg(video["height"].toInt()), size);
    } else {
        QCOMPARE(video["width"].toInt(), 160);
    }
    if (profile.Extension() == "asf")
        QCOMPARE(video["codec_tag_string"].toString(), QStringLiteral("MP4S"));
    if (profile.VideoCodec().Value == "libxvid")
        QCOMPARE(video["codec_tag_string"].toString(), QStringLiteral("XVID"));
}

QTEST_GUILESS_MAIN(tst_ProfilesConvert)
#include "tst_ProfilesConvert.moc"
