// The skin engine on real widgets: a skin reaches every window at once, a missing file keeps
// the look, and a bad file is refused as a whole with the look unchanged.

#include "platform/AppError.h"
#include "platform/TfrmCommon.h"
#include "skin/SkinChoice.h"
#include "skin/TSkinEngine.h"
#include "skin/TSkinFile.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray SkinText(const char* window, const char* extra = "")
{
    return QByteArray("[skin]\nName=T\n[colors]\nWindow=") + window +
           "\nWindowText=#101010\nBase=#ffffff\nText=#000000\nButton=#d0d0d0\nButtonText=#111111\n"
           "Highlight=#204080\nHighlightedText=#ffffff\n" +
           extra;
}

} // namespace

class TestSkinEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void appliesToEveryWindow();
    void missingFileKeepsLook();
    void badFilesKeepLook_data();
    void badFilesKeepLook();
    void everyShippedSkinApplies();
    void applySkinByNumber_data();
    void applySkinByNumber();

private:
    QTemporaryDir dir;
    QString Write(const QString& name, const QByteArray& data);
};

QString TestSkinEngine::Write(const QString& name, const QByteArray& data)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    f.write(data);
    return path;
}

void TestSkinEngine::init()
{
    QApplication::setPalette(QApplication::style()->standardPalette());
    qApp->setStyleSheet(QString());
}

void TestSkinEngine::appliesToEveryWindow()
{
    TSkinEngine engine;
    QCOMPARE(QApplication::style()->name().toLower(), QStringLiteral("fusion"));

    // Windows that exist before and after the skin is set follow it alike.
    QMainWindow main;
    main.menuBar()->addMenu(QStringLiteral("File"));
    QLabel label(QStringLiteral("text"), &main);
    main.show();
    engine.SetSkinFile(
        Write(QStringLiteral("a b ü.ssk"),
              SkinText("#336699", "[stylesheet]\nQPushButton#probe { border: 3px solid #00ff00; }\n")));
    QDialog later;
    QPushButton probe(&later);
    probe.setObjectName(QStringLiteral("probe"));
    later.show();

    QCOMPARE(engine.SkinFile(), dir.filePath(QStringLiteral("a b ü.ssk")));
    QCOMPARE(main.palette().color(QPalette::Window), QColor(0x33, 0x66, 0x99));
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(0x10, 0x10, 0x10));
    QCOMPARE(later.palette().color(QPalette::Window), QColor(0x33, 0x66, 0x99));
    QVERIFY(qApp->styleSheet().contains(QStringLiteral("QMenuBar")));
    QVERIFY(qApp->styleSheet().contains(QStringLiteral("QPushButton#probe")));

    // The rule reached the dialog's button: its border is drawn green.
    const QImage shot = probe.grab().toImage();
    QCOMPARE(QColor(shot.pixel(1, shot.height() / 2)), QColor(0, 255, 0));

    // A second skin replaces the first everywhere, style sheet included.
    engine.SetSkinFile(Write(QStringLiteral("second.ssk"), SkinText("#c0c0c0")));
    QCOMPARE(main.palette().color(QPalette::Window), QColor(0xc0, 0xc0, 0xc0));
    QCOMPARE(later.palette().color(QPalette::Window), QColor(0xc0, 0xc0, 0xc0));
    QVERIFY(!qApp->styleSheet().contains(QStringLiteral("QPushButton#probe")));
}

void TestSkinEngine::missingFileKeepsLook()
{
    TSkinEngine engine;
    const QString first = Write(QStringLiteral("first.ssk"), SkinText("#445566"));
    engine.SetSkinFile(first);
    const QString sheet = qApp->styleSheet();
    engine.SetSkinFile(dir.filePath(QStringLiteral("gone.ssk")));
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0x44, 0x55, 0x66));
    QCOMPARE(qApp->styleSheet(), sheet);
    QCOMPARE(engine.SkinFile(), first);
}

void TestSkinEngine::badFilesKeepLook_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << "it is empty";
    QTest::newRow("garbage") << QByteArray("\x7f"
                                           "ELF\x02\x01\x01\0\0\0",
                                           10)
                             << "not a text file";
    QTest::newRow("invalid colour") << SkinText("#12345g") << "\"#12345g\" is not a colour for Window";
    QTest::newRow("rule Qt cannot parse")
        << SkinText("#123456",
                    "[stylesheet]\nQMenu { border: 1px solid red; }\nQLabel { color: qlineargradient(; }\n")
        << "line 14: the style-sheet rule cannot be parsed";
    QTest::newRow("huge value") << SkinText("#123456", "[stylesheet]\nQLabel { margin: 123456789px; }\n")
                                << "too large";
}

void TestSkinEngine::badFilesKeepLook()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    TSkinEngine engine;
    const QString good = Write(QStringLiteral("good.ssk"), SkinText("#abcdef"));
    engine.SetSkinFile(good);
    const QString sheet = qApp->styleSheet();

    const QString bad = Write(QStringLiteral("bad.ssk"), data);
    try {
        engine.SetSkinFile(bad);
        QFAIL("a bad skin was applied");
    } catch (const AppError& error) {
        QVERIFY2(error.Text().contains(bad), qPrintable(error.Text()));
        QVERIFY2(error.Text().contains(message), qPrintable(error.Text()));
    }
    QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0xab, 0xcd, 0xef));
    QCOMPARE(qApp->styleSheet(), sheet);
    QCOMPARE(engine.SkinFile(), good);
}

void TestSkinEngine::everyShippedSkinApplies()
{
    TSkinEngine engine;
    QMainWindow main;
    main.menuBar()->addMenu(QStringLiteral("Skin"));
    main.show();
    QSet<QRgb> menuBarColours;
    for (int n = 1; n <= SkinChoice::SkinCount; ++n) {
        const QString path = QStringLiteral(VELMORA_SOURCE_DIR "/data/skins/") + SkinChoice::SkinFileName(n);
        engine.SetSkinFile(path); // raises for a file Qt would not take
        QCOMPARE(engine.SkinFile(), path);
        const TSkinFile skin = TSkinFile::LoadFromFile(path);
        QCOMPARE(main.palette().color(QPalette::Window), skin.Color(QStringLiteral("Window")));
        // The menu bar is painted from the skin's menu bar colours.
        const QImage bar = main.menuBar()->grab().toImage();
        menuBarColours.insert(bar.pixel(bar.width() - 2, bar.height() / 2));
    }
    QCOMPARE(menuBarColours.size(), SkinChoice::SkinCount);
}

void TestSkinEngine::applySkinByNumber_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("file");
    QTest::newRow("3") << 3 << "DiamondGreen.ssk";
    QTest::newRow("0 gives 10") << 0 << "Silver.ssk";
    QTest::newRow("19 gives 10") << 19 << "Silver.ssk";
    QTest::newRow("-1 gives 10") << -1 << "Silver.ssk";
}

void TestSkinEngine::applySkinByNumber()
{
    QFETCH(int, number);
    QFETCH(QString, file);
    // A program folder of its own with the shipped skins under "skins/".
    QTemporaryDir app(QDir::tempPath() + QStringLiteral("/velmora app 程序-XXXXXX"));
    QVERIFY(QDir(app.path()).mkdir(QStringLiteral("skins")));
    for (int n = 1; n <= SkinChoice::SkinCount; ++n)
        QVERIFY(QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/skins/") + SkinChoice::SkinFileName(n),
                            app.filePath(QStringLiteral("skins/") + SkinChoice::SkinFileName(n))));
    const TfrmCommon common(app.path());
    TSkinEngine engine;
    ApplySkin(common, engine, number);
    QCOMPARE(engine.SkinFile(), common.appFolder + QStringLiteral("skins/") + file);
    QCOMPARE(QApplication::palette().color(QPalette::Window),
             TSkinFile::LoadFromFile(engine.SkinFile()).Color(QStringLiteral("Window")));

    // Without the file the look stays.
    QVERIFY(QFile::remove(app.filePath(QStringLiteral("skins/Calmness.ssk"))));
    const QColor before = QApplication::palette().color(QPalette::Window);
    ApplySkin(common, engine, 1);
    QCOMPARE(QApplication::palette().color(QPalette::Window), before);
}

QTEST_MAIN(TestSkinEngine)
#include "tst_skinengine.moc"
