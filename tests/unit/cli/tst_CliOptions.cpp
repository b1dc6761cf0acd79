// The command line's options: what each argument list asks for, and the message and refusal
// for each wrong one.

#include "cli/CliOptions.h"
#include "cli/TCliTexts.h"
#include "platform/AppError.h"

#include <QTest>

Q_DECLARE_METATYPE(TOverwriteRule)

class tst_CliOptions : public QObject
{
    Q_OBJECT

    TCliTexts texts;

private slots:
    void initTestCase()
    {
        const QString english = QStringLiteral(VELMORA_SOURCE_DIR "/data/language/en.ini");
        texts = TCliTexts(english, english);
    }

    void accepted_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<TOverwriteRule>("overwrite");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("files");
        const auto rename = TOverwriteRule::Rename;

        QTest::newRow("files only") << QStringList{"a.avi", "b c.mkv"} << ""
                                    << "" << 0 << ""
                                    << "" << rename << "" << QStringList{"a.avi", "b c.mkv"};
        QTest::newRow("every option")
            << QStringList{"--profile",   "2",       "--output", "/o u t",     "--jobs",
                           "4",           "--start", "0:01:02",  "--duration", "00:00:30",
                           "--overwrite", "skip",    "--log",    "run.log",    "x.avi"}
            << "2"
            << "/o u t" << 4 << "00:01:02"
            << "00:00:30" << TOverwriteRule::Skip << "run.log" << QStringList{"x.avi"};
        QTest::newRow("name=value") << QStringList{"--profile=MP4 Video", "--jobs=1024",
                                                   "--overwrite=overwrite", "x.avi"}
                                    << "MP4 Video"
                                    << "" << 1024 << ""
                                    << "" << TOverwriteRule::Overwrite << "" << QStringList{"x.avi"};
        QTest::newRow("the last counts") << QStringList{"--jobs", "3", "x.avi", "--jobs", "2"} << ""
                                         << "" << 2 << ""
                                         << "" << rename << "" << QStringList{"x.avi"};
        QTest::newRow("lone dash is the list") << QStringList{"-", "a.avi"} << ""
                                               << "" << 0 << ""
                                               << "" << rename << "" << QStringList{"-", "a.avi"};
        QTest::newRow("after -- every name is a file")
            << QStringList{"--", "--jobs", "-x.avi"} << ""
            << "" << 0 << ""
            << "" << rename << "" << QStringList{"--jobs", "-x.avi"};
        QTest::newRow("a value beginning with -- after =") << QStringList{"--output=--odd", "a.avi"} << ""
                                                           << "--odd" << 0 << ""
                                                           << "" << rename << "" << QStringList{"a.avi"};
        QTest::newRow("no files") << QStringList{"--jobs", "1"} << ""
                                  << "" << 1 << ""
                                  << "" << rename << "" << QStringList{};
    }
    void accepted()
    {
        QFETCH(QStringList, arguments);
        const TCliOptions options = ParseCliOptions(arguments, texts);
        QTEST(options.profile, "profile");
        QTEST(options.outputFolder, "output");
        QTEST(options.jobs, "jobs");
        QTEST(options.startText, "start");
        QTEST(options.durationText, "duration");
        QTEST(options.overwrite, "overwrite");
        QTEST(options.logFile, "log");
        QTEST(options.files, "files");
        QVERIFY(!options.help && !options.version && !options.listProfiles);
    }

    void flags()
    {
        const TCliOptions options = ParseCliOptions({"--list-profiles", "--version", "--help"}, texts);
        QVERIFY(options.help);
        QVERIFY(options.version);
        QVERIFY(options.listProfiles);
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--fast", "a.avi"} << "Unknown option \"--fast\".";
        QTest::newRow("short option") << QStringList{"-j", "2"} << "Unknown option \"-j\".";
        QTest::newRow("missing value at the end")
            << QStringList{"a.avi", "--profile"} << "Option --profile needs a value.";
        QTest::newRow("option where the value belongs")
            << QStringList{"--output", "--jobs", "2", "a.avi"} << "Option --output needs a value.";
        QTest::newRow("empty value") << QStringList{"--output=", "a.avi"} << "Option --output needs a value.";
        QTest::newRow("flag with a value") << QStringList{"--help=yes"} << "Option --help takes no value.";
        QTest::newRow("jobs 0") << QStringList{"--jobs", "0"}
                                << "--jobs takes a whole number from 1 to 1024, not \"0\".";
        QTest::newRow("jobs abc") << QStringList{"--jobs", "abc"}
                                  << "--jobs takes a whole number from 1 to 1024, not \"abc\".";
        QTest::newRow("jobs 1025") << QStringList{"--jobs=1025"}
                                   << "--jobs takes a whole number from 1 to 1024, not \"1025\".";
        QTest::newRow("jobs -2") << QStringList{"--jobs=-2"}
                                 << "--jobs takes a whole number from 1 to 1024, not \"-2\".";
        QTest::newRow("jobs 2.5") << QStringList{"--jobs", "2.5"}
                                  << "--jobs takes a whole number from 1 to 1024, not \"2.5\".";
        QTest::newRow("jobs huge") << QStringList{"--jobs", "99999999999"}
                                   << "--jobs takes a whole number from 1 to 1024, not \"99999999999\".";
        QTest::newRow("start minutes 60")
            << QStringList{"--start", "00:60:00"} << "--start takes a time HH:MM:SS, not \"00:60:00\".";
        QTest::newRow("start in seconds")
            << QStringList{"--start", "90"} << "--start takes a time HH:MM:SS, not \"90\".";
        QTest::newRow("duration with fraction") << QStringList{"--duration", "00:00:10.5"}
                                                << "--duration takes a time HH:MM:SS, not \"00:00:10.5\".";
        QTest::newRow("duration zero")
            << QStringList{"--duration", "0:00:00"}
            << "--duration must be longer than 00:00:00; leave it out to convert up "
               "to the end.";
        QTest::newRow("overwrite ask") << QStringList{"--overwrite", "ask"}
                                       << "--overwrite takes skip, overwrite or rename, not \"ask\".";
        QTest::newRow("overwrite upper case") << QStringList{"--overwrite", "Skip"}
                                              << "--overwrite takes skip, overwrite or rename, not \"Skip\".";
    }
    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        try {
            ParseCliOptions(arguments, texts);
            QFAIL("accepted");
        } catch (const AppError& error) {
            QCOMPARE(error.Text(), message);
        }
    }

    void timeText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("normal");
        QTest::newRow("full") << "01:02:03"
                              << "01:02:03";
        QTest::newRow("one hour digit") << "1:02:03"
                                        << "01:02:03";
        QTest::newRow("largest") << "99:59:59"
                                 << "99:59:59";
        QTest::newRow("three hour digits") << "100:00:00"
                                           << "";
        QTest::newRow("seconds 60") << "00:00:60"
                                    << "";
        QTest::newRow("one minute digit") << "00:1:00"
                                          << "";
        QTest::newRow("blank around") << " 00:00:01"
                                      << "";
        QTest::newRow("letters") << "aa:bb:cc"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void timeText()
    {
        QFETCH(QString, text);
        QTEST(NormalTimeText(text), "normal");
    }
};

QTEST_GUILESS_MAIN(tst_CliOptions)
#include "tst_CliOptions.moc"
