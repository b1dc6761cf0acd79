// The journal of a run: what it holds and reads back, what is no journal, how it follows a real
// run (with a stand-in encoder) and goes when told, a second copy of the program, a folder that
// cannot take it, the output a cut-off run made, which the next run replaces unasked while it is
// that very file, and the leftovers such a run leaves, which the next start removes.

#include "engine/FileIdentity.h"
#include "engine/OutputFile.h"
#include "engine/TBatchRun.h"
#include "engine/TRunJournal.h"
#include "platform/IniFile.h"
#include "support/ErrorOf.h"
#include "support/StandInProgram.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace TestSupport;

Q_DECLARE_METATYPE(TJournal)

namespace {

bool SameJournal(const TJournal& a, const TJournal& b)
{
    if (a.outputFolder != b.outputFolder || a.formatIndex != b.formatIndex || a.formatFile != b.formatFile ||
        a.items.size() != b.items.size())
        return false;
    for (qsizetype i = 0; i < a.items.size(); ++i) {
        const TJournalItem& x = a.items[i];
        const TJournalItem& y = b.items[i];
        if (x.source != y.source || x.startText != y.startText || x.durationText != y.durationText ||
            x.state != y.state || x.output != y.output ||
            x.outputIdentity.Text() != y.outputIdentity.Text() || x.partial != y.partial ||
            x.partialIdentity.Text() != y.partialIdentity.Text())
            return false;
    }
    return true;
}

QList<TJournalState> States(const QString& path)
{
    QList<TJournalState> states;
    try {
        for (const TJournalItem& item : TRunJournal::Read(path).items)
            states << item.state;
    } catch (const AppError&) {
    }
    return states;
}

} // namespace

class tst_RunJournal : public QObject, TStandInProgram
{
    Q_OBJECT

    QString Folder(const QString& name) const
    {
        const QString folder =
            work.path() + u'/' + name + QString::fromLatin1(QTest::currentDataTag()) + u'/';
        QDir().mkpath(folder);
        return folder;
    }

private slots:
    void initTestCase() { PrepareProgramFolder(QStringLiteral(SLOW_ENCODER)); }

    void writeAndRead_data()
    {
        QTest::addColumn<TJournal>("journal");
        TJournal plain;
        plain.outputFolder = "/home/user/Videos";
        plain.formatIndex = 2;
        plain.formatFile = "01-mp4-h264-aac.pf";
        plain.items = {
            {"/media/one.avi", "00:00:00", "", TJournalState::Done, "/home/user/Videos/one.mp4"},
            {"/media/two.avi", "00:00:05", "00:01:00", TJournalState::Converting,
             "/home/user/Videos/two.mp4"},
            {"/media/three.avi", "00:00:00", "", TJournalState::Waiting, ""},
            {"/media/four.avi", "00:00:00", "", TJournalState::Failed, ""},
            {"/media/five.avi", "00:00:00", "", TJournalState::Skipped, ""},
            {"/media/six.avi", "00:00:00", "", TJournalState::Stopped, "/home/user/Videos/six.mp4"}};
        QTest::newRow("every state") << plain;

        TJournal files = plain;
        TFileIdentity placeholder;
        placeholder.valid = true;
        placeholder.device = 2049;
        placeholder.inode = 18446744073709551615ull;
        placeholder.size = 6;
        placeholder.changeSeconds = 1733835600;
        placeholder.changeNanoseconds = 5;
        files.items[1].outputIdentity = placeholder;
        files.items[1].partial = "/home/user/Videos/.two.mp4.velmora-k3x9q2.mp4";
        files.items[1].partialIdentity = placeholder;
        files.items[1].partialIdentity.inode = 7;
        files.items[0].outputIdentity = placeholder;
        files.items[0].outputIdentity.size = 123456789012;
        files.items[0].outputIdentity.changeSeconds = -1;
        QTest::newRow("the files the run made") << files;

        TJournal awkward;
        awkward.outputFolder = " /out with blanks/ ";
        awkward.formatIndex = -1;
        awkward.items = {
            {"/media/line\nbreak.avi", "00:00:00", "", TJournalState::Waiting, ""},
            {"/media/return\r.avi", "00:00:00", "", TJournalState::Waiting, ""},
            {"/media/100% sure %0A.avi", "00:00:00", "", TJournalState::Waiting, ""},
            {"\"/media/quoted.avi\"", "00:00:00", "", TJournalState::Waiting, ""},
            {"/media/[section] key=value ;comment.avi", "00:00:00", "", TJournalState::Waiting, ""},
            {"/media/视频 文件.avi", "00:00:00", "", TJournalState::Converting, "/out/视频 文件.mp4"},
            {" /media/blank at both ends.avi ", "00:00:00", "", TJournalState::Waiting, ""}};
        QTest::newRow("names the INI rules would spoil") << awkward;

        TJournal empty;
        empty.outputFolder = "/out";
        QTest::newRow("no items") << empty;
    }
    void writeAndRead()
    {
        QFETCH(TJournal, journal);
        const QString path = Folder("roundtrip") + TRunJournal::FileName();
        TRunJournal::Write(path, journal);
        const TJournal read = TRunJournal::Read(path);
        QVERIFY(SameJournal(read, journal));
        // It is an INI file like config.ini: one key at a time reads the same.
        QCOMPARE(IniFile(path).ReadInteger("QUEUE", "Count", -1), int(journal.items.size()));
    }

    void unfinished()
    {
        TJournal journal;
        journal.items = {{"/a.avi", "", "", TJournalState::Done, ""},
                         {"/b.avi", "", "", TJournalState::Failed, ""},
                         {"/c.avi", "", "", TJournalState::Done, ""},
                         {"/d.avi", "", "", TJournalState::Waiting, ""}};
        QStringList sources;
        for (const TJournalItem& item : journal.Unfinished())
            sources << item.source;
        QCOMPARE(sources, (QStringList{"/b.avi", "/d.avi"}));
    }

    void noJournal_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << "the section [queue] is missing";
        QTest::newRow("binary") << QByteArray("\x00\x01\xff\xfe garbage \x7f\n\x80", 16)
                                << "the section [queue] is missing";
        QTest::newRow("no count") << QByteArray("[queue]\noutputFolder=/out\n")
                                  << "the number of items is missing";
        QTest::newRow("count not a number")
            << QByteArray("[queue]\ncount=many\n") << "the number of items is missing";
        QTest::newRow("negative count")
            << QByteArray("[queue]\ncount=-1\n") << "the number of items is missing";
        QTest::newRow("more counted than there")
            << QByteArray("[queue]\ncount=2000000000\n[item1]\nsource=/a.avi\nstate=waiting\n")
            << "2000000000 items are counted, but the file holds fewer";
        QTest::newRow("an item missing")
            << QByteArray("[queue]\ncount=2\n[item1]\nsource=/a.avi\nstate=waiting\n[item3]\nsource=/c.avi\n")
            << "item 2 is missing";
        QTest::newRow("an item without a file")
            << QByteArray("[queue]\ncount=1\n[item1]\nstate=waiting\n") << "item 1 names no file";
        QTest::newRow("an unknown state")
            << QByteArray("[queue]\ncount=1\n[item1]\nsource=/a.avi\nstate=half\n")
            << "item 1: unknown state \"half\"";
    }
    void noJournal()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const QString path = Folder("garbage") + TRunJournal::FileName();
        WriteText(path, content);
        QCOMPARE(ErrorOf([&] { TRunJournal::Read(path); }), error);
    }

    // An identity that does not read is none: the journal still reads, and waives nothing.
    void identityThatDoesNotRead_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("missing (an earlier version)") << QByteArray();
        QTest::newRow("empty") << QByteArray("outputFile=\n");
        QTest::newRow("words") << QByteArray("outputFile=the very file\n");
        QTest::newRow("three numbers") << QByteArray("outputFile=1:2:3\n");
        QTest::newRow("no nanoseconds") << QByteArray("outputFile=1:2:3:4\n");
        QTest::newRow("a negative size") << QByteArray("outputFile=1:2:-3:4.000000000\n");
        QTest::newRow("too large") << QByteArray("outputFile=99999999999999999999:2:3:4.000000000\n");
    }
    void identityThatDoesNotRead()
    {
        QFETCH(QByteArray, value);
        const QString path = Folder("identity") + TRunJournal::FileName();
        WriteText(path,
                  "[queue]\ncount=1\n[item1]\nsource=/a.avi\nstate=converting\noutput=/out/a.mp4\n" + value);
        const TJournal journal = TRunJournal::Read(path);
        QCOMPARE(journal.items.size(), 1);
        QCOMPARE(journal.items[0].output, QStringLiteral("/out/a.mp4"));
        QVERIFY(!journal.items[0].outputIdentity.valid);
    }

    void notAFile()
    {
        const QString path = Folder("folder") + TRunJournal::FileName();
        QVERIFY(QDir().mkpath(path));
        QCOMPARE(ErrorOf([&] { TRunJournal::Read(path); }), QStringLiteral("the file cannot be read"));
    }

    // A journal that cannot be read goes out of the way, over an older one.
    void setAside()
    {
        const QString folder = Folder("aside");
        WriteText(folder + "queue.ini.bad", "older");
        WriteText(folder + "queue.ini", "garbage");
        QCOMPARE(TRunJournal::SetAside(folder + "queue.ini"), folder + "queue.ini.bad");
        QVERIFY(!QFile::exists(folder + "queue.ini"));
        QCOMPARE(ReadAll(folder + "queue.ini.bad"), QByteArray("garbage"));
    }

    // Written at once when the run starts, following each item's state, and gone when ended;
    // while it is kept, the journal is in use for every other reader.
    void followsARun()
    {
        const QString folder = Folder("run");
        const QString path = folder + TRunJournal::FileName();
        const QString out = Folder("run-out");
        const QList<TBatchItem> items{{Source("a.avi", "seconds=30\nstep=100\n"), "00:00:00", ""},
                                      {Source("b.avi", "fail\n"), "00:00:00", ""},
                                      {Source("c.avi", "seconds=3\nstep=100\n"), "00:00:00", ""}};
        TJournal journal;
        journal.outputFolder = out;
        journal.formatIndex = 1;
        for (const TBatchItem& item : items)
            journal.items << TJournalItem{item.source, item.startText, item.durationText,
                                          TJournalState::Waiting, ""};

        TBatchRun run(*common);
        TRunJournal keeper;
        QSignalSpy runFinished(&run, &TBatchRun::RunFinished);
        // What the file said while the first item converted.
        QList<TJournalState> statesWhileFirstConverts;
        QString outputWhileFirstConverts;
        TJournalItem firstWhileItConverts;
        TFileIdentity outputThen;
        TFileIdentity partialThen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!statesWhileFirstConverts.isEmpty() || run.RunningCount() == 0 || run.ProcessId(0) == 0)
                return;
            const QList<TJournalState> states = States(path);
            if (states.value(0) != TJournalState::Converting)
                return;
            statesWhileFirstConverts = states;
            firstWhileItConverts = TRunJournal::Read(path).items[0];
            outputWhileFirstConverts = firstWhileItConverts.output;
            outputThen = TFileIdentity::Of(firstWhileItConverts.output);
            partialThen = TFileIdentity::Of(firstWhileItConverts.partial);
        });
        watch.start(10);
        run.Start(items, Settings(), out, 1, {});
        QVERIFY(keeper.Begin(path, journal, &run));
        QVERIFY(keeper.IsKeeping());
        QVERIFY(SameJournal(TRunJournal::Read(path), journal));
        QVERIFY(TRunJournal::InUse(path));

        QTRY_VERIFY_WITH_TIMEOUT(runFinished.size() == 1, 60000);
        QCOMPARE(statesWhileFirstConverts,
                 (QList<TJournalState>{TJournalState::Converting, TJournalState::Waiting,
                                       TJournalState::Waiting}));
        QCOMPARE(outputWhileFirstConverts, out + "a.mp4");
        // Which files the run made: its placeholder at the output's name, as it is, and the
        // partial file beside it that the encoder writes.
        QVERIFY(firstWhileItConverts.outputIdentity.Unchanged(outputThen));
        QVERIFY(IsPartialOf(firstWhileItConverts.partial, out + "a.mp4"));
        QVERIFY(firstWhileItConverts.partialIdentity.SameFile(partialThen));
        // The last state is in the file as soon as the run is over.
        QCOMPARE(States(path),
                 (QList<TJournalState>{TJournalState::Done, TJournalState::Failed, TJournalState::Done}));
        const TJournal last = TRunJournal::Read(path);
        // The outputs it kept are its own; the failed item made none, and no partial file is left.
        QVERIFY(last.items[0].outputIdentity.Unchanged(TFileIdentity::Of(out + "a.mp4")));
        QVERIFY(!last.items[1].outputIdentity.valid);
        QVERIFY(last.items[2].outputIdentity.Unchanged(TFileIdentity::Of(out + "c.mp4")));
        for (const TJournalItem& item : last.items)
            QCOMPARE(item.partial, QString());
        keeper.End();
        QVERIFY(!QFile::exists(path));
        QVERIFY(!TRunJournal::InUse(path));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // A list too long to be written at every change (here: one of more than ten items) is
    // written at most once a second, however fast its items change.
    void atMostOnceASecond()
    {
        const QString path = Folder("rate") + TRunJournal::FileName();
        const QString out = Folder("rate-out");
        QList<TBatchItem> items;
        TJournal journal;
        for (int i = 0; i < 60; ++i) {
            const QString failing = Source(QStringLiteral("fails%1.avi").arg(i), "fail\n");
            items << TBatchItem{failing, "00:00:00", ""};
            journal.items << TJournalItem{failing, "00:00:00", "", TJournalState::Waiting, ""};
        }
        TBatchRun run(*common);
        TRunJournal keeper;
        QSignalSpy runFinished(&run, &TBatchRun::RunFinished);
        QSet<QByteArray> versions;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] { versions.insert(ReadAll(path)); });
        watch.start(5);
        QElapsedTimer took;
        took.start();
        keeper.atOnceItems = 10;
        run.Start(items, Settings(), out, 2, {});
        QVERIFY(keeper.Begin(path, journal, &run));
        QTRY_VERIFY_WITH_TIMEOUT(runFinished.size() == 1, 60000);
        QTRY_VERIFY(States(path).count(TJournalState::Failed) == 60);
        watch.stop();
        versions.insert(ReadAll(path));
        versions.remove(QByteArray());
        const qint64 seconds = took.elapsed() / 1000;
        QVERIFY2(versions.size() <= seconds + 2,
                 qPrintable(QStringLiteral("%1 versions in %2 s").arg(versions.size()).arg(seconds)));
        QVERIFY(versions.size() >= 2);
        keeper.End();
    }

    // An item's start and its end are in the file before anybody else hears of them: a kill a
    // moment later finds them said.
    void writtenAtOnce()
    {
        const QString path = Folder("at once") + TRunJournal::FileName();
        const QString out = Folder("at once-out");
        QList<TBatchItem> items;
        TJournal journal;
        for (const auto& [name, content] : {std::pair{"a.avi", "seconds=1\nstep=10\n"},
                                            {"b.avi", "fail\n"},
                                            {"c.avi", "seconds=1\nstep=10\n"}}) {
            items << TBatchItem{Source(QString::fromLatin1(name), content), "00:00:00", ""};
            journal.items << TJournalItem{items.last().source, "00:00:00", "", TJournalState::Waiting, ""};
        }
        TBatchRun run(*common);
        TRunJournal keeper;
        QSignalSpy runFinished(&run, &TBatchRun::RunFinished);
        run.Start(items, Settings(), out, 2, {});
        QVERIFY(keeper.Begin(path, journal, &run));
        // Connected after the journal: told after it.
        QStringList seen;
        connect(&run, &TBatchRun::ItemStarted, this, [&](int index, const QString&) {
            seen << QStringLiteral("%1 %2").arg(index).arg(TRunJournal::StateText(States(path).value(index)));
        });
        connect(&run, &TBatchRun::ItemFinished, this, [&](int index, TItemResult) {
            seen << QStringLiteral("%1 %2").arg(index).arg(TRunJournal::StateText(States(path).value(index)));
        });
        QTRY_VERIFY_WITH_TIMEOUT(runFinished.size() == 1, 60000);
        seen.sort();
        QCOMPARE(seen, (QStringList{"0 converting", "0 done", "1 converting", "1 failed", "2 converting",
                                    "2 done"}));
        keeper.End();
    }

    // A second copy of the program converting at the same time keeps no journal of its own
    // over the first one's.
    void secondCopy()
    {
        const QString path = Folder("two") + TRunJournal::FileName();
        TJournal first;
        first.items = {{"/first.avi", "00:00:00", "", TJournalState::Waiting, ""}};
        TJournal second;
        second.items = {{"/second.avi", "00:00:00", "", TJournalState::Waiting, ""}};
        TRunJournal a;
        TRunJournal b;
        QVERIFY(a.Begin(path, first, nullptr));
        QVERIFY(!b.Begin(path, second, nullptr));
        QVERIFY(!b.IsKeeping());
        QCOMPARE(TRunJournal::Read(path).items[0].source, QStringLiteral("/first.avi"));
        b.End(); // ends nothing of the other's
        QVERIFY(QFile::exists(path));
        a.End();
        QVERIFY(b.Begin(path, second, nullptr));
        QCOMPARE(TRunJournal::Read(path).items[0].source, QStringLiteral("/second.avi"));
    }

    void cannotBeWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no place for settings") << "none";
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("a folder of that name") << "folder";
    }
    // Nothing can be kept: Begin says so and leaves nothing behind.
    void cannotBeWritten()
    {
        QFETCH(QString, kind);
        const QString folder = Folder("readonly");
        QString path = folder + TRunJournal::FileName();
        if (kind == "none")
            path.clear();
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        TJournal journal;
        journal.items = {{"/a.avi", "00:00:00", "", TJournalState::Waiting, ""}};
        TRunJournal keeper;
        QVERIFY(!ErrorOf([&] { keeper.Begin(path, journal, nullptr); }).isEmpty());
        QVERIFY(!keeper.IsKeeping());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (kind == "read-only")
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList());
    }

    void replaceableOutput_data()
    {
        QTest::addColumn<QStringList>("existing"); // files in the output folder before the run
        QTest::addColumn<QString>("replaceable");  // relative to the output folder, or absolute
        QTest::addColumn<QString>("identity");     // "left": the placeholder as the cut-off run left
                                                   // it; "changed", "replaced" since; "written": an
                                                   // output, not a placeholder; "none": an older
                                                   // journal's; "source": also a source
        QTest::addColumn<bool>("asked");           // the existing-output question came
        QTest::addColumn<QString>("written");      // the file the run wrote, "" for none
        QTest::newRow("the output itself") << QStringList{"clip.mp4"} << "clip.mp4"
                                           << "left" << false << "clip.mp4";
        QTest::newRow("one of its automatic names")
            << QStringList{"clip.mp4", "clip.mp4(1).mp4"} << "clip.mp4(1).mp4"
            << "left" << false << "clip.mp4(1).mp4";
        QTest::newRow("a later automatic name")
            << QStringList{"clip.mp4", "clip.mp4(1).mp4", "clip.mp4(1).mp4(1).mp4"}
            << "clip.mp4(1).mp4(1).mp4"
            << "left" << false << "clip.mp4(1).mp4(1).mp4";
        QTest::newRow("gone since") << QStringList{"clip.mp4"} << "clip.mp4(1).mp4"
                                    << "left" << true << "";
        QTest::newRow("another file") << QStringList{"clip.mp4", "other.mp4"} << "other.mp4"
                                      << "left" << true << "";
        QTest::newRow("like an automatic name, but not one")
            << QStringList{"clip.mp4", "clip.mp4(2).mp4x"} << "clip.mp4(2).mp4x"
            << "left" << true << "";
        QTest::newRow("a link") << QStringList{"clip.mp4>target.mp4", "target.mp4"} << "clip.mp4"
                                << "left" << true << "";
        QTest::newRow("a folder") << QStringList{"clip.mp4/"} << "clip.mp4"
                                  << "left" << true << "";
        QTest::newRow("nothing named") << QStringList{"clip.mp4"} << ""
                                       << "left" << true << "";
        // The journal names the file but it is not the one the run made, or not as it was.
        QTest::newRow("written to since") << QStringList{"clip.mp4"} << "clip.mp4"
                                          << "changed" << true << "";
        QTest::newRow("another file put in its place") << QStringList{"clip.mp4"} << "clip.mp4"
                                                       << "replaced" << true << "";
        QTest::newRow("an older journal, which does not say") << QStringList{"clip.mp4"} << "clip.mp4"
                                                              << "none" << true << "";
        // A journal can be made to name any file with its true identity: only a placeholder,
        // which holds nothing, is ever replaced unasked.
        QTest::newRow("a file with content") << QStringList{"clip.mp4"} << "clip.mp4"
                                             << "written" << true << "";
        // A source is never replaced, not even a placeholder: it gets another name.
        QTest::newRow("a source of the batch") << QStringList{"clip.mp4"} << "clip.mp4"
                                               << "source" << false << "";
    }
    // Only that very placeholder, when it still exists as the cut-off run left it and the item's
    // output name leads to it, is replaced without a question; anything else is settled as usual
    // (here: skipped).
    void replaceableOutput()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, replaceable);
        QFETCH(QString, identity);
        QFETCH(bool, asked);
        QFETCH(QString, written);
        const QString out = Folder("replace");
        TBatchItem item{Source("clip.avi", "seconds=1\nstep=10\n"), "00:00:00", ""};
        item.replaceableOutput = replaceable.isEmpty() ? QString() : out + replaceable;
        const QByteArray left = identity == "written" ? QByteArray("before") : PlaceholderText();
        QMap<QString, QByteArray> before;
        for (const QString& entry : existing) {
            if (entry.endsWith(u'/')) {
                QVERIFY(QDir().mkpath(out + entry));
            } else if (entry.contains(u'>')) {
                QVERIFY(QFile::link(out + entry.section(u'>', 1), out + entry.section(u'>', 0, 0)));
            } else {
                before[entry] = out + entry == item.replaceableOutput ? left : QByteArray("before");
                WriteText(out + entry, before[entry]);
            }
        }
        item.replaceableIdentity = TFileIdentity::Of(item.replaceableOutput);
        if (identity == "changed") {
            QTest::qWait(20);
            QFile file(item.replaceableOutput);
            QVERIFY(file.open(QIODevice::Append));
            file.write("+");
            file.close();
            QVERIFY(file.resize(left.size()));
        } else if (identity == "replaced") {
            QVERIFY(QFile::rename(item.replaceableOutput, out + "kept aside"));
            WriteText(item.replaceableOutput, left);
            before["kept aside"] = left;
        } else if (identity == "none") {
            item.replaceableIdentity = TFileIdentity();
        }
        QList<TBatchItem> items{item};
        if (identity == "source")
            items << TBatchItem{item.replaceableOutput, "00:00:00", ""};
        TBatchRun run(*common);
        QSignalSpy runFinished(&run, &TBatchRun::RunFinished);
        int questions = 0;
        run.Start(items, Settings(), out, 1, [&questions](int, const QString&) {
            ++questions;
            return QString();
        });
        QTRY_VERIFY_WITH_TIMEOUT(runFinished.size() == 1, 30000);
        QCOMPARE(questions > 0, asked);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(ReadAll(out + it.key()), it.key() == written ? QByteArray("converted 1\n") : it.value());
    }

    // The cut-off run's placeholder is taken over as this run's own: an item that fails again
    // leaves nothing, as it would with a placeholder of its own.
    void replaceableOutputOfAFailedItem()
    {
        const QString out = Folder("replace failed");
        const QString output = out + "clip.mp4";
        ReservePlaceholder(output);
        TBatchItem item{Source("clip.avi", "fail\n"), "00:00:00", ""};
        item.replaceableOutput = output;
        item.replaceableIdentity = TFileIdentity::Of(output);
        TBatchRun run(*common);
        QSignalSpy runFinished(&run, &TBatchRun::RunFinished);
        int questions = 0;
        run.Start({item}, Settings(), out, 1, [&questions](int, const QString& path) {
            ++questions;
            return path;
        });
        QTRY_VERIFY_WITH_TIMEOUT(runFinished.size() == 1, 30000);
        QCOMPARE(questions, 0);
        QCOMPARE(runFinished.first().at(0).toStringList(), QStringList{".avi"});
        QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void leftovers_data()
    {
        QTest::addColumn<QString>("change");    // what happened to the files since the journal was written
        QTest::addColumn<bool>("placeholders"); // they go too (the files are not put back)
        QTest::addColumn<bool>("partialGoes");
        QTest::addColumn<bool>("placeholderGoes");
        QTest::newRow("nothing") << "" << true << true << true;
        QTest::newRow("nothing, the files put back") << "" << false << true << false;
        QTest::newRow("the placeholder was written to") << "written" << true << true << false;
        QTest::newRow("other files under those names") << "replaced" << true << false << false;
        QTest::newRow("no identities (an older journal)") << "none" << true << false << false;
        // A crafted journal may name any file, with its true identity: only a name the run
        // gives to partial files beside the output is ever removed.
        QTest::newRow("a partial that is somebody's file") << "foreign" << true << false << true;
        QTest::newRow("a partial beside another output") << "elsewhere" << true << false << true;
    }
    // What a cut-off run leaves that is of no use goes at the next start: its partial files
    // and its empty placeholders, and only the very files the journal names.
    void leftovers()
    {
        QFETCH(QString, change);
        QFETCH(bool, placeholders);
        QFETCH(bool, partialGoes);
        QFETCH(bool, placeholderGoes);
        const QString out = Folder("leftovers");
        const QString output = out + "clip.mp4";
        ReservePlaceholder(output);
        QString partial = CreatePartial(output);
        WriteText(partial, "half written");
        TJournalItem item{"/media/clip.avi", "00:00:00", "", TJournalState::Converting, output};
        item.outputIdentity = TFileIdentity::Of(output);
        item.partial = partial;
        item.partialIdentity = TFileIdentity::Of(partial);
        QByteArray placeholderText = PlaceholderText();
        QByteArray partialText = "half written";
        if (change == "written") {
            QTest::qWait(20);
            placeholderText = "an output after all";
            WriteText(output, placeholderText);
        } else if (change == "replaced") {
            // Kept under other names, so the new files cannot have their inodes.
            QVERIFY(QFile::rename(output, out + "old placeholder"));
            QVERIFY(QFile::rename(partial, out + "old partial"));
            WriteText(output, PlaceholderText());
            WriteText(partial, partialText);
        } else if (change == "none") {
            item.outputIdentity = TFileIdentity();
            item.partialIdentity = TFileIdentity();
        } else if (change == "foreign" || change == "elsewhere") {
            partial = change == "foreign"
                          ? out + "precious.mp4"
                          : Folder("leftovers-other") + "." + QFileInfo(partial).fileName().mid(1);
            partialText = "precious";
            WriteText(partial, partialText);
            item.partial = partial;
            item.partialIdentity = TFileIdentity::Of(partial);
        }
        TJournal journal;
        journal.items = {item, {"/media/other.avi", "00:00:00", "", TJournalState::Waiting, ""}};
        TRunJournal::RemoveLeftovers(journal.items, placeholders);
        QCOMPARE(QFile::exists(partial), !partialGoes);
        if (!partialGoes)
            QCOMPARE(ReadAll(partial), partialText);
        QCOMPARE(QFile::exists(output), !placeholderGoes);
        if (!placeholderGoes)
            QCOMPARE(ReadAll(output), placeholderText);
    }
};

QTEST_GUILESS_MAIN(tst_RunJournal)
#include "tst_RunJournal.moc"
