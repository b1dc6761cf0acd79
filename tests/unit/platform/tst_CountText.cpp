// Texts that name a count: the form for one and the form for every other count, read from a
// language file, and what the shipped English and Chinese files make of them.
#include "platform/CountText.h"
#include "platform/IniFile.h"
#include "support/ErrorOf.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace TestSupport;

class TestCountText : public QObject
{
    Q_OBJECT

private slots:
    void forms_data()
    {
        QTest::addColumn<QByteArray>("keys"); // the lines of [frmMain]
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");

        const QByteArray english = "n_one=%s file converted\nn_other=%s files converted\n";
        QTest::newRow("one") << english << 1 << "1 file converted";
        QTest::newRow("none") << english << 0 << "0 files converted";
        QTest::newRow("two") << english << 2 << "2 files converted";
        QTest::newRow("twenty-one") << english << 21 << "21 files converted";
        QTest::newRow("the form for one leaves the number out")
            << QByteArray("n_one=Put its unfinished file back?\nn_other=Put its %s unfinished files back?\n")
            << 1 << "Put its unfinished file back?";
        QTest::newRow("no singular: the other form for one")
            << QByteArray("n_other=已转换 %s 个文件\n") << 1 << "已转换 1 个文件";
        // A language file of an older version holds the bare key only.
        QTest::newRow("bare key") << QByteArray("n=%s files converted\n") << 1 << "1 files converted";
        QTest::newRow("the forms before the bare key")
            << QByteArray("n=%s old\nn_other=%s new\n") << 3 << "3 new";
        QTest::newRow("percent sign") << QByteArray("n_other=%s%% done\n") << 40 << "40% done";
        QTest::newRow("missing") << QByteArray() << 2 << "";
    }
    void forms()
    {
        QFETCH(QByteArray, keys);
        QFETCH(int, count);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        WriteText(dir.filePath("texts.ini"), "[frmMain]\n" + keys);
        const TCountText text = TCountText::Read(IniFile(dir.filePath("texts.ini")), "FRMMAIN", "N");
        QCOMPARE(text.Format(count), shown);
    }

    // A form with another directive is refused as every message format is, never read wrong.
    void brokenForm()
    {
        const TCountText text{QStringLiteral("%s file"), QStringLiteral("%d files")};
        QCOMPARE(text.Format(1), QStringLiteral("1 file"));
        QVERIFY(!ErrorOf([&] { text.Format(2); }).isEmpty());
    }

    void shippedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("English, one") << "en.ini"
                                      << "msgEndConverted" << 1 << "1 file converted";
        QTest::newRow("English, two")
            << "en.ini"
            << "msgEndSkipped" << 2 << "2 files skipped because their outputs exist already";
        QTest::newRow("English resume, one")
            << "en.ini"
            << "msgResumeQueue" << 1
            << "The last conversion did not finish. Put its unfinished file back in the list?";
        QTest::newRow("English notice, one") << "en.ini"
                                             << "msgNotifyConverted" << 1 << "1 file converted";
        QTest::newRow("Chinese, one") << "gb.ini"
                                      << "msgEndConverted" << 1 << QStringLiteral(u"已转换 1 个文件");
        QTest::newRow("Chinese, two") << "gb.ini"
                                      << "msgEndConverted" << 2 << QStringLiteral(u"已转换 2 个文件");
    }
    void shippedFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, key);
        QFETCH(int, count);
        QFETCH(QString, shown);
        const IniFile language(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/") + file);
        QCOMPARE(TCountText::Read(language, "frmMain", key).Format(count), shown);
    }
};

QTEST_GUILESS_MAIN(TestCountText)
#include "tst_CountText.moc"
