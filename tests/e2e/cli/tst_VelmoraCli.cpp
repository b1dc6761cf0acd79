// velmora-cli as a user runs it: a copy of the program folder, real clips converted by the real
// encoder and checked with ffprobe, the exit status, what it says on standard output and
// standard error, and what it leaves on disk when told to stop or given wrong input.

#include "support/ConversionFixture.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include "platform/IniFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ConversionFixture;
using namespace TestSupport;

namespace {

struct TCliResult
{
    int status = -1;
    bool crashed = false;
    QString out;
    QString err;
};

// Every file and folder below root with its size and change time: a run that must touch
// nothing leaves this exactly as it was.
QStringList Snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info = {};
        ::lstat(QFile::encodeName(path).constData(), &info);
        entries << QStringLiteral("%1 %2 %3.%4")
                       .arg(path)
                       .arg(info.st_size)
                       .arg(info.st_mtim.tv_sec)
                       .arg(info.st_mtim.tv_nsec);
    }
    entries.sort();
    return entries;
}

// Every name in folder, hidden ones included, sorted.
QStringList AllFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// The hidden partial files an encoder writes until its file is done.
QStringList PartialFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.velmora-*")}, QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray Digest(const QString& path)
{
    return QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha256);
}

// The processes whose parent is pid, as "pid name".
QList<qint64> ChildrenNamed(qint64 pid, const QByteArray& name)
{
    QList<qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const QByteArray stat = ReadAll(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        const qsizetype open = stat.indexOf('(');
        const qsizetype close = stat.lastIndexOf(')');
        if (open < 0 || close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[0] != "Z" && fields[1].toLongLong() == pid &&
            stat.mid(open + 1, close - open - 1) == name)
            children << entry.toLongLong();
    }
    return children;
}

} // namespace

class tst_VelmoraCli : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString appFolder;
    QString cli;
    QString media;
    QString clip;      // 3 s, 320x240
    QString longClip;  // long enough to be stopped while it converts
    int mp3Index = -1; // the MP3 profile's position in the format list, from 0

    TCliResult Run(const QStringList& arguments, const QByteArray& input = QByteArray(),
                   const std::function<void(QProcess&)>& whileRunning = nullptr,
                   const QString& workingFolder = QString())
    {
        QProcess process;
        process.setWorkingDirectory(workingFolder);
        process.start(cli, arguments);
        TCliResult result;
        if (!process.waitForStarted(-1))
            return result;
        process.write(input);
        process.closeWriteChannel();
        if (whileRunning)
            whileRunning(process);
        process.waitForFinished(-1);
        result.crashed = process.exitStatus() != QProcess::NormalExit;
        result.status = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QString Folder(const QString& name)
    {
        const QString path = work.path() + u'/' + name + u'/';
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

    void WriteConfig(const QByteArray& text)
    {
        QFile::remove(appFolder + "config.ini");
        if (!text.isEmpty())
            WriteText(appFolder + "config.ini", text);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        // Other users (the run as "nobody" below) must reach the program and the clips.
        QFile::setPermissions(work.path(), QFile::permissions(work.path()) | QFile::ReadOther |
                                               QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
        QVERIFY(!appFolder.isEmpty());
        cli = appFolder + "velmora-cli";
        QVERIFY(QFileInfo(cli).isExecutable());
        media = work.path() + "/media/";
        clip = media + "clip.avi";
        longClip = media + "long clip.avi";
        QVERIFY(MakeClip(clip, 3));
        QVERIFY(MakeClip(longClip, 60, "640x480"));
        const QStringList profiles = QDir(appFolder + "profile").entryList({"*.pf"}, QDir::Files, QDir::Name);
        mp3Index = int(profiles.indexOf("21-mp3.pf"));
        QVERIFY(mp3Index > 0);
    }

    void init() { WriteConfig(QByteArray()); }

    // What ldd lists is what the program needs at run time: no display library among it.
    void linksNoDisplayLibrary()
    {
        QProcess ldd;
        ldd.start("ldd", {cli});
        QVERIFY(ldd.waitForFinished(-1));
        QCOMPARE(ldd.exitCode(), 0);
        const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
        QVERIFY2(libraries.contains("libQt6Core.so"), qPrintable(libraries));
        QVERIFY2(!libraries.contains("libQt6Gui"), qPrintable(libraries));
        QVERIFY2(!libraries.contains("libQt6Widgets"), qPrintable(libraries));
        QVERIFY2(!libraries.contains("libQt6OpenGL"), qPrintable(libraries));
    }

    void helpVersionAndList()
    {
        const TCliResult help = Run({"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY2(help.out.startsWith("Usage: velmora-cli [options] FILE...\n"), qPrintable(help.out));
        QVERIFY(help.out.contains("\n  --overwrite skip|overwrite|rename  "));
        QVERIFY(help.err.isEmpty());

        const TCliResult version = Run({"--version"});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("velmora-cli " VELMORA_VERSION "\n"));

        const TCliResult list = Run({"--list-profiles"});
        QCOMPARE(list.status, 0);
        const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), QDir(appFolder + "profile").entryList({"*.pf"}, QDir::Files).size());
        QVERIFY2(QRegularExpression("^ 1  01-mp4-h264-aac\\.pf +MP4 Video \\(H\\.264 \\+ AAC\\)$").match(lines.first()).hasMatch(),
                 qPrintable(lines.first()));
        QVERIFY2(lines[mp3Index].contains(QStringLiteral(" 21-mp3.pf ")), qPrintable(lines[mp3Index]));
        QVERIFY(lines[mp3Index].endsWith("MP3 Audio"));

        // The Chinese edition speaks Chinese on the terminal too.
        WriteConfig("[common]\nlanguage=1\n");
        const TCliResult chinese = Run({"--help"});
        QCOMPARE(chinese.status, 0);
        QVERIFY2(chinese.out.startsWith(QString::fromUtf8("用法：velmora-cli [选项] 文件...")),
                 qPrintable(chinese.out));
        const TCliResult chineseError = Run({"--fast"});
        QCOMPARE(chineseError.status, 2);
        QVERIFY2(chineseError.err.contains(QString::fromUtf8("未知选项 \"--fast\"")),
                 qPrintable(chineseError.err));
    }

    void convert_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("video");
        QTest::addColumn<QString>("audio");
        QTest::addColumn<QString>("extension");
        QTest::newRow("blanks") << "my clip one.avi"
                                << "1"
                                << "mp4"
                                << "h264"
                                << "aac"
                                << "mp4";
        QTest::newRow("quotes") << "it's \"quoted\".avi"
                                << "33-mp4-mpeg4-aac.pf"
                                << "mp4"
                                << "mpeg4"
                                << "aac"
                                << "mp4";
        QTest::newRow("non-ASCII letters") << QString::fromUtf8("视频 片段 é.avi") << "MP3 Audio"
                                           << "mp3"
                                           << ""
                                           << "mp3"
                                           << "mp3";
        QTest::newRow("leading dash and dollar") << "-$HOME; x.avi"
                                                 << "01-mp4-h264-aac.pf"
                                                 << "mp4"
                                                 << "h264"
                                                 << "aac"
                                                 << "mp4";
    }
    // Names with blanks, quotes, non-ASCII letters or a leading dash, given relative to the
    // current folder, reach the encoder unchanged and come back as the output's name.
    void convert()
    {
        QFETCH(QString, name);
        QFETCH(QString, profile);
        QFETCH(QString, format);
        QFETCH(QString, extension);
        const QString folder = Folder(QString::fromUtf8("out 输出 \"") + QTest::currentDataTag());
        const QString sourceFolder = media + QTest::currentDataTag() + u'/';
        QDir().mkpath(sourceFolder);
        QVERIFY(QFile::copy(clip, sourceFolder + name));

        const TCliResult result =
            Run({"--profile", profile, "--output", folder, "--", name}, {}, nullptr, sourceFolder);
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        const QString output = folder + QFileInfo(name).completeBaseName() + u'.' + extension;
        QCOMPARE(result.out,
                 QStringLiteral("Converted: %1 -> %2\n1 converted, 0 failed, 0 skipped, 0 stopped.\n")
                     .arg(name, output));
        const TProbe probe = Probe(output);
        QVERIFY2(probe.formatName.contains(format), qPrintable(probe.formatName));
        QTEST(probe.videoCodec, "video");
        QTEST(probe.audioCodec, "audio");
        QVERIFY2(qAbs(probe.duration - 3.0) < 0.5, qPrintable(QString::number(probe.duration)));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        QVERIFY(QFile::exists(sourceFolder + name));
    }

    // The time window applies to every file.
    void timeWindow()
    {
        const QString folder = Folder("window");
        const TCliResult result =
            Run({"--start", "0:00:01", "--duration", "00:00:01", "--output", folder, "--profile", "1", clip});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const TProbe probe = Probe(folder + "clip.mp4");
        QVERIFY(probe.ok);
        QVERIFY2(qAbs(probe.duration - 1.0) < 0.3, qPrintable(QString::number(probe.duration)));
    }

    // Names from standard input (blank lines and Windows line ends among them) converted two
    // at a time: two encoders run side by side, never more.
    void listOnStandardInputTwoAtATime()
    {
        const QString folder = Folder("stdin");
        QStringList sources;
        QByteArray list = "\n";
        for (int i = 1; i <= 4; ++i) {
            sources << media + QStringLiteral("list/part %1.avi").arg(i);
            QDir().mkpath(media + "list");
            QVERIFY(QFile::copy(clip, sources.last()));
            list += QFile::encodeName(sources.last()) + (i % 2 ? "\r\n" : "\n") + "   \n";
        }
        int most = 0;
        const TCliResult result =
            Run({"--jobs", "2", "--profile", "1", "--output", folder, "-"}, list, [&most](QProcess& process) {
                while (!process.waitForFinished(20))
                    most = qMax(most, int(ChildrenNamed(process.processId(), "libm9s.exe").size()));
            });
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QCOMPARE(most, 2);
        for (int i = 1; i <= 4; ++i)
            QVERIFY(Probe(folder + QStringLiteral("part %1.mp4").arg(i)).ok);
        QVERIFY(result.out.endsWith("4 converted, 0 failed, 0 skipped, 0 stopped.\n"));
        QCOMPARE(result.out.count("Converted: "), 4);
    }

    // Files that cannot be converted are named on standard error, one line each; the others
    // are converted all the same, and the run ends with status 1.
    void failedFilesNamed()
    {
        const QString folder = Folder("failed");
        const QString junk = media + "junk/junk clip.avi";
        WriteText(junk, QByteArray(4096, 'j'));
        const QString missing = media + "junk/missing.avi";
        const QString text = media + "junk/notes.txt";
        WriteText(text, "notes");
        const QString directory = media + "junk/folder.avi";
        QDir().mkpath(directory);
        const QString multiLine = media + "junk/two\nlines.avi";

        const QByteArray list = QFile::encodeName(multiLine) + "\n";
        const TCliResult result =
            Run({"--profile", "1", "--output", folder, junk, missing, text, directory, clip, "-"}, list);
        QCOMPARE(result.status, 1);
        const QStringList errors = result.err.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(errors.size() == 6, qPrintable(result.err));
        QVERIFY2(result.err.contains("velmora-cli: " + missing + ": no such file.\n"),
                 qPrintable(result.err));
        QVERIFY(result.err.contains("velmora-cli: " + text + ": not a supported file type.\n"));
        QVERIFY(result.err.contains("velmora-cli: " + directory + ": not a file.\n"));
        // The name with a line break arrived as two names, neither of which exists.
        QVERIFY(result.err.contains("velmora-cli: " + media + "junk/two: no such file.\n"));
        QVERIFY(result.err.contains("velmora-cli: lines.avi: no such file.\n"));
        QVERIFY2(result.err.contains("velmora-cli: " + junk + ": conversion failed: "),
                 qPrintable(result.err));
        QVERIFY(result.out.endsWith("1 converted, 6 failed, 0 skipped, 0 stopped.\n"));
        QVERIFY(Probe(folder + "clip.mp4").ok);
        // The failed file leaves no output behind, and the junk itself is untouched.
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"clip.mp4"});
        QCOMPARE(ReadAll(junk), QByteArray(4096, 'j'));
    }

    // A file name and the encoder's words that hold terminal controls reach neither stream as
    // controls: they are shown in caret notation.
    void controlCharactersShownNotSent()
    {
        const QString folder = Folder("controls");
        const QString name = media + QString::fromUtf8("controls/bad\x1b]0;owned\x07\x1b[2J\xc2\x9b"
                                                       "31m.avi");
        WriteText(name, QByteArray(4096, 'j'));
        const TCliResult result = Run({"--profile", "1", "--output", folder, name});
        QCOMPARE(result.status, 1);
        for (const QString& stream : {result.out, result.err}) {
            for (const QChar c : stream)
                QVERIFY2(c == u'\n' || c == u'\t' ||
                             (c.unicode() >= 0x20 && c.unicode() != 0x7f &&
                              (c.unicode() < 0x80 || c.unicode() >= 0xa0)),
                         qPrintable(
                             QStringLiteral("U+%1 in: %2").arg(c.unicode(), 4, 16, QChar(u'0')).arg(stream)));
        }
        const QString shown = media + QStringLiteral("controls/bad^[]0;owned^G^[[2J^[[31m.avi");
        QVERIFY2(result.err.contains("velmora-cli: " + shown + ": conversion failed: "),
                 qPrintable(result.err));
        QCOMPARE(ReadAll(name), QByteArray(4096, 'j'));
    }

    // Out of file descriptors: the run says so in words, converts what it could, names every
    // other file, and leaves no placeholder behind.
    void tooManyOpenFiles()
    {
        const QString folder = Folder("descriptors");
        QStringList sources;
        for (int i = 1; i <= 8; ++i) {
            sources << media + QStringLiteral("descriptors/part %1.avi").arg(i);
            QDir().mkpath(media + "descriptors");
            QFile::remove(sources.last());
            QVERIFY(QFile::copy(clip, sources.last()));
        }
        QProcess process;
        process.setChildProcessModifier([] {
            const rlimit few{24, 24};
            ::setrlimit(RLIMIT_NOFILE, &few);
        });
        process.start(cli, QStringList{"--profile", "1", "--jobs", "8", "--output", folder} + sources);
        QVERIFY(process.waitForFinished(180000));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        // Said by the program itself, not only by a warning of the toolkit's.
        QVERIFY2(
            !err.split(u'\n').filter(QRegularExpression("^velmora-cli: .*Too many open files")).isEmpty(),
            qPrintable(err));
        int converted = 0;
        for (const QString& source : sources) {
            const QString output = folder + QFileInfo(source).completeBaseName() + ".mp4";
            if (out.contains("Converted: " + source + " -> ")) {
                ++converted;
                QVERIFY(Probe(output).ok);
            } else {
                QVERIFY2(err.contains("velmora-cli: " + source + ": "), qPrintable(err));
                QVERIFY(!QFile::exists(output));
            }
        }
        QVERIFY2(out.endsWith(QStringLiteral("%1 converted, %2 failed, 0 skipped, 0 stopped.\n")
                                  .arg(converted)
                                  .arg(sources.size() - converted)),
                 qPrintable(out));
    }

    // An encoder that cannot be started ends the run: the error is told once, every file not
    // converted is named, and no placeholder stays behind.
    void encoderMissing()
    {
        const QString folder = Folder("no encoder");
        QVERIFY(QFile::rename(appFolder + "libm9s.exe", appFolder + "libm9s.away"));
        const TCliResult result = Run({"--profile", "1", "--output", folder, clip, longClip});
        QVERIFY(QFile::rename(appFolder + "libm9s.away", appFolder + "libm9s.exe"));
        QCOMPARE(result.status, 1);
        const QStringList errors = result.err.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(errors.size(), 3);
        QVERIFY2(errors[0].startsWith("velmora-cli: System Error.  Code: 2. "), qPrintable(result.err));
        QCOMPARE(errors[1], "velmora-cli: " + clip + ": not converted.");
        QCOMPARE(errors[2], "velmora-cli: " + longClip + ": not converted.");
        QCOMPARE(result.out, QStringLiteral("0 converted, 2 failed, 0 skipped, 0 stopped.\n"));
        QVERIFY(QDir(folder).isEmpty());
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("message");
        const QString out = work.path() + "/refused out";
        const QString tryHelp = QStringLiteral("velmora-cli: Try \"velmora-cli --help\".\n");
        const QString file = work.path() + "/media/clip.avi";
        QTest::newRow("unknown option") << QStringList{"--fast", file} << QByteArray()
                                        << "velmora-cli: Unknown option \"--fast\".\n" + tryHelp;
        QTest::newRow("missing value") << QStringList{file, "--output"} << QByteArray()
                                       << "velmora-cli: Option --output needs a value.\n" + tryHelp;
        QTest::newRow("jobs 0") << QStringList{"--jobs", "0", file} << QByteArray()
                                << "velmora-cli: --jobs takes a whole number from 1 to 1024, not \"0\".\n" +
                                       tryHelp;
        QTest::newRow("jobs abc")
            << QStringList{"--jobs", "abc", file} << QByteArray()
            << "velmora-cli: --jobs takes a whole number from 1 to 1024, not \"abc\".\n" + tryHelp;
        QTest::newRow("bad start") << QStringList{"--start", "1:2:3", file} << QByteArray()
                                   << "velmora-cli: --start takes a time HH:MM:SS, not \"1:2:3\".\n" +
                                          tryHelp;
        QTest::newRow("bad overwrite") << QStringList{"--overwrite", "always", file} << QByteArray()
                                       << "velmora-cli: --overwrite takes skip, overwrite or rename, not "
                                          "\"always\".\n" +
                                              tryHelp;
        QTest::newRow("no such profile")
            << QStringList{"--profile", "99-nothing.pf", "--output", out, file} << QByteArray()
            << "velmora-cli: There is no profile \"99-nothing.pf\"; "
               "--list-profiles shows them.\n";
        QTest::newRow("profile number past the end")
            << QStringList{"--profile", "99", "--output", out, file} << QByteArray()
            << "velmora-cli: There is no profile \"99\"; "
               "--list-profiles shows them.\n";
        QTest::newRow("profile that fails to decipher")
            << QStringList{"--profile", "98-broken.pf", "--output", out, file} << QByteArray()
            << "velmora-cli: The profile 98-broken.pf cannot be read: ";
        QTest::newRow("no files") << QStringList{"--output", out} << QByteArray()
                                  << "velmora-cli: No files to convert.\n";
        QTest::newRow("only blank lines on standard input")
            << QStringList{"--output", out, "-"} << QByteArray("\n  \n\r\n")
            << "velmora-cli: No files to convert.\n";
        QTest::newRow("output folder is a file")
            << QStringList{"--output", file, file} << QByteArray()
            << "velmora-cli: The output folder \"" + file + "\" is not a folder.\n";
        QTest::newRow("output folder below a file")
            << QStringList{"--output", file + "/sub", file} << QByteArray()
            << "velmora-cli: The output folder \"" + file + "/sub\" cannot be created: \"" + file +
                   "\" is not a folder.\n";
        QTest::newRow("log in a missing folder")
            << QStringList{"--output", out, "--log", work.path() + "/no folder/run.log", file} << QByteArray()
            << "velmora-cli: The log file \"" + work.path() + "/no folder/run.log\" cannot be written.\n";
        QTest::newRow("log is a source")
            << QStringList{"--output", out, "--log", file, file} << QByteArray()
            << "velmora-cli: The log file \"" + file + "\" is one of the files to convert.\n";
        const QString linked = work.path() + "/linked media/clip.avi";
        QTest::newRow("log is a source, through a linked folder")
            << QStringList{"--output", out, "--log", linked, file} << QByteArray()
            << "velmora-cli: The log file \"" + linked + "\" is one of the files to convert.\n";
        const QString made = work.path() + "/media/clip.mp4";
        QTest::newRow("log is an output")
            << QStringList{"--profile", "1", "--output", work.path() + "/media", "--log", made, file}
            << QByteArray()
            << "velmora-cli: The log file \"" + made +
                   "\" would be the output of one of the files to convert.\n";
        QTest::newRow("log is an output's automatic name")
            << QStringList{"--profile",      "1", "--output", work.path() + "/media/", "--log",
                           made + "(1).mp4", file}
            << QByteArray()
            << "velmora-cli: The log file \"" + made +
                   "(1).mp4\" would be the output of one of the files to convert.\n";
    }
    // A mistake of the command line is named, ends the program with status 2 and touches no
    // file: no output folder made, no log deleted, no config.ini written.
    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, message);
        WriteText(appFolder + "profile/98-broken.pf", "%%% no profile %%%\r\n");
        WriteText(appFolder + "logFile.txt", "the window's log\r\n");
        QFile::link(media, work.path() + "/linked media");
        const QStringList before = Snapshot(work.path());

        const TCliResult result = Run(arguments, input);
        const QStringList after = Snapshot(work.path());
        QFile::remove(appFolder + "profile/98-broken.pf");
        QFile::remove(appFolder + "logFile.txt");
        QCOMPARE(result.status, 2);
        QVERIFY(!result.crashed);
        if (message.endsWith(u'\n')) {
            QCOMPARE(result.err, message);
        } else {
            // The cipher's own words follow; one line in all.
            QVERIFY2(result.err.startsWith(message), qPrintable(result.err));
            QCOMPARE(result.err.count(u'\n'), 1);
        }
        QVERIFY2(result.out.isEmpty(), qPrintable(result.out));
        QCOMPARE(after, before);
    }

    // The broken profile is left out of the list, and said so; the others are listed.
    void listLeavesOutBrokenProfile()
    {
        WriteText(appFolder + "profile/98-broken.pf", "%%% no profile %%%\r\n");
        const TCliResult result = Run({"--list-profiles"});
        QFile::remove(appFolder + "profile/98-broken.pf");
        QCOMPARE(result.status, 0);
        QVERIFY2(result.err.startsWith("velmora-cli: Profile left out: 98-broken.pf: "),
                 qPrintable(result.err));
        QVERIFY(!result.out.contains("98-broken"));
        QCOMPARE(result.out.count(u'\n'),
                 QDir(appFolder + "profile").entryList({"*.pf"}, QDir::Files).size());
    }

    // An output folder the user may not write to: refused before anything starts. Root may
    // write anywhere, so then the program runs as "nobody".
    void outputFolderNotWritable()
    {
        const QString folder = Folder("read only");
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        QProcess process;
        if (::geteuid() == 0) {
            process.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        }
        process.start(cli, {"--profile", "1", "--output", folder, clip});
        QVERIFY(process.waitForFinished(-1));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 2);
        QCOMPARE(err, "velmora-cli: The output folder \"" + folder + "\" cannot be written to.\n");
        QVERIFY(QDir(folder).isEmpty());
    }

    void overwrite_data()
    {
        QTest::addColumn<QStringList>("rule"); // the options; none: the default
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("keptOld");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("skip") << QStringList{"--overwrite", "skip"} << "Skipped: %1 (%2clip.mp4 exists)"
                              << true << QStringList{"clip.mp4"};
        QTest::newRow("overwrite") << QStringList{"--overwrite=overwrite"} << "Converted: %1 -> %2clip.mp4"
                                   << false << QStringList{"clip.mp4"};
        QTest::newRow("rename") << QStringList{"--overwrite", "rename"}
                                << "Converted: %1 -> %2clip.mp4(1).mp4" << true
                                << QStringList{"clip.mp4", "clip.mp4(1).mp4"};
        QTest::newRow("default is rename") << QStringList{} << "Converted: %1 -> %2clip.mp4(1).mp4" << true
                                           << QStringList{"clip.mp4", "clip.mp4(1).mp4"};
    }
    // An output that exists already: the rule decides, and no rule makes the program ask.
    void overwrite()
    {
        QFETCH(QStringList, rule);
        QFETCH(QString, line);
        QFETCH(bool, keptOld);
        const QString folder = Folder("overwrite");
        WriteText(folder + "clip.mp4", "an older file");
        const TCliResult result = Run(rule + QStringList{"--profile", "1", "--output", folder, clip});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QVERIFY2(result.out.startsWith(line.arg(clip, folder) + u'\n'), qPrintable(result.out));
        QCOMPARE(ReadAll(folder + "clip.mp4") == "an older file", keptOld);
        QTEST(QDir(folder).entryList(QDir::Files, QDir::Name), "files");
        for (const QString& file : QDir(folder).entryList(QDir::Files)) {
            if (ReadAll(folder + file) != "an older file")
                QVERIFY2(Probe(folder + file).ok, qPrintable(file));
        }
    }

    // Two sources of one name meet at one output: the later one never replaces the earlier
    // one's output, whatever the rule.
    void sameNameFromTwoFolders()
    {
        const QString folder = Folder("same name");
        const QString other = media + "other/clip.avi";
        QDir().mkpath(media + "other");
        QVERIFY(QFile::copy(clip, other));
        const TCliResult result = Run({"--overwrite", "overwrite", "--jobs", "2", "--profile", "1",
                                       "--output", folder, clip, other, clip});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
                 (QStringList{"clip.mp4", "clip.mp4(1).mp4"}));
        QVERIFY(Probe(folder + "clip.mp4").ok);
        QVERIFY(Probe(folder + "clip.mp4(1).mp4").ok);
        // The same file named twice is converted once.
        QVERIFY(result.out.endsWith("2 converted, 0 failed, 0 skipped, 0 stopped.\n"));
    }

    void sourcesOfTheBatch_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QStringList>("lines"); // per file: "Converted: <name> -> <output>" or "Skipped: ..."
        const QString first = QStringLiteral("a.mp4(1).mp4");
        const QString second = QStringLiteral("a.mp4(1).mp4(1).mp4");
        QTest::newRow("overwrite, two at once")
            << QStringList{"--overwrite", "overwrite", "--jobs", "2"} << QStringList{"a.avi", "a.mp4"}
            << QStringList{"Converted: a.avi -> " + first, "Converted: a.mp4 -> " + second};
        QTest::newRow("overwrite, one at a time, the mp4 first")
            << QStringList{"--overwrite", "overwrite", "--jobs", "1"} << QStringList{"a.mp4", "a.avi"}
            << QStringList{"Converted: a.mp4 -> " + first, "Converted: a.avi -> " + second};
        QTest::newRow("overwrite, one at a time, the avi first")
            << QStringList{"--overwrite", "overwrite", "--jobs", "1"} << QStringList{"a.avi", "a.mp4"}
            << QStringList{"Converted: a.avi -> " + first, "Converted: a.mp4 -> " + second};
        QTest::newRow("rename") << QStringList{"--jobs", "2"} << QStringList{"a.avi", "a.mp4"}
                                << QStringList{"Converted: a.avi -> " + first,
                                               "Converted: a.mp4 -> " + second};
        // Skip means skip, also when the output would be the source itself.
        QTest::newRow("skip") << QStringList{"--overwrite", "skip", "--jobs", "2"}
                              << QStringList{"a.avi", "a.mp4"}
                              << QStringList{"Skipped: a.avi (a.mp4 exists)",
                                             "Skipped: a.mp4 (a.mp4 exists)"};
    }
    // a.avi and a.mp4 in one folder, converted to MP4 into that folder: a.mp4 is a source of the
    // batch and is never written or replaced, whatever the rule says.
    void sourcesOfTheBatch()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, order);
        QFETCH(QStringList, lines);
        const QString folder = Folder("sources together");
        QVERIFY(QFile::copy(clip, folder + "a.avi"));
        QVERIFY(MakeClip(folder + "a.mp4", 2));
        const QByteArray original = Digest(folder + "a.mp4");

        const TCliResult result =
            Run(options + QStringList{"--profile", "1", "--output", "."} + order, {}, nullptr, folder);
        QCOMPARE(Digest(folder + "a.mp4"), original);
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QVERIFY2(result.err.isEmpty(), qPrintable(result.err));
        QStringList said = result.out.split(u'\n', Qt::SkipEmptyParts);
        said.removeLast(); // the summary
        said.sort();
        QStringList expected;
        QStringList files{"a.avi", "a.mp4"};
        for (const QString& line : lines) {
            const qsizetype arrow = line.indexOf(QLatin1String(" -> "));
            if (arrow >= 0) {
                expected << line.left(arrow + 4) + folder + line.mid(arrow + 4);
                files << line.mid(arrow + 4);
            } else {
                expected << line.left(line.indexOf(u'(') + 1) + folder + line.mid(line.indexOf(u'(') + 1);
            }
        }
        expected.sort();
        QCOMPARE(said, expected);
        files.sort();
        QCOMPARE(AllFiles(folder), files);
        for (const QString& file : files) {
            if (file.contains(QLatin1String("(1)"))) {
                const TProbe probe = Probe(folder + file);
                QCOMPARE(probe.videoCodec, QStringLiteral("h264"));
            }
        }
    }

    // One file reached through a linked folder and by its own path is converted once.
    void sameFileThroughALinkedFolder()
    {
        const QString folder = Folder("linked");
        const QString real = Folder("linked source") + "clip.avi";
        QVERIFY(QFile::copy(clip, real));
        QFile::remove(work.path() + "/linked source link");
        QVERIFY(QFile::link(work.path() + "/linked source", work.path() + "/linked source link"));
        const TCliResult result =
            Run({"--jobs", "2", "--overwrite", "overwrite", "--profile", "1", "--output", folder, real,
                 work.path() + "/linked source link/clip.avi"});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QCOMPARE(result.out,
                 "Converted: " + real + " -> " + folder + "clip.mp4\n1 converted, 0 failed, 0 skipped, 0 stopped.\n");
        QCOMPARE(AllFiles(folder), QStringList{"clip.mp4"});
    }

    // A file whose automatic name would be too long fails alone, with the reason; the other
    // files are converted.
    void nameTooLong()
    {
        const QString folder = Folder("long names");
        const QString name = QString(247, u'n') + ".avi";
        const QString source = media + "long/" + name;
        QDir().mkpath(media + "long");
        QVERIFY(QFile::copy(clip, source));
        const QString output = folder + QString(247, u'n') + ".mp4";
        WriteText(output, "an older file");
        const TCliResult result = Run({"--profile", "1", "--output", folder, source, clip});
        QCOMPARE(result.status, 1);
        QCOMPARE(result.err, "velmora-cli: " + source + ": conversion failed: Cannot create file \"" +
                                 output + "(1).mp4\". File name too long\n");
        QCOMPARE(result.out,
                 "Converted: " + clip + " -> " + folder + "clip.mp4\n1 converted, 1 failed, 0 skipped, 0 stopped.\n");
        QCOMPARE(ReadAll(output), QByteArray("an older file"));
        QCOMPARE(AllFiles(folder), (QStringList{"clip.mp4", QFileInfo(output).fileName()}));

        // A name that just fits converts, though the partial file's name must be shorter.
        QVERIFY(QFile::remove(output));
        const TCliResult fits = Run({"--profile", "1", "--output", folder, source});
        QVERIFY2(fits.status == 0, qPrintable(fits.err));
        QVERIFY(Probe(output).ok);
        QCOMPARE(AllFiles(folder), (QStringList{"clip.mp4", QFileInfo(output).fileName()}));
    }

    void fullDisk_data()
    {
        QTest::addColumn<bool>("existing"); // an older output is to be overwritten
        QTest::newRow("new outputs") << false;
        QTest::newRow("overwriting older outputs") << true;
    }
    // An output folder on a disk of 2 MB, two long clips at once: both fail, and what they
    // wrote goes; an older output that was to be overwritten is exactly as it was.
    void fullDisk()
    {
        QFETCH(bool, existing);
        if (::geteuid() != 0)
            QSKIP("Mounting a small file system for the output folder needs root.");
        const QString folder = Folder("full disk");
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", folder}) != 0)
            QSKIP("The small file system for the output folder could not be mounted.");
        struct TUnmount
        {
            QString path;
            ~TUnmount() { QProcess::execute("umount", {"-l", path}); }
        } unmount{folder};
        const QString second = media + "full/second clip.avi";
        QDir().mkpath(media + "full");
        QFile::remove(second);
        QVERIFY(QFile::copy(longClip, second));
        const QStringList outputs{"long clip.mp4", "second clip.mp4"};
        QByteArray old(300000, 'o');
        if (existing) {
            for (const QString& output : outputs)
                WriteText(folder + output, old);
        }
        const TCliResult result = Run({"--overwrite", "overwrite", "--jobs", "2", "--profile", "1",
                                       "--output", folder, longClip, second});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.contains("velmora-cli: " + longClip + ": conversion failed: "),
                 qPrintable(result.err));
        QVERIFY2(result.err.contains("velmora-cli: " + second + ": conversion failed: "),
                 qPrintable(result.err));
        QVERIFY(result.out.endsWith("0 converted, 2 failed, 0 skipped, 0 stopped.\n"));
        QCOMPARE(AllFiles(folder), existing ? outputs : QStringList());
        for (const QString& output : AllFiles(folder))
            QCOMPARE(ReadAll(folder + output), old);
    }

    // Without options the settings come from config.ini, which stays as it was; the window's
    // log is neither written nor deleted.
    void defaultsFromConfig()
    {
        const QString folder = work.path() + "/config out/new folder/";
        QDir(work.path() + "/config out").removeRecursively();
        const QByteArray config =
            QStringLiteral("[setting]\noutputFolder=%1\nformatFile=21-mp3.pf\niComboxFormatIndex=%2\n"
                           "simultaneous=2\nlogfile=1\n")
                .arg(folder)
                .arg(mp3Index)
                .toUtf8();
        WriteConfig(config);
        WriteText(appFolder + "logFile.txt", "the window's log\r\n");
        const QDateTime configTime = QFileInfo(appFolder + "config.ini").lastModified();

        const TCliResult result = Run({clip});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const TProbe probe = Probe(folder + "clip.mp3");
        QCOMPARE(probe.audioCodec, QStringLiteral("mp3"));
        QVERIFY(probe.videoCodec.isEmpty());
        QCOMPARE(ReadAll(appFolder + "config.ini"), config);
        QCOMPARE(QFileInfo(appFolder + "config.ini").lastModified(), configTime);
        QCOMPARE(ReadAll(appFolder + "logFile.txt"), QByteArray("the window's log\r\n"));
        QFile::remove(appFolder + "logFile.txt");

        // Without config.ini there is none afterwards either.
        WriteConfig(QByteArray());
        QVERIFY(Run({"--output", folder, "--profile", "1", clip}).status == 0);
        QVERIFY(!QFile::exists(appFolder + "config.ini"));
    }

    // --log writes the encoder log of this run to the named file, replacing an older one.
    void logFile()
    {
        const QString folder = Folder("log");
        const QString log = folder + "run log.txt";
        WriteText(log, "an older run\r\n");
        const TCliResult result = Run({"--log", log, "--profile", "1", "--output", folder + "out", clip});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        const QString text = QString::fromUtf8(ReadAll(log));
        QVERIFY2(text.startsWith(appFolder + "libm9s.exe "), qPrintable(text.left(200)));
        QVERIFY(text.contains("ffmpeg_release_time="));
        QVERIFY(!text.contains("an older run"));
        QVERIFY(!QFile::exists(appFolder + "logFile.txt"));
    }

    // On a terminal one line is redrawn in place; the summary replaces it at the end.
    void progressOnTerminal()
    {
        const QString script = QStandardPaths::findExecutable("script");
        QVERIFY2(!script.isEmpty(), "script (util-linux) is needed to give the program a terminal");
        const QString folder = Folder("terminal");
        const QString command =
            QStringLiteral("'%1' --profile 1 --output '%2' '%3'").arg(cli, folder, longClip);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TERM", "xterm");
        env.insert("COLUMNS", "60");
        process.setProcessEnvironment(env);
        process.start(script, {"-qec", command + " --duration 00:00:30", "/dev/null"});
        QVERIFY(process.waitForFinished(-1));
        const QByteArray said = process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(said.contains("\r[1/1] long clip.avi  "), said.constData());
        QVERIFY2(QRegularExpression("\\r\\[1/1\\] long clip\\.avi +[ 0-9]{2}[0-9]%  [0-9]+\\.[0-9]x  "
                                    "[0-9:]{8} left\\x1b\\[K")
                     .match(QString::fromUtf8(said))
                     .hasMatch(),
                 said.constData());
        QVERIFY(said.contains("\r\x1b[K1 converted, 0 failed, 0 skipped, 0 stopped.\r\n"));
        QVERIFY(!said.contains("Converted: "));
        QVERIFY(Probe(folder + "long clip.mp4").ok);
    }

    void stop_data()
    {
        QTest::addColumn<QList<int>>("signalNumbers");
        QTest::addColumn<bool>("finished"); // the encoder was given time to finish its file
        QTest::newRow("SIGINT") << QList<int>{SIGINT} << true;
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << true;
        QTest::newRow("SIGHUP") << QList<int>{SIGHUP} << true;
        QTest::newRow("SIGINT twice") << QList<int>{SIGINT, SIGINT} << false;
        QTest::newRow("SIGKILL") << QList<int>{SIGKILL} << false;
    }
    // Told to stop during a long clip, the program has the encoder finish its file where it
    // is, starts nothing more, leaves no encoder or ffmpeg running and ends with status 130.
    // Killed outright it cannot clean up, but its encoder and ffmpeg die with it all the same.
    void stop()
    {
        QFETCH(QList<int>, signalNumbers);
        QFETCH(bool, finished);
        const bool killed = signalNumbers.first() == SIGKILL;
        const QString folder = Folder("stop");
        const QString output = folder + "long clip.mp4";
        qint64 group = 0;
        QStringList running;
        const TCliResult result =
            Run({"--profile", "1", "--output", folder, longClip, clip}, QByteArray(), [&](QProcess& process) {
                // Stopped once the encoder has written part of the file, which is hidden until
                // the encoder is done with it.
                QTRY_VERIFY_WITH_TIMEOUT(PartialFiles(folder).size() == 1 &&
                                             QFileInfo(folder + PartialFiles(folder).value(0)).size() >
                                                 100000,
                                         120000);
                QVERIFY(PartialFiles(folder).value(0).startsWith(".long clip.mp4."));
                const QList<qint64> encoders = ChildrenNamed(process.processId(), "libm9s.exe");
                QCOMPARE(encoders.size(), 1);
                group = encoders.first();
                running = ProcessesInGroup(group);
                for (const int number : signalNumbers)
                    QVERIFY(::kill(pid_t(process.processId()), number) == 0);
            });
        QVERIFY2(running.filter("(ffmpeg)").size() == 1, qPrintable(running.join(u'\n')));
        QTRY_VERIFY2_WITH_TIMEOUT(ProcessesInGroup(group).isEmpty(),
                                  qPrintable(ProcessesInGroup(group).join(u'\n')), 10000);
        // The second file never started: no output, no placeholder.
        QVERIFY(!QFile::exists(folder + "clip.mp4"));
        QCOMPARE(result.crashed, killed);
        // Killed, the program cannot put what its encoder wrote in place: the partial file and
        // the placeholder stay. Otherwise no partial file is left.
        if (killed) {
            QCOMPARE(PartialFiles(folder).size(), 1);
            return;
        }
        QCOMPARE(PartialFiles(folder), QStringList());
        QCOMPARE(result.status, 130);
        QVERIFY2(result.err.startsWith("velmora-cli: Stopping: "), qPrintable(result.err));
        // Stopped at once or not, the file is counted as stopped and the one after it as never
        // started.
        QCOMPARE(result.out,
                 "Stopped: " + longClip + "\n0 converted, 0 failed, 0 skipped, 1 stopped, 1 not started.\n");
        if (finished) {
            const TProbe probe = Probe(output);
            QCOMPARE(probe.videoCodec, QStringLiteral("h264"));
            QVERIFY2(probe.duration > 0.5 && probe.duration < 59,
                     qPrintable(QString::number(probe.duration)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_VelmoraCli)
#include "tst_VelmoraCli.moc"
