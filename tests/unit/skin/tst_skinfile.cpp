// Reading .ssk files: what is a valid skin, what is refused with which message, and the
// readability of every skin the program ships.

#include "platform/AppError.h"
#include "skin/SkinChoice.h"
#include "skin/TSkinFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

const QByteArray minimalSkin = "[skin]\n"
                               "Name=Test\n"
                               "[colors]\n"
                               "Window=#e0e0e0\n"
                               "WindowText=#101010\n"
                               "Base=#ffffff\n"
                               "Text=#000000\n"
                               "Button=#d0d0d0\n"
                               "ButtonText=#111111\n"
                               "Highlight=#204080\n"
                               "HighlightedText=#ffffff\n";

// WCAG 2 relative luminance and contrast ratio.
double Luminance(const QColor& c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double Contrast(const QColor& a, const QColor& b)
{
    double x = Luminance(a), y = Luminance(b);
    if (x < y)
        std::swap(x, y);
    return (x + 0.05) / (y + 0.05);
}

QString ShippedSkinFolder()
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/data/skins/");
}

} // namespace

class TestSkinFile : public QObject
{
    Q_OBJECT

private slots:
    void validSkins_data();
    void validSkins();
    void invalidSkins_data();
    void invalidSkins();
    void defaultsFollowRequiredColours();
    void paletteAndStyleSheetCarryTheColours();
    void fileLimits();
    void missingFileNamesIt();
    void shippedSkins_data();
    void shippedSkins();
    void shippedSkinsAreDistinct();
};

void TestSkinFile::validSkins_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QColor>("expected");

    QTest::newRow("minimal") << minimalSkin << "Highlight" << QColor(0x20, 0x40, 0x80);
    QTest::newRow("short hex") << QByteArray(minimalSkin).replace("Base=#ffffff", "Base=#fa0") << "Base"
                               << QColor(0xff, 0xaa, 0x00);
    QTest::newRow("rgb()") << QByteArray(minimalSkin).replace("Base=#ffffff", "Base=rgb( 1, 2 ,255)")
                           << "Base" << QColor(1, 2, 255);
    QTest::newRow("colour name") << QByteArray(minimalSkin).replace("Base=#ffffff", "Base=navy") << "Base"
                                 << QColor(0, 0, 128);
    QTest::newRow("names in any case, CRLF, comments, BOM")
        << QByteArray("\xEF\xBB\xBF; comment\r\n[SKIN]\r\nname=Crlf\r\n[Colors]\r\n; x\r\n")
               .append(QByteArray(minimalSkin)
                           .replace("[skin]\nName=Test\n[colors]\n", "")
                           .replace("\n", "\r\n")
                           .toLower())
        << "highlightedtext" << QColor(255, 255, 255);
    QTest::newRow("optional colour") << minimalSkin + "MenuBar=#123456\n"
                                     << "MenuBar" << QColor(0x12, 0x34, 0x56);
    QTest::newRow("stylesheet section")
        << minimalSkin +
               "[stylesheet]\nQToolTip { border: 1px solid #000000; }\n\nQMenu { border: 2px solid red; }\n"
        << "Window" << QColor(0xe0, 0xe0, 0xe0);
}

void TestSkinFile::validSkins()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, role);
    QFETCH(QColor, expected);
    const TSkinFile skin = TSkinFile::Parse(data, QStringLiteral("test.ssk"));
    QCOMPARE(skin.Color(role), expected);
    QVERIFY(!skin.name.isEmpty());
}

void TestSkinFile::invalidSkins_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message"); // a part of the error text

    const auto with = [](const char* from, const char* to) {
        return QByteArray(minimalSkin).replace(from, to);
    };
    QTest::newRow("empty") << QByteArray() << "it is empty";
    QTest::newRow("blank lines only") << QByteArray("\n \r\n\t\n") << "it is empty";
    QTest::newRow("binary garbage") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18)
                                    << "not a text file";
    QTest::newRow("invalid utf-8") << with("Name=Test", "Name=T\xc3\x28st") << "not a text file";
    QTest::newRow("control character") << with("Name=Test", "Name=T\x07st") << "not a text file";
    QTest::newRow("another INI file")
        << QByteArray("[common]\nlanguage=1\n") << "line 1: unknown section [common]";
    QTest::newRow("no [skin] first") << QByteArray("[colors]\nWindow=#fff\n")
                                     << "begins with the section [skin]";
    QTest::newRow("entry before any section")
        << QByteArray("Name=x\n[skin]\n") << "line 1: a skin file begins";
    QTest::newRow("no name") << with("Name=Test", "Name=") << "gives no Name";
    QTest::newRow("required colour missing") << with("Highlight=#204080\n", "") << "lacks Highlight";
    QTest::newRow("unknown colour name")
        << with("Base=", "Basis=") << "line 6: unknown colour name \"Basis\"";
    QTest::newRow("colour given twice") << minimalSkin + "window=#000000\n"
                                        << "given twice";
    QTest::newRow("section twice") << minimalSkin + "[colors]\n"
                                   << "appears twice";
    QTest::newRow("not a pair") << with("Base=#ffffff", "Base #ffffff") << "line 6: expected \"name=value\"";
    QTest::newRow("bad hex") << with("Base=#ffffff", "Base=#ffzzff")
                             << "line 6: \"#ffzzff\" is not a colour for Base";
    QTest::newRow("hex too long") << with("Base=#ffffff", "Base=#fffffffff") << "not a colour for Base";
    QTest::newRow("alpha refused") << with("Base=#ffffff", "Base=#80ffffff") << "not a colour for Base";
    QTest::newRow("transparent refused")
        << with("Base=#ffffff", "Base=transparent") << "not a colour for Base";
    QTest::newRow("unknown name") << with("Base=#ffffff", "Base=blurple") << "not a colour for Base";
    QTest::newRow("huge component") << with("Base=#ffffff", "Base=rgb(256, 0, 0)") << "not a colour for Base";
    QTest::newRow("huge number") << with("Base=#ffffff", "Base=rgb(99999999999999999999, 0, 0)")
                                 << "not a colour for Base";
    QTest::newRow("negative component")
        << with("Base=#ffffff", "Base=rgb(-1, 0, 0)") << "not a colour for Base";
    QTest::newRow("unknown [skin] entry")
        << with("Name=Test", "Name=Test\nAuthor=me") << "unknown entry \"Author\"";
    QTest::newRow("rule split over lines")
        << minimalSkin + "[stylesheet]\nQMenu {\n border: 1px solid red; }\n"
        << "line 13: a style-sheet line must hold one complete rule";
    QTest::newRow("unbalanced rule") << minimalSkin + "[stylesheet]\nQMenu { color: red; \n"
                                     << "one complete rule";
    QTest::newRow("declaration without colon") << minimalSkin + "[stylesheet]\nQMenu { color red; }\n"
                                               << "\"color red\" is not a \"property: value\" pair";
    QTest::newRow("picture") << minimalSkin + "[stylesheet]\nQWidget { background-image: url(/dev/zero); }\n"
                             << "may not load pictures";
    QTest::newRow("huge length") << minimalSkin + "[stylesheet]\nQPushButton { padding: 90000px; }\n"
                                 << "the length 90000px is too large";
    QTest::newRow("huge length with exponent") << minimalSkin + "[stylesheet]\nQLabel { font-size: 1e9pt; }\n"
                                               << "the length 1e9pt is too large";
}

void TestSkinFile::invalidSkins()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    try {
        TSkinFile::Parse(data, QStringLiteral("/skins/Bad Skin.ssk"));
        QFAIL("the skin was accepted");
    } catch (const AppError& error) {
        QVERIFY2(
            error.Text().startsWith(QStringLiteral("The skin file \"/skins/Bad Skin.ssk\" is not valid: ")),
            qPrintable(error.Text()));
        QVERIFY2(error.Text().contains(message), qPrintable(error.Text()));
    }
}

void TestSkinFile::defaultsFollowRequiredColours()
{
    const TSkinFile skin = TSkinFile::Parse(minimalSkin, QStringLiteral("t.ssk"));
    QCOMPARE(skin.Color(QStringLiteral("MenuBar")), skin.Color(QStringLiteral("Window")));
    QCOMPARE(skin.Color(QStringLiteral("MenuBarText")), skin.Color(QStringLiteral("WindowText")));
    QCOMPARE(skin.Color(QStringLiteral("MenuSelectionText")), skin.Color(QStringLiteral("HighlightedText")));
    QCOMPARE(skin.Color(QStringLiteral("ToolTipText")), skin.Color(QStringLiteral("Text")));
    // Derived shades lie between the button colour and black or white, never equal to the text.
    const QColor button = skin.Color(QStringLiteral("Button"));
    QVERIFY(skin.Color(QStringLiteral("Light")).lightness() > button.lightness());
    QVERIFY(skin.Color(QStringLiteral("Dark")).lightness() < button.lightness());
    const QColor disabled = skin.Color(QStringLiteral("DisabledText"));
    QVERIFY(disabled != skin.Color(QStringLiteral("WindowText")) &&
            disabled != skin.Color(QStringLiteral("Window")));
    for (const QString& name : TSkinFile::ColorNames())
        QVERIFY2(skin.Color(name).isValid(), qPrintable(name));
}

void TestSkinFile::paletteAndStyleSheetCarryTheColours()
{
    const TSkinFile skin = TSkinFile::Parse(minimalSkin + "MenuBar=#123456\nMenuBarEnd=#654321\nMenuBarText=#"
                                                          "fedcba\n[stylesheet]\nQMenu { border: 1px solid "
                                                          "#abcdef; }\n",
                                            QStringLiteral("t.ssk"));
    const QPalette palette = skin.Palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QCOMPARE(palette.color(group, QPalette::Window), QColor(0xe0, 0xe0, 0xe0));
        QCOMPARE(palette.color(group, QPalette::Text), QColor(0, 0, 0));
        QCOMPARE(palette.color(group, QPalette::Highlight), QColor(0x20, 0x40, 0x80));
    }
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Text), skin.Color(QStringLiteral("DisabledText")));
    const QString sheet = skin.StyleSheet();
    QVERIFY(sheet.contains(QStringLiteral("stop:0 #123456")));
    QVERIFY(sheet.contains(QStringLiteral("stop:1 #654321")));
    QVERIFY(sheet.contains(QStringLiteral("color: #fedcba")));
    QVERIFY(sheet.endsWith(QStringLiteral("QMenu { border: 1px solid #abcdef; }")));
}

void TestSkinFile::fileLimits()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto write = [&](const QString& name, const QByteArray& data) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    };
    // A valid skin padded with comments beyond the size limit, and one huge line.
    write(QStringLiteral("big.ssk"),
          minimalSkin + QByteArray(";").append(QByteArray(TSkinFile::MaxFileSize, 'x')).append('\n'));
    write(QStringLiteral("longline.ssk"),
          minimalSkin + "; " + QByteArray(TSkinFile::MaxLineLength + 1, 'x') + "\n");
    write(QStringLiteral("ok.ssk"), minimalSkin);

    QVERIFY_THROWS_EXCEPTION(AppError, TSkinFile::LoadFromFile(dir.filePath(QStringLiteral("big.ssk"))));
    try {
        TSkinFile::LoadFromFile(dir.filePath(QStringLiteral("longline.ssk")));
        QFAIL("a line over the limit was accepted");
    } catch (const AppError& error) {
        QVERIFY2(error.Text().contains(QStringLiteral("line 12: the line is longer than 4096")),
                 qPrintable(error.Text()));
    }
    QCOMPARE(TSkinFile::LoadFromFile(dir.filePath(QStringLiteral("ok.ssk"))).name, QStringLiteral("Test"));
    QVERIFY_THROWS_EXCEPTION(AppError, TSkinFile::LoadFromFile(dir.path()));
    // A device that never ends is refused before it is read.
    try {
        TSkinFile::LoadFromFile(QStringLiteral("/dev/zero"));
        QFAIL("a device was read as a skin");
    } catch (const AppError& error) {
        QVERIFY2(error.Text().contains(QStringLiteral("not a regular file")), qPrintable(error.Text()));
    }
}

void TestSkinFile::missingFileNamesIt()
{
    try {
        TSkinFile::LoadFromFile(QStringLiteral("/nonexistent/Öl skin.ssk"));
        QFAIL("a missing file was read");
    } catch (const AppError& error) {
        QVERIFY2(error.Text().contains(QStringLiteral("/nonexistent/Öl skin.ssk")), qPrintable(error.Text()));
    }
}

void TestSkinFile::shippedSkins_data()
{
    QTest::addColumn<int>("number");
    for (int n = 1; n <= SkinChoice::SkinCount; ++n)
        QTest::newRow(qPrintable(SkinChoice::SkinFileName(n))) << n;
}

void TestSkinFile::shippedSkins()
{
    QFETCH(int, number);
    const TSkinFile skin = TSkinFile::LoadFromFile(ShippedSkinFolder() + SkinChoice::SkinFileName(number));
    QVERIFY(!skin.name.isEmpty());
    QVERIFY(!skin.description.isEmpty());

    // Text against the background it is drawn on: WCAG 2 level AA for normal text.
    const QList<QPair<const char*, const char*>> pairs{
        {"WindowText", "Window"},
        {"Text", "Base"},
        {"Text", "AlternateBase"},
        {"ButtonText", "Button"},
        {"HighlightedText", "Highlight"},
        {"ToolTipText", "ToolTipBase"},
        {"MenuBarText", "MenuBar"},
        {"MenuBarText", "MenuBarEnd"},
        {"MenuSelectionText", "MenuSelection"},
        {"Link", "Window"},
        {"Link", "Base"},
    };
    for (const auto& [text, background] : pairs) {
        const double ratio = Contrast(skin.Color(QLatin1String(text)), skin.Color(QLatin1String(background)));
        QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 on %2: %3").arg(text, background).arg(ratio)));
    }
    // Disabled text must still be visible, though dimmer (WCAG sets no level for it).
    QVERIFY(Contrast(skin.Color(QStringLiteral("DisabledText")), skin.Color(QStringLiteral("Window"))) >=
            2.0);
    QVERIFY(Contrast(skin.Color(QStringLiteral("PlaceholderText")), skin.Color(QStringLiteral("Base"))) >=
            2.0);
}

void TestSkinFile::shippedSkinsAreDistinct()
{
    QDir folder(ShippedSkinFolder());
    QCOMPARE(folder.entryList({QStringLiteral("*.ssk")}, QDir::Files).size(), SkinChoice::SkinCount);
    QSet<QString> looks;
    QSet<QString> names;
    for (int n = 1; n <= SkinChoice::SkinCount; ++n) {
        const TSkinFile skin = TSkinFile::LoadFromFile(ShippedSkinFolder() + SkinChoice::SkinFileName(n));
        QStringList key;
        for (const char* role : {"Window", "Highlight", "MenuBar", "Button"})
            key << skin.Color(QLatin1String(role)).name();
        looks.insert(key.join(u','));
        names.insert(skin.name);
    }
    QCOMPARE(looks.size(), SkinChoice::SkinCount);
    QCOMPARE(names.size(), SkinChoice::SkinCount);
}

QTEST_GUILESS_MAIN(TestSkinFile)
#include "tst_skinfile.moc"
