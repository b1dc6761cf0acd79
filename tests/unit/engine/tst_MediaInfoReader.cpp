// The media information reader with the real ffprobe and ffmpeg: a clip, a sound file, a file
// that is no media, one that is gone, one that changed, a killed ffprobe, the limit of programs
// at once, urgent requests first, and ffprobe's answers as tables.

#include "engine/TMediaInfoReader.h"
#include "support/Media.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

using namespace TestSupport;

Q_DECLARE_METATYPE(TMediaInfo::TState)

namespace {

// Width and height from a PNG file's header; an invalid size for anything else.
QSize PngSize(const QString& path)
{
    const QByteArray data = ReadAll(path);
    if (data.size() < 24 || !data.startsWith("\x89PNG\r\n\x1a\n"))
        return QSize();
    const auto number = [&data](int at) {
        return (uchar(data[at]) << 24) | (uchar(data[at + 1]) << 16) | (uchar(data[at + 2]) << 8) |
               uchar(data[at + 3]);
    };
    return QSize(int(number(16)), int(number(20)));
}

// A program folder whose ffprobe is a shell script of the test's own.
QString ScriptFolder(const QString& folder, const QByteArray& script)
{
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/ffprobe");
    WriteText(path, "#!/bin/sh\n" + script);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    return folder + u'/';
}

} // namespace

class tst_MediaInfoReader : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString clip;  // 2 s of 320x240 testsrc at 25 fps with a 44.1 kHz sine, in AVI
    QString sound; // 3 s of stereo sine, WAV
    QString junk;  // text named .avi

    // Reads path (urgent) and waits for the answer.
    static TMediaInfo ReadNow(TMediaInfoReader& reader, const QString& path)
    {
        QSignalSpy read(&reader, &TMediaInfoReader::InfoRead);
        reader.Read(path, true);
        if (!read.wait(60000))
            return TMediaInfo();
        return reader.Info(path);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        clip = work.filePath("media/clip.avi");
        QVERIFY(MakeClip(clip, 2));
        sound = work.filePath("media/sound.wav");
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=3",
                                "-ac", "2", "-ar", "48000", sound});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        junk = work.filePath("media/junk.avi");
        WriteText(junk, "this is not a video at all");
    }

    void clipAndPicture()
    {
        TMediaInfoReader reader(QString(), nullptr);
        QCOMPARE(reader.Info(clip).state, TMediaInfo::Unread);
        QSignalSpy read(&reader, &TMediaInfoReader::InfoRead);
        QSignalSpy pictured(&reader, &TMediaInfoReader::ThumbnailMade);
        reader.ReadWithThumbnail(clip);
        // Never from inside the call.
        QCOMPARE(read.size(), 0);
        QVERIFY(read.wait(60000));
        QCOMPARE(read.at(0).at(0).toString(), clip);
        const TMediaInfo info = reader.Info(clip);
        QCOMPARE(info.state, TMediaInfo::Readable);
        QVERIFY2(qAbs(info.durationSeconds - 2.0) < 0.2, qPrintable(QString::number(info.durationSeconds)));
        QCOMPARE(info.container, QStringLiteral("AVI"));
        QCOMPARE(info.videoCodec, QStringLiteral("mpeg4"));
        QCOMPARE(QSize(info.width, info.height), QSize(320, 240));
        QCOMPARE(info.frameRate, 25.0);
        QCOMPARE(info.audioCodec, QStringLiteral("mp3"));
        QCOMPARE(info.sampleRate, 44100);
        QCOMPARE(info.channels, 1);
        QCOMPARE(info.fileSize, QFileInfo(clip).size());

        QTRY_COMPARE_WITH_TIMEOUT(pictured.size(), 1, 60000);
        const TMediaInfo withPicture = reader.Info(clip);
        QVERIFY(withPicture.thumbnailDone);
        QVERIFY(QFile::exists(withPicture.thumbnail));
        QCOMPARE(PngSize(withPicture.thumbnail), QSize(160, 120));
        // Kept: asking again reads nothing and makes no second picture.
        reader.ReadWithThumbnail(clip);
        QTest::qWait(300);
        QCOMPARE(read.size(), 1);
        QCOMPARE(pictured.size(), 1);
        QCOMPARE(reader.RunningCount(), 0);
    }

    // The pictures go with the reader, at the end of the program.
    void picturesGoWithTheReader()
    {
        QString picture;
        {
            TMediaInfoReader reader(QString(), nullptr);
            QSignalSpy pictured(&reader, &TMediaInfoReader::ThumbnailMade);
            reader.ReadWithThumbnail(clip);
            QVERIFY(pictured.wait(60000));
            picture = reader.Info(clip).thumbnail;
            QVERIFY(QFile::exists(picture));
        }
        QVERIFY(!QFile::exists(picture));
    }

    void files_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<TMediaInfo::TState>("state");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("audio");
        QTest::addColumn<int>("channels");
        QTest::newRow("sound only") << "sound" << TMediaInfo::Readable << "WAV"
                                    << ""
                                    << "pcm_s16le" << 2;
        QTest::newRow("no media") << "junk" << TMediaInfo::Unreadable << ""
                                  << ""
                                  << "" << 0;
        QTest::newRow("gone") << "gone" << TMediaInfo::Missing << ""
                              << ""
                              << "" << 0;
        QTest::newRow("empty") << "empty" << TMediaInfo::Unreadable << ""
                               << ""
                               << "" << 0;
    }
    void files()
    {
        QFETCH(QString, kind);
        QFETCH(TMediaInfo::TState, state);
        QFETCH(QString, container);
        QFETCH(QString, video);
        QFETCH(QString, audio);
        QFETCH(int, channels);
        QString path = kind == "sound"  ? sound
                       : kind == "junk" ? junk
                                        : work.filePath("media/" + kind + ".mp4");
        if (kind == "empty")
            WriteText(path, "");
        TMediaInfoReader reader(QString(), nullptr);
        QSignalSpy pictured(&reader, &TMediaInfoReader::ThumbnailMade);
        QSignalSpy read(&reader, &TMediaInfoReader::InfoRead);
        reader.ReadWithThumbnail(path);
        QVERIFY(read.wait(60000));
        const TMediaInfo info = reader.Info(path);
        QCOMPARE(info.state, state);
        QCOMPARE(info.container, container);
        QCOMPARE(info.videoCodec, video);
        QCOMPARE(info.audioCodec, audio);
        QCOMPARE(info.channels, channels);
        // Nothing to make a picture of.
        QTest::qWait(200);
        QCOMPARE(pictured.size(), 0);
        QVERIFY(info.thumbnail.isEmpty());
        QCOMPARE(reader.RunningCount(), 0);
    }

    // A file that changed, vanished or came back since it was read is read again when a user
    // asks; a request that is not urgent takes what is known.
    void changedFiles()
    {
        const QString path = work.filePath("media/changing.avi");
        QVERIFY(QFile::copy(clip, path));
        TMediaInfoReader reader(QString(), nullptr);
        QCOMPARE(ReadNow(reader, path).state, TMediaInfo::Readable);
        WriteText(path, "no longer a video");
        reader.Read(path);
        QCOMPARE(reader.Info(path).state, TMediaInfo::Readable);
        QCOMPARE(ReadNow(reader, path).state, TMediaInfo::Unreadable);
        QVERIFY(QFile::remove(path));
        QCOMPARE(ReadNow(reader, path).state, TMediaInfo::Missing);
        QVERIFY(QFile::copy(clip, path));
        QCOMPARE(ReadNow(reader, path).state, TMediaInfo::Readable);
    }

    // An ffprobe that is killed (or never answers in time) gives no answer to keep: the file
    // counts as failed, and the next request asks again.
    void killedProgram_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("timeLimit");
        QTest::newRow("killed") << QByteArray("kill -KILL $$\n") << 60000;
        QTest::newRow("no answer in time") << QByteArray("exec sleep 60\n") << 300;
    }
    void killedProgram()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, timeLimit);
        const QString count =
            work.filePath(QStringLiteral("calls-") + QString::fromLatin1(QTest::currentDataTag()));
        const QString folder = ScriptFolder(
            work.filePath(QStringLiteral("killing-") + QString::fromLatin1(QTest::currentDataTag())),
            "echo x >> '" + count.toUtf8() + "'\n" + script);
        TMediaInfoReader reader(folder, nullptr);
        reader.timeLimitMs = timeLimit;
        QCOMPARE(ReadNow(reader, clip).state, TMediaInfo::Failed);
        QCOMPARE(reader.RunningCount(), 0);
        QCOMPARE(ReadNow(reader, clip).state, TMediaInfo::Failed);
        QCOMPARE(ReadAll(count), QByteArray("x\nx\n"));
    }

    void noProgram()
    {
        QTemporaryDir emptyPath;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", emptyPath.path().toUtf8());
        TMediaInfoReader reader(QString(), nullptr);
        const TMediaInfo info = ReadNow(reader, clip);
        qputenv("PATH", path);
        QCOMPARE(info.state, TMediaInfo::Failed);
    }

    // Never more programs at once than allowed, and all files read in the end.
    void programsAtOnce()
    {
        const QString running = work.filePath("running");
        QDir().mkpath(running);
        const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
        const QString folder =
            ScriptFolder(work.filePath("counting"), "touch '" + running.toUtf8() + "/'$$\nsleep 0.3\nrm '" +
                                                        running.toUtf8() + "/'$$\nexec '" + ffprobe.toUtf8() +
                                                        "' \"$@\"\n");
        TMediaInfoReader reader(folder, nullptr);
        reader.SetMaxRunning(2);
        QSignalSpy read(&reader, &TMediaInfoReader::InfoRead);
        QStringList paths;
        for (int i = 0; i < 8; ++i) {
            paths << work.filePath(QStringLiteral("media/copy%1.avi").arg(i));
            QFile::copy(clip, paths.last());
            reader.Read(paths.last());
        }
        int most = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this,
                [&] { most = qMax(most, int(QDir(running).entryList(QDir::Files).size())); });
        watch.start(10);
        QTRY_COMPARE_WITH_TIMEOUT(read.size(), 8, 120000);
        watch.stop();
        QCOMPARE(most, 2);
        for (const QString& path : paths)
            QCOMPARE(reader.Info(path).state, TMediaInfo::Readable);
    }

    // A length read for the time left yields the processor to the encoders; what a user waits
    // for does not.
    void backgroundReadsYield()
    {
        const QString niceness = work.filePath("niceness");
        QDir().mkpath(niceness);
        const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
        // The 19th field of /proc/self/stat is the nice value.
        const QString folder = ScriptFolder(
            work.filePath("nice"), "f=$(basename \"$7\")\ncut -d' ' -f19 /proc/$$/stat > '" +
                                       niceness.toUtf8() + "/'$f\nexec '" + ffprobe.toUtf8() + "' \"$@\"\n");
        TMediaInfoReader reader(folder, nullptr);
        const QString background = work.filePath("media/background.avi");
        const QString wanted = work.filePath("media/wanted.avi");
        QVERIFY(QFile::copy(clip, background) && QFile::copy(clip, wanted));
        QSignalSpy read(&reader, &TMediaInfoReader::InfoRead);
        reader.Read(background);
        QTRY_COMPARE_WITH_TIMEOUT(read.size(), 1, 60000);
        QCOMPARE(ReadNow(reader, wanted).state, TMediaInfo::Readable);
        const int own = ::getpriority(PRIO_PROCESS, 0);
        QCOMPARE(ReadAll(niceness + "/background.avi").trimmed().toInt(), qMin(own + 10, 19));
        QCOMPARE(ReadAll(niceness + "/wanted.avi").trimmed().toInt(), own);
    }

    // What a user waits for goes before the background; dropped requests are not read.
    void urgentFirstAndDropped()
    {
        TMediaInfoReader reader(QString(), nullptr);
        QSignalSpy read(&reader, &TMediaInfoReader::InfoRead);
        QStringList background;
        for (int i = 0; i < 4; ++i) {
            background << work.filePath(QStringLiteral("media/bg%1.avi").arg(i));
            QFile::copy(clip, background.last());
            reader.Read(background.last());
        }
        reader.Read(sound, true);
        QVERIFY(read.wait(60000));
        QCOMPARE(read.at(0).at(0).toString(), sound);
        reader.DropQueued();
        // The one that started meanwhile may end; the others are never read.
        QTRY_COMPARE_WITH_TIMEOUT(reader.RunningCount(), 0, 60000);
        // The reader starts its next file from the event loop: a queue left in place would
        // have one running after this turn.
        QCoreApplication::processEvents();
        QCOMPARE(reader.RunningCount(), 0);
        QVERIFY(read.size() <= 2);
        QCOMPARE(reader.Info(background.last()).state, TMediaInfo::Unread);
    }

    void parseProbe_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<TMediaInfo::TState>("state");
        QTest::addColumn<QString>("container");
        QTest::addColumn<double>("duration");
        QTest::addColumn<QString>("video");
        QTest::addColumn<double>("frameRate");
        QTest::newRow("mp4 named by its extension")
            << QByteArray(
                   R"({"format":{"format_name":"mov,mp4,m4a,3gp,3g2,mj2","format_long_name":"QuickTime / MOV",)"
                   R"("duration":"12.5"},"streams":[{"codec_type":"video","codec_name":"h264","width":640,)"
                   R"("height":360,"avg_frame_rate":"30000/1001"}]})")
            << "clip.mp4" << TMediaInfo::Readable << "MP4" << 12.5 << "h264" << 30000.0 / 1001.0;
        QTest::newRow("the long name when the extension says nothing")
            << QByteArray(
                   R"({"format":{"format_name":"matroska,webm","format_long_name":"Matroska / WebM"},)"
                   R"("streams":[{"codec_type":"video","codec_name":"vp9","duration":"3.0","avg_frame_rate":"0/0",)"
                   R"("r_frame_rate":"24/1"}]})")
            << "clip.mkv" << TMediaInfo::Readable << "Matroska / WebM" << 3.0 << "vp9" << 24.0;
        QTest::newRow("a cover picture is no video")
            << QByteArray(
                   R"({"format":{"format_name":"mp3","duration":"N/A"},"streams":[{"codec_type":"audio",)"
                   R"("codec_name":"mp3"},{"codec_type":"video","codec_name":"mjpeg","disposition":{"attached_pic":1}}]})")
            << "song.mp3" << TMediaInfo::Readable << "MP3" << -1.0 << "" << 0.0;
        QTest::newRow("not JSON") << QByteArray("garbage") << "x.avi" << TMediaInfo::Unreadable << "" << -1.0
                                  << "" << 0.0;
        QTest::newRow("no format") << QByteArray(R"({"streams":[]})") << "x.avi" << TMediaInfo::Unreadable
                                   << "" << -1.0 << "" << 0.0;
    }
    void parseProbe()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, fileName);
        QFETCH(TMediaInfo::TState, state);
        QFETCH(QString, container);
        QFETCH(double, duration);
        QFETCH(QString, video);
        QFETCH(double, frameRate);
        const TMediaInfo info = TMediaInfoReader::ParseProbe(json, fileName);
        QCOMPARE(info.state, state);
        QCOMPARE(info.container, container);
        QCOMPARE(info.durationSeconds, duration);
        QCOMPARE(info.videoCodec, video);
        QCOMPARE(info.frameRate, frameRate);
    }

    void rates_data()
    {
        QTest::addColumn<QString>("rational");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << "25/1"
                               << "25";
        QTest::newRow("NTSC") << "30000/1001"
                              << "29.97";
        QTest::newRow("film NTSC") << "24000/1001"
                                   << "23.976";
        QTest::newRow("plain number") << "50"
                                      << "50";
        QTest::newRow("unknown") << "0/0"
                                 << "";
        QTest::newRow("negative") << "-25/1"
                                  << "";
        QTest::newRow("garbage") << "fast"
                                 << "";
        QTest::newRow("three parts") << "1/2/3"
                                     << "";
    }
    void rates()
    {
        QFETCH(QString, rational);
        QFETCH(QString, text);
        QCOMPARE(TMediaInfoReader::RateText(TMediaInfoReader::ParseRate(rational)), text);
    }
};

QTEST_GUILESS_MAIN(tst_MediaInfoReader)
#include "tst_MediaInfoReader.moc"
