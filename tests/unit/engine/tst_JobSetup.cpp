// The encoder command line and argument vector of one job, from the settings panel's values.

#include "engine/TFFMpeg.h"
#include "engine/TJobSetup.h"
#include "platform/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

TJobSettings BaseSettings()
{
    TJobSettings s;
    s.videoCodec = s.videoBitrate = s.frameRate = s.videoSize = QStringLiteral("auto");
    s.aspect = QStringLiteral("auto");
    s.audioCodec = s.audioBitrate = s.sampleRate = s.channel = QStringLiteral("auto");
    s.currentFormat = QStringLiteral("mp4");
    s.currentExtension = QStringLiteral("mp4");
    s.hasVideo = true;
    s.appFolder = QStringLiteral("/opt/app/");
    s.tempFolder = QStringLiteral("/nonexistent-temp/");
    return s;
}

TJobFiles BaseFiles()
{
    return TJobFiles{QStringLiteral("/src/in.avi"), QStringLiteral("/out/o.mp4"), QStringLiteral("00:00:00"),
                     QString()};
}

// "key=value;key=value" over the base settings and files.
void Apply(const QString& changes, TJobSettings& s, TJobFiles& f)
{
    for (const QString& change : changes.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype eq = change.indexOf(u'=');
        const QString key = change.left(eq);
        const QString value = change.mid(eq + 1);
        QString* target = nullptr;
        if (key == "videoCodec")
            target = &s.videoCodec;
        else if (key == "videoBitrate")
            target = &s.videoBitrate;
        else if (key == "frameRate")
            target = &s.frameRate;
        else if (key == "videoSize")
            target = &s.videoSize;
        else if (key == "aspect")
            target = &s.aspect;
        else if (key == "audioCodec")
            target = &s.audioCodec;
        else if (key == "audioBitrate")
            target = &s.audioBitrate;
        else if (key == "sampleRate")
            target = &s.sampleRate;
        else if (key == "channel")
            target = &s.channel;
        else if (key == "format")
            target = &s.currentFormat;
        else if (key == "extension")
            target = &s.currentExtension;
        else if (key == "start")
            target = &f.startText;
        else if (key == "duration")
            target = &f.durationText;
        else if (key == "hasVideo")
            s.hasVideo = value != "0";
        else
            QFAIL(qPrintable("unknown key " + key));
        if (target)
            *target = value;
    }
}

const QString head = QStringLiteral("/opt/app/libm9s.exe -i /src/in.avi  -y  -f mp4  -ss 00:00:00  ");

} // namespace

class tst_JobSetup : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("line");
        QTest::newRow("everything auto: the source's own size and shape") << "" << head + "/out/o.mp4";
        QTest::newRow("auto in any letter case")
            << "videoBitrate=AUTO;frameRate=Auto;audioCodec=aUtO" << head + "/out/o.mp4";
        QTest::newRow("bitrates get k")
            << "videoBitrate=768;audioBitrate=128" << head + "-b 768k  -ab 128k  /out/o.mp4";
        QTest::newRow("-1 is not auto") << "videoBitrate=-1;audioBitrate=-1;frameRate=-1"
                                        << head + "-b -1k  -r -1  -ab -1k  /out/o.mp4";
        QTest::newRow("typed unit doubles")
            << "videoBitrate=800k" << head + "-b 800kk  /out/o.mp4";
        QTest::newRow("frame rate unchanged")
            << "frameRate=29.97" << head + "-r 29.97  /out/o.mp4";
        QTest::newRow("bracketed size")
            << "videoSize=[Phone]320x240" << head + "-s 320x240  -aspect 4:3  /out/o.mp4";
        QTest::newRow("typed size") << "videoSize=320x240" << head + "-s 320x240  -aspect 4:3  /out/o.mp4";
        QTest::newRow("after first bracket")
            << "videoSize=[a]b]640x480" << head + "-s b]640x480  -aspect 4:3  /out/o.mp4";
        QTest::newRow("auto aspect 16:10")
            << "videoSize=400x240" << head + "-s 400x240  -aspect 16:10  /out/o.mp4";
        QTest::newRow("auto aspect 16:9 (432)")
            << "videoSize=432x240" << head + "-s 432x240  -aspect 16:9  /out/o.mp4";
        QTest::newRow("auto aspect 16:9 (480)")
            << "videoSize=480x272" << head + "-s 480x272  -aspect 16:9  /out/o.mp4";
        QTest::newRow("auto aspect other")
            << "videoSize=640x480" << head + "-s 640x480  -aspect 4:3  /out/o.mp4";
        QTest::newRow("auto aspect of a wide size")
            << "videoSize=[Phone]1280x720" << head + "-s 1280x720  -aspect 16:9  /out/o.mp4";
        QTest::newRow("auto aspect of a rounded wide size")
            << "videoSize=854x480" << head + "-s 854x480  -aspect 16:9  /out/o.mp4";
        QTest::newRow("auto aspect of a 16:10 size")
            << "videoSize=1280x800" << head + "-s 1280x800  -aspect 16:10  /out/o.mp4";
        QTest::newRow("auto aspect of a DVD size")
            << "videoSize=720x480" << head + "-s 720x480  -aspect 4:3  /out/o.mp4";
        QTest::newRow("auto aspect of a size that is no size")
            << "videoSize=1280x0" << head + "-s 1280x0  -aspect 4:3  /out/o.mp4";
        QTest::newRow("copied video: no automatic aspect")
            << "videoCodec=copy;audioCodec=copy" << head + "-vcodec copy  -acodec copy  /out/o.mp4";
        QTest::newRow("copied video: a chosen aspect stays")
            << "videoCodec=copy;aspect=16:9" << head + "-aspect 16:9  -vcodec copy  /out/o.mp4";
        QTest::newRow("copied audio alone keeps the automatic aspect")
            << "audioCodec=copy" << head + "-acodec copy  /out/o.mp4";
        QTest::newRow("aspect box wins")
            << "videoSize=320x240;aspect=16:9" << head + "-s 320x240  -aspect 16:9  /out/o.mp4";
        QTest::newRow("aspect 16:10 box") << "aspect=16:10" << head + "-aspect 16:10  /out/o.mp4";
        QTest::newRow("time window trimmed") << "start= 00:01:30\t;duration=00:00:45 "
                                             << "/opt/app/libm9s.exe -i /src/in.avi  -y  -f mp4  -t 00:00:45 "
                                                " -ss 00:01:30  /out/o.mp4";
        QTest::newRow("empty start")
            << "start=  "
            << "/opt/app/libm9s.exe -i /src/in.avi  -y  -f mp4  /out/o.mp4";
        QTest::newRow("no container format")
            << "format="
            << "/opt/app/libm9s.exe -i /src/in.avi  -y  -ss 00:00:00  /out/o.mp4";
        QTest::newRow("asf tag after output")
            << "extension=asf;format=asf"
            << "/opt/app/libm9s.exe -i /src/in.avi  -y  -f asf  -ss 00:00:00  "
               "/out/o.mp4 -vtag MP4S";
        QTest::newRow("asf rule is exact") << "extension=ASF" << head + "/out/o.mp4";
        QTest::newRow("xvid tag") << "videoCodec=libxvid"
                                  << head + "-vcodec libxvid  -vtag XVID  /out/o.mp4";
        QTest::newRow("xvid letter case counts")
            << "videoCodec=LibXvid" << head + "-vcodec LibXvid  /out/o.mp4";
        QTest::newRow("no video drops video options")
            << "hasVideo=0;videoCodec=mpeg4;videoBitrate=768;videoSize=320x240;aspect=16:9;audioCodec=aac"
            << head + "-vn  -acodec aac  /out/o.mp4";
        QTest::newRow("audio order")
            << "audioCodec=libmp3lame;audioBitrate=128;sampleRate=44100;channel=2"
            << head + "-ab 128k  -ar 44100  -ac 2  -acodec libmp3lame  /out/o.mp4";
    }
    void commandLine()
    {
        QFETCH(QString, changes);
        QFETCH(QString, line);
        TJobSettings settings = BaseSettings();
        TJobFiles files = BaseFiles();
        Apply(changes, settings, files);

        TFFMpeg ffmpeg;
        const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
        QCOMPARE(job.commandLine, line);
        QCOMPARE(job.program, QStringLiteral("/opt/app/libm9s.exe"));
        // Without blanks in any value, the vector holds the line's words after the program.
        QCOMPARE(job.arguments, line.split(u' ', Qt::SkipEmptyParts).mid(1));
        QVERIFY(!job.scriptWritten);
    }

    // The option set is shared by every job: nothing of one job may reach the next.
    void nothingSurvivesIntoTheNextJob()
    {
        TFFMpeg ffmpeg;
        TJobSettings first = BaseSettings();
        TJobFiles firstFiles = BaseFiles();
        Apply("videoCodec=libxvid;videoBitrate=768;frameRate=25;videoSize=400x240;audioCodec=aac;"
              "audioBitrate=96;"
              "sampleRate=22050;channel=1;start=00:00:05;duration=00:00:02;extension=asf",
              first, firstFiles);
        TJobSetup::BuildJobCommandLine(ffmpeg, first, firstFiles);

        TJobSettings second = BaseSettings();
        second.hasVideo = false;
        TJobSetup::BuildJobCommandLine(ffmpeg, second, BaseFiles());
        const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, BaseSettings(), BaseFiles());
        QCOMPARE(job.commandLine, head + "/out/o.mp4");
    }

    void argumentsKeepPathsWhole()
    {
        TJobSettings settings = BaseSettings();
        const TJobFiles files{QStringLiteral("/s r c/it's \"q\" ü.avi"), QStringLiteral("/o u t/é x.mp4"),
                              QStringLiteral("00:00:00"), QString()};
        TFFMpeg ffmpeg;
        const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
        QCOMPARE(job.arguments.value(0), QStringLiteral("-i"));
        QCOMPARE(job.arguments.value(1), files.sourcePath);
        QCOMPARE(job.arguments.last(), files.outputPath);
        QVERIFY(job.commandLine.endsWith(QStringLiteral("  /o u t/é x.mp4")));
    }

    void rotationScript_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<bool>("rotates");
        QTest::newRow("176x220") << "176x220" << true;
        QTest::newRow("[Phone]176x224") << "[Phone]176x224" << true;
        QTest::newRow("213x240") << "213x240" << true;
        QTest::newRow("320x240") << "320x240" << false;
        QTest::newRow("auto") << "auto" << false;
    }
    void rotationScript()
    {
        QFETCH(QString, size);
        QFETCH(bool, rotates);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        TJobSettings settings = BaseSettings();
        settings.tempFolder = temp.path() + u'/';
        settings.videoSize = size;
        TJobFiles files = BaseFiles();
        files.sourcePath = QStringLiteral("/media/movie.mp4");

        TFFMpeg ffmpeg;
        const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
        const QString script = settings.tempFolder + QStringLiteral("m9s.avs");
        QCOMPARE(job.scriptWritten, rotates);
        QCOMPARE(QFile::exists(script), rotates);
        QCOMPARE(job.inputFile, rotates ? script : files.sourcePath);
        QCOMPARE(job.arguments.value(1), job.inputFile);
        if (rotates) {
            QFile file(script);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(),
                     QByteArray("DirectShowSource(\"/media/movie.mp4\",convertfps=true)\r\nturnleft()\r\n"));
        }
    }

    // The script is written anew for every job; a quotation mark in the path stays inside
    // the string literal.
    void rotationScriptQuotesPath()
    {
        QTemporaryDir temp;
        TJobSettings settings = BaseSettings();
        settings.tempFolder = temp.path() + u'/';
        settings.videoSize = QStringLiteral("176x220");
        TJobFiles files = BaseFiles();
        files.sourcePath = QStringLiteral("/media/a rather long name \"quoted\" é.mp4");
        TFFMpeg ffmpeg;
        TJobSetup::BuildJobCommandLine(ffmpeg, settings, BaseFiles());
        TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
        QFile file(settings.tempFolder + QStringLiteral("m9s.avs"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(file.readAll()),
            QStringLiteral(
                "DirectShowSource(\"\"\"/media/a rather long name \"quoted\" é.mp4\"\"\",convertfps=true)"
                "\r\nturnleft()\r\n"));
    }

    // A script source is imported by the rotation script; the user's script stays as it was.
    void scriptSourceIsNeverChanged()
    {
        QTemporaryDir temp;
        const QString userScript = temp.path() + QStringLiteral("/my clip.AVS");
        const QByteArray userText = "ColorBars()\nTrim(0,50)";
        {
            QFile file(userScript);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(userText);
        }
        TJobSettings settings = BaseSettings();
        settings.tempFolder = temp.path() + QStringLiteral("/tmp/");
        QVERIFY(QDir().mkpath(settings.tempFolder));
        settings.videoSize = QStringLiteral("176x224");
        TJobFiles files = BaseFiles();
        files.sourcePath = userScript;

        TFFMpeg ffmpeg;
        for (int run = 0; run < 2; ++run) {
            const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
            QCOMPARE(job.inputFile, settings.tempFolder + QStringLiteral("m9s.avs"));
            QFile script(job.inputFile);
            QVERIFY(script.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(script.readAll()),
                     QStringLiteral("Import(\"") + userScript + QStringLiteral("\")\r\nturnleft()\r\n"));
        }
        QFile original(userScript);
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), userText);
    }

    // A link planted at the script's name in the shared temporary folder is replaced, never
    // written through.
    void scriptNeverWritesThroughALink()
    {
        QTemporaryDir temp;
        const QString victim = temp.path() + QStringLiteral("/victim.txt");
        {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("precious");
        }
        TJobSettings settings = BaseSettings();
        settings.tempFolder = temp.path() + u'/';
        settings.videoSize = QStringLiteral("176x220");
        QVERIFY(QFile::link(victim, settings.tempFolder + QStringLiteral("m9s.avs")));
        TFFMpeg ffmpeg;
        const TJobCommand job = TJobSetup::BuildJobCommandLine(ffmpeg, settings, BaseFiles());
        QVERIFY(!QFileInfo(job.inputFile).isSymLink());
        QFile victimFile(victim);
        QVERIFY(victimFile.open(QIODevice::ReadOnly));
        QCOMPARE(victimFile.readAll(), QByteArray("precious"));
        QFile script(job.inputFile);
        QVERIFY(script.open(QIODevice::ReadOnly));
        QVERIFY(script.readAll().startsWith("DirectShowSource("));
    }

    // A script string names the path exactly or not at all: no text of the path may end the
    // string early and add lines of its own to the script.
    void scriptString_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // empty: no script string can hold it

        QTest::newRow("plain") << "/media/clip one.avi"
                               << "\"/media/clip one.avi\"";
        QTest::newRow("non-ASCII and parentheses") << "/媒体/clip (2).avi"
                                                   << "\"/媒体/clip (2).avi\"";
        QTest::newRow("a quote inside") << "/media/say \"hi\".avi"
                                        << "\"\"\"/media/say \"hi\".avi\"\"\"";
        QTest::newRow("two quotes in a row") << "/media/a \"\"b.avi"
                                             << "\"\"\"/media/a \"\"b.avi\"\"\"";
        QTest::newRow("a line break") << "/media/two\nlines.avi"
                                      << "\"\"\"/media/two\nlines.avi\"\"\"";
        QTest::newRow("a carriage return") << "/media/two\rlines.avi"
                                           << "\"\"\"/media/two\rlines.avi\"\"\"";
        QTest::newRow("a quote and a line break") << "/m/\")\nKillAudio(\".avi"
                                                  << "\"\"\"/m/\")\nKillAudio(\".avi\"\"\"";
        QTest::newRow("three quotes") << "/media/a \"\"\" b.avi"
                                      << "";
        QTest::newRow("ends in a quote") << "/media/clip\""
                                         << "";
        QTest::newRow("begins with a quote") << "\"clip.avi"
                                             << "";
        QTest::newRow("only a line break, ends in a quote") << "/m/a\nb\""
                                                            << "";
    }
    void scriptString()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(TJobSetup::ScriptString(path), expected);
    }

    // A source no script string can hold is named through a link in the run's own folder.
    void scriptNamesALinkWhenNoStringHoldsTheSource()
    {
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString source = temp.path() + QStringLiteral("/a \"\"\" b.avi");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("source");
        }
        const QString own = temp.path() + QStringLiteral("/own");
        QVERIFY(QDir().mkdir(own));
        TJobSettings settings = BaseSettings();
        settings.tempFolder = temp.path() + u'/';
        settings.videoSize = QStringLiteral("176x220");
        TJobFiles files = BaseFiles();
        files.sourcePath = source;
        files.privateFolder = own;
        TFFMpeg ffmpeg;
        TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
        const QString link = own + QStringLiteral("/source1.avi");
        QCOMPARE(QFileInfo(link).symLinkTarget(), source);
        QFile script(settings.tempFolder + QStringLiteral("m9s.avs"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(script.readAll()),
                 QStringLiteral("DirectShowSource(\"") + link +
                     QStringLiteral("\",convertfps=true)\r\nturnleft()\r\n"));

        // Without a folder of its own the job cannot name the source, and says so.
        files.privateFolder.clear();
        try {
            TJobSetup::BuildJobCommandLine(ffmpeg, settings, files);
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QCOMPARE(error.Text(), QStringLiteral("Cannot name \"%1\" in a script.").arg(source));
        }
    }

    void scriptThatCannotBeWritten()
    {
        TJobSettings settings = BaseSettings();
        settings.tempFolder = QStringLiteral("/nonexistent-temp-folder/");
        settings.videoSize = QStringLiteral("213x240");
        TFFMpeg ffmpeg;
        try {
            TJobSetup::BuildJobCommandLine(ffmpeg, settings, BaseFiles());
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QVERIFY2(error.Text().contains(QStringLiteral("/nonexistent-temp-folder/m9s.avs")),
                     qPrintable(error.Text()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_JobSetup)
#include "tst_JobSetup.moc"
