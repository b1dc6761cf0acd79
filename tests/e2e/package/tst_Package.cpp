// The Debian package that CPack makes of this build: every file in its place with its mode,
// the control fields, lintian's verdict, and the program unpacked from it starting through its
// launcher and converting a clip.

#include "e2e/package/InstalledFixture.h"
#include "support/TestMain.h"
#include "support/Media.h"
#include "support/TestFiles.h"

#include "platform/IniFile.h"

#include <QTest>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>

using namespace InstalledFixture;
using namespace TestSupport;

namespace {

struct TRun
{
    int exitCode = -1;
    QString output; // standard output and error together
};

TRun Run(const QString& program, const QStringList& arguments, int timeoutMs = 600000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

const QString Source = QStringLiteral(VELMORA_SOURCE_DIR);
const QString AppId = QStringLiteral(VELMORA_APP_ID);

// Where each file of the package comes from in the source tree; empty for a built one.
QMap<QString, QString> ExpectedFiles()
{
    QMap<QString, QString> files;
    QStringList programs{QStringLiteral("velmora")};
#ifdef VELMORA_HAS_CLI
    programs << QStringLiteral("velmora-cli");
#endif
    for (const QString& program : programs) {
        files.insert(QStringLiteral("opt/velmora/") + program, QString());
        files.insert(QStringLiteral("usr/bin/") + program, QString());
        if (QFileInfo::exists(Source + QStringLiteral("/cmake/package/") + program + QStringLiteral(".1")))
            files.insert(QStringLiteral("usr/share/man/man1/") + program + QStringLiteral(".1.gz"),
                         QString());
    }
    files.insert(QStringLiteral("opt/velmora/libm9s.exe"), QString());
    files.insert(QStringLiteral("opt/velmora/update.EXE"), QString());
    // Everything of data/ that the program reads, as in the program folder of the build.
    const QDir data(Source + QStringLiteral("/data"));
    QDirIterator it(data.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = data.relativeFilePath(it.next());
        if (relative.startsWith(QLatin1String("icons/")) ||
            relative.startsWith(QLatin1String("screenshots/")) ||
            relative.endsWith(QLatin1String(".desktop")) || relative.endsWith(QLatin1String(".metainfo.xml")))
            continue;
        files.insert(QStringLiteral("opt/velmora/") + relative, QStringLiteral("data/") + relative);
    }
    files.insert(QStringLiteral("usr/share/applications/") + AppId + QStringLiteral(".desktop"),
                 QStringLiteral("data/") + AppId + QStringLiteral(".desktop"));
    files.insert(QStringLiteral("usr/share/metainfo/") + AppId + QStringLiteral(".metainfo.xml"),
                 QStringLiteral("data/") + AppId + QStringLiteral(".metainfo.xml"));
    for (const QString& icon :
         {QStringLiteral("48x48/apps/velmora.png"), QStringLiteral("128x128/apps/velmora.png"),
          QStringLiteral("256x256/apps/velmora.png"), QStringLiteral("scalable/apps/velmora.svg")})
        files.insert(QStringLiteral("usr/share/icons/hicolor/") + icon,
                     QStringLiteral("data/icons/hicolor/") + icon);
    files.insert(QStringLiteral("usr/share/doc/velmora/changelog.gz"), QString());
    files.insert(QStringLiteral("usr/share/doc/velmora/copyright"),
                 QStringLiteral("cmake/package/copyright"));
    files.insert(QStringLiteral("usr/share/lintian/overrides/velmora"),
                 QStringLiteral("cmake/package/lintian-overrides"));
    return files;
}

bool IsProgram(const QString& path)
{
    return path.startsWith(QLatin1String("usr/bin/")) || path == QLatin1String("opt/velmora/velmora") ||
           path == QLatin1String("opt/velmora/velmora-cli") || path.endsWith(QLatin1String(".exe")) ||
           path.endsWith(QLatin1String(".EXE"));
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString deb;
    QString root; // the package unpacked, without a trailing "/"
    QString clip;

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        // Packed into a folder of the test's own, so a package being made by hand is left alone.
        const TRun cpack =
            Run(QStringLiteral("cpack"),
                {QStringLiteral("--config"), QStringLiteral(VELMORA_BINARY_DIR "/CPackConfig.cmake"),
                 QStringLiteral("-B"), work.filePath(QStringLiteral("deb"))});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        deb = work.filePath(QStringLiteral("deb/velmora_" VELMORA_VERSION "_amd64.deb"));
        QVERIFY2(QFileInfo::exists(deb), qPrintable(cpack.output));
        root = work.filePath(QStringLiteral("root"));
        const TRun unpack = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root});
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));
        clip = work.filePath(QStringLiteral("media/clip.avi"));
        QVERIFY(MakeClip(clip, 1));
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void contents()
    {
        const TRun listing = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), deb});
        QCOMPARE(listing.exitCode, 0);
        QStringList files;
        const QMap<QString, QString> expected = ExpectedFiles();
        // "-rwxr-xr-x root/root 12345 2026-12-10 12:00 ./opt/velmora/velmora"
        const QRegularExpression line(QStringLiteral(R"(^(\S+)\s+(\S+)\s+\d+\s+\S+\s+\S+\s+\./(.*)$)"));
        for (const QString& text : listing.output.split(u'\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = line.match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            const QString mode = match.captured(1);
            const QString path = match.captured(3);
            QVERIFY2(match.captured(2) == QLatin1String("root/root"), qPrintable(text));
            if (mode.startsWith(u'd')) {
                QVERIFY2(mode == QLatin1String("drwxr-xr-x"), qPrintable(text));
                continue;
            }
            files << path;
            const QString wanted =
                IsProgram(path) ? QStringLiteral("-rwxr-xr-x") : QStringLiteral("-rw-r--r--");
            QVERIFY2(mode == wanted, qPrintable(text));
        }
        files.sort();
        QStringList wanted = expected.keys();
        wanted.sort();
        QCOMPARE(files, wanted);
    }

    void filesAreTheSources()
    {
        const QMap<QString, QString> expected = ExpectedFiles();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (it.value().isEmpty())
                continue;
            QVERIFY2(ReadAll(root + u'/' + it.key()) == ReadAll(Source + u'/' + it.value()),
                     qPrintable(it.key()));
        }
        // Compressed without a time stamp, as lintian asks; the text is the source's.
        const TRun manual =
            Run(QStringLiteral("zcat"), {root + QStringLiteral("/usr/share/man/man1/velmora.1.gz")});
        QCOMPARE(manual.output.toUtf8(), ReadAll(Source + QStringLiteral("/cmake/package/velmora.1")));
        const TRun changes =
            Run(QStringLiteral("zcat"), {root + QStringLiteral("/usr/share/doc/velmora/changelog.gz")});
        QVERIFY(changes.output.startsWith(QStringLiteral("velmora (" VELMORA_VERSION ") ")));
    }

    void controlFields()
    {
        const TRun fields = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), deb});
        QCOMPARE(fields.exitCode, 0);
        const auto field = [&](const QString& name) {
            const QRegularExpression re(u'^' + name + QStringLiteral(R"(: (.*)$)"),
                                        QRegularExpression::MultilineOption);
            return re.match(fields.output).captured(1);
        };
        QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("velmora"));
        QCOMPARE(field(QStringLiteral("Version")), QStringLiteral(VELMORA_VERSION));
        QCOMPARE(field(QStringLiteral("Architecture")), QStringLiteral("amd64"));
        // The libraries as the binaries need them, and the encoder's ffmpeg.
        const QStringList depends = field(QStringLiteral("Depends")).split(QStringLiteral(", "));
        for (const QString& package : {QStringLiteral("ffmpeg"), QStringLiteral("libc6"),
                                       QStringLiteral("libqt6widgets6"), QStringLiteral("libqt6network6")}) {
            QVERIFY2(std::any_of(depends.begin(), depends.end(),
                                 [&](const QString& d) { return d.split(u' ').first() == package; }),
                     qPrintable(package + QStringLiteral(" in ") + depends.join(QStringLiteral(", "))));
        }
    }

    void binariesFindTheirLibraries()
    {
        for (const QString& program : ExpectedFiles().keys()) {
            if (!program.startsWith(QLatin1String("opt/")) || !IsProgram(program))
                continue;
            const TRun ldd = Run(QStringLiteral("ldd"), {root + u'/' + program});
            QCOMPARE(ldd.exitCode, 0);
            QVERIFY2(!ldd.output.contains(QLatin1String("not found")), qPrintable(ldd.output));
        }
    }

    void lintianFindsNoError()
    {
        const TRun lintian = Run(QStringLiteral("lintian"),
                                 {QStringLiteral("--pedantic"), QStringLiteral("--info"),
                                  QStringLiteral("--fail-on"), QStringLiteral("error,warning"), deb});
        QVERIFY2(lintian.exitCode == 0, qPrintable(lintian.output));
        const QRegularExpression complaint(QStringLiteral("^[EW]: "), QRegularExpression::MultilineOption);
        QVERIFY2(!lintian.output.contains(complaint), qPrintable(lintian.output));
    }

    // /usr/bin/velmora of the unpacked tree starts the unpacked program, which keeps the
    // settings of a user who may not write its folder in his home folder.
    void launcherStartsTheUnpackedProgram()
    {
        QTemporaryDir scratch;
        const QString home = scratch.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        LockFolder(root + QStringLiteral("/opt/velmora"));
        const auto unlock = qScopeGuard([this] { UnlockFolder(root + QStringLiteral("/opt/velmora")); });

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(root + QStringLiteral("/usr/bin/velmora"), {QStringLiteral("--"), clip});
        QVERIFY(program.waitForStarted());
        const IniFile config(home + QStringLiteral("/.config/velmora/config.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(!config.ReadString("setting", "outputFolder", QString()).isEmpty(), 60000);
        // The launcher handed over to the program itself, the one of the unpacked tree.
        QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(program.processId())).canonicalFilePath(),
                 QFileInfo(root + QStringLiteral("/opt/velmora/velmora")).canonicalFilePath());
        ::kill(program.processId(), SIGTERM);
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(config.ReadInteger("setting", "iComboxFormatIndex", -1) >= 0);
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/opt/velmora/config.ini")));
    }

    // The unpacked program folder, locked as installed, converts through the real window with
    // its own encoder, profiles and language files.
    void unpackedProgramConverts()
    {
        TEnvironment environment;
        QTemporaryDir scratch;
        const QString home = scratch.filePath(QStringLiteral("home"));
        TEnvironment::SetHome(home);
        const IniFile config(home + QStringLiteral("/.config/velmora/config.ini"));
        QVERIFY(QDir().mkpath(home + QStringLiteral("/.config/velmora")));
        config.WriteInteger("setting", "displayHelpDialog", 0);
        config.WriteInteger("setting", "logfile", 1);
        const QString app = root + QStringLiteral("/opt/velmora/");
        LockFolder(app);
        const auto unlock = qScopeGuard([&] { UnlockFolder(app); });

        TMessageBox::shownTexts.clear();
        TWindow w(app);
        const QString output = w.ConvertOne(clip, scratch.filePath(QStringLiteral("out")));
        QVERIFY(!output.isEmpty());
        QCOMPARE(TMessageBox::shownTexts.size(), 1); // the question at the end
        const TProbe probe = Probe(output);
        QVERIFY2(probe.ok, qPrintable(output));
        QCOMPARE(probe.videoCodec, QStringLiteral("mpeg4"));
        QCOMPARE(probe.audioCodec, QStringLiteral("aac"));
        const QString log = QString::fromUtf8(ReadAll(home + QStringLiteral("/.config/velmora/logFile.txt")));
        QVERIFY2(log.contains(app + QStringLiteral("libm9s.exe ")), qPrintable(log.left(400)));
    }
};

VELMORA_GUI_TEST_MAIN(TestPackage)
#include "tst_Package.moc"
