// ShortPath and TempFolder: what the program hands to child programs as file names; the home
// folder (HOME, else the user's account's) and the default output folder under it.
#include "platform/Paths.h"
#include "support/AsNobody.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// HOME and XDG_CONFIG_HOME as the test sets them, put back when it ends.
class TEnvironment
{
public:
    TEnvironment() : home(qgetenv("HOME")), config(qgetenv("XDG_CONFIG_HOME")) {}
    ~TEnvironment()
    {
        Put("HOME", home);
        Put("XDG_CONFIG_HOME", config);
    }
    static void Put(const char* name, const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }

private:
    QByteArray home;
    QByteArray config;
};

// The home folder the system's own tool gives the running user.
QString AccountHomeOfGetent()
{
    QProcess getent;
    getent.start(QStringLiteral("getent"), {QStringLiteral("passwd"), QString::number(::getuid())});
    if (!getent.waitForFinished(10000))
        return QString();
    return QString::fromLocal8Bit(getent.readAllStandardOutput()).trimmed().section(u':', 5, 5);
}

} // namespace

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void shortPath_data();
    void shortPath();
    void tempFolder();
    void homeFolderRule_data();
    void homeFolderRule();
    void homeFromTheAccount();
    void videosFolder_data();
    void videosFolder();
    void defaultOutputFolder();
    void noHomeAtAll();
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

void TestPaths::homeFolderRule_data()
{
    QTest::addColumn<QString>("home");    // HOME; "<unset>" for none, relative to the test folder
    QTest::addColumn<QString>("account"); // the account's home folder, likewise
    QTest::addColumn<QString>("chosen");  // relative to the test folder, "<none>" for none

    QTest::newRow("HOME") << "home"
                          << "account"
                          << "home";
    QTest::newRow("HOME with a trailing slash") << "home/"
                                                << "account"
                                                << "home";
    QTest::newRow("no HOME") << "<unset>"
                             << "account"
                             << "account";
    QTest::newRow("relative HOME") << "<relative>"
                                   << "account"
                                   << "account";
    QTest::newRow("HOME is a file") << "file"
                                    << "account"
                                    << "account";
    QTest::newRow("HOME is missing") << "gone/home"
                                     << "account"
                                     << "account";
    QTest::newRow("neither") << "gone/home"
                             << "gone/account"
                             << "<none>";
    QTest::newRow("no HOME, no account home") << "<unset>"
                                              << "<unset>"
                                              << "<none>";
}

void TestPaths::homeFolderRule()
{
    QFETCH(QString, home);
    QFETCH(QString, account);
    QFETCH(QString, chosen);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = QDir(dir.path()).absolutePath() + u'/';
    QVERIFY(QDir().mkpath(root + "home") && QDir().mkpath(root + "account"));
    TestSupport::WriteText(root + "file", "not a folder");
    const auto given = [&root](const QString& name) {
        return name == "<unset>" ? QString() : name == "<relative>" ? QStringLiteral("home") : root + name;
    };
    QCOMPARE(ChooseHomeFolder(given(home), given(account)), chosen == "<none>" ? QString() : root + chosen);
    QVERIFY(!QFileInfo::exists(root + "gone"));
}

void TestPaths::homeFromTheAccount()
{
    const QString account = AccountHomeOfGetent();
    QVERIFY(!account.isEmpty());
    QCOMPARE(AccountHomeFolder(), account);
    const TEnvironment environment;
    qunsetenv("HOME");
    QCOMPARE(HomeFolder(), QFileInfo(account).isDir() ? QDir::cleanPath(account) : QString());
}

void TestPaths::videosFolder_data()
{
    QTest::addColumn<QByteArray>("dirs"); // user-dirs.dirs; "<none>" for no such file
    QTest::addColumn<QString>("videos");  // "~" for the home folder

    QTest::newRow("no user-dirs.dirs") << QByteArray("<none>") << "~/Videos";
    QTest::newRow("under HOME") << QByteArray(
                                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n")
                                << "~/Filme";
    QTest::newRow("blanks and non-ASCII")
        << QByteArray("XDG_VIDEOS_DIR=\"$HOME/我的 视频\"\n") << QStringLiteral(u"~/我的 视频");
    QTest::newRow("absolute") << QByteArray("XDG_VIDEOS_DIR=\"/srv/videos/\"\n") << "/srv/videos";
    QTest::newRow("comment and other keys")
        << QByteArray("# XDG_VIDEOS_DIR=\"/x\"\nXDG_MUSIC_DIR=\"/m\"\n") << "~/Videos";
    QTest::newRow("relative is no folder") << QByteArray("XDG_VIDEOS_DIR=\"Videos2\"\n") << "~/Videos";
}

void TestPaths::videosFolder()
{
    QFETCH(QByteArray, dirs);
    QFETCH(QString, videos);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString home = dir.path() + QStringLiteral("/home");
    const QString config = dir.path() + QStringLiteral("/config");
    if (dirs != "<none>")
        TestSupport::WriteText(config + "/user-dirs.dirs", dirs);
    QCOMPARE(VideosFolder(home, config), videos.startsWith(u'~') ? home + videos.mid(1) : videos);
}

void TestPaths::defaultOutputFolder()
{
    const TEnvironment environment;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString home = dir.path() + QStringLiteral("/home");
    TestSupport::WriteText(home + "/.config/user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    qputenv("HOME", QFile::encodeName(home));
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(DefaultOutputFolder(), home + "/Filme");
    TestSupport::WriteText(dir.path() + "/xdg/user-dirs.dirs", "XDG_VIDEOS_DIR=\"$HOME/Clips\"\n");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path() + "/xdg"));
    QCOMPARE(DefaultOutputFolder(), home + "/Clips");

    // No HOME: the account's home folder, never "/Videos" at the root.
    qunsetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const QString account = HomeFolder();
    if (account.isEmpty())
        QSKIP("the account of this user has no home folder");
    QCOMPARE(DefaultOutputFolder(), VideosFolder(account, account + "/.config"));
    QVERIFY(DefaultOutputFolder().startsWith(account + u'/'));
}

void TestPaths::noHomeAtAll()
{
    // "nobody"'s home folder does not exist: with HOME unset or useless there is none at all.
    VELMORA_RUN_AS_NOBODY_WHEN_ROOT();
    if (QFileInfo(AccountHomeFolder()).isDir())
        QSKIP("the account of this user has a home folder");
    const TEnvironment environment;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qunsetenv("XDG_CONFIG_HOME");
    for (const QString& home : {QString(), dir.path() + "/gone/home", QStringLiteral("relative")}) {
        TEnvironment::Put("HOME", home.isNull() ? QByteArray() : QFile::encodeName(home));
        QCOMPARE(HomeFolder(), QString());
        QCOMPARE(DefaultOutputFolder(), QString());
    }
    QVERIFY(!QFileInfo::exists(dir.path() + "/gone"));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_Paths.moc"
