// What a run shows while it goes: each file's state in the list's status column (and why one
// failed), the speed and time left on the status line, pause and resume from the menu and
// Ctrl+P, and the journal kept beside config.ini. The real main window (offscreen), a private
// copy of the program folder, the real libm9s.exe and ffmpeg.

#include "support/ConversionFixture.h"
#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"

#include "dialogs/TMessageBox.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "engine/TBatchRun.h"
#include "engine/TRunJournal.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"
#include "shell/TfrmMain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace ConversionFixture;
using namespace TestSupport;

namespace {

// The state letter of every live process of a group ("T" stopped, "S" sleeping, ...).
QStringList GroupStates(qint64 group)
{
    QStringList states;
    for (const QString& entry : ProcessesInGroup(group)) {
        const QByteArray stat =
            ReadAll(QStringLiteral("/proc/") + entry.section(u' ', 0, 0) + QStringLiteral("/stat"));
        states << QString::fromLatin1(stat.mid(stat.lastIndexOf(')') + 2, 1));
    }
    return states;
}

struct TWindow : TMainWindow
{
    using TMainWindow::TMainWindow;
    ~TWindow()
    {
        Close();
        Child<TfrmUnSupportFormat>(frm.get(), "frmUnSupportFormat")->hide();
    }


    TBatchRun* Run() const { return Child<TBatchRun>(frm.get(), "BatchRun"); }
    QTreeWidget* List() const { return Child<QTreeWidget>(frm.get(), "listViewFiles"); }
    QString Status(int row) const { return List()->topLevelItem(row)->text(3); }
    QStringList Statuses() const
    {
        QStringList texts;
        for (int row = 0; row < List()->topLevelItemCount(); ++row)
            texts << Status(row);
        return texts;
    }
    QString Text(const char* key) const
    {
        return IniFile(common->languageFile).ReadString("frmMain", QString::fromLatin1(key), QString());
    }

    // Presses Convert and returns once the run it started is over.
    void Convert()
    {
        int finished = 0;
        const QMetaObject::Connection counter =
            QObject::connect(Run(), &TBatchRun::RunFinished, frm.get(), [&finished] { ++finished; });
        QTest::mouseClick(Child<QPushButton>(frm.get(), "buttonConvert"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(finished > 0, 180000);
        QObject::disconnect(counter);
    }
};

} // namespace

class tst_RunStates : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString appFolder;
    QString media;
    QString outFolder;
    QStringList clips; // two 2-second clips
    QString longClip;
    QString junk;

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
        QVERIFY(QFile::exists(appFolder + "libm9s.exe"));
        media = work.path() + "/media/";
        for (const char* name : {"one.avi", "two.avi"}) {
            clips << media + QString::fromLatin1(name);
            QVERIFY(MakeClip(clips.last(), 2));
        }
        longClip = media + "long.avi";
        QVERIFY(MakeClip(longClip, 30, "640x480"));
        junk = media + "junk.avi";
        WriteText(junk, "this is not a video at all");
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        outFolder = work.path() + "/out " + QString::fromLatin1(QTest::currentTestFunction()) + "/";
        QDir(outFolder).removeRecursively();
        QFile::remove(appFolder + "config.ini");
        IniFile ini(appFolder + "config.ini");
        ini.WriteInteger("setting", "displayHelpDialog", 0);
        ini.WriteString("setting", "outputFolder", outFolder);
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
    }

    void cleanup()
    {
        // No journal outlives a test: the next window would offer to take it up.
        QVERIFY(!QFile::exists(appFolder + "queue.ini"));
    }

    // Waiting, the percent, then done or failed (with the encoder's last words); kept after the
    // run, gone when an item moves, and a new run starts them afresh.
    void itemStates()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        w.frm->AddJobFile(clips[0]);
        w.frm->AddJobFile(junk);
        w.frm->AddJobFile(clips[1]);
        QCOMPARE(w.Statuses(), (QStringList{"", "", ""}));
        QCOMPARE(w.List()->headerItem()->text(3), w.Text("ListViewItem3"));

        QStringList atStart;
        QStringList whileConverting;
        QObject::connect(w.Run(), &TBatchRun::ItemStarted, w.frm.get(), [&](int index) {
            if (index == 0)
                atStart = w.Statuses();
        });
        QObject::connect(w.Run(), &TBatchRun::ItemProgress, w.frm.get(),
                         [&](int index, const TItemProgress& p) {
                             if (index == 0 && p.reachedSeconds > 0)
                                 whileConverting << w.Status(0);
                         });
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();

        QCOMPARE(atStart, (QStringList{"0%", w.Text("msgItemWaiting"), w.Text("msgItemWaiting")}));
        QVERIFY(!whileConverting.isEmpty());
        for (const QString& text : whileConverting)
            QVERIFY2(QRegularExpression("^\\d{1,2}%$").match(text).hasMatch(), qPrintable(text));
        QCOMPARE(w.Statuses(),
                 (QStringList{w.Text("msgItemDone"), w.Text("msgItemFailed"), w.Text("msgItemDone")}));
        // Why it failed: what the encoder said last about it.
        const QString why = w.List()->topLevelItem(1)->toolTip(3);
        QCOMPARE(why, w.Run()->ErrorLinesOf(1).join(u'\n'));
        QVERIFY2(why.contains("junk.avi"), qPrintable(why));
        QVERIFY(w.List()->topLevelItem(0)->toolTip(3).isEmpty());

        // Moved: the two rows that changed places have no state; the others keep theirs.
        w.List()->setCurrentItem(w.List()->topLevelItem(0));
        Child<QAction>(w.frm.get(), "ActionFileMoveDown")->trigger();
        QCOMPARE(w.Statuses(), (QStringList{"", "", w.Text("msgItemDone")}));
        QVERIFY(w.List()->topLevelItem(1)->toolTip(3).isEmpty());

        // A stop leaves the files it never reached without a state.
        QStringList afterStop;
        bool stopped = false;
        QObject::connect(w.Run(), &TBatchRun::ItemProgress, w.frm.get(), [&](int, const TItemProgress& p) {
            if (!stopped && p.reachedSeconds > 0) {
                stopped = true;
                QTest::mouseClick(Child<QPushButton>(w.frm.get(), "buttonConvert"), Qt::LeftButton);
            }
        });
        w.frm->AddJobFile(longClip);
        w.List()->setCurrentItem(w.List()->topLevelItem(3));
        for (int i = 0; i < 3; ++i)
            Child<QAction>(w.frm.get(), "ActionFileMoveUp")->trigger();
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        w.Convert();
        QCOMPARE(w.Statuses(), (QStringList{w.Text("msgItemStopped"), "", "", ""}));
    }

    // The status line: counter, then speed and the time left for the file and (once every
    // file's length is known) for the batch, never falling faster than the clock.
    void speedAndTimeLeft()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        Child<QComboBox>(w.frm.get(), "comboBoxVideoSize")->setEditText("1280x720");
        w.frm->AddJobFile(clips[0]);
        w.frm->AddJobFile(longClip);
        w.frm->AddJobFile(clips[1]);
        struct TSeen
        {
            qint64 atMs;
            QString text;
        };
        QList<TSeen> seen;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(w.Run(), &TBatchRun::ItemProgress, w.frm.get(), [&] {
            seen << TSeen{clock.elapsed(), Child<QLabel>(w.frm.get(), "labelCurrentInfo")->text()};
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();

        // "Converting file 2/3 · 3.1× · 0:42 left (batch 3:10) [00:00:00-00:00:30] /…/long.avi"
        const auto pattern = [&w](const char* key, const QString& group) {
            const QString format = w.Text(key);
            return QRegularExpression::escape(format.section(QStringLiteral("%s"), 0, 0)) + group +
                   QRegularExpression::escape(format.section(QStringLiteral("%s"), 1));
        };
        const QString time = QStringLiteral("(\\d+:\\d\\d)");
        const QRegularExpression figures("^" + pattern("msgStatusRun", "(\\d)/3") + " · \\d+\\.\\d× · " +
                                         pattern("msgStatusLeft", time) +
                                         "(?: " + pattern("msgStatusBatchLeft", time) + ")? \\[");
        int withBatch = 0;
        qint64 lastBatch = -1;
        qint64 lastAt = 0;
        for (const TSeen& s : seen) {
            const QRegularExpressionMatch match = figures.match(s.text);
            if (!match.hasMatch())
                continue;
            if (match.captured(3).isEmpty())
                continue;
            ++withBatch;
            const QStringList parts = match.captured(3).split(u':');
            const qint64 batchSeconds = parts[0].toLongLong() * 60 + parts[1].toLongLong();
            // A worse figure climbs back no faster than the clock; rounded up to whole seconds,
            // a second more may show.
            if (lastBatch >= 0)
                QVERIFY2(batchSeconds <= lastBatch + (s.atMs - lastAt + 999) / 1000 + 1,
                         qPrintable(QStringLiteral("%1 s after %2 s").arg(batchSeconds).arg(lastBatch)));
            lastBatch = batchSeconds;
            lastAt = s.atMs;
        }
        const auto matching = std::count_if(seen.begin(), seen.end(),
                                            [&](const TSeen& s) { return figures.match(s.text).hasMatch(); });
        QVERIFY2(matching > 0, qPrintable(seen.isEmpty() ? QString() : seen.last().text));
        // Every file's length is read when the run starts: the batch figure shows soon.
        QVERIFY2(withBatch > 0, qPrintable(seen.last().text));
    }

    // A file ffmpeg cannot read has no length: the batch figure waits until it is done with.
    void batchWaitsForAnUnreadableFile()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        w.frm->AddJobFile(longClip);
        w.frm->AddJobFile(junk);
        QStringList texts;
        QObject::connect(w.Run(), &TBatchRun::ItemProgress, w.frm.get(),
                         [&](int index, const TItemProgress& p) {
                             if (index == 0 && p.reachedSeconds > 0)
                                 texts << Child<QLabel>(w.frm.get(), "labelCurrentInfo")->text();
                         });
        w.Convert();
        QVERIFY(!texts.isEmpty());
        // The file's own figure shows; the batch's does not.
        const QString batchWord = w.Text("msgStatusBatchLeft").section(QStringLiteral("%s"), 0, 0);
        const QString leftWord = w.Text("msgStatusLeft").section(QStringLiteral("%s"), 1);
        for (const QString& text : texts)
            QVERIFY2(!text.contains(batchWord), qPrintable(text));
        QVERIFY2(std::any_of(texts.begin(), texts.end(),
                             [&](const QString& text) { return text.contains(leftWord); }),
                 qPrintable(texts.last()));
    }

    void pauseAndResume_data()
    {
        QTest::addColumn<QString>("end"); // what ends the run while paused
        QTest::newRow("stop") << "stop";
        QTest::newRow("close") << "close";
    }
    // Ctrl+P pauses: the encoder's whole group stands still, the status line says so and the
    // menu offers Resume; Ctrl+P again goes on. A stop or a close while paused ends everything,
    // nothing left stopped.
    void pauseAndResume()
    {
        QFETCH(QString, end);
        auto w = std::make_unique<TWindow>(appFolder);
        w->SelectProfile("01-mp4-h264-aac.pf");
        // The clip's own size: a larger one would leave x264 more frames to finish after "q"
        // than the stop's one second of grace allows on a busy machine.
        w->frm->AddJobFile(longClip);
        w->frm->AddJobFile(clips[0]);
        w->frm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w->frm.get()));
        auto* pause = Child<QAction>(w->frm.get(), "ActionPause");
        auto* resume = Child<QAction>(w->frm.get(), "ActionResume");
        qint64 group = 0;
        int progressCount = 0;
        QObject::connect(w->Run(), &TBatchRun::ItemProgress, w->frm.get(),
                         [&](int index, const TItemProgress& p) {
                             ++progressCount;
                             if (group == 0 && p.reachedSeconds > 0)
                                 group = w->Run()->ProcessId(index);
                         });
        QTest::mouseClick(Child<QPushButton>(w->frm.get(), "buttonConvert"), Qt::LeftButton);
        QVERIFY(pause->isEnabled() && pause->isVisible() && !resume->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(group > 0, 60000);
        // libm9s.exe and its ffmpeg.
        QTRY_COMPARE(GroupStates(group).size(), 2);

        QTest::keyClick(w->frm.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(w->Run()->IsPaused());
        QTRY_COMPARE(GroupStates(group), (QStringList{"T", "T"}));
        QVERIFY(!pause->isVisible() && resume->isVisible() && resume->isEnabled());
        const QString pausedText = Child<QLabel>(w->frm.get(), "labelCurrentInfo")->text();
        QVERIFY2(pausedText.contains(" · " + w->Text("msgStatusPaused")), qPrintable(pausedText));
        const int progressAtPause = progressCount;
        QTest::qWait(1500);
        QCOMPARE(progressCount, progressAtPause);
        QCOMPARE(Child<QLabel>(w->frm.get(), "labelCurrentInfo")->text(), pausedText);

        QTest::keyClick(w->frm.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(!w->Run()->IsPaused());
        QVERIFY(pause->isVisible() && pause->isEnabled() && !resume->isVisible());
        QTRY_VERIFY(!GroupStates(group).contains("T"));
        QTRY_VERIFY(progressCount > progressAtPause);

        resume->trigger(); // hidden: nothing to resume
        pause->trigger();
        QTRY_COMPARE(GroupStates(group), (QStringList{"T", "T"}));
        if (end == "stop") {
            TMessageBox::nextAnswers = {QMessageBox::Ok};
            w->Convert(); // the same button stops
            QVERIFY(!pause->isEnabled() && !resume->isVisible());
            QTRY_COMPARE(ProcessesInGroup(group), QStringList());
            // "q" reached ffmpeg: the stopped file is a whole file.
            QVERIFY(Probe(outFolder + "long.mp4").ok);
            QVERIFY(!QFile::exists(outFolder + "one.mp4"));
            QCOMPARE(w->Statuses(), (QStringList{w->Text("msgItemStopped"), ""}));
        } else {
            w->frm->close();
            QTRY_COMPARE(ProcessesInGroup(group), QStringList());
            w.reset();
        }
    }

    // Beside config.ini while the run goes on, naming its files and states; gone at the end.
    void journalAroundTheRun()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        const int format = Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect")->currentIndex();
        w.frm->AddJobFile(clips[0]);
        w.frm->AddJobFile(clips[1]);
        TJournal during;
        bool read = false;
        QObject::connect(w.Run(), &TBatchRun::ItemStarted, w.frm.get(), [&](int index) {
            if (index == 0 && !read) {
                read = true;
                during = TRunJournal::Read(appFolder + "queue.ini");
            }
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        w.Convert();
        QVERIFY(read);
        QCOMPARE(during.outputFolder, outFolder);
        QCOMPARE(during.formatIndex, format);
        QCOMPARE(during.formatFile, QStringLiteral("01-mp4-h264-aac.pf"));
        QCOMPARE(during.items.size(), 2);
        QCOMPARE(during.items[1].source, clips[1]);
        QVERIFY(!QFile::exists(appFolder + "queue.ini"));
        QCOMPARE(QDir(appFolder).entryList({"queue.ini*"}, QDir::AllEntries | QDir::Hidden), QStringList());
        QCOMPARE(TMessageBox::shownTexts,
                 QStringList{w.Text("msgFolderView") + "\n\n" + w.Text("msgFinishInfo")});
    }

    // No journal can be kept: the run says why, once, and converts as usual.
    void journalCannotBeKept()
    {
        TWindow w(appFolder);
        w.SelectProfile("01-mp4-h264-aac.pf");
        w.frm->AddJobFile(clips[0]);
        // Something that is no file where the journal goes.
        QVERIFY(QDir().mkpath(appFolder + "queue.ini"));
        for (int run = 1; run <= 2; ++run) {
            TMessageBox::shownTexts.clear();
            TMessageBox::nextAnswers = {QMessageBox::Ok, QMessageBox::No};
            QFile::remove(outFolder + "one.mp4");
            w.Convert();
            QTRY_VERIFY(TMessageBox::shownTexts.size() >= 1 + (run == 1 ? 1 : 0));
            QVERIFY(Probe(outFolder + "one.mp4").ok);
            const QString told =
                SafeFormat(w.Text("msgJournalNotSaved"), QDir::toNativeSeparators(appFolder));
            QCOMPARE(TMessageBox::shownTexts.contains(told), run == 1);
        }
        QVERIFY(QDir(appFolder + "queue.ini").exists());
        QVERIFY(QDir().rmdir(appFolder + "queue.ini"));
    }
};

VELMORA_GUI_TEST_MAIN(tst_RunStates)
#include "tst_RunStates.moc"
