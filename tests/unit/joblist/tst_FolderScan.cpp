// The folder scan over a real tree: filters, sub-folders, folders named like files, hidden
// files, a symbolic-link loop and an unreadable folder.

#include "support/AsNobody.h"
#include "joblist/TFolderScan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestFolderScan : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString root;

    void Touch(const QString& relative)
    {
        const QString path = root + u'/' + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QStringList Scan(bool subFolders, const QString& filter, const QString& start = QString())
    {
        QStringList found;
        TFolderScan scan(subFolders, filter);
        scan.onEntry = [&found](const QString& path) { found << path; };
        scan.Run(start.isEmpty() ? root : start);
        for (QString& path : found)
            path = path.mid(root.size() + 1);
        found.sort();
        return found;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        root = dir.path() + QStringLiteral("/m");
        Touch(QStringLiteral("a.avi"));
        Touch(QStringLiteral("b.MP4"));
        Touch(QStringLiteral("c.txt"));
        Touch(QStringLiteral("noext"));
        Touch(QStringLiteral(".hidden.avi"));
        Touch(QStringLiteral("with blank 'q'.wav"));
        Touch(QStringLiteral("sub/d.avi"));
        Touch(QStringLiteral("sub/deep/e.mkv"));
        Touch(QStringLiteral("x.avi/f.mp4"));
        Touch(QStringLiteral("x.avi/g.avi"));
        QVERIFY(QFile::link(root, root + QStringLiteral("/sub/loop")));
    }

    void scan_data()
    {
        QTest::addColumn<bool>("subFolders");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        const QStringList everything{".hidden.avi", "a.avi",      "b.MP4",          "c.txt",
                                     "noext",       "sub/d.avi",  "sub/deep/e.mkv", "with blank 'q'.wav",
                                     "x.avi/f.mp4", "x.avi/g.avi"};
        QTest::newRow("* with sub-folders") << true << "*" << everything;
        QTest::newRow("empty filter is *") << true << "" << everything;
        QTest::newRow("* without sub-folders: folders are entries")
            << false << "*" << QStringList{".hidden.avi",        "a.avi", "b.MP4", "c.txt", "noext", "sub",
                                           "with blank 'q'.wav", "x.avi"};
        QTest::newRow("avi enters only folders named *.avi")
            << true << "avi" << QStringList{".hidden.avi", "a.avi", "x.avi/g.avi"};
        QTest::newRow("avi without sub-folders")
            << false << "avi" << QStringList{".hidden.avi", "a.avi", "x.avi"};
        QTest::newRow("filter matches without regard to case") << true << "mp4" << QStringList{"b.MP4"};
        QTest::newRow("blanks around the filter")
            << true << " avi " << QStringList{".hidden.avi", "a.avi", "x.avi/g.avi"};
        QTest::newRow("nothing matches") << true << "ogg" << QStringList{};
    }
    void scan()
    {
        QFETCH(bool, subFolders);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(Scan(subFolders, filter), expected);
    }

    void linkLoopIsEnteredOnce()
    {
        // Starting inside the loop reaches the root once and the loop's target no second time.
        const QStringList found = Scan(true, QStringLiteral("*"), root + QStringLiteral("/sub"));
        QVERIFY(found.contains(QStringLiteral("sub/d.avi")));
        QVERIFY(found.contains(QStringLiteral("sub/loop/a.avi")));
        QCOMPARE(found.count(QStringLiteral("sub/loop/sub/d.avi")), 0);
        QVERIFY(found.size() < 20);
    }

    void missingFolderAddsNothing()
    {
        QCOMPARE(Scan(true, "*", root + QStringLiteral("/gone")), QStringList{});
    }

    void unreadableFolderIsSkipped()
    {
        // The superuser reads every folder: the check runs as an ordinary user then.
        VELMORA_RUN_AS_NOBODY_WHEN_ROOT();
        Touch(QStringLiteral("locked/h.avi"));
        QFile::setPermissions(root + QStringLiteral("/locked"), QFileDevice::Permissions{});
        const QStringList found = Scan(true, QStringLiteral("*"));
        QFile::setPermissions(root + QStringLiteral("/locked"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!found.contains(QStringLiteral("locked/h.avi")));
        QVERIFY(found.contains(QStringLiteral("x.avi/g.avi")));
    }

    void scanEndsWhenAsked()
    {
        QStringList found;
        TFolderScan scan(true, QStringLiteral("*"));
        scan.onEntry = [&found](const QString& path) { found << path; };
        scan.afterEntry = [&found] { return found.size() < 3; };
        scan.Run(root);
        QCOMPARE(found.size(), 3);
    }

    void afterEntryRunsForEachEntry()
    {
        int calls = 0;
        int entries = 0;
        TFolderScan scan(false, QStringLiteral("*"));
        scan.onEntry = [&entries](const QString&) { ++entries; };
        scan.afterEntry = [&calls] {
            ++calls;
            return true;
        };
        scan.Run(root);
        QCOMPARE(calls, entries);
        QCOMPARE(entries, 8);
    }
};

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_FolderScan.moc"
