// A run cut off by a kill is taken up at the next start: the test runs itself a second time as
// the program (main window, signal handling and event loop as the program's entry sets them
// up), kills that copy with SIGKILL while it converts the second of three real clips, and starts
// the window again over the same program folder; and once more right after the first clip was
// converted. Also what the next start does with a journal that is garbage, names files that are
// gone or files the cut-off run did not make, is declined, or belongs to a live run.

#include "support/ConversionFixture.h"
#include "support/FindChild.h"
#include "support/MainWindow.h"
#include "support/Media.h"
#include "support/ModalAnswer.h"
#include "support/ProgramFolder.h"
#include "support/TestFiles.h"

#include "dialogs/TMessageBox.h"
#include "dialogs/TfrmOverWrite.h"
#include "engine/FileIdentity.h"
#include "engine/OutputFile.h"
#include "engine/TBatchRun.h"
#include "engine/TRunJournal.h"
#include "platform/AppError.h"
#include "platform/CountText.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"
#include "shell/TApplication.h"
#include "shell/TfrmMain.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace ConversionFixture;
using namespace TestSupport;

namespace {

const char* const profileName = "01-mp4-h264-aac.pf";

// The program's side: <appFolder> <source>...; converts the sources and writes
// "encoder:<index>:<process group>" once ffmpeg converts each of them.
int StartProgram(int argc, char** argv)
{
    return RunAsProgram(argc, argv, [](TfrmMain& frmMain, const QStringList& sources) {
        SelectProfile(frmMain, QLatin1String(profileName));
        // Slow enough to be caught in the middle.
        Child<QComboBox>(&frmMain, QStringLiteral("comboBoxVideoSize"))
            ->setEditText(QStringLiteral("1280x720"));
        for (const QString& path : sources)
            frmMain.AddJobFile(path);
        auto* run = Child<TBatchRun>(&frmMain, QStringLiteral("BatchRun"));
        auto told = std::make_shared<QSet<int>>();
        QObject::connect(run, &TBatchRun::ItemProgress, &frmMain,
                         [run, told](int index, const TItemProgress& progress) {
                             if (told->contains(index) || progress.reachedSeconds <= 0)
                                 return;
                             told->insert(index);
                             std::printf("encoder:%d:%lld\n", index, run->ProcessId(index));
                             std::fflush(stdout);
                         });
        // Queued: said once the item's end has been dealt with, its journal written included.
        QObject::connect(
            run, &TBatchRun::ItemFinished, &frmMain,
            [](int index, TItemResult) {
                std::printf("finished:%d\n", index);
                std::fflush(stdout);
            },
            Qt::QueuedConnection);
        Child<QAction>(&frmMain, QStringLiteral("ActionConvertNow"))->trigger();
    });
}

// The program started on sources; killed with SIGKILL as soon as it says what stop asks for.
struct TProgram
{
    QProcess process;
    QByteArray said;

    void Start(const QString& appFolder, const QStringList& sources)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(),
                      QStringList{QString::fromLatin1(RunAsProgramSwitch), appFolder} + sources);
    }
    // Reads what it says until stop is true of it; false when it ended or took too long.
    bool ReadUntil(const std::function<bool()>& stop)
    {
        QDeadlineTimer deadline(120000);
        while (!stop()) {
            if (deadline.hasExpired() || process.state() != QProcess::Running)
                return false;
            process.waitForReadyRead(50);
            said += process.readAllStandardOutput();
        }
        return true;
    }
    bool Kill()
    {
        return ::kill(static_cast<pid_t>(process.processId()), SIGKILL) == 0 &&
               process.waitForFinished(10000);
    }
    ~TProgram()
    {
        process.kill();
        process.waitForFinished(10000);
    }
};

QByteArray Digest(const QString& path)
{
    return QCryptographicHash::hash(ReadAll(path), QCryptographicHash::Sha256);
}

struct TWindow : TMainWindow
{
    explicit TWindow(const QString& appFolder) : TMainWindow(appFolder, true, TExposure::NotAwaited) {}

    QTreeWidget* List() const { return Child<QTreeWidget>(frm.get(), "listViewFiles"); }
    QStringList Rows() const
    {
        QStringList rows;
        for (int row = 0; row < List()->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = List()->topLevelItem(row);
            rows << item->text(0) + u'|' + item->text(1) + u'|' + item->text(2);
        }
        return rows;
    }
    QString Text(const char* key) const
    {
        return IniFile(common->languageFile).ReadString("frmMain", QString::fromLatin1(key), QString());
    }
    TCountText Texts(const char* key) const
    {
        return TCountText::Read(IniFile(common->languageFile), "frmMain", QString::fromLatin1(key));
    }
};

} // namespace

class tst_RunResume : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString appFolder;
    QString outFolder;
    QStringList clips;

    void WriteConfig()
    {
        QFile::remove(appFolder + "config.ini");
        QFile::remove(appFolder + "logFile.txt");
        IniFile ini(appFolder + "config.ini");
        ini.WriteInteger("setting", "displayHelpDialog", 0);
        ini.WriteInteger("setting", "logfile", 1);
        ini.WriteString("setting", "outputFolder", outFolder);
        ini.WriteInteger("setting", "iComboxFormatIndex", 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        appFolder = CopyProgramFolder(QStringLiteral(VELMORA_APP_DIR), work.path() + "/app");
        QVERIFY(QFile::exists(appFolder + "libm9s.exe"));
        for (const auto& [name, seconds] : {std::pair{"one.avi", 2}, {"two.avi", 12}, {"three.avi", 2}}) {
            clips << work.path() + "/media/" + QString::fromLatin1(name);
            QVERIFY(MakeClip(clips.last(), seconds, "640x480"));
        }
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        outFolder = work.path() + "/out " + QString::fromLatin1(QTest::currentTestFunction()) +
                    QString::fromLatin1(QTest::currentDataTag()) + "/";
        QDir(outFolder).removeRecursively();
        WriteConfig();
        QFile::remove(appFolder + "queue.ini");
        QFile::remove(appFolder + "queue.ini.bad");
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
    }

    // Killed while the second of three converts; started again, Yes: the second and third are
    // converted, the placeholder the cut-off run left for the second is replaced without a
    // question, its half-written partial file is gone, and the first is not converted again.
    void killedDuringTheSecond()
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      QStringList{QString::fromLatin1(RunAsProgramSwitch), appFolder} + clips);
        QVERIFY(program.waitForStarted(10000));
        auto killProgram = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(10000);
        });

        // Until the second converts and the journal says so.
        QByteArray said;
        qint64 group = 0;
        QDeadlineTimer deadline(120000);
        const QString journalPath = appFolder + "queue.ini";
        const auto secondInJournal = [&] {
            try {
                const TJournal journal = TRunJournal::Read(journalPath);
                return journal.items.size() == 3 && journal.items[1].state == TJournalState::Converting;
            } catch (const AppError&) {
                return false;
            }
        };
        // The encoder writes a partial file beside the output, which the journal names.
        const auto secondWritten = [&] {
            try {
                return QFileInfo(TRunJournal::Read(journalPath).items.value(1).partial).size() >= 1000;
            } catch (const AppError&) {
                return false;
            }
        };
        while (group == 0 || !secondInJournal() || !secondWritten()) {
            QVERIFY2(!deadline.hasExpired() && program.state() == QProcess::Running, said.constData());
            program.waitForReadyRead(50);
            said += program.readAllStandardOutput();
            for (const QByteArray& line : said.split('\n')) {
                if (line.startsWith("encoder:1:"))
                    group = line.mid(10).toLongLong();
            }
        }
        const QStringList running = ProcessesInGroup(group);
        QVERIFY2(running.filter("(ffmpeg)").size() == 1, qPrintable(running.join(u'\n')));
        QVERIFY(::kill(static_cast<pid_t>(program.processId()), SIGKILL) == 0);
        QVERIFY(program.waitForFinished(10000));
        killProgram.dismiss();
        QTRY_VERIFY2_WITH_TIMEOUT(ProcessesInGroup(group).isEmpty(),
                                  qPrintable(ProcessesInGroup(group).join(u'\n')), 5000);

        // What was left: the first done, the second half written beside its placeholder, the
        // journal.
        QVERIFY(Probe(outFolder + "one.mp4").ok);
        const QByteArray firstOutput = Digest(outFolder + "one.mp4");
        const QDateTime firstWritten = QFileInfo(outFolder + "one.mp4").lastModified();
        QVERIFY(StillPlaceholder(outFolder + "two.mp4"));
        QVERIFY(!QFile::exists(outFolder + "three.mp4"));
        const TJournal left = TRunJournal::Read(journalPath);
        QCOMPARE(left.items[0].state, TJournalState::Done);
        QCOMPARE(left.items[1].output, outFolder + "two.mp4");
        QVERIFY(IsPartialOf(left.items[1].partial, outFolder + "two.mp4"));
        QVERIFY(QFileInfo(left.items[1].partial).size() >= 1000);
        QCOMPARE(left.items[2].state, TJournalState::Waiting);

        // The next start: another format and folder meanwhile, which the journal puts back.
        IniFile(appFolder + "config.ini").WriteInteger("setting", "iComboxFormatIndex", 0);
        IniFile(appFolder + "config.ini").WriteString("setting", "outputFolder", work.path() + "/elsewhere");
        TMessageBox::nextAnswers = {QMessageBox::Yes};
        TWindow w(appFolder);
        const QString question = w.Texts("msgResumeQueue").Format(2);
        QTRY_VERIFY(TMessageBox::shownTexts.contains(question));
        QCOMPARE(TMessageBox::shownTexts, QStringList{question});
        QVERIFY(!QFile::exists(journalPath));
        QCOMPARE(w.Rows(), (QStringList{clips[1] + "|00:00:00|", clips[2] + "|00:00:00|"}));
        QCOMPARE(Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect")->currentIndex(), left.formatIndex);
        QVERIFY(Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect")
                    ->currentData()
                    .toString()
                    .endsWith(profileName));
        QCOMPARE(Child<QLineEdit>(w.frm.get(), "editOutputFolder")->text(), outFolder);
        // The half-written file is of no use any more; the placeholder waits for the next run,
        // which replaces it without a question.
        QVERIFY(!QFile::exists(left.items[1].partial));
        QVERIFY(StillPlaceholder(outFolder + "two.mp4"));

        int prompts = 0;
        ModalResponder responder([&prompts](QWidget* modal) {
            if (auto* prompt = qobject_cast<TfrmOverWrite*>(modal)) {
                ++prompts;
                prompt->buttonAutoName->click();
            }
        });
        TMessageBox::shownTexts.clear();
        TMessageBox::nextAnswers = {QMessageBox::No};
        auto* run = Child<TBatchRun>(w.frm.get(), "BatchRun");
        int finished = 0;
        QObject::connect(run, &TBatchRun::RunFinished, w.frm.get(), [&finished] { ++finished; });
        QTest::mouseClick(Child<QPushButton>(w.frm.get(), "buttonConvert"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(finished == 1, 180000);

        QCOMPARE(prompts, 0);
        QCOMPARE(TMessageBox::shownTexts,
                 QStringList{w.Text("msgFolderView") + "\n\n" + w.Text("msgFinishInfo")});
        const TProbe second = Probe(outFolder + "two.mp4");
        QVERIFY(second.ok);
        QVERIFY2(qAbs(second.duration - 12.0) < 0.5, qPrintable(QString::number(second.duration)));
        QVERIFY(Probe(outFolder + "three.mp4").ok);
        QCOMPARE(Digest(outFolder + "one.mp4"), firstOutput);
        QCOMPARE(QFileInfo(outFolder + "one.mp4").lastModified(), firstWritten);
        QCOMPARE(QDir(outFolder).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"one.mp4", "three.mp4", "two.mp4"}));
        // This run's log: two files.
        QCOMPARE(QString::fromUtf8(ReadAll(appFolder + "logFile.txt")).count("libm9s.exe "), 2);
        QVERIFY(!QFile::exists(journalPath));
    }

    // Killed a moment after the first of two clips was converted: the journal says so, and
    // the next start puts back only the second, which converts without a question.
    void killedRightAfterAnItemEnded()
    {
        TProgram program;
        program.Start(appFolder, {clips[0], clips[1]});
        QVERIFY(program.process.waitForStarted(10000));
        QVERIFY2(program.ReadUntil([&] { return program.said.contains("finished:0\n"); }),
                 program.said.constData());
        QVERIFY(program.Kill());

        const TJournal left = TRunJournal::Read(appFolder + "queue.ini");
        QCOMPARE(left.items.size(), 2);
        QCOMPARE(left.items[0].state, TJournalState::Done);
        QVERIFY(Probe(outFolder + "one.mp4").ok);
        const QByteArray firstOutput = Digest(outFolder + "one.mp4");

        TMessageBox::nextAnswers = {QMessageBox::Yes};
        TWindow w(appFolder);
        const QString question = w.Texts("msgResumeQueue").Format(1);
        QTRY_VERIFY(TMessageBox::shownTexts.contains(question));
        QCOMPARE(w.Rows(), QStringList{clips[1] + "|00:00:00|"});
        int prompts = 0;
        ModalResponder responder([&prompts](QWidget* modal) {
            if (auto* prompt = qobject_cast<TfrmOverWrite*>(modal)) {
                ++prompts;
                prompt->buttonIgnore->click();
            }
        });
        TMessageBox::nextAnswers = {QMessageBox::No};
        auto* run = Child<TBatchRun>(w.frm.get(), "BatchRun");
        int finished = 0;
        QObject::connect(run, &TBatchRun::RunFinished, w.frm.get(), [&finished] { ++finished; });
        QTest::mouseClick(Child<QPushButton>(w.frm.get(), "buttonConvert"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(finished == 1, 180000);
        QCOMPARE(prompts, 0);
        QVERIFY(Probe(outFolder + "two.mp4").ok);
        QCOMPARE(Digest(outFolder + "one.mp4"), firstOutput);
        QCOMPARE(QDir(outFolder).entryList(QDir::Files | QDir::Hidden), (QStringList{"one.mp4", "two.mp4"}));
    }

    void journalNamingAFileItDidNotMake_data()
    {
        QTest::addColumn<bool>("source");   // the output it names is another item's source
        QTest::addColumn<bool>("identity"); // with that file's true identity
        QTest::newRow("another item's source") << true << false;
        QTest::newRow("another item's source, its identity given") << true << true;
        QTest::newRow("an existing output") << false << false;
        QTest::newRow("an existing output, its identity given") << false << true;
    }
    // A journal, crafted or left by an older version, whose unfinished item names as its output
    // a file the cut-off run did not make: a source of the list is never replaced (nobody is
    // asked, it gets another name), and any other file is asked about as usual.
    void journalNamingAFileItDidNotMake()
    {
        QFETCH(bool, source);
        QFETCH(bool, identity);
        QVERIFY(QDir().mkpath(outFolder));
        const QString named = outFolder + "one.mp4";
        QVERIFY(MakeClip(named, 2));
        const QByteArray original = Digest(named);
        TJournal journal;
        journal.outputFolder = outFolder;
        journal.formatIndex = 0;
        journal.formatFile = QString::fromLatin1(profileName);
        journal.items = {{clips[0], "00:00:00", "", TJournalState::Converting, named}};
        if (identity)
            journal.items[0].outputIdentity = TFileIdentity::Of(named);
        if (source)
            journal.items.append({named, "00:00:00", "", TJournalState::Waiting, ""});
        TRunJournal::Write(appFolder + "queue.ini", journal);

        TMessageBox::nextAnswers = {QMessageBox::Yes};
        TWindow w(appFolder);
        QTRY_VERIFY(!TMessageBox::shownTexts.isEmpty());
        QCOMPARE(w.List()->topLevelItemCount(), int(journal.items.size()));
        int prompts = 0;
        ModalResponder responder([&prompts](QWidget* modal) {
            if (auto* prompt = qobject_cast<TfrmOverWrite*>(modal)) {
                ++prompts;
                prompt->buttonAutoName->click();
            }
        });
        TMessageBox::shownTexts.clear();
        TMessageBox::nextAnswers = {QMessageBox::No};
        auto* run = Child<TBatchRun>(w.frm.get(), "BatchRun");
        int finished = 0;
        QObject::connect(run, &TBatchRun::RunFinished, w.frm.get(), [&finished] { ++finished; });
        QTest::mouseClick(Child<QPushButton>(w.frm.get(), "buttonConvert"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(finished == 1, 180000);

        QCOMPARE(Digest(named), original);
        QCOMPARE(prompts, source ? 0 : 1);
        QVERIFY(Probe(outFolder + "one.mp4(1).mp4").ok);
        QStringList files{"one.mp4", "one.mp4(1).mp4"};
        if (source) {
            QVERIFY(Probe(outFolder + "one.mp4(1).mp4(1).mp4").ok);
            files << "one.mp4(1).mp4(1).mp4";
        }
        QCOMPARE(QDir(outFolder).entryList(QDir::Files | QDir::Hidden), files);
    }

    void nextStart_data()
    {
        QTest::addColumn<QByteArray>("journal"); // "" for a journal of the clips written below
        QTest::addColumn<QString>("gone");       // a file of the journal that no longer exists
        QTest::addColumn<int>("answer");         // to the question, if any
        QTest::addColumn<bool>("asked");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("journalStays");
        QTest::newRow("garbage") << QByteArray("\x01\x02 not a journal [queue") << "" << 0 << false << 0
                                 << false;
        QTest::newRow("files gone") << QByteArray() << "gone.avi" << int(QMessageBox::Yes) << true << 2
                                    << false;
        QTest::newRow("declined") << QByteArray() << "" << int(QMessageBox::No) << true << 0 << false;
        QTest::newRow("every file done")
            << QByteArray("[queue]\ncount=1\n[item1]\nsource=/a.avi\nstate=done\n") << "" << 0 << false << 0
            << false;
        QTest::newRow("a live run's") << QByteArray() << "live" << 0 << false << 0 << true;
    }
    void nextStart()
    {
        QFETCH(QByteArray, journal);
        QFETCH(QString, gone);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(int, rows);
        QFETCH(bool, journalStays);
        const QString path = appFolder + "queue.ini";
        TJournal written;
        written.outputFolder = outFolder;
        written.formatIndex = 3;
        written.items = {{clips[0], "00:00:01", "00:00:01", TJournalState::Failed, ""},
                         {clips[1], "00:00:00", "", TJournalState::Done, outFolder + "two.mp4"},
                         {clips[2], "00:00:00", "", TJournalState::Waiting, ""}};
        if (!gone.isEmpty() && gone != "live")
            written.items.append(
                {work.path() + "/media/" + gone, "00:00:00", "", TJournalState::Waiting, ""});
        if (journal.isEmpty())
            TRunJournal::Write(path, written);
        else
            WriteText(path, journal);
        TRunJournal live;
        if (gone == "live")
            QVERIFY(live.Begin(path, written, nullptr));

        if (answer != 0)
            TMessageBox::nextAnswers = {QMessageBox::StandardButton(answer), QMessageBox::Ok};
        else
            TMessageBox::nextAnswers = {QMessageBox::Ok};
        TWindow w(appFolder);
        QTest::qWait(200);
        const QString question = w.Texts("msgResumeQueue").Format(written.Unfinished().size());
        QCOMPARE(TMessageBox::shownTexts.contains(question), asked);
        QCOMPARE(w.List()->topLevelItemCount(), rows);
        QCOMPARE(QFile::exists(path), journalStays);
        if (journalStays)
            return;
        if (journal.startsWith('\x01')) {
            // Reported with what is wrong, and set aside for a look, never a crash.
            QCOMPARE(TMessageBox::shownTexts.size(), 1);
            QVERIFY(TMessageBox::shownTexts[0].startsWith(SafeFormat(w.Text("msgJournalBad"), path)));
            QCOMPARE(ReadAll(path + ".bad"), journal);
        }
        if (rows > 0) {
            // Put back with their time windows; the file that is gone is named once.
            QCOMPARE(w.Rows(), (QStringList{clips[0] + "|00:00:01|00:00:01", clips[2] + "|00:00:00|"}));
            QCOMPARE(TMessageBox::shownTexts.size(), 2);
            QVERIFY(TMessageBox::shownTexts[1].startsWith(w.Text("msgResumeMissing")));
            QVERIFY(TMessageBox::shownTexts[1].endsWith(work.path() + "/media/" + gone));
            QCOMPARE(Child<QComboBox>(w.frm.get(), "ComboBoxFormatSelect")->currentIndex(), 3);
        }
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], RunAsProgramSwitch) == 0)
        return StartProgram(argc, argv);
    TApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    tst_RunResume test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_RunResume.moc"
