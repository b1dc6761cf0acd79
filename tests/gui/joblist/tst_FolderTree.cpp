// The Add Folder window opens in the home folder: the folder is selected and scrolled into view
// once the tree is on the screen, however deep it lies and however late the folders above it
// are listed.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestFolderTree : public QObject
{
    Q_OBJECT

private slots:
    void chosenFolderIsShown_data()
    {
        QTest::addColumn<QString>("home");
        QTest::newRow("plain") << QStringLiteral("zz/deep/home");
        QTest::newRow("blanks and Chinese") << QStringLiteral("z deep/er/still 视频");
    }

    void chosenFolderIsShown()
    {
        QFETCH(QString, home);
        QTemporaryDir root;
        // Many folders before the chosen one, so that it lies far below the first screenful.
        for (int i = 0; i < 60; ++i)
            QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("a%1").arg(i, 2, 10, QChar(u'0')))));
        const QString chosen = root.filePath(home);
        QVERIFY(QDir().mkpath(chosen));

        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), chosen);
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral(PROBE_PATH), QStringList());
        QVERIFY(probe.waitForFinished(60000));
        QCOMPARE(probe.exitCode(), 0);
        const QString said = QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
        QVERIFY2(said.startsWith(QStringLiteral("shown ") + chosen + u' '), qPrintable(said));
    }
};

QTEST_MAIN(TestFolderTree)
#include "tst_FolderTree.moc"
