// The command line's texts: both language files hold every one with the same placeholders, a
// key an edition lacks falls back to English, and placeholders are filled in one pass.

#include "cli/TCliTexts.h"
#include "platform/IniFile.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

namespace {

QSet<QString> Placeholders(const QString& text)
{
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    QSet<QString> found;
    for (const QRegularExpressionMatch& match : placeholder.globalMatch(text))
        found.insert(match.captured());
    return found;
}

} // namespace

class tst_CliTexts : public QObject
{
    Q_OBJECT

    const QString english = QStringLiteral(VELMORA_SOURCE_DIR "/data/language/en.ini");
    const QString chinese = QStringLiteral(VELMORA_SOURCE_DIR "/data/language/gb.ini");

private slots:
    // Each edition says every text itself, with the placeholders the English one has.
    void everyKeyInBothEditions()
    {
        for (const QString& key : TCliTexts::Keys()) {
            const QString en = IniFile(english).ReadString(TCliTexts::Section(), key, QString());
            const QString gb = IniFile(chinese).ReadString(TCliTexts::Section(), key, QString());
            QVERIFY2(!en.isEmpty(), qPrintable(key));
            QVERIFY2(!gb.isEmpty(), qPrintable(key));
            QVERIFY2(en != gb, qPrintable(key));
            QVERIFY2(Placeholders(en) == Placeholders(gb), qPrintable(key));
        }
    }

    void fallback()
    {
        QTemporaryDir dir;
        const QString partial = dir.filePath("gb.ini");
        WriteText(partial, "[cli]\nfileMissing=%"
                           "1\xef\xbc\x9a\xe6\x96\x87\xe4\xbb\xb6\xe4\xb8\x8d\xe5\xad\x98\xe5\x9c\xa8\n");
        const QString englishOnly = dir.filePath("en.ini");
        WriteText(englishOnly, "[CLI]\nfileMissing=%1: no such file.\nerrNoFiles=No files to convert.\n");

        const TCliTexts texts(partial, englishOnly);
        QCOMPARE(texts.Format("fileMissing", {"a.avi"}), QString::fromUtf8("a.avi：文件不存在"));
        // Missing in the edition: the English text.
        QCOMPARE(texts.Text("errNoFiles"), QStringLiteral("No files to convert."));
        // Missing in both: the key itself and its arguments, never an empty line.
        QCOMPARE(texts.Text("stopping"), QStringLiteral("stopping"));
        QCOMPARE(texts.Format("fileFailed", {"a.avi", "why"}), QStringLiteral("fileFailed: a.avi, why"));

        const TCliTexts none(dir.filePath("missing.ini"), dir.filePath("missing too.ini"));
        QCOMPARE(none.Format("fileMissing", {"x"}), QStringLiteral("fileMissing: x"));
    }

    void substitute_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("text");
        QTest::newRow("two in order") << "%1 -> %2" << QStringList{"a", "b"} << "a -> b";
        QTest::newRow("reversed") << "%2 <- %1" << QStringList{"a", "b"} << "b <- a";
        QTest::newRow("an argument holding a placeholder stays")
            << "%1 and %2" << QStringList{"100%2 sure", "b"} << "100%2 sure and b";
        QTest::newRow("missing argument gives nothing") << "[%3]" << QStringList{"a"} << "[]";
        QTest::newRow("percent sign") << "%1%%" << QStringList{"45"} << "45%";
        QTest::newRow("lone percent at the end") << "50%" << QStringList{} << "50%";
        QTest::newRow("other letters stay") << "%s %d %n" << QStringList{"x"} << "%s %d %n";
        QTest::newRow("%0 is no placeholder") << "%0" << QStringList{"x"} << "%0";
    }
    void substitute()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, args);
        QTEST(TCliTexts::Substitute(format, args), "text");
    }
};

QTEST_GUILESS_MAIN(tst_CliTexts)
#include "tst_CliTexts.moc"
