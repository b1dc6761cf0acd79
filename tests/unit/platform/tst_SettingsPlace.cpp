// Where config.ini and logFile.txt live: beside a program folder the user may write, in the
// user's configuration folder for an installed copy (under HOME, else the home folder of the
// user's account), and nowhere (said once) when there is no home folder; a home folder that
// does not exist is never made.
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SafeFormat.h"
#include "platform/SettingsPlace.h"
#include "platform/TfrmCommon.h"
#include "support/AsNobody.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

constexpr uid_t Nobody = 65534;

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Sets or removes one environment variable for the life of the object.
class TEnvironment
{
public:
    TEnvironment()
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            saved << qMakePair(QByteArray(name), qgetenv(name));
    }
    ~TEnvironment()
    {
        for (const auto& [name, value] : saved) {
            if (value.isNull())
                qunsetenv(name.constData());
            else
                qputenv(name.constData(), value);
        }
    }
    static void Set(const char* name, const QString& value)
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }

private:
    QList<QPair<QByteArray, QByteArray>> saved;
};

} // namespace

class TestSettingsPlace : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void place_data();
    void place();
    void folderWritable_data();
    void folderWritable();
    void servicesFollowThePlace();
    void noPlaceDropsWritesAndSaysWhy_data();
    void noPlaceDropsWritesAndSaysWhy();

private:
    void Prepare(const QString& setup);
    QString Path(const QString& name) const { return dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TEnvironment> environment;
    QString app;  // the program folder, ending in "/"
    QString home; // the test's HOME
};

void TestSettingsPlace::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    environment = std::make_unique<TEnvironment>();
    // Blanks and non-ASCII letters in either place must not matter.
    app = Path(QStringLiteral(u"Program Files/Vidéo 转换/"));
    home = Path(QStringLiteral(u"home/Zoë"));
    QVERIFY(QDir().mkpath(app));
    QVERIFY(QDir().mkpath(home));
    TEnvironment::Set("HOME", home);
    TEnvironment::Set("XDG_CONFIG_HOME", QString());
}

void TestSettingsPlace::cleanup()
{
    // Folders the test locked must open again, or the temporary folder stays behind.
    QDirIterator it(dir->path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    ::chmod(QFile::encodeName(dir->path()).constData(), 0700);
    while (it.hasNext())
        ::chmod(QFile::encodeName(it.next()).constData(), 0700);
    environment.reset();
    dir.reset();
}

// Makes the situation a row names; the program folder starts writable and empty.
void TestSettingsPlace::Prepare(const QString& setup)
{
    const QString config = home + QStringLiteral("/.config");
    const QByteArray appName = QFile::encodeName(app);
    if (setup.contains(QLatin1String("read-only program folder")))
        QCOMPARE(::chmod(appName.constData(), 0555), 0);
    if (setup.contains(QLatin1String("other user's program folder"))) {
        QCOMPARE(::chown(appName.constData(), Nobody, Nobody), 0);
        QCOMPARE(::chmod(appName.constData(), 0755), 0);
    }
    if (setup.contains(QLatin1String("missing program folder")))
        QVERIFY(QDir(app).removeRecursively());
    if (setup.contains(QLatin1String("XDG_CONFIG_HOME")))
        TEnvironment::Set("XDG_CONFIG_HOME", Path(QStringLiteral("xdg")));
    if (setup.contains(QLatin1String("relative XDG_CONFIG_HOME")))
        TEnvironment::Set("XDG_CONFIG_HOME", QStringLiteral("xdg"));
    if (setup.contains(QLatin1String("no HOME")))
        TEnvironment::Set("HOME", QString());
    if (setup.contains(QLatin1String("relative HOME")))
        TEnvironment::Set("HOME", QStringLiteral("home"));
    if (setup.contains(QLatin1String("missing HOME")))
        TEnvironment::Set("HOME", Path(QStringLiteral("gone/home")));
    if (setup.contains(QLatin1String("account home")))
        QVERIFY(QDir().mkpath(Path(QStringLiteral("account"))));
    if (setup.contains(QLatin1String("HOME is a file"))) {
        QVERIFY(QDir(home).removeRecursively());
        WriteText(home, "not a folder");
    }
    if (setup.contains(QLatin1String("read-only .config"))) {
        QVERIFY(QDir().mkpath(config));
        QCOMPARE(::chmod(QFile::encodeName(config).constData(), 0555), 0);
    }
    if (setup.contains(QLatin1String("loop"))) {
        QVERIFY(QDir().mkpath(config));
        QVERIFY(QFile::link(config + QStringLiteral("/velmora"), config + QStringLiteral("/velmora")));
    }
    if (setup.contains(QLatin1String("velmora is a file")))
        WriteText(config + QStringLiteral("/velmora"), "not a folder");
    if (setup.contains(QLatin1String("read-only velmora"))) {
        QVERIFY(QDir().mkpath(config + QStringLiteral("/velmora")));
        QCOMPARE(::chmod(QFile::encodeName(config + QStringLiteral("/velmora")).constData(), 0555), 0);
    }
}

void TestSettingsPlace::place_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected"); // "app", a folder below the test folder, or "none"
    QTest::addColumn<QString>("cause");    // for "none": the system's error text, or "no home"

    const QString inHome = QStringLiteral(u"home/Zoë/.config/velmora/");
    QTest::newRow("writable program folder") << ""
                                             << "app"
                                             << "";
    // A folder that is gone keeps the old place; nothing lands in a home folder.
    QTest::newRow("missing program folder") << "missing program folder"
                                            << "app"
                                            << "";
    QTest::newRow("read-only program folder") << "read-only program folder" << inHome << "";
    QTest::newRow("other user's program folder") << "other user's program folder" << inHome << "";
    QTest::newRow("XDG_CONFIG_HOME") << "read-only program folder, XDG_CONFIG_HOME"
                                     << "xdg/velmora/"
                                     << "";
    // The base directory rules: a relative path is invalid and ignored.
    QTest::newRow("relative XDG_CONFIG_HOME")
        << "read-only program folder, relative XDG_CONFIG_HOME" << inHome << "";
    QTest::newRow("XDG_CONFIG_HOME without HOME") << "read-only program folder, XDG_CONFIG_HOME, no HOME"
                                                  << "xdg/velmora/"
                                                  << "";
    QTest::newRow("no HOME") << "read-only program folder, no HOME"
                             << "none"
                             << "no home";
    // Without HOME the home folder is the one of the user's account.
    const QString inAccount = QStringLiteral("account/.config/velmora/");
    QTest::newRow("no HOME, account home")
        << "read-only program folder, no HOME, account home" << inAccount << "";
    QTest::newRow("relative HOME") << "read-only program folder, relative HOME"
                                   << "none"
                                   << "no home";
    QTest::newRow("HOME is a file") << "read-only program folder, HOME is a file"
                                    << "none"
                                    << "no home";
    QTest::newRow("HOME is a file, account home")
        << "read-only program folder, HOME is a file, account home" << inAccount << "";
    // Nothing is made under a home folder that is not there: neither it nor its parents.
    QTest::newRow("HOME names a missing folder") << "read-only program folder, missing HOME"
                                                 << "none"
                                                 << "no home";
    QTest::newRow("missing HOME, account home")
        << "read-only program folder, missing HOME, account home" << inAccount << "";
    QTest::newRow("read-only ~/.config") << "read-only program folder, read-only .config"
                                         << "none" << ErrorText(EACCES);
    QTest::newRow("~/.config/velmora loops") << "read-only program folder, loop"
                                             << "none" << ErrorText(ELOOP);
    QTest::newRow("~/.config/velmora is a file") << "read-only program folder, velmora is a file"
                                                 << "none" << ErrorText(ENOTDIR);
    QTest::newRow("read-only ~/.config/velmora") << "read-only program folder, read-only velmora"
                                                 << "none" << ErrorText(EACCES);
    // A home folder without the place only matters when the place is needed.
    QTest::newRow("writable program folder, no HOME") << "no HOME"
                                                      << "app"
                                                      << "";
}

void TestSettingsPlace::place()
{
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    QFETCH(QString, cause);
    // What a copy in a read-only folder once kept beside itself is neither read nor moved.
    if (setup.contains(QLatin1String("other user")) && ::geteuid() != 0)
        QSKIP("only the superuser can hand a folder to another user");
    WriteText(app + QStringLiteral("config.ini"), "[setting]\nlogfile=1\n");
    Prepare(setup);
    if (QTest::currentTestFailed())
        return;

    // The account's home folder is the test's own: a row without one has none.
    const TSettingsPlace place = FindSettingsPlace(
        app, ChooseHomeFolder(qEnvironmentVariable("HOME"), Path(QStringLiteral("account"))));
    QVERIFY(!QFileInfo::exists(Path(QStringLiteral("gone"))));
    if (expected == QLatin1String("app")) {
        QCOMPARE(place.folder, app);
        QVERIFY(!place.inHome);
        QVERIFY(!QFileInfo::exists(home + QStringLiteral("/.config")));
    } else if (expected == QLatin1String("none")) {
        QVERIFY(!place.Usable());
        QVERIFY(place.folder.isEmpty());
        QVERIFY(place.File(QStringLiteral("config.ini")).isEmpty());
        QCOMPARE(place.homeMissing, cause == QLatin1String("no home"));
        if (place.homeMissing) {
            QCOMPARE(place.wanted, QStringLiteral("~/.config/velmora/"));
            QVERIFY(place.cause.isEmpty());
        } else {
            QCOMPARE(place.wanted, home + QStringLiteral("/.config/velmora/"));
            QCOMPARE(place.cause, cause);
        }
    } else {
        const QString folder = Path(expected);
        QCOMPARE(place.folder, folder);
        QVERIFY(place.inHome);
        QCOMPARE(place.File(QStringLiteral("config.ini")), folder + QStringLiteral("config.ini"));
        // Made for the user alone, as the base directory rules ask, and empty.
        const QFileInfo info(folder);
        QVERIFY(info.isDir());
        QCOMPARE(int(info.permissions() & (QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)), 0);
        QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
    // The program folder is never changed.
    if (QFileInfo::exists(app))
        QCOMPARE(ReadAll(app + QStringLiteral("config.ini")), QByteArray("[setting]\nlogfile=1\n"));
}

void TestSettingsPlace::folderWritable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("writable");
    QTest::newRow("own folder") << "own" << true;
    QTest::newRow("read-only folder") << "0555" << false;
    QTest::newRow("write without search") << "0666" << false;
    QTest::newRow("a file") << "file" << false;
    QTest::newRow("missing") << "missing" << false;
    QTest::newRow("another user's folder") << "nobody 0755" << false;
    QTest::newRow("another user's folder open to all") << "nobody 0777" << true;
}

void TestSettingsPlace::folderWritable()
{
    QFETCH(QString, kind);
    QFETCH(bool, writable);
    QString target = Path(QStringLiteral("target"));
    const QByteArray name = QFile::encodeName(target);
    if (kind == QLatin1String("file")) {
        WriteText(target, "x");
    } else if (kind != QLatin1String("missing")) {
        QVERIFY(QDir().mkpath(target));
        if (kind.startsWith(QLatin1String("nobody"))) {
            if (::geteuid() != 0)
                QSKIP("only the superuser can hand a folder to another user");
            QCOMPARE(::chown(name.constData(), Nobody, Nobody), 0);
        }
        if (kind != QLatin1String("own"))
            QCOMPARE(::chmod(name.constData(), kind.right(4).toUInt(nullptr, 8)), 0);
    }
    QCOMPARE(FolderWritable(target), writable);
    QCOMPARE(FolderWritable(target + u'/'), writable);
}

void TestSettingsPlace::servicesFollowThePlace()
{
    WriteText(home + QStringLiteral("/.config/velmora/config.ini"), "[common]\nlanguage=1\n");
    QCOMPARE(::chmod(QFile::encodeName(app).constData(), 0555), 0);
    const TfrmCommon common(app);
    const QString folder = home + QStringLiteral("/.config/velmora/");
    QCOMPARE(common.appFolder, app);
    QCOMPARE(common.configFile, folder + QStringLiteral("config.ini"));
    QCOMPARE(common.logFile, folder + QStringLiteral("logFile.txt"));
    // Read from the new place: the edition, and the program's own files still beside it.
    QVERIFY(common.IsChineseEdition());
    QCOMPARE(common.languageFile, app + QStringLiteral("language/gb.ini"));
    QVERIFY(common.SettingsWarning().isEmpty());
    common.WriteSkinIndex(4);
    QCOMPARE(IniFile(folder + QStringLiteral("config.ini")).ReadInteger("skin", "skin", 0), 4);
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("config.ini")));

    // A writable copy keeps its files beside itself, as ever.
    QCOMPARE(::chmod(QFile::encodeName(app).constData(), 0755), 0);
    const TfrmCommon beside(app);
    QCOMPARE(beside.configFile, app + QStringLiteral("config.ini"));
    QCOMPARE(beside.logFile, app + QStringLiteral("logFile.txt"));
}

void TestSettingsPlace::noPlaceDropsWritesAndSaysWhy_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("language"); // config-less: the English edition's file
    QTest::newRow("no HOME") << "no HOME"
                             << "";
    QTest::newRow("HOME is a file") << "HOME is a file"
                                    << "";
    QTest::newRow("HOME names a missing folder") << "missing HOME"
                                                 << "";
    QTest::newRow("loop, no language file") << "loop"
                                            << "none";
}

void TestSettingsPlace::noPlaceDropsWritesAndSaysWhy()
{
    QFETCH(QString, setup);
    QFETCH(QString, language);
    // Without a usable HOME the account's home folder counts: that of "nobody" does not exist.
    if (setup.contains(QLatin1String("HOME"))) {
        VELMORA_RUN_AS_NOBODY_WHEN_ROOT();
        if (QFileInfo(AccountHomeFolder()).isDir())
            QSKIP("the account of this user has a home folder");
    }
    if (language.isEmpty()) {
        QVERIFY(QDir().mkpath(app + QStringLiteral("language")));
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/en.ini"),
                            app + QStringLiteral("language/en.ini")));
    }
    Prepare(setup);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(::chmod(QFile::encodeName(app).constData(), 0555), 0);

    const TfrmCommon common(app);
    QVERIFY(!common.settingsPlace.Usable());
    QVERIFY(common.configFile.isEmpty());
    QVERIFY(common.logFile.isEmpty());
    // Defaults throughout, and writes that go nowhere without an error each time.
    QCOMPARE(common.languageId, 2);
    QCOMPARE(common.ReadSkinIndex(), 10);
    QVERIFY(!common.LogFileEnabled());
    common.WriteSkinIndex(3);
    IniFile(common.configFile).WriteString("setting", "outputFolder", "/tmp");
    QCOMPARE(common.ReadSkinIndex(), 10);

    const QString argument =
        common.settingsPlace.wanted + QStringLiteral(" (") +
        (common.settingsPlace.homeMissing
             ? IniFile(common.languageFile).ReadString("frmMain", "msgSettingsNoHome", QString())
             : common.settingsPlace.cause) +
        u')';
    // Nothing is made where the home folder should be, not even by the toolkit, which keeps
    // its own settings there.
    QSettings toolkit(QSettings::UserScope, QStringLiteral("QtProject"));
    toolkit.setValue(QStringLiteral("probe"), 1);
    toolkit.sync();
    QVERIFY(!QFileInfo::exists(Path(QStringLiteral("gone"))));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/.config/QtProject.conf")));
    const QString warning = common.SettingsWarning();
    if (language.isEmpty()) {
        const QString format =
            IniFile(common.languageFile).ReadString("frmMain", "msgSettingsNotSaved", QString());
        QVERIFY(format.contains(QLatin1String("%s")));
        QCOMPARE(warning, SafeFormat(format, argument));
    } else {
        // Without the language file the notice still says where and why.
        QVERIFY2(warning.contains(common.settingsPlace.wanted), qPrintable(warning));
        QVERIFY2(warning.contains(ErrorText(ELOOP)), qPrintable(warning));
    }
    QVERIFY(!QFileInfo::exists(app + QStringLiteral("config.ini")));
}

QTEST_GUILESS_MAIN(TestSettingsPlace)
#include "tst_SettingsPlace.moc"
