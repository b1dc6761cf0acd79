// The batch run end to end: the real main window (offscreen), a private copy of the program
// folder, the real libm9s.exe and ffmpeg, media made by ffmpeg's test sources.

#include "support/ConversionFixture.h"
#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ModalAnswer.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include "dialogs/TfrmOverWrite.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "engine/OutputNames.h"
#include "engine/TBatchRun.h"
#include "dialogs/TMessageBox.h"
#include "platform/AppError.h"
#include "platform/CountText.h"
#include "platform/ExceptionReport.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "profiles/VideoProfile.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"

#include <QApplication>
#include <QMessageBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

#include <ctime>
#include <sys/stat.h>

using namespace ConversionFixture;
using namespace TestSupport;

namespace {

// The main window with what the tests press and read; what it asked to open is in opened.
struct TWindow : TMainWindow
{
    explicit TWindow(const QString& appFolder) : TMainWindow(appFolder, true, TExposure::NotAwaited) {}

    void Add(const QString& path) { frm->AddJobFile(path); }

    TBatchRun* Run() const { return Child<TBatchRun>(frm.get(), "BatchRun"); }

    // Presses Convert as a user does; returns when the run it started is over (its end
    // question, notice or error shown).
    void Convert()
    {
        const bool stopping = Run()->IsRunning();
        int finished = 0;
        const QMetaObject::Connection counter =
            QObject::connect(Run(), &TBatchRun::RunFinished, frm.get(), [&finished] { ++finished; });
        QTest::mouseClick(Child<QPushButton>(frm.get(), "buttonConvert"), Qt::LeftButton);
        if (!stopping && frm && frm->isVisible() && Run()->IsRunning())
            QTRY_VERIFY_WITH_TIMEOUT(finished > 0 || !frm->isVisible(), 120000);
        QObject::disconnect(counter);
    }

    // Calls action once the first encoder of the run is converting: it has reported the
    // source's duration (so ffmpeg runs) and delayMs have passed since.
    void WhileFirstEncoderRuns(int delayMs, std::function<void()> action)
    {
        auto done = std::make_shared<bool>(false);
        QObject::connect(Run(), &TBatchRun::ItemProgress, frm.get(),
                         [this, delayMs, action, done](int index, const TItemProgress& progress) {
                             if (*done || progress.totalSeconds <= 0)
                                 return;
                             *done = true;
                             encoderGroup = Run()->ProcessId(index);
                             // At once when asked: a short clip may end before the event loop
                             // turns again, and the next item would start first.
                             if (delayMs == 0)
                                 action();
                             else
                                 QTimer::singleShot(delayMs, frm.get(), action);
                         });
        // An encoder that never tells a duration still gets the action.
        QObject::connect(Run(), &TBatchRun::ItemFinished, frm.get(), [this, action, done](int) {
            if (*done)
                return;
            *done = true;
            action();
        });
    }
    qint64 encoderGroup = 0;

    // Answers every existing-output prompt with one button.
    void AnswerPrompts(const QString& button, bool remember)
    {
        responder = std::make_unique<ModalResponder>([button, remember](QWidget* modal) {
            auto* prompt = qobject_cast<TfrmOverWrite*>(modal);
            if (!prompt)
                return;
            prompt->checkBoxNotice->setChecked(remember);
            if (button == "overwrite")
                prompt->buttonOverWrite->click();
            else if (button == "ignore")
                prompt->buttonIgnore->click();
            else
                prompt->buttonAutoName->click();
        });
    }
    std::unique_ptr<ModalResponder> responder;

    QString Text(const char* key) const
    {
        return IniFile(common->languageFile).ReadString("frmMain", QString::fromLatin1(key), QString());
    }
    // A text that names a count, in its form for count.
    QString Text(const char* key, int count) const
    {
        return TCountText::Read(IniFile(common->languageFile), "frmMain", QString::fromLatin1(key))
            .Format(count);
    }

    bool ControlsEnabled() const
    {
        return TestSupport::Child<QTreeWidget>(frm.get(), "listViewFiles")->isEnabled() && TestSupport::Child<QComboBox>(frm.get(), "ComboBoxFormatSelect")->isEnabled() &&
               // A box the profile locks stays locked.
               TestSupport::Child<QComboBox>(frm.get(), "comboBoxVideoBitrate")->isEnabled() ==
                   frm->AppliedProfile().VideoBitrate().Enabled && TestSupport::Child<QLineEdit>(frm.get(), "editOutputFolder")->isEnabled() &&
               TestSupport::Child<QAction>(frm.get(), "ActionFileAdd")->isEnabled() && TestSupport::Child<QPushButton>(frm.get(), "buttonConvert")->isEnabled();
    }

    // The idle window after a run.
    void VerifyIdle() const
    {
        QVERIFY(!Run()->IsRunning());
        QVERIFY(ControlsEnabled());
        QCOMPARE(TestSupport::Child<QAction>(frm.get(), "ActionConvertNow")->text(), Text("StringStartCaption"));
        QCOMPARE(TestSupport::Child<QLabel>(frm.get(), "labelCurrentInfo")->text(), Text("msgStatusReady"));
        QCOMPARE(TestSupport::Child<QProgressBar>(frm.get(), "progressBarCurrent")->value(), 0);
    }
};

// Counts the events the application delivers while it runs: a window that sleeps between the
// encoder's messages gets few, one that polls gets thousands.
class TEventCounter : public QObject
{
public:
    void Start()
    {
        count = 0;
        QCoreApplication::instance()->installEventFilter(this);
    }
    int Stop()
    {
        QCoreApplication::instance()->removeEventFilter(this);
        return count;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer || event->type() == QEvent::MetaCall ||
            event->type() == QEvent::SockAct)
            ++count;
        return false;
    }

private:
    int count = 0;
};

QString EndQuestion(const TWindow& w)
{
    return w.Text("msgFolderView") + QStringLiteral("\n\n") + w.Text("msgFinishInfo");
}

// The end of a run that converted nothing: no question, what happened to each file.
QString NothingConverted(const TWindow& w, const QStringList& lines)
{
    return w.Text("msgEndNothing") + QStringLiteral("\n\n") + lines.join(u'\n');
}

} // namespace

class tst_ConversionRun : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString appFolder;
    QString media;
    QStringList clips; // three 2-second clips
    QString longClip;  // long enough to be stopped while it converts
    QString outFolder;

    void WriteConfig(int logfile, const QString& output)
    {
        QFile::remove(appFolder + "config.ini");
        QFile::remove(appFolder + "logFile.txt");
        IniFile ini(appFolder + "config.ini");
        ini.WriteInteger("setting", "displayHelpDialog", 0);
        ini.WriteInteger("setting", "logfile", logfile);
        ini.WriteString("setting", "outputFolder", output);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
        QVERIFY(QFile::exists(appFolder + "libm9s.exe"));
        QVERIFY(QFile::exists(appFolder + "language/en.ini"));
        media = work.path() + "/media/";
        for (const char* name : {"one.avi", "two.avi", "three.avi"}) {
            clips << media + QString::fromLatin1(name);
            QVERIFY(MakeClip(clips.last(), 2));
        }
        longClip = media + "long.avi";
        QVERIFY(MakeClip(longClip, 30, "640x480"));
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        outFolder = work.path() + "/out " + QString::fromLatin1(QTest::currentTestFunction()) + "/";
        QDir(outFolder).removeRecursively();
        WriteConfig(1, outFolder);
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
    }

    // Three clips with a video and an audio profile; the second clip only in a time window.
    void convertBatch_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("frameSize"); // typed into the size box; empty leaves it
        QTest::addColumn<bool>("logOn");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("videoCodec");
        QTest::addColumn<QString>("audioCodec");
        QTest::addColumn<QSize>("size");
        QTest::newRow("video") << "33-mp4-mpeg4-aac.pf"
                               << "176x144" << true << "mp4"
                               << "mp4"
                               << "mpeg4"
                               << "aac" << QSize(176, 144);
        QTest::newRow("audio") << "21-mp3.pf"
                               << "" << false << "mp3"
                               << "mp3"
                               << ""
                               << "mp3" << QSize();
    }
    void convertBatch()
    {
        QFETCH(QString, profile);
        QFETCH(QString, frameSize);
        QFETCH(bool, logOn);
        QFETCH(QString, extension);
        QFETCH(QString, container);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        QFETCH(QSize, size);
        WriteConfig(logOn ? 1 : 0, outFolder.chopped(1)); // without its trailing separator

        TWindow w(appFolder);
        w.SelectProfile(profile);
        if (!frameSize.isEmpty())
            TestSupport::Child<QComboBox>(w.frm.get(), "comboBoxVideoSize")->setEditText(frameSize);
        for (const QString& clip : clips)
            w.Add(clip);
        TestSupport::Child<QTreeWidget>(w.frm.get(), "listViewFiles")->topLevelItem(1)->setText(1, "00:00:01");
        TestSupport::Child<QTreeWidget>(w.frm.get(), "listViewFiles")->topLevelItem(1)->setText(2, "00:00:01");
        TMessageBox::nextAnswers = {QMessageBox::Yes};
        w.Convert();

        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
        QCOMPARE(w.opened, QStringList{QDir(outFolder).absolutePath()});
        QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        w.VerifyIdle();

        const QStringList names{"one", "two", "three"};
        for (int i = 0; i < 3; ++i) {
            const QString output = outFolder + names[i] + u'.' + extension;
            const TProbe probe = Probe(output);
            QVERIFY2(probe.ok, qPrintable(output));
            QVERIFY2(probe.formatName.split(u',').contains(container), qPrintable(probe.formatName));
            QCOMPARE(probe.videoCodec, videoCodec);
            QCOMPARE(probe.audioCodec, audioCodec);
            if (size.isValid())
                QCOMPARE(QSize(probe.width, probe.height), size);
            const double expected = i == 1 ? 1.0 : 2.0;
            QVERIFY2(qAbs(probe.duration - expected) < 0.35,
                     qPrintable(QStringLiteral("%1: %2 s").arg(output).arg(probe.duration)));
        }

        const QString log = QString::fromUtf8(ReadAll(appFolder + "logFile.txt"));
        if (!logOn) {
            QVERIFY(!QFile::exists(appFolder + "logFile.txt"));
            return;
        }
        // Every command line, program folder in front, and what the encoder printed.
        const QStringList lines = log.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.filter(QRegularExpression("^" + QRegularExpression::escape(appFolder + "libm9s.exe ")))
                     .size(),
                 3);
        for (const QString& clip : clips)
            QVERIFY(log.contains(" -i " + clip + " "));
        QVERIFY(log.contains(" -t 00:00:01  -ss 00:00:01 "));
        QVERIFY(log.contains("ffmpeg_release_duration="));
        QVERIFY(log.contains("ffmpeg_release_time="));
    }

    // Two conversions at once over four clips: never more than two encoders, every file
    // converted, the bar over the whole batch and the status line counting finished files.
    void simultaneousConversions()
    {
        IniFile(appFolder + "config.ini").WriteInteger("setting", "simultaneous", 2);
        auto reset = qScopeGuard([this] { IniFile(appFolder + "config.ini").WriteInteger("setting", "simultaneous", 1); });
        const QString fourth = media + "four.avi";
        if (!QFile::exists(fourth))
            QVERIFY(QFile::copy(clips[0], fourth));
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        for (const QString& clip : clips)
            w.Add(clip);
        w.Add(fourth);
        int mostAtOnce = 0;
        QStringList startOrder;
        QStringList statusTexts;
        QList<int> positions;
        QObject::connect(w.Run(), &TBatchRun::ItemStarted, w.frm.get(), [&](int index) {
            mostAtOnce = qMax(mostAtOnce, w.Run()->RunningCount());
            startOrder << QString::number(index);
        });
        QObject::connect(w.Run(), &TBatchRun::ItemProgress, w.frm.get(), [&] {
            statusTexts << Child<QLabel>(w.frm.get(), "labelCurrentInfo")->text();
            positions << Child<QProgressBar>(w.frm.get(), "progressBarCurrent")->value();
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();

        QCOMPARE(mostAtOnce, 2);
        QCOMPARE(startOrder, (QStringList{"0", "1", "2", "3"}));
        for (const char* name : {"one", "two", "three", "four"})
            QVERIFY2(Probe(outFolder + QString::fromLatin1(name) + ".mp4").videoCodec == "h264", name);
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
        // "Converting, 0/4 files done" and so on, from the language file's format.
        const QString many = w.Text("msgStatusRunMany");
        QVERIFY(!many.isEmpty());
        // The counter leads; speed and time left follow once known.
        const auto shown = [&statusTexts](const QString& start) {
            return std::any_of(statusTexts.begin(), statusTexts.end(),
                               [&start](const QString& text) { return text.startsWith(start); });
        };
        QVERIFY(shown(QString(many).replace("%s", "0/4")));
        QVERIFY(shown(QString(many).replace("%s", "2/4")));
        const QRegularExpression figures(
            "^" + QRegularExpression::escape(many.section("%s", 0, 0)) + "\\d/4" +
            QRegularExpression::escape(many.section("%s", 1)) + " · \\d+\\.\\d× · " +
            QRegularExpression::escape(w.Text("msgStatusLeft").section("%s", 0, 0)) + "\\d+:\\d\\d" +
            QRegularExpression::escape(w.Text("msgStatusLeft").section("%s", 1)) + "$");
        QVERIFY2(!statusTexts.filter(figures).isEmpty(), qPrintable(statusTexts.join(u'\n')));
        QVERIFY(std::is_sorted(positions.begin(), positions.end()));
        QVERIFY(positions.last() > 50);
        w.VerifyIdle();
    }

    // Stop while the first of three converts: no further item, nothing left running.
    void stopDuringFirstItem()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        TestSupport::Child<QComboBox>(w.frm.get(), "comboBoxVideoSize")->setEditText("1280x720");
        w.Add(longClip);
        w.Add(clips[0]);
        w.Add(clips[1]);
        bool stopCaption = false;
        w.WhileFirstEncoderRuns(200, [&] {
            stopCaption =
                TestSupport::Child<QAction>(w.frm.get(), "ActionConvertNow")->text() == w.Text("StringStopCaption") && !w.ControlsEnabled();
            w.Convert(); // the same button stops
        });
        // Told what happened, with nothing to open: only a stopped file is there.
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();

        QVERIFY(stopCaption);
        QVERIFY(w.encoderGroup > 0);
        QTRY_COMPARE(ProcessesInGroup(w.encoderGroup), QStringList());
        QVERIFY(QFile::exists(outFolder + "long.mp4"));
        QVERIFY(!QFile::exists(outFolder + "one.mp4"));
        QVERIFY(!QFile::exists(outFolder + "two.mp4"));
        QCOMPARE(TMessageBox::shownTexts, QStringList{NothingConverted(w, {w.Text("msgEndStopped", 1),
                                                                           w.Text("msgEndNotStarted", 2)})});
        QCOMPARE(w.opened, QStringList());
        QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        w.VerifyIdle();
        // Only the stopped item's encoder was ever started.
        QVERIFY(QString::fromUtf8(ReadAll(appFolder + "logFile.txt")).count("libm9s.exe ") == 1);
    }

    // Stop during the last item: no question claims that all files were converted, and a
    // stopped item is no failure.
    void stopDuringLastItem()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        TestSupport::Child<QComboBox>(w.frm.get(), "comboBoxVideoSize")->setEditText("1280x720");
        w.Add(longClip);
        w.WhileFirstEncoderRuns(200, [&] { w.Convert(); });
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();
        QTRY_COMPARE(ProcessesInGroup(w.encoderGroup), QStringList());
        QCOMPARE(TMessageBox::shownTexts, QStringList{NothingConverted(w, {w.Text("msgEndStopped", 1)})});
        // In English: the form for one file.
        if (w.common->languageId != 1)
            QCOMPARE(w.Text("msgEndStopped", 1), QStringLiteral("1 file stopped before it was finished"));
        QVERIFY(QFile::exists(outFolder + "long.mp4"));
        QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        w.VerifyIdle();
    }

    void existingOutput_data()
    {
        QTest::addColumn<QString>("button"); // overwrite, ignore, autoname, close
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<bool>("autoNamed");
        QTest::newRow("overwrite once") << "overwrite" << false << true << false;
        QTest::newRow("overwrite always") << "overwrite" << true << true << false;
        QTest::newRow("ignore once") << "ignore" << false << false << false;
        QTest::newRow("ignore always") << "ignore" << true << false << false;
        QTest::newRow("auto name once") << "autoname" << false << false << true;
        QTest::newRow("auto name always") << "autoname" << true << false << true;
        QTest::newRow("close box skips") << "close" << false << false << false;
    }
    // Two runs over an existing output: the answer acts, and a remembered one asks no more.
    void existingOutput()
    {
        QFETCH(QString, button);
        QFETCH(bool, remember);
        QFETCH(bool, replaced);
        QFETCH(bool, autoNamed);

        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        int prompts = 0;
        ModalResponder responder([&](QWidget* modal) {
            auto* prompt = qobject_cast<TfrmOverWrite*>(modal);
            if (!prompt)
                return;
            ++prompts;
            prompt->checkBoxNotice->setChecked(remember);
            if (button == "overwrite")
                prompt->buttonOverWrite->click();
            else if (button == "ignore")
                prompt->buttonIgnore->click();
            else if (button == "autoname")
                prompt->buttonAutoName->click();
            else
                prompt->close();
        });

        const QString output = outFolder + "one.mp4";
        const QString autoName = outFolder + "one.mp4(1).mp4";
        for (int run = 1; run <= 2; ++run) {
            WriteText(output, "old output");
            QFile::remove(autoName);
            TMessageBox::shownTexts.clear();
            TMessageBox::nextAnswers = {QMessageBox::No};
            w.Convert();
            QCOMPARE(prompts, remember ? 1 : run);
            QCOMPARE(ReadAll(output) != "old output", replaced);
            if (replaced)
                QVERIFY(Probe(output).ok);
            QCOMPARE(QFile::exists(autoName), autoNamed);
            if (autoNamed)
                QVERIFY(Probe(autoName).ok);
            // A skipped item is no failure, but no conversion either: the end says so, and asks
            // nothing when nothing was converted.
            if (replaced || autoNamed)
                QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
            else
                QCOMPARE(TMessageBox::shownTexts,
                         QStringList{NothingConverted(w, {w.Text("msgEndSkipped", 1)})});
            QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
            w.VerifyIdle();
        }
    }

    // Some files converted and some skipped: the end counts both and still offers the folder;
    // every file skipped ("don't ask again" and Skip): no word of files converted.
    void endSaysWhatHappened_data()
    {
        QTest::addColumn<int>("existing"); // how many of the three outputs exist already
        QTest::addColumn<QString>("english");
        QTest::newRow("one of three skipped")
            << 1 << "2 files converted\n1 file skipped because its output exists already";
        QTest::newRow("all three skipped")
            << 3 << "No file has been converted.\n\n3 files skipped because their outputs exist already";
    }
    void endSaysWhatHappened()
    {
        QFETCH(int, existing);
        QFETCH(QString, english);
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        for (const QString& clip : clips)
            w.Add(clip);
        for (int i = 0; i < existing; ++i)
            WriteText(outFolder + QFileInfo(clips[i]).completeBaseName() + ".mp4", "old output");
        w.AnswerPrompts("ignore", true);
        TMessageBox::nextAnswers = {QMessageBox::Yes};
        w.Convert();

        const int converted = int(clips.size()) - existing;
        QString said =
            converted > 0 ? w.Text("msgEndConverted", converted) + u'\n' : w.Text("msgEndNothing") + "\n\n";
        said += w.Text("msgEndSkipped", existing);
        QCOMPARE(TMessageBox::shownTexts,
                 QStringList{converted > 0 ? said + "\n\n" + w.Text("msgFinishInfo") : said});
        QVERIFY(TMessageBox::shownTexts.first().startsWith(english));
        // Yes opens the folder only where something new is in it.
        QCOMPARE(w.opened.size(), converted > 0 ? 1 : 0);
        if (converted > 0)
            QCOMPARE(QDir(w.opened[0]).absolutePath(), QDir(outFolder).absolutePath());
        for (int i = 0; i < existing; ++i)
            QCOMPARE(ReadAll(outFolder + QFileInfo(clips[i]).completeBaseName() + ".mp4"),
                     QByteArray("old output"));
        w.VerifyIdle();
    }

    // A source that is gone and one that is no media fail; their extensions reach the notice.
    void failedSources()
    {
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        const QString gone = media + "gone.avi";
        const QString junk = media + "junk.avi";
        QVERIFY(QFile::copy(clips[0], gone));
        WriteText(junk, "this is not a video at all");
        w.Add(gone);
        w.Add(junk);
        w.Add(clips[2]);
        QVERIFY(QFile::remove(gone));
        w.Convert();

        QCOMPARE(TMessageBox::shownTexts, QStringList());
        QVERIFY(TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        // The missing source has no short path, so no extension: as the notice always had it.
        QCOMPARE(TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->failedExtensions, QStringLiteral(",.avi"));
        QVERIFY(Probe(outFolder + "three.mp4").ok);
        // The placeholders of the failed items are not left behind as outputs.
        QVERIFY(!QFile::exists(outFolder + "gone.mp4"));
        QVERIFY(!QFile::exists(outFolder + "junk.mp4"));
        w.VerifyIdle();
        TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->hide();
    }

    // Closing the window while the encoder runs: it is stopped, nothing else happens.
    void closeDuringRun()
    {
        auto w = std::make_unique<TWindow>(appFolder);
        w->SelectProfile("01-mp4-h264-aac.pf");
        const int formatIndex = Child<QComboBox>(w->frm.get(), "ComboBoxFormatSelect")->currentIndex();
        Child<QComboBox>(w->frm.get(), "comboBoxVideoSize")->setEditText("[Phone]176x220"); // writes the rotation script
        w->Add(longClip);
        w->Add(clips[0]);
        const QString script = QDir::tempPath() + "/m9s.avs";
        bool scriptWritten = false;
        w->WhileFirstEncoderRuns(0, [&] {
            scriptWritten = QFile::exists(script);
            w->frm->close();
        });
        w->Convert();

        QVERIFY(scriptWritten);
        QVERIFY(!QFile::exists(script));
        QTRY_COMPARE(ProcessesInGroup(w->encoderGroup), QStringList());
        QCOMPARE(w->frm->JobCount(), 0);
        QVERIFY(!QFile::exists(outFolder + "one.mp4"));
        QCOMPARE(TMessageBox::shownTexts, QStringList());
        QVERIFY(!Child<TfrmUnSupportFormat>(w->frm.get(), "frmUnSupportFormat")->isVisible());
        QCOMPARE(IniFile(appFolder + "config.ini").ReadInteger("setting", "iComboxFormatIndex", -5),
                 formatIndex);
        QCOMPARE(IniFile(appFolder + "config.ini").ReadString("setting", "formatFile", "-"),
                 QStringLiteral("01-mp4-h264-aac.pf"));
        w.reset();
    }

    // An output folder that cannot be made: the run ends at the first item with the error.
    void unwritableOutputFolder()
    {
        const QString blocker = work.path() + "/a file";
        WriteText(blocker, "x");
        WriteConfig(1, blocker + "/out");
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        w.Add(clips[1]);
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts.size(), 1);
        QVERIFY2(TMessageBox::shownTexts[0].contains(blocker + "/out/one.mp4"),
                 qPrintable(TMessageBox::shownTexts[0]));
        QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        QVERIFY(!QString::fromUtf8(ReadAll(appFolder + "logFile.txt")).contains("libm9s.exe"));
        w.VerifyIdle();
    }

    // A pipe or a folder where the output should go, the user answering "overwrite": that file
    // fails at once with the reason in its status tool tip, instead of waiting for ever on the
    // pipe, and the next file is converted.
    void outputNameTakenByNoFile_data()
    {
        QTest::addColumn<bool>("pipe");
        QTest::newRow("pipe") << true;
        QTest::newRow("folder") << false;
    }
    void outputNameTakenByNoFile()
    {
        QFETCH(bool, pipe);
        const QString output = outFolder + "one.mp4";
        QVERIFY(QDir().mkpath(outFolder));
        if (pipe)
            QCOMPARE(::mkfifo(QFile::encodeName(output).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkdir(output));
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.AnswerPrompts("overwrite", true);
        w.Add(clips[0]);
        w.Add(clips[1]);
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts, QStringList());
        const QTreeWidget* list = TestSupport::Child<QTreeWidget>(w.frm.get(), "listViewFiles");
        QCOMPARE(list->topLevelItem(0)->text(3), w.Text("msgItemFailed"));
        QCOMPARE(list->topLevelItem(0)->toolTip(3),
                 "Cannot create file \"" + output + "\". It is not a regular file.");
        QCOMPARE(list->topLevelItem(1)->text(3), w.Text("msgItemDone"));
        QVERIFY(Probe(outFolder + "two.mp4").ok);
        struct stat info;
        QCOMPARE(::lstat(QFile::encodeName(output).constData(), &info), 0);
        QVERIFY(pipe ? S_ISFIFO(info.st_mode) : S_ISDIR(info.st_mode));
        w.VerifyIdle();
    }

    // Without the encoder the run ends at its first item with the start error.
    void encoderMissing()
    {
        QVERIFY(QFile::rename(appFolder + "libm9s.exe", appFolder + "libm9s.exe.away"));
        auto restore =
            qScopeGuard([this] { QFile::rename(appFolder + "libm9s.exe.away", appFolder + "libm9s.exe"); });
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        w.Add(clips[1]);
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts.size(), 1);
        QVERIFY2(TMessageBox::shownTexts[0].startsWith("System Error.  Code: "),
                 qPrintable(TMessageBox::shownTexts[0]));
        // The placeholder the run made for the item it ended at is not left behind.
        QVERIFY(!QFile::exists(outFolder + "one.mp4"));
        QVERIFY(!QFile::exists(outFolder + "two.mp4"));
        QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        w.VerifyIdle();
    }

    // Blanks, quotes, shell characters, a leading dash, a line break and non-ASCII letters in
    // the source and the output folder, also through the rotation script.
    void awkwardPaths_data()
    {
        QTest::addColumn<QString>("fileName"); // below the test's folder
        QTest::addColumn<QString>("frameSize");
        QTest::addColumn<QSize>("size");
        const QString quoted = "src dir/it's \"q\" ü/clip 'x' \"y\" é.avi";
        const QString shell = "src dir/-i $HOME $(id) `id`; a&b.avi";
        const QString lineBreak = "src dir/two\nlines.avi";
        QTest::newRow("quotes, plain") << quoted << "320x240" << QSize(320, 240);
        QTest::newRow("quotes, rotated") << quoted << "176x220" << QSize(176, 220);
        QTest::newRow("shell characters, plain") << shell << "320x240" << QSize(320, 240);
        QTest::newRow("shell characters, rotated") << shell << "176x220" << QSize(176, 220);
        QTest::newRow("line break, plain") << lineBreak << "320x240" << QSize(320, 240);
        QTest::newRow("line break, rotated") << lineBreak << "176x220" << QSize(176, 220);
        // No script string can hold these: the script names a link to the source instead.
        const QString threeQuotes = "src dir/a \"\"\" b\nImport(\"x.avs\").avi";
        const QString endsInQuote = "src dir/clip \".avi";
        QTest::newRow("three quotes and a script line, rotated") << threeQuotes << "176x220" << QSize(176, 220);
        QTest::newRow("ends in a quote, rotated") << endsInQuote << "176x220" << QSize(176, 220);
    }
    void awkwardPaths()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, frameSize);
        QFETCH(QSize, size);
        const QString source = work.path() + u'/' + fileName;
        if (!QFile::exists(source)) {
            QVERIFY(QDir().mkpath(QFileInfo(source).path()));
            QVERIFY(QFile::copy(clips[0], source));
        }
        const QByteArray original = ReadAll(source);
        const QString output = outFolder + "\"q\" ñ 目录";
        WriteConfig(1, output);
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        TestSupport::Child<QComboBox>(w.frm.get(), "comboBoxVideoSize")->setEditText(frameSize);
        w.Add(source);
        QCOMPARE(w.frm->JobCount(), 1);
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
        const TProbe probe = Probe(output + u'/' + QFileInfo(fileName).completeBaseName() + ".mp4");
        QVERIFY(probe.ok);
        QCOMPARE(QSize(probe.width, probe.height), size);
        QVERIFY(qAbs(probe.duration - 2.0) < 0.35);
        QCOMPARE(ReadAll(source), original);
    }

    // An encoder that crashes, fails or ends without writing anything fails its items, which
    // the notice names; one that cannot be started ends the run with the system's error. The
    // sources are never touched.
    void brokenEncoder_data()
    {
        QTest::addColumn<QByteArray>("encoder");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("message"); // the start of the error shown, empty for none
        QTest::addColumn<QString>("failed");  // the extensions the notice names
        QTest::newRow("crashes") << QByteArray("#!/bin/sh\nkill -SEGV $$\n") << true << ""
                                 << ".avi,.avi";
        QTest::newRow("fails") << QByteArray("#!/bin/sh\necho 'cannot do it' >&2\nexit 1\n") << true << ""
                               << ".avi,.avi";
        QTest::newRow("ends without writing") << QByteArray("#!/bin/sh\nexit 0\n") << true << ""
                                              << ".avi,.avi";
        QTest::newRow("not executable")
            << QByteArray("#!/bin/sh\nexit 0\n") << false << "System Error.  Code: 13."
            << "";
        QTest::newRow("not a program")
            << QByteArray("\x01\x02\x03 no program at all\n") << true << "System Error.  Code: 8."
            << "";
    }
    void brokenEncoder()
    {
        QFETCH(QByteArray, encoder);
        QFETCH(bool, executable);
        QFETCH(QString, message);
        QFETCH(QString, failed);
        QTemporaryDir other;
        const QString folder = CopyProgramFolder(appFolder, other.path());
        QFile::remove(folder + "libm9s.exe");
        WriteText(folder + "libm9s.exe", encoder);
        QFile::setPermissions(folder + "libm9s.exe",
                              executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                         : QFile::ReadOwner | QFile::WriteOwner);
        IniFile(folder + "config.ini").WriteInteger("setting", "displayHelpDialog", 0);
        IniFile(folder + "config.ini").WriteString("setting", "outputFolder", outFolder);
        const QByteArray first = ReadAll(clips[0]);
        const QByteArray second = ReadAll(clips[1]);

        TWindow w(folder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        w.Add(clips[1]);
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();

        if (message.isEmpty()) {
            QCOMPARE(TMessageBox::shownTexts, QStringList());
            QVERIFY(TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
            QCOMPARE(TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->failedExtensions, failed);
            TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->hide();
        } else {
            QCOMPARE(TMessageBox::shownTexts.size(), 1);
            QVERIFY2(TMessageBox::shownTexts[0].startsWith(message), qPrintable(TMessageBox::shownTexts[0]));
            QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
            QVERIFY(!QFile::exists(outFolder + "two.mp4"));
        }
        w.VerifyIdle();
        QCOMPARE(ReadAll(clips[0]), first);
        QCOMPARE(ReadAll(clips[1]), second);
    }

    // While the encoder works the window sleeps: its event loop is woken only by the run's own
    // second ticks, never by a poll (whose wake-ups would number in the thousands). How little
    // processor time that costs is measured by bench_conversion. An encoder that ignores the
    // stop lines is killed with everything it started.
    void idleWhileEncoderRuns()
    {
        QTemporaryDir other;
        const QString folder = CopyProgramFolder(appFolder, other.path());
        QFile::remove(folder + "libm9s.exe");
        WriteText(folder + "libm9s.exe", "#!/bin/sh\nsleep 60 &\nwait\n");
        QFile::setPermissions(folder + "libm9s.exe", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        IniFile(folder + "config.ini").WriteInteger("setting", "displayHelpDialog", 0);
        IniFile(folder + "config.ini").WriteString("setting", "outputFolder", outFolder);

        TWindow w(folder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        w.Add(clips[1]);
        qint64 group = 0;
        int wakeUps = -1;
        QStringList running;
        TEventCounter counter;
        QObject::connect(w.Run(), &TBatchRun::ItemStarted, w.frm.get(), [&](int index) {
            if (group != 0)
                return;
            group = w.Run()->ProcessId(index);
            // Counted once the start's own work is over.
            QTimer::singleShot(100, w.frm.get(), [&] {
                counter.Start();
                QTimer::singleShot(1500, w.frm.get(), [&] {
                    wakeUps = counter.Stop();
                    running = ProcessesInGroup(group);
                    w.Convert(); // stop
                });
            });
        });
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();

        QVERIFY2(wakeUps >= 0 && wakeUps < 40, qPrintable(QString::number(wakeUps)));
        QVERIFY2(running.filter("(sleep)").size() == 1, qPrintable(running.join(u'\n')));
        QTRY_COMPARE(ProcessesInGroup(group), QStringList());
        QCOMPARE(TMessageBox::shownTexts, QStringList{NothingConverted(w, {w.Text("msgEndStopped", 1),
                                                                           w.Text("msgEndNotStarted", 1)})});
        QVERIFY(!TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        QVERIFY(!QFile::exists(outFolder + "two.mp4"));
        w.VerifyIdle();
    }

    // Sources deleted while the run goes on: the one being read is converted all the same, the
    // later one fails; nothing crashes or hangs.
    void sourcesDeletedDuringRun()
    {
        const QString current = media + "current.avi";
        const QString later = media + "later.avi";
        QFile::remove(current);
        QFile::remove(later);
        QVERIFY(QFile::copy(clips[0], current));
        QVERIFY(QFile::copy(clips[1], later));
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(current);
        w.Add(later);
        w.WhileFirstEncoderRuns(0, [&] {
            QFile::remove(current);
            QFile::remove(later);
        });
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts, QStringList());
        QVERIFY(TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->isVisible());
        QCOMPARE(TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->failedExtensions, QString());
        const TProbe probe = Probe(outFolder + "current.mp4");
        QVERIFY(probe.ok);
        QVERIFY2(qAbs(probe.duration - 2.0) < 0.35, qPrintable(QString::number(probe.duration)));
        w.VerifyIdle();
        TestSupport::Child<TfrmUnSupportFormat>(w.frm.get(), "frmUnSupportFormat")->hide();
    }

    // A config.ini of binary garbage or of many megabytes: the settings after it still count
    // and the run converts. An empty output folder means the default one, never the root.
    void malformedConfig_data()
    {
        QTest::addColumn<QByteArray>("head");  // what comes before the test's own settings
        QTest::addColumn<bool>("emptyFolder"); // outputFolder= without a value
        QByteArray garbage(256 * 1024, '\0');
        auto* random = QRandomGenerator::global();
        for (char& c : garbage)
            c = char(random->bounded(256));
        QTest::newRow("binary garbage") << garbage << false;
        QTest::newRow("huge line") << QByteArray(16 * 1024 * 1024, '[') << false;
        QTest::newRow("empty output folder") << QByteArray() << true;
    }
    void malformedConfig()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, emptyFolder);
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        auto restore = qScopeGuard([oldHome] { qputenv("HOME", oldHome); });
        const QString expectedFolder =
            emptyFolder ? QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + u'/' : outFolder;
        QVERIFY(expectedFolder.startsWith(emptyFolder ? home.path() : work.path()));

        const QByteArray tail = "\n[setting]\ndisplayHelpDialog=0\nlogfile=1\noutputFolder=" +
                                (emptyFolder ? QByteArray() : QFile::encodeName(outFolder)) + "\n";
        WriteText(appFolder + "config.ini", head + tail);
        TWindow w(appFolder);
        w.SelectProfile("21-mp3.pf");
        w.Add(clips[0]);
        TMessageBox::nextAnswers = {QMessageBox::Yes};
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
        const TProbe probe = Probe(expectedFolder + "one.mp3");
        QVERIFY2(probe.ok, qPrintable(expectedFolder));
        QCOMPARE(probe.audioCodec, QStringLiteral("mp3"));
        QVERIFY(!QFile::exists("/one.mp3"));
        QCOMPARE(w.opened.size(), 1);
        QCOMPARE(QDir(w.opened[0]).absolutePath(), QDir(expectedFolder).absolutePath());
        QVERIFY(QString::fromUtf8(ReadAll(appFolder + "logFile.txt")).contains("ffmpeg_release_time="));
        if (emptyFolder)
            QCOMPARE(TestSupport::Child<QLineEdit>(w.frm.get(), "editOutputFolder")->text(), QDir(expectedFolder).absolutePath());
        w.VerifyIdle();
    }

    // A source in the output folder with the profile's extension is never overwritten.
    void sourceInOutputFolder()
    {
        const QString source = outFolder + "same.mp4";
        QVERIFY(QDir().mkpath(outFolder));
        QVERIFY(QFile::copy(clips[0], source));
        const QByteArray original = ReadAll(source);
        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.AnswerPrompts("overwrite", true);
        w.Add(source);
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        QCOMPARE(ReadAll(source), original);
        QVERIFY(Probe(outFolder + "same.mp4(1).mp4").ok);
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
    }

    void sourcesOfTheBatchInOutputFolder_data()
    {
        QTest::addColumn<int>("simultaneous");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("two at once") << 2 << QStringList{"a.avi", "a.mp4"};
        QTest::newRow("one at a time, the mp4 first") << 1 << QStringList{"a.mp4", "a.avi"};
        QTest::newRow("one at a time, the avi first") << 1 << QStringList{"a.avi", "a.mp4"};
    }
    // a.avi and a.mp4 in the output folder, converted to MP4, Overwrite the answer to every
    // question: a.mp4 is a source of the run and never replaced; nobody is even asked.
    void sourcesOfTheBatchInOutputFolder()
    {
        QFETCH(int, simultaneous);
        QFETCH(QStringList, order);
        QVERIFY(QDir().mkpath(outFolder));
        QVERIFY(QFile::copy(clips[0], outFolder + "a.avi"));
        QVERIFY(MakeClip(outFolder + "a.mp4", 3));
        const QByteArray original = ReadAll(outFolder + "a.mp4");
        IniFile(appFolder + "config.ini").WriteInteger("setting", "simultaneous", simultaneous);
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        int prompts = 0;
        ModalResponder responder([&prompts](QWidget* modal) {
            if (auto* prompt = qobject_cast<TfrmOverWrite*>(modal)) {
                ++prompts;
                prompt->buttonOverWrite->click();
            }
        });
        for (const QString& name : order)
            w.Add(outFolder + name);
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        IniFile(appFolder + "config.ini").WriteInteger("setting", "simultaneous", 1);

        QCOMPARE(prompts, 0);
        QCOMPARE(ReadAll(outFolder + "a.mp4"), original);
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
        QCOMPARE(QDir(outFolder).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"a.avi", "a.mp4", "a.mp4(1).mp4", "a.mp4(1).mp4(1).mp4"}));
        QCOMPARE(Probe(outFolder + "a.mp4(1).mp4").videoCodec, QStringLiteral("h264"));
        QCOMPARE(Probe(outFolder + "a.mp4(1).mp4(1).mp4").videoCodec, QStringLiteral("h264"));
        w.VerifyIdle();
    }

    void emptyProfileFolder()
    {
        QTemporaryDir other;
        const QString folder = CopyProgramFolder(appFolder, other.path());
        QDir(folder + "profile").removeRecursively();
        QVERIFY(QDir().mkpath(folder + "profile"));
        IniFile(folder + "config.ini").WriteInteger("setting", "displayHelpDialog", 0);
        IniFile(folder + "config.ini").WriteString("setting", "outputFolder", outFolder);
        IniFile(folder + "config.ini").WriteInteger("setting", "logfile", 1);
        TWindow w(folder);
        QCOMPARE(TestSupport::Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect")->count(), 0);
        w.Add(clips[0]);
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();
        QCOMPARE(TMessageBox::shownTexts, QStringList{w.Text("msgNoProfile")});
        QVERIFY(!w.Text("msgNoProfile").isEmpty());
        QVERIFY(!QDir(outFolder).exists());
        QVERIFY(!QFile::exists(folder + "logFile.txt"));
    }

    // A profile file that breaks after start: the catalogue read it once, so choosing it still
    // applies what was read, and nothing is read again.
    void profileBreaksAfterStart()
    {
        QTemporaryDir other;
        const QString folder = CopyProgramFolder(appFolder, other.path());
        IniFile(folder + "config.ini").WriteInteger("setting", "displayHelpDialog", 0);
        IniFile(folder + "config.ini").WriteString("setting", "outputFolder", outFolder);
        TWindow w(folder);
        auto* formats = Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect");
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        const int mp3 = FormatIndexOf(*w.frm, "21-mp3.pf");
        QVERIFY(mp3 >= 0);
        WriteText(formats->itemData(mp3).toString(), "MP4[MORVANE]short");
        formats->setCurrentIndex(mp3);
        w.frm->ComboBoxFormatSelectChange(mp3);
        QCOMPARE(w.frm->CurrentExtension(), QStringLiteral("mp3"));
        QVERIFY(!w.frm->AppliedProfile().HasVideo());
        QCOMPARE(Child<QComboBox>(w.frm.get(), "comboBoxAudioBitrate")->currentText(), QStringLiteral("192"));
        w.Add(clips[0]);
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        QCOMPARE(Probe(outFolder + "one.mp3").audioCodec, QStringLiteral("mp3"));
    }

    // A status text from the language file that does not format: progress goes on, and the
    // error is told once in the run, not for every line.
    void brokenStatusFormat()
    {
        QTemporaryDir other;
        const QString folder = CopyProgramFolder(appFolder, other.path());
        IniFile(folder + "config.ini").WriteInteger("setting", "displayHelpDialog", 0);
        IniFile(folder + "config.ini").WriteString("setting", "outputFolder", outFolder);
        IniFile(folder + "language/en.ini").WriteString("frmMain", "msgStatusRun", "%d of the files");
        QStringList reported;
        const TExceptionReporter previous =
            SetExceptionReporter([&reported](const QString& text) { reported << text; });
        auto restore = qScopeGuard([previous] { SetExceptionReporter(previous); });

        TWindow w(folder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        w.Add(clips[1]);
        int largestPosition = 0;
        QObject::connect(w.Run(), &TBatchRun::ItemFinished, w.frm.get(), [&] {
            largestPosition = qMax(largestPosition, TestSupport::Child<QProgressBar>(w.frm.get(), "progressBarCurrent")->value());
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains("%d"), qPrintable(reported[0]));
        QVERIFY(largestPosition > 50);
        QVERIFY(Probe(outFolder + "one.mp4").ok);
        QVERIFY(Probe(outFolder + "two.mp4").ok);
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
    }

    // The log stops being writable while the encoder runs: the user is told once, with the
    // file's name, and the run converts every file all the same.
    void logFailsDuringRun()
    {
        QStringList reported;
        const TExceptionReporter previous =
            SetExceptionReporter([&reported](const QString& text) { reported << text; });
        auto restore = qScopeGuard([previous] { SetExceptionReporter(previous); });
        const QString log = appFolder + "logFile.txt";
        auto removeBlocker = qScopeGuard([log] { QDir().rmdir(log); });

        TWindow w(appFolder);
        w.SelectProfile("33-mp4-mpeg4-aac.pf");
        w.Add(clips[0]);
        w.Add(clips[1]);
        w.WhileFirstEncoderRuns(0, [&] {
            QFile::remove(log);
            QDir().mkdir(log); // a folder in its place cannot be appended to
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        QCOMPARE(reported.size(), 1);
        QVERIFY2(reported[0].contains(log), qPrintable(reported[0]));
        QVERIFY(Probe(outFolder + "one.mp4").ok);
        QVERIFY(Probe(outFolder + "two.mp4").ok);
        QCOMPARE(TMessageBox::shownTexts, QStringList{EndQuestion(w)});
        w.VerifyIdle();
    }

    // The panel's boxes from one profile choice: editable boxes show a value that is not among
    // the items, list-only boxes are left without a selection.
    void fillChoiceBox_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("choices");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("text");
        QTest::newRow("selected value")
            << "comboBoxVideoBitrate"
            << "128"
            << "96;128;-1" << true << QStringList{"96", "128", "auto"} << 1 << "128";
        QTest::newRow("auto, locked") << "comboBoxVideoBitrate"
                                      << "-1"
                                      << "64;-1" << false << QStringList{"64", "auto"} << 1 << "auto";
        QTest::newRow("typed value shown") << "comboBoxVideoBitrate"
                                           << "700"
                                           << "96;128" << true << QStringList{"96", "128"} << -1 << "700";
        QTest::newRow("-1 not among items stays -1")
            << "comboBoxFrameRate"
            << "-1"
            << "96;128" << true << QStringList{"96", "128"} << -1 << "-1";
        QTest::newRow("list-only box without match") << "comboBoxChannel"
                                                     << "-1"
                                                     << "1;2" << true << QStringList{"1", "2"} << -1 << "";
        QTest::newRow("last match wins") << "comboBoxChannel"
                                         << "2"
                                         << "1;2;2" << true << QStringList{"1", "2", "2"} << 2 << "2";
        QTest::newRow("no choices") << "comboBoxSampleRate"
                                    << "44100"
                                    << "" << true << QStringList{} << -1 << "44100";
    }
    void fillChoiceBox()
    {
        QFETCH(QString, box);
        QFETCH(QString, value);
        QFETCH(QString, choices);
        QFETCH(bool, enabled);
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        QFETCH(QString, text);
        TWindow w(appFolder);
        auto* combo = w.frm->findChild<QComboBox*>(box);
        QVERIFY(combo);
        w.frm->FillChoiceBox(combo, value, choices, enabled);
        QStringList actual;
        for (int i = 0; i < combo->count(); ++i)
            actual << combo->itemText(i);
        QCOMPARE(actual, items);
        QCOMPARE(combo->currentIndex(), selected);
        QCOMPARE(combo->currentText(), text);
        QCOMPARE(combo->isEnabled(), enabled);
    }

    // The saved format: the file it names; a position saved before the catalogue was renumbered
    // names the format that stood there; out of range gives the first entry.
    void restoreFormatIndex_data()
    {
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QString>("selected"); // empty: no entry
        QTest::newRow("nothing saved") << QByteArray() << "01-mp4-h264-aac.pf";
        QTest::newRow("the file") << QByteArray("formatFile=21-mp3.pf\niComboxFormatIndex=4\n")
                                  << "21-mp3.pf";
        QTest::newRow("former first") << QByteArray("iComboxFormatIndex=0\n") << "33-mp4-mpeg4-aac.pf";
        QTest::newRow("former fourth") << QByteArray("iComboxFormatIndex=3\n") << "35-avi-mpeg4-mp3.pf";
        QTest::newRow("beyond the list") << QByteArray("iComboxFormatIndex=700\n") << "01-mp4-h264-aac.pf";
        QTest::newRow("none") << QByteArray("iComboxFormatIndex=-1\n") << "";
        QTest::newRow("a file that is gone: the position")
            << QByteArray("formatFile=99-gone.pf\niComboxFormatIndex=3\n") << "04-webm-vp9-opus.pf";
    }
    void restoreFormatIndex()
    {
        QFETCH(QByteArray, saved);
        QFETCH(QString, selected);
        WriteText(appFolder + "config.ini", "[setting]\ndisplayHelpDialog=0\n" + saved);
        TWindow w(appFolder);
        auto* formats = TestSupport::Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect");
        QCOMPARE(QFileInfo(formats->currentData().toString()).fileName(), selected);
        // The panel shows the restored profile, or the first one when none is selected.
        const QStringList profiles = QDir(appFolder + "profile").entryList({"*.pf"}, QDir::Files, QDir::Name);
        TVideoProfile expected;
        expected.LoadFromFile(appFolder + "profile/" + (selected.isEmpty() ? profiles.first() : selected));
        QCOMPARE(w.frm->CurrentExtension(), expected.Extension());
        const int index = formats->currentIndex();
        QCOMPARE(index, int(profiles.indexOf(selected)));
        w.frm->close();
        QCOMPARE(IniFile(appFolder + "config.ini").ReadInteger("setting", "iComboxFormatIndex", -5), index);
        QCOMPARE(IniFile(appFolder + "config.ini").ReadString("setting", "formatFile", "-"), selected);
    }
};

int main(int argc, char** argv)
{
    // The rotation script goes to the temporary folder: the test's own.
    QTemporaryDir temp;
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    // A message box left unanswered would wait for ever; fail the function instead.
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "120000");
    TApplication app(argc, argv);
    tst_ConversionRun test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ConversionRun.moc"
