// The files of a command-line run: a one-per-line list on standard input, and which named
// files can be converted at all.

#include "cli/CliFileList.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TSourceProblem)

using namespace TestSupport;

class tst_CliFileList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one a line") << QByteArray("a.avi\n/v/b c.mkv\n")
                                    << QStringList{"a.avi", "/v/b c.mkv"};
        QTest::newRow("no final line break") << QByteArray("a.avi\nb.avi") << QStringList{"a.avi", "b.avi"};
        QTest::newRow("blank lines ignored")
            << QByteArray("\n\na.avi\n   \n\t\nb.avi\n\n") << QStringList{"a.avi", "b.avi"};
        QTest::newRow("CR LF lines") << QByteArray("a.avi\r\nb.avi\r\n\r\n") << QStringList{"a.avi", "b.avi"};
        QTest::newRow("blanks at either end stay")
            << QByteArray(" lead.avi\ntrail.avi \n") << QStringList{" lead.avi", "trail.avi "};
        QTest::newRow("quotes and letters stay")
            << QByteArray("\"q\" it's.avi\n\xe8\xa7\x86\xe9\xa2\x91.avi\n")
            << QStringList{"\"q\" it's.avi", QString::fromUtf8("视频.avi")};
        // A name with a line break cannot be told from two names: it arrives as two.
        QTest::newRow("line break inside a name")
            << QByteArray("two\nlines.avi\n") << QStringList{"two", "lines.avi"};
        QTest::newRow("nothing") << QByteArray() << QStringList{};
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QTEST(ParseFileList(text), "names");
    }

    void check_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<TSourceProblem>("problem");
        QTest::newRow("supported file") << "clip.avi" << TSourceProblem::None;
        QTest::newRow("upper case extension") << "CLIP.MKV" << TSourceProblem::None;
        QTest::newRow("junk with a supported extension") << "junk.mp4" << TSourceProblem::None;
        QTest::newRow("unsupported extension") << "notes.txt" << TSourceProblem::Unsupported;
        QTest::newRow("no extension") << "clip" << TSourceProblem::Unsupported;
        QTest::newRow("missing") << "gone.avi" << TSourceProblem::Missing;
        QTest::newRow("folder") << "folder.avi" << TSourceProblem::NotFile;
        QTest::newRow("dangling link") << "dangling.avi" << TSourceProblem::Missing;
    }
    void check()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        for (const char* file : {"clip.avi", "CLIP.MKV", "junk.mp4", "notes.txt", "clip"})
            WriteText(dir.filePath(file), "x");
        QVERIFY(QDir(dir.path()).mkdir("folder.avi"));
        QVERIFY(QFile::link(dir.filePath("nowhere.avi"), dir.filePath("dangling.avi")));
        QTEST(CheckSource(dir.filePath(name)), "problem");
    }
};

QTEST_GUILESS_MAIN(tst_CliFileList)
#include "tst_CliFileList.moc"
