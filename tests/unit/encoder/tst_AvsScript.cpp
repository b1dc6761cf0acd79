// The AviSynth subset: what a script amounts to for ffmpeg, and the scripts that are refused.
#include "TAvsScript.h"
#include "TEncoderError.h"

#include <QtTest>

class tst_AvsScript : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void evaluate_data();
    void evaluate();
    void refused_data();
    void refused();
    void importKeepsTheUsersFolder();

private:
    QTemporaryDir dir;
    QString Media(const QString& name);
};

QString tst_AvsScript::Media(const QString& name)
{
    // The reader only needs the file to exist.
    QFile f(dir.filePath(name));
    if (!f.exists() && f.open(QIODevice::WriteOnly))
        f.write("x");
    return dir.filePath(name);
}

void tst_AvsScript::initTestCase()
{
    QVERIFY(dir.isValid());
    Media(QStringLiteral("clip.avi"));
    Media(QStringLiteral("my \"odd\" clip é.mp4"));
}

void tst_AvsScript::evaluate_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("source"); // relative to the test folder
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<bool>("video");
    QTest::addColumn<bool>("audio");

    QTest::newRow("as the program writes it")
        << "DirectShowSource(\"%1/clip.avi\",convertfps=true)\r\nturnleft()\r\n"
        << "clip.avi" << QStringList{"transpose=2"} << true << true;
    QTest::newRow("path with quotes in triple quotes")
        << "DirectShowSource(\"\"\"%1/my \"odd\" clip é.mp4\"\"\",convertfps=true)\r\nturnleft()\r\n"
        << "my \"odd\" clip é.mp4" << QStringList{"transpose=2"} << true << true;
    QTest::newRow("relative path, comments, case")
        << "# a user's script\nAVISOURCE(\"clip.avi\") /* block */\nTurnRight\n"
        << "clip.avi" << QStringList{"transpose=1"} << true << true;
    QTest::newRow("chain and turn180") << "AviSource(\"clip.avi\", audio=false).Turn180().ConvertToYV12()"
                                       << "clip.avi" << QStringList{"hflip", "vflip"} << true << false;
    QTest::newRow("variables and return")
        << "v = FFVideoSource(\"clip.avi\")\nv = v.FlipVertical()\nreturn v\n"
        << "clip.avi" << QStringList{"vflip"} << true << false;
    QTest::newRow("ffmpegsource2 with audio") << "FFmpegSource2(\"clip.avi\", atrack=-1)\nturnleft()"
                                              << "clip.avi" << QStringList{"transpose=2"} << true << true;
    QTest::newRow("ffmpegsource2 default has no audio") << "FFmpegSource2(\"clip.avi\")"
                                                        << "clip.avi" << QStringList{} << true << false;
    QTest::newRow("directshow fps and audio off") << "DirectShowSource(\"clip.avi\", fps=25, audio=false)"
                                                  << "clip.avi" << QStringList{"fps=25"} << true << false;
    QTest::newRow("crop resize fps")
        << "AviSource(\"clip.avi\")\nCrop(8, 4, -8, -4)\nLanczosResize(320, 240)\nChangeFPS(30)"
        << "clip.avi" << QStringList{"crop=iw-16:ih-8:8:4", "scale=320:240:flags=lanczos", "fps=30"} << true
        << true;
    QTest::newRow("line continuation") << "AviSource(\"clip.avi\", \\\n  audio=false)\n\\.TurnLeft()"
                                       << "clip.avi" << QStringList{"transpose=2"} << true << false;
    QTest::newRow("audio only") << "WAVSource(\"clip.avi\")"
                                << "clip.avi" << QStringList{} << false << true;
    QTest::newRow("plugin housekeeping and a byte-order mark")
        << "\xEF\xBB\xBFLoadPlugin(\"C:\\\\ffms2.dll\")\r\nSetMemoryMax(512)\r\nFFVideoSource(\"clip.avi\")."
           "AssumeTFF()\r\nturnleft()"
        << "clip.avi" << QStringList{"transpose=2"} << true << false;
    QTest::newRow("last") << "AviSource(\"clip.avi\")\nlast.TurnLeft()\nKillAudio()"
                          << "clip.avi" << QStringList{"transpose=2"} << true << false;
}

void tst_AvsScript::evaluate()
{
    QFETCH(QString, script);
    QFETCH(QString, source);
    QFETCH(QStringList, filters);
    const std::string text = (script.contains(u"%1") ? script.arg(dir.path()) : script).toStdString();
    TAvsClip clip = TAvsScript::Evaluate(text, dir.path().toStdString(), "test.avs");
    QCOMPARE(QString::fromStdString(clip.sourceFile), dir.filePath(source));
    QStringList got;
    for (const auto& f : clip.videoFilters)
        got << QString::fromStdString(f);
    QFETCH(bool, video);
    QFETCH(bool, audio);
    QCOMPARE(got, filters);
    QCOMPARE(clip.video, video);
    QCOMPARE(clip.audio, audio);
    QCOMPARE(clip.constantFrameRate, script.contains(QStringLiteral("convertfps=true")));
}

void tst_AvsScript::refused_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing file") << "DirectShowSource(\"gone.avi\",convertfps=true)\nturnleft()"
                                  << "line 1: DirectShowSource names a file that does not exist: gone.avi";
    QTest::newRow("unterminated string") << "AviSource(\"clip.avi)\n"
                                         << "syntax error in script test.avs, line 1";
    QTest::newRow("missing paren") << "AviSource(\"clip.avi\"\nturnleft()"
                                   << "syntax error in script test.avs, line 1";
    QTest::newRow("stray character") << "AviSource(\"clip.avi\")\nturnleft() ;"
                                     << "line 2: unexpected character";
    QTest::newRow("unknown function") << "AviSource(\"clip.avi\")\nSharpen(0.5)"
                                      << "line 2: unsupported function Sharpen";
    QTest::newRow("no clip") << "turnleft()"
                             << "turnleft has no clip";
    QTest::newRow("no clip at all") << "x = 3"
                                    << "does not give a clip";
    QTest::newRow("operators") << "AviSource(\"clip.avi\") ++ AviSource(\"clip.avi\")"
                               << "syntax error";
    QTest::newRow("two files") << "AviSource(\"clip.avi\", \"clip.avi\")"
                               << "more than one file";
    QTest::newRow("number too large") << "AviSource(\"clip.avi\")\nChangeFPS(99999999999999999999999)"
                                      << "line 2: malformed number";
    QTest::newRow("bare dollar") << "AviSource(\"clip.avi\")\nx = $"
                                 << "line 2: malformed number '$'";
    QTest::newRow("empty") << ""
                           << "does not give a clip";
    QTest::newRow("line count after a string over two lines")
        << "x = \"\"\"two\nlines\"\"\"\nAviSource(\"clip.avi\")\nSharpen(0.5)"
        << "line 4: unsupported function Sharpen";
    QTest::newRow("missing import") << "Import(\"nothere.avs\")"
                                    << "Import names a file that does not exist";
}

void tst_AvsScript::refused()
{
    QFETCH(QString, script);
    QFETCH(QString, message);
    try {
        TAvsScript::Evaluate(script.toStdString(), dir.path().toStdString(), "test.avs");
        QFAIL("accepted");
    } catch (const TEncoderError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(message), e.what());
    }
}

void tst_AvsScript::importKeepsTheUsersFolder()
{
    // A user's script with a relative source and a return, imported and then turned.
    QDir(dir.path()).mkdir(QStringLiteral("user"));
    Media(QStringLiteral("user/own.avi"));
    QFile user(dir.filePath(QStringLiteral("user/script.avs")));
    QVERIFY(user.open(QIODevice::WriteOnly));
    user.write("c = AviSource(\"own.avi\")\nreturn c.FlipHorizontal()\n");
    user.close();
    QFile wrapper(dir.filePath(QStringLiteral("m9s.avs")));
    QVERIFY(wrapper.open(QIODevice::WriteOnly));
    wrapper.write(QStringLiteral("Import(\"%1\")\r\nturnleft()\r\n").arg(user.fileName()).toUtf8());
    wrapper.close();
    TAvsClip clip = TAvsScript::Load(wrapper.fileName().toStdString());
    QCOMPARE(QString::fromStdString(clip.sourceFile), dir.filePath(QStringLiteral("user/own.avi")));
    QCOMPARE(clip.videoFilters, (std::vector<std::string>{"hflip", "transpose=2"}));

    try {
        TAvsScript::Load(dir.filePath(QStringLiteral("absent.avs")).toStdString());
        QFAIL("accepted");
    } catch (const TEncoderError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("does not exist")), e.what());
    }
}

QTEST_GUILESS_MAIN(tst_AvsScript)
#include "tst_AvsScript.moc"
