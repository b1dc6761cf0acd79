// Which profile a --profile text names, and the help text that lists the options.

#include "cli/CliMain.h"
#include "cli/TCliTexts.h"
#include "profiles/TProfileCatalogue.h"

#include <QRegularExpression>
#include <QTest>

class tst_CliProfile : public QObject
{
    Q_OBJECT

    TProfileCatalogue catalogue;

    int Position(const QString& fileName) const
    {
        for (qsizetype i = 0; i < catalogue.entries.size(); ++i) {
            if (catalogue.entries[i].FileName() == fileName)
                return int(i);
        }
        return -2;
    }

private slots:
    void initTestCase()
    {
        catalogue = TProfileCatalogue::Load(QStringLiteral(VELMORA_SOURCE_DIR "/data/profile/"));
        QVERIFY(catalogue.entries.size() > 20);
        QVERIFY(catalogue.failures.isEmpty());
    }

    void find_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fileName"); // empty: none
        QTest::newRow("first number") << "1"
                                      << "01-mp4-h264-aac.pf";
        QTest::newRow("second number") << "2"
                                       << "02-mp4-h265-aac.pf";
        QTest::newRow("number with a zero") << "02"
                                            << "02-mp4-h265-aac.pf";
        QTest::newRow("number 0") << "0"
                                  << "";
        QTest::newRow("number past the end") << "999"
                                             << "";
        QTest::newRow("number with a sign") << "+2"
                                            << "";
        QTest::newRow("file name") << "21-mp3.pf"
                                   << "21-mp3.pf";
        QTest::newRow("file name in other letter case") << "21-MP3.PF"
                                                        << "21-mp3.pf";
        QTest::newRow("file name without extension") << "21-mp3"
                                                     << "";
        QTest::newRow("unknown") << "no such profile"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void find()
    {
        QFETCH(QString, text);
        QFETCH(QString, fileName);
        QCOMPARE(FindProfile(catalogue, text), fileName.isEmpty() ? -1 : Position(fileName));
    }

    // Every display name finds its own entry, exactly and in other letter case, unless two
    // entries share it in that case.
    void displayNames()
    {
        for (qsizetype i = 0; i < catalogue.entries.size(); ++i) {
            const QString name = catalogue.entries[i].profile.DisplayName();
            const int exact = FindProfile(catalogue, name);
            QVERIFY2(exact >= 0 && catalogue.entries[exact].profile.DisplayName() == name, qPrintable(name));
            int sameFolded = 0;
            for (const TProfileEntry& entry : catalogue.entries)
                sameFolded += entry.profile.DisplayName().compare(name, Qt::CaseInsensitive) == 0 ? 1 : 0;
            const int folded = FindProfile(catalogue, name.toUpper());
            if (name.toUpper() != name)
                QCOMPARE(folded, sameFolded == 1 ? int(i) : -1);
        }
    }

    void helpNamesEveryOption()
    {
        const QString english = QStringLiteral(VELMORA_SOURCE_DIR "/data/language/en.ini");
        const QString help = HelpText(TCliTexts(english, english));
        QVERIFY(help.startsWith("Usage: velmora-cli [options] FILE...\n"));
        for (const char* option :
             {"--list-profiles", "--profile P", "--output DIR", "--jobs N", "--start HH:MM:SS",
              "--duration HH:MM:SS", "--overwrite skip|overwrite|rename", "--log FILE", "--help",
              "--version"}) {
            QVERIFY2(help.contains(QStringLiteral("\n  ") + QLatin1String(option) + u' '), option);
        }
        // Every text found: no key shows in place of its text.
        for (const QString& key : TCliTexts::Keys().filter(QRegularExpression("^help")))
            QVERIFY2(!help.contains(key), qPrintable(key));
    }
};

QTEST_GUILESS_MAIN(tst_CliProfile)
#include "tst_CliProfile.moc"
