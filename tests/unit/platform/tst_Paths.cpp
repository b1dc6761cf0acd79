// ShortPath and TempFolder: what the program hands to child programs as file names.
#include "platform/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void shortPath_data();
    void shortPath();
    void tempFolder();
};

void TestPaths::shortPath_data()
{
    QTest::addColumn<QString>("given");    // relative to the test folder
    QTest::addColumn<QString>("expected"); // relative to the test folder, "<none>" for empty

    QTest::newRow("file") << "clip.avi"
                          << "clip.avi";
    QTest::newRow("blanks and non-ascii")
        << QStringLiteral(u"My Vidéos/视频 1.avi") << QStringLiteral(u"My Vidéos/视频 1.avi");
    QTest::newRow("dot segments") << QStringLiteral(u"My Vidéos/../clip.avi") << "clip.avi";
    QTest::newRow("folder") << QStringLiteral(u"My Vidéos") << QStringLiteral(u"My Vidéos");
    QTest::newRow("folder with separator") << QStringLiteral(u"My Vidéos/") << QStringLiteral(u"My Vidéos/");
    QTest::newRow("missing file") << "missing.avi"
                                  << "<none>";
    QTest::newRow("missing folder") << "nowhere/clip.avi"
                                    << "<none>";
}

void TestPaths::shortPath()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(u"My Vidéos")));
    for (const QString& name : {QStringLiteral("clip.avi"), QStringLiteral(u"My Vidéos/视频 1.avi")}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString root = QDir(dir.path()).absolutePath() + u'/';
    QCOMPARE(ShortPath(root + given), expected == QLatin1String("<none>") ? QString() : root + expected);

    // A relative path becomes absolute.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root);
    const QString relative = ShortPath(given);
    QDir::setCurrent(previous);
    QCOMPARE(relative, expected == QLatin1String("<none>") ? QString() : root + expected);
}

void TestPaths::tempFolder()
{
    const QString folder = TempFolder();
    QVERIFY(folder.endsWith(u'/'));
    QVERIFY(!folder.endsWith(QStringLiteral("//")));
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(QDir::isAbsolutePath(folder));
    QCOMPARE(ShortPath(QString()), QString());
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_Paths.moc"
