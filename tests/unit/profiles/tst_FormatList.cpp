// The format list's profiles in a stable order, and the items a settings box gets.

#include "profiles/TProfileCatalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_FormatList : public QObject
{
    Q_OBJECT

private slots:
    void listSortedByFileName()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/profile/");
        QVERIFY(QDir().mkpath(folder));
        for (const char* name : {"b.pf", "C.PF", "a.pf", "c.txt", ".hidden.pf", "a.pf.bak", "pf"}) {
            QFile file(folder + QString::fromLatin1(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir().mkpath(folder + QStringLiteral("folder.pf")));
        QCOMPARE(TProfileCatalogue::ListProfileFiles(folder),
                 (QStringList{folder + ".hidden.pf", folder + "a.pf", folder + "b.pf", folder + "C.PF"}));
    }

    void missingOrEmptyFolder()
    {
        QTemporaryDir dir;
        QCOMPARE(TProfileCatalogue::ListProfileFiles(dir.path()), QStringList());
        QCOMPARE(TProfileCatalogue::ListProfileFiles(dir.path() + QStringLiteral("/none/")), QStringList());
    }

    void entryText()
    {
        QCOMPARE(TProfileCatalogue::EntryText(QStringLiteral("MP4 Video"), QStringLiteral("mp4")),
                 QStringLiteral("MP4 Video(*.mp4)"));
    }

    void choiceItems_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("choices");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("match");
        QTest::newRow("value among choices") << "128"
                                             << "96;128;-1" << QStringList{"96", "128", "auto"} << 1;
        QTest::newRow("auto selected") << "-1"
                                       << "64;-1" << QStringList{"64", "auto"} << 1;
        QTest::newRow("value not among") << "700"
                                         << "96;128" << QStringList{"96", "128"} << -1;
        QTest::newRow("last equal wins") << "2"
                                         << "1;2;2" << QStringList{"1", "2", "2"} << 2;
        QTest::newRow("empty pieces dropped") << "128"
                                              << "96;;128;" << QStringList{"96", "128"} << 1;
        QTest::newRow("no choices") << "44100"
                                    << "" << QStringList{} << -1;
        QTest::newRow("letter case counts") << "AAC"
                                            << "aac;mp3" << QStringList{"aac", "mp3"} << -1;
        QTest::newRow("compared before auto") << "auto"
                                              << "auto;-1" << QStringList{"auto", "auto"} << 0;
    }
    void choiceItems()
    {
        QFETCH(QString, value);
        QFETCH(QString, choices);
        QFETCH(QStringList, items);
        QFETCH(int, match);
        const TChoiceItems result = TProfileCatalogue::MakeChoiceItems(value, choices);
        QCOMPARE(result.items, items);
        QCOMPARE(result.match, match);
    }
};

QTEST_GUILESS_MAIN(tst_FormatList)
#include "tst_FormatList.moc"
