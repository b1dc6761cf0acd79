// ffprobe's view of a source, and the judgement of whether an output holds all of it.
#include "TOutputCheck.h"
#include "TSourceProbe.h"

#include "support/TestFiles.h"

#include <QtTest>

namespace {

// A 10 s video whose sound stops after 4 s, as ffprobe describes it.
const char* ShortSound = "stream|index=0|codec_type=video|start_time=0.000000|duration=10.000000|"
                         "disposition:attached_pic=0\n"
                         "stream|index=1|codec_type=audio|start_time=0.000000|duration=4.000000|"
                         "disposition:attached_pic=0\n"
                         "format|start_time=0.000000|duration=10.000000\n";

// Matroska: lengths only as tags, the video starting a little late.
const char* Matroska = "stream|index=0|codec_type=video|start_time=0.023000|duration=N/A|"
                       "disposition:attached_pic=0|tag:DURATION=00:00:10.023000000\n"
                       "stream|index=1|codec_type=audio|start_time=0.000000|duration=N/A|"
                       "disposition:attached_pic=0|tag:DURATION=00:00:04.023000000\n"
                       "format|start_time=0.000000|duration=10.023000\n";

// Music with a cover picture.
const char* Cover = "stream|index=0|codec_type=audio|start_time=0.025057|duration=5.041633|"
                    "disposition:attached_pic=0\n"
                    "stream|index=1|codec_type=video|start_time=0.025056|duration=5.041633|"
                    "disposition:attached_pic=1\n"
                    "format|start_time=0.025056|duration=5.041633\n";

// A video with a thumbnail beside its real picture.
const char* Thumbnail = "stream|index=0|codec_type=video|start_time=0.000000|duration=3.000000|"
                        "disposition:attached_pic=0\n"
                        "stream|index=1|codec_type=audio|start_time=0.000000|duration=3.000000|"
                        "disposition:attached_pic=0\n"
                        "stream|index=2|codec_type=video|start_time=0.000000|duration=3.000000|"
                        "disposition:attached_pic=1\n"
                        "format|start_time=0.000000|duration=3.000000\n";

// Sound of unknown length.
const char* Unknown =
    "stream|index=0|codec_type=audio|start_time=N/A|duration=N/A|disposition:attached_pic=0\n"
    "format|start_time=N/A|duration=10.000000\n";

} // namespace

class tst_SourceProbe : public QObject
{
    Q_OBJECT

private slots:
    void parse();
    void parseRejectsOtherText_data();
    void parseRejectsOtherText();
    void coverOnly_data();
    void coverOnly();
    void endOf_data();
    void endOf();
    void mayHoldCover_data();
    void mayHoldCover();
    void endedEarly_data();
    void endedEarly();
    void containerLengthNeedsNoProbe();
};

void tst_SourceProbe::parse()
{
    auto probe = TSourceProbe::Parse(Matroska);
    QVERIFY(probe);
    QCOMPARE(probe->streams.size(), size_t(2));
    QCOMPARE(probe->streams[0].index, 0);
    QCOMPARE(probe->streams[0].type, std::string("video"));
    QCOMPARE(probe->streams[0].start.value_or(-1), 0.023);
    QCOMPARE(probe->streams[0].duration.value_or(-1), 10.023);
    QCOMPARE(probe->streams[1].duration.value_or(-1), 4.023);
    QCOMPARE(probe->formatDuration.value_or(-1), 10.023);

    probe = TSourceProbe::Parse(Cover);
    QVERIFY(probe);
    QVERIFY(!probe->streams[0].attachedPicture);
    QVERIFY(probe->streams[1].attachedPicture);

    probe = TSourceProbe::Parse(Unknown);
    QVERIFY(probe);
    QVERIFY(!probe->streams[0].start);
    QVERIFY(!probe->streams[0].duration);
}

void tst_SourceProbe::parseRejectsOtherText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("format only") << QByteArray("format|start_time=0.000000|duration=3.000000\n");
    QTest::newRow("an error") << QByteArray("file:x.mp4: Invalid data found when processing input\n");
}

void tst_SourceProbe::parseRejectsOtherText()
{
    QFETCH(QByteArray, text);
    QVERIFY(!TSourceProbe::Parse(text.toStdString()));
}

void tst_SourceProbe::coverOnly_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("coverOnly");
    QTest::newRow("music with a cover") << QByteArray(Cover) << true;
    QTest::newRow("video with a thumbnail") << QByteArray(Thumbnail) << false;
    QTest::newRow("video") << QByteArray(ShortSound) << false;
    QTest::newRow("music without a cover") << QByteArray(Unknown) << false;
    QTest::newRow("a picture without sound")
        << QByteArray("stream|index=0|codec_type=video|disposition:attached_pic=1\n") << false;
}

void tst_SourceProbe::coverOnly()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, coverOnly);
    auto probe = TSourceProbe::Parse(text.toStdString());
    QVERIFY(probe);
    QCOMPARE(probe->CoverOnly(), coverOnly);
}

void tst_SourceProbe::endOf_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("video");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<int>("mapped"); // -1: none
    QTest::addColumn<double>("end"); // -1: unknown

    QTest::newRow("sound only") << QByteArray(ShortSound) << false << true << -1 << 4.0;
    QTest::newRow("video only") << QByteArray(ShortSound) << true << false << -1 << 10.0;
    QTest::newRow("both: the longer") << QByteArray(ShortSound) << true << true << -1 << 10.0;
    QTest::newRow("mapped stream") << QByteArray(ShortSound) << true << true << 1 << 4.0;
    QTest::newRow("mapped stream missing") << QByteArray(ShortSound) << true << true << 7 << -1.0;
    QTest::newRow("matroska tags, late start") << QByteArray(Matroska) << true << false << -1 << 10.046;
    QTest::newRow("cover picture does not count") << QByteArray(Cover) << true << true << -1 << 5.041634;
    QTest::newRow("unknown length") << QByteArray(Unknown) << false << true << -1 << -1.0;
    QTest::newRow("nothing taken") << QByteArray(ShortSound) << false << false << -1 << -1.0;
}

void tst_SourceProbe::endOf()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, video);
    QFETCH(bool, audio);
    QFETCH(int, mapped);
    QFETCH(double, end);
    auto probe = TSourceProbe::Parse(text.toStdString());
    QVERIFY(probe);
    auto got = probe->EndOf(video, audio, mapped < 0 ? std::nullopt : std::optional<int>(mapped));
    if (end < 0) {
        QVERIFY(!got);
    } else {
        QVERIFY(got);
        QVERIFY2(qAbs(*got - end) < 1e-6, qPrintable(QString::number(*got)));
    }
}

void tst_SourceProbe::mayHoldCover_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("expected");
    const QByteArray zeros(16, '\0');
    QTest::newRow("mp3 by name") << "song.MP3" << zeros << true;
    QTest::newRow("flac by name") << "a.b/song.flac" << zeros << true;
    QTest::newRow("m4a by name") << "song.m4a" << zeros << true;
    QTest::newRow("video by name") << "clip.mp4" << zeros << false;
    QTest::newRow("dot in the folder only") << "a.mp3/clip" << zeros << false;
    QTest::newRow("ID3 tag") << "renamed.bin" << QByteArray("ID3\x03\0\0\0\0\0\0\0\0\0\0\0\0", 16) << true;
    QTest::newRow("MPEG audio frame") << "renamed.bin" << QByteArray("\xFF\xFB\x90\x64", 4) + zeros << true;
    QTest::newRow("FLAC") << "renamed.bin" << QByteArray("fLaC") + zeros << true;
    QTest::newRow("Apple audio") << "renamed.mp4"
                                 << QByteArray("\0\0\0\x1C"
                                               "ftypM4A ",
                                               12) +
                                        zeros
                                 << true;
    QTest::newRow("MP4 video") << "renamed.mp4"
                               << QByteArray("\0\0\0\x1C"
                                             "ftypisom",
                                             12) +
                                      zeros
                               << false;
    QTest::newRow("AVI") << "renamed.bin" << QByteArray("RIFF\0\0\0\0AVI ", 12) + zeros << false;
    QTest::newRow("WAVE") << "renamed.bin" << QByteArray("RIFF\0\0\0\0WAVE", 12) + zeros << true;
    QTest::newRow("too short") << "renamed.bin" << QByteArray("ID3") << false;
}

void tst_SourceProbe::mayHoldCover()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, head);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    TestSupport::WriteText(path, head);
    QCOMPARE(TSourceProbe::MayHoldCover(path.toStdString()), expected);
}

void tst_SourceProbe::endedEarly_data()
{
    QTest::addColumn<QByteArray>("probe"); // empty: ffprobe gave nothing
    QTest::addColumn<bool>("video");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("window"); // 0: none
    QTest::addColumn<double>("outputTime");
    QTest::addColumn<QString>("message"); // empty: complete

    const QByteArray shortSound(ShortSound);
    QTest::newRow("sound only, complete") << shortSound << false << true << 0.0 << 0.0 << 4.02 << "";
    QTest::newRow("sound only, from 2 s") << shortSound << false << true << 2.0 << 0.0 << 2.0 << "";
    QTest::newRow("sound only, broken off")
        << shortSound << false << true << 0.0 << 0.0 << 1.0 << "the input ended after 1.00 s of 4.00 s";
    QTest::newRow("sound only, start beyond it")
        << shortSound << false << true << 6.0 << 0.0 << 0.0 << "beyond the end of the streams";
    QTest::newRow("both, short of the video")
        << shortSound << true << true << 0.0 << 0.0 << 4.02 << "the input ended after 4.02 s of 10.00 s";
    QTest::newRow("window within the sound") << shortSound << false << true << 0.0 << 3.0 << 3.0 << "";
    QTest::newRow("no probe: the container judges")
        << QByteArray() << false << true << 0.0 << 0.0 << 4.02 << "the input ended after 4.02 s of 10.00 s";
    QTest::newRow("unknown lengths: the container judges")
        << QByteArray(Unknown) << false << true << 0.0 << 0.0 << 4.0 << "of 10.00 s";
}

void tst_SourceProbe::endedEarly()
{
    QFETCH(QByteArray, probe);
    QFETCH(bool, video);
    QFETCH(bool, audio);
    QFETCH(double, start);
    QFETCH(double, window);
    QFETCH(double, outputTime);
    QFETCH(QString, message);

    auto parsed = TSourceProbe::Parse(probe.toStdString());
    TFfmpegPlan plan;
    plan.video = video;
    plan.audio = audio;
    plan.startSeconds = start;
    if (window > 0)
        plan.windowSeconds = window;
    const std::string why = TOutputCheck::EndedEarly(
        outputTime, 10.0, plan, [&]() -> const TSourceProbe* { return parsed ? &*parsed : nullptr; });
    if (message.isEmpty())
        QVERIFY2(why.empty(), why.c_str());
    else
        QVERIFY2(QString::fromStdString(why).contains(message), why.c_str());
}

void tst_SourceProbe::containerLengthNeedsNoProbe()
{
    // The normal case costs no ffprobe run; nor does a duration that ffmpeg only estimated.
    int asked = 0;
    auto source = [&]() -> const TSourceProbe* {
        ++asked;
        return nullptr;
    };
    TFfmpegPlan plan;
    QVERIFY(TOutputCheck::EndedEarly(9.96, 10.0, plan, source).empty());
    QVERIFY(TOutputCheck::EndedEarly(1.0, std::nullopt, plan, source).empty());
    QCOMPARE(asked, 0);
    QVERIFY(!TOutputCheck::EndedEarly(1.0, 10.0, plan, source).empty());
    QCOMPARE(asked, 1);
}

QTEST_GUILESS_MAIN(tst_SourceProbe)
#include "tst_SourceProbe.moc"
