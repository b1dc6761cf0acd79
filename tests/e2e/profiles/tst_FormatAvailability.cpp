// Profiles the installed ffmpeg cannot encode, with the real window and the real libm9s.exe over
// an ffmpeg stand-in on PATH: a script that answers -encoders with the list the test gives it
// and runs Debian's ffmpeg for everything else.

#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"

#include "dialogs/TMessageBox.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "profiles/TEncoderAvailability.h"
#include "shell/TfrmMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <tuple>

using namespace TestSupport;

namespace {

const QString hevc = QStringLiteral("02-mp4-h265-aac.pf");
const QString av1Mp4 = QStringLiteral("03-mp4-av1-aac.pf");
const QString av1Webm = QStringLiteral("05-webm-av1-opus.pf");

// The main window and its format list, its entries found by their profiles' file names.
struct TWindow : TMainWindow
{
    using TMainWindow::TMainWindow;

    QComboBox* Formats() const { return Child<QComboBox>(frm.get(), "ComboBoxFormatSelect"); }
    int IndexOf(const QString& file) const
    {
        for (int i = 0; i < Formats()->count(); ++i)
            if (Formats()->itemData(i).toString().endsWith(u'/' + file))
                return i;
        return -1;
    }
    bool Enabled(const QString& file) const
    {
        const QAbstractItemModel* model = Formats()->model();
        return model->flags(model->index(IndexOf(file), 0)).testFlag(Qt::ItemIsEnabled);
    }
    QString ToolTip(const QString& file) const
    {
        return Formats()->itemData(IndexOf(file), Qt::ToolTipRole).toString();
    }
    QString Current() const { return QFileInfo(Formats()->currentData().toString()).fileName(); }
    // Picks an entry as the list's change handler gets it.
    void Pick(const QString& file)
    {
        const int index = IndexOf(file);
        Formats()->setCurrentIndex(index);
        frm->ComboBoxFormatSelectChange(index);
    }
    QStringList Disabled() const
    {
        QStringList files;
        for (int i = 0; i < Formats()->count(); ++i)
            if (!Formats()->model()->flags(Formats()->model()->index(i, 0)).testFlag(Qt::ItemIsEnabled))
                files << QFileInfo(Formats()->itemData(i).toString()).fileName();
        return files;
    }
};

} // namespace

class tst_FormatAvailability : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void greyedOutWithToolTips();
    void savedFormatFallsBack_data();
    void savedFormatFallsBack();
    void cacheFollowsTheFfmpeg();
    void badAnswers_data();
    void badAnswers();
    void unwritableCache();
    void unknownCodec();
    void commandLine();

private:
    // The stand-in answers -encoders with the real list less the named encoders.
    void WriteStandIn(const QStringList& lacking, const QByteArray& body = QByteArray());
    QString Log() const { return QString::fromUtf8(ReadAll(folder + "logFile.txt")); }
    QString EncoderMissingText(const QString& encoder) const
    {
        const QString text = IniFile(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/en.ini"))
                                 .ReadString("frmMain", "msgEncoderMissing", QString());
        return SafeFormat(text, encoder);
    }

    QTemporaryDir standIn;
    QByteArray realList;
    QByteArray savedPath;
    std::unique_ptr<QTemporaryDir> work;
    QString folder; // the program folder of the test function
};

void tst_FormatAvailability::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(VELMORA_APP_DIR "/libm9s.exe")).isExecutable(),
             "libm9s.exe is not built");
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    QVERIFY2(!ffmpeg.isEmpty(), "ffmpeg is needed");
    QProcess list;
    list.start(ffmpeg, {"-hide_banner", "-encoders"});
    QVERIFY(list.waitForFinished(60000));
    realList = list.readAllStandardOutput();
    QVERIFY(realList.contains(" libx265 ") && realList.contains(" libsvtav1 "));
    savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(standIn.path()) + ':' + savedPath);
}

void tst_FormatAvailability::cleanupTestCase()
{
    qputenv("PATH", savedPath);
}

void tst_FormatAvailability::init()
{
    work = std::make_unique<QTemporaryDir>();
    folder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work->filePath("app"));
    QVERIFY(!folder.isEmpty());
    WriteText(folder + "config.ini", "[setting]\ndisplayHelpDialog=0\nlogfile=1\n");
    TMessageBox::shownTexts.clear();
    WriteStandIn({});
}

void tst_FormatAvailability::WriteStandIn(const QStringList& lacking, const QByteArray& body)
{
    QByteArray list;
    for (const QByteArray& line : realList.split('\n')) {
        bool keep = true;
        for (const QString& name : lacking)
            keep = keep && !line.contains(' ' + name.toUtf8() + ' ');
        if (keep)
            list += line + '\n';
    }
    const QString listFile =
        standIn.filePath(QStringLiteral("encoders-without-%1.txt").arg(lacking.join('-')));
    WriteText(listFile, list);
    const QByteArray answer = body.isEmpty() ? "exec cat '" + QFile::encodeName(listFile) + "'" : body;
    const QString script = standIn.filePath("ffmpeg");
    WriteText(script, "#!/bin/sh\nfor a in \"$@\"; do\n  if [ \"$a\" = -encoders ]; then\n    " + answer +
                          "\n  fi\ndone\nexec /usr/bin/ffmpeg \"$@\"\n");
    QFile::setPermissions(script,
                          QFile::permissions(script) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
}

void tst_FormatAvailability::greyedOutWithToolTips()
{
    WriteStandIn({"libx265", "libsvtav1"});
    TWindow w(folder);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Enabled(hevc), 60000);
    QCOMPARE(w.Disabled(), (QStringList{hevc, av1Mp4, av1Webm}));
    QCOMPARE(w.ToolTip(hevc), EncoderMissingText("libx265"));
    QCOMPARE(w.ToolTip(av1Mp4), EncoderMissingText("libsvtav1"));
    QCOMPARE(w.ToolTip(av1Webm), EncoderMissingText("libsvtav1"));
    QVERIFY(w.ToolTip("01-mp4-h264-aac.pf").isEmpty());
    QVERIFY(EncoderMissingText("libx265").contains("libx265"));

    // A greyed-out entry cannot be applied: the list goes back to the applied one.
    w.Pick("06-mkv-h264-opus.pf");
    QCOMPARE(w.frm->CurrentExtension(), QStringLiteral("mkv"));
    w.Pick(hevc);
    QCOMPARE(w.Current(), QStringLiteral("06-mkv-h264-opus.pf"));
    QCOMPARE(w.frm->CurrentExtension(), QStringLiteral("mkv"));
    QCOMPARE(w.frm->AppliedProfile().VideoCodec().Value, QStringLiteral("libx264"));
    // The user's keys skip it as well.
    w.Pick("01-mp4-h264-aac.pf");
    w.Formats()->setFocus();
    QTest::keyClick(w.Formats(), Qt::Key_Down);
    QCOMPARE(w.Current(), QStringLiteral("04-webm-vp9-opus.pf"));
    QCOMPARE(w.frm->CurrentExtension(), QStringLiteral("webm"));

    // Nothing was shown in a message box, and the answer was kept for the next start.
    QCOMPARE(TMessageBox::shownTexts, QStringList());
    const QByteArray cache = ReadAll(folder + TEncoderAvailability::CacheFileName());
    QVERIFY2(cache.contains("\nlibx264\n") && !cache.contains("\nlibx265\n"), cache.constData());

    // The Chinese edition names the encoder in its own words.
    w.frm->LoadLanguage(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/gb.ini"));
    const QString chinese = w.ToolTip(hevc);
    QVERIFY2(chinese.contains("libx265") && chinese != EncoderMissingText("libx265"), qPrintable(chinese));
}

void tst_FormatAvailability::savedFormatFallsBack_data()
{
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<bool>("cached"); // the answer is known before the window shows
    QTest::addColumn<QString>("restored");
    QTest::newRow("saved file unavailable, answer after the restore")
        << QByteArray("formatFile=02-mp4-h265-aac.pf\niComboxFormatIndex=1\n") << false
        << "01-mp4-h264-aac.pf";
    QTest::newRow("saved file unavailable, answer cached")
        << QByteArray("formatFile=02-mp4-h265-aac.pf\niComboxFormatIndex=1\n") << true
        << "01-mp4-h264-aac.pf";
    QTest::newRow("saved file available")
        << QByteArray("formatFile=21-mp3.pf\niComboxFormatIndex=0\n") << true << "21-mp3.pf";
    // A config.ini from before the renumbering: position 19 was MP3, 1 was H.264.
    QTest::newRow("former position") << QByteArray("iComboxFormatIndex=19\n") << true << "21-mp3.pf";
    QTest::newRow("former position of H.264")
        << QByteArray("iComboxFormatIndex=1\n") << false << "01-mp4-h264-aac.pf";
    QTest::newRow("nothing saved") << QByteArray() << true << "01-mp4-h264-aac.pf";
}

void tst_FormatAvailability::savedFormatFallsBack()
{
    QFETCH(QByteArray, saved);
    QFETCH(bool, cached);
    QFETCH(QString, restored);
    WriteStandIn({"libx265", "libsvtav1"});
    if (cached) {
        TWindow first(folder);
        QTRY_VERIFY_WITH_TIMEOUT(!first.Enabled(hevc), 60000);
    }
    WriteText(folder + "config.ini", "[setting]\ndisplayHelpDialog=0\nlogfile=1\n" + saved);
    TWindow w(folder, false);
    // A cached answer is there before the window shows.
    QCOMPARE(!w.Enabled(hevc), cached);
    w.Show();
    QTRY_VERIFY_WITH_TIMEOUT(!w.Enabled(hevc), 60000);
    QCOMPARE(w.Current(), restored);
    TVideoProfile expected;
    expected.LoadFromFile(folder + "profile/" + restored);
    QCOMPARE(w.frm->CurrentExtension(), expected.Extension());
    QCOMPARE(w.frm->AppliedProfile().DisplayName(), expected.DisplayName());

    // Closing keeps both the position and the file.
    const int index = w.IndexOf(restored);
    w.frm->close();
    const IniFile config(folder + "config.ini");
    QCOMPARE(config.ReadString("setting", "formatFile", "-"), restored);
    QCOMPARE(config.ReadInteger("setting", "iComboxFormatIndex", -5), index);
}

void tst_FormatAvailability::cacheFollowsTheFfmpeg()
{
    WriteStandIn({"libx265", "libsvtav1"});
    {
        TWindow w(folder, false);
        QVERIFY(w.Disabled().isEmpty()); // nothing known yet
        w.Show();
        QTRY_COMPARE_WITH_TIMEOUT(w.Disabled(), (QStringList{hevc, av1Mp4, av1Webm}), 60000);
    }
    {
        // The same ffmpeg: the cache answers at once.
        TWindow w(folder, false);
        QCOMPARE(w.Disabled(), (QStringList{hevc, av1Mp4, av1Webm}));
    }
    // Another ffmpeg at the same place (the stand-in changes): asked again.
    WriteStandIn({"libx265"});
    TWindow w(folder, false);
    QVERIFY(w.Disabled().isEmpty());
    w.Show();
    QTRY_COMPARE_WITH_TIMEOUT(w.Disabled(), QStringList{hevc}, 60000);
    QVERIFY(ReadAll(folder + TEncoderAvailability::CacheFileName()).contains("\nlibsvtav1\n"));
}

void tst_FormatAvailability::badAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("logged");
    QTest::newRow("ffmpeg hangs") << QByteArray("exec sleep 60")
                                  << "did not answer -encoders within 5 s and was stopped";
    QTest::newRow("garbage") << QByteArray("echo 'no encoders here'; exit 0") << "gave no encoder list";
    QTest::newRow("ffmpeg fails") << QByteArray(
                                         "echo 'libavcodec.so: cannot open shared object' >&2; exit 127")
                                  << "gave no encoder list (exit status 127)";
}

void tst_FormatAvailability::badAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, logged);
    WriteStandIn({}, answer);
    TWindow w(folder);
    // The reason goes to the encoder log, as logging is on; no message box on any start.
    QTRY_VERIFY_WITH_TIMEOUT(Log().contains("The encoders of ffmpeg are not known"), 60000);
    QVERIFY2(Log().contains(logged), qPrintable(Log()));
    QVERIFY(w.Disabled().isEmpty());
    QCOMPARE(TMessageBox::shownTexts, QStringList());
    QVERIFY(!QFile::exists(folder + TEncoderAvailability::CacheFileName()));
    // Every profile can be applied.
    w.Pick(hevc);
    QCOMPARE(w.frm->AppliedProfile().VideoCodec().Value, QStringLiteral("libx265"));
}

void tst_FormatAvailability::unwritableCache()
{
    WriteStandIn({"libx265", "libsvtav1"});
    QVERIFY(QDir().mkpath(folder + TEncoderAvailability::CacheFileName()));
    {
        TWindow w(folder);
        QTRY_COMPARE_WITH_TIMEOUT(w.Disabled(), (QStringList{hevc, av1Mp4, av1Webm}), 60000);
        QVERIFY2(Log().contains("The encoder list is not kept"), qPrintable(Log()));
    }
    // The next start asks again, and still gets it right.
    TWindow w(folder, false);
    QVERIFY(w.Disabled().isEmpty());
    w.Show();
    QTRY_COMPARE_WITH_TIMEOUT(w.Disabled(), (QStringList{hevc, av1Mp4, av1Webm}), 60000);
}

void tst_FormatAvailability::unknownCodec()
{
    WriteText(
        folder + "profile/99-unknown.pf",
        "Unknown[MORVANE][MORVANE]mkv[MORVANE]matroska[MORVANE]nosuchcodec|nosuchcodec|0[MORVANE]-1|-1|0"
        "[MORVANE]-1|-1|0[MORVANE]-1|-1|0[MORVANE]1[MORVANE]aac|aac|0[MORVANE]-1|-1|0[MORVANE]-1|-1|0"
        "[MORVANE]-1|-1|0[MORVANE]1\r\n");
    TWindow w(folder);
    QTRY_COMPARE_WITH_TIMEOUT(w.Disabled(), QStringList{"99-unknown.pf"}, 60000);
    QCOMPARE(w.ToolTip("99-unknown.pf"), EncoderMissingText("nosuchcodec"));
    w.Pick("99-unknown.pf");
    QCOMPARE(w.Current(), QStringLiteral("01-mp4-h264-aac.pf"));
}

// velmora-cli learns the encoders as the window does: it marks the profiles it cannot use, refuses
// them when named, and falls back from a saved choice of one as the window does.
void tst_FormatAvailability::commandLine()
{
    WriteStandIn({"libx265"});
    const QString clip = work->filePath("clip.avi");
    QVERIFY(MakeClip(clip, 1));
    const QString output = work->filePath("out/");
    auto run = [&](const QStringList& arguments) {
        QProcess cli;
        cli.start(folder + "velmora-cli", arguments);
        [&] { QVERIFY(cli.waitForFinished(120000)); }();
        return std::make_tuple(cli.exitCode(), QString::fromUtf8(cli.readAllStandardOutput()),
                               QString::fromUtf8(cli.readAllStandardError()));
    };

    auto [status, out, err] = run({"--list-profiles"});
    QCOMPARE(status, 0);
    QVERIFY2(err.isEmpty(), qPrintable(err));
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    const QStringList unavailable = lines.filter("unavailable");
    QCOMPARE(unavailable.size(), 1);
    QVERIFY2(unavailable.first().contains(" " + hevc + " ") &&
                 unavailable.first().endsWith("(unavailable: libx265)"),
             qPrintable(unavailable.first()));
    QVERIFY(ReadAll(folder + TEncoderAvailability::CacheFileName()).contains("\nlibsvtav1\n"));

    std::tie(status, out, err) = run({"--profile", hevc, "--output", output, clip});
    QCOMPARE(status, 2);
    QVERIFY2(err.contains("The profile " + hevc + " cannot be used: the installed ffmpeg lacks the encoder libx265."),
             qPrintable(err));
    QVERIFY(!QFileInfo::exists(output));

    // The window's saved choice is the missing one: the first usable format converts.
    WriteText(folder + "config.ini", "[setting]\nformatFile=" + hevc.toUtf8() + "\n");
    std::tie(status, out, err) = run({"--output", output, clip});
    QVERIFY2(status == 0, qPrintable(err));
    QCOMPARE(Probe(output + "clip.mp4").videoCodec, QStringLiteral("h264"));
}

VELMORA_GUI_TEST_MAIN(tst_FormatAvailability)
#include "tst_FormatAvailability.moc"
