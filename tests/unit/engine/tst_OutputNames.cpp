// The existing-output rules: the free automatic name on real files, and the decision for every
// answer of the prompt together with the remembered answer it leaves behind.

#include "engine/OutputNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

void Touch(const QString& path)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("x");
}

} // namespace

class TestOutputNames : public QObject
{
    Q_OBJECT

private slots:
    void MakeAutoName_data();
    void MakeAutoName();
    void MakeAutoNameNeverNamesAnythingThere();
    void MakeAutoNameEndsWhenNamesGrowTooLong();
    void Decide_data();
    void Decide();
    void RememberedAnswerAcrossItems_data();
    void RememberedAnswerAcrossItems();
    void ResolveUsesTheFileSystem();
    void AnswerForButtons_data();
    void AnswerForButtons();
};

void TestOutputNames::MakeAutoName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free") << "clip.mp4" << QStringList{} << "clip.mp4";
    QTest::newRow("taken once") << "clip.mp4" << QStringList{"clip.mp4"} << "clip.mp4(1).mp4";
    QTest::newRow("bracket does not count up")
        << "clip.mp4" << QStringList{"clip.mp4", "clip.mp4(1).mp4"} << "clip.mp4(1).mp4(1).mp4";
    QTest::newRow("three deep") << "clip.mp4"
                                << QStringList{"clip.mp4", "clip.mp4(1).mp4", "clip.mp4(1).mp4(1).mp4"}
                                << "clip.mp4(1).mp4(1).mp4(1).mp4";
    QTest::newRow("no extension") << "clip" << QStringList{"clip", "clip(1)"} << "clip(1)(1)";
    QTest::newRow("last dot only") << "a.b.mkv" << QStringList{"a.b.mkv"} << "a.b.mkv(1).mkv";
    QTest::newRow("blanks, quotes, non-ASCII")
        << "my \"clip\" 视频.mp3" << QStringList{"my \"clip\" 视频.mp3"} << "my \"clip\" 视频.mp3(1).mp3";
    QTest::newRow("a folder takes the name") << "out.avi" << QStringList{"out.avi/"} << "out.avi(1).avi";
}

void TestOutputNames::MakeAutoName()
{
    QFETCH(QString, name);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& entry : existing) {
        if (entry.endsWith(u'/'))
            QVERIFY(QDir(dir.path()).mkdir(entry.chopped(1)));
        else
            Touch(dir.filePath(entry));
    }
    QCOMPARE(::MakeAutoName(dir.filePath(name)), dir.filePath(expected));
}

void TestOutputNames::MakeAutoNameNeverNamesAnythingThere()
{
    // A dangling link would let the new file be written wherever it points.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("clip.mp4");
    QVERIFY(QFile::link(dir.filePath("nowhere/target.mp4"), path));
    QCOMPARE(::MakeAutoName(path), path + "(1).mp4");
    QVERIFY(OutputPathTaken(path));
}

void TestOutputNames::MakeAutoNameEndsWhenNamesGrowTooLong()
{
    // With every candidate taken up to the file system's name limit, the first name too long to
    // exist ends the search instead of looping for ever.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString candidate = dir.filePath("c.mp4");
    int made = 0;
    for (;;) {
        QFile file(candidate);
        if (!file.open(QIODevice::WriteOnly))
            break;
        file.close();
        candidate += "(1).mp4";
        ++made;
    }
    QVERIFY(made > 10);
    const QString result = ::MakeAutoName(dir.filePath("c.mp4"));
    QCOMPARE(result, candidate);
    QVERIFY(!QFile::exists(result));
}

void TestOutputNames::Decide_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("remembered");
    QTest::addColumn<int>("promptAnswer"); // -1: the prompt must not be shown
    QTest::addColumn<QString>("expected"); // "same", "auto" or "" (skip)
    QTest::addColumn<int>("rememberedAfter");

    QTest::newRow("free path, nothing asked") << false << 0 << -1 << "same" << 0;
    QTest::newRow("free path keeps a remembered skip")
        << false << int(owSkipAlways) << -1 << "same" << int(owSkipAlways);
    QTest::newRow("skip once") << true << 0 << int(owSkipOnce) << "" << 0;
    QTest::newRow("skip always") << true << 0 << int(owSkipAlways) << "" << int(owSkipAlways);
    QTest::newRow("overwrite once") << true << 0 << int(owOverwriteOnce) << "same" << 0;
    QTest::newRow("overwrite always")
        << true << 0 << int(owOverwriteAlways) << "same" << int(owOverwriteAlways);
    QTest::newRow("auto name once") << true << 0 << int(owAutoNameOnce) << "auto" << 0;
    QTest::newRow("auto name always")
        << true << 0 << int(owAutoNameAlways) << "auto" << int(owAutoNameAlways);
    QTest::newRow("remembered skip") << true << int(owSkipAlways) << -1 << "" << int(owSkipAlways);
    QTest::newRow("remembered overwrite")
        << true << int(owOverwriteAlways) << -1 << "same" << int(owOverwriteAlways);
    QTest::newRow("remembered auto name")
        << true << int(owAutoNameAlways) << -1 << "auto" << int(owAutoNameAlways);
    QTest::newRow("unknown answer skips, remembers nothing") << true << 0 << 1 << "" << 0;
}

void TestOutputNames::Decide()
{
    QFETCH(bool, exists);
    QFETCH(int, remembered);
    QFETCH(int, promptAnswer);
    QFETCH(QString, expected);
    QFETCH(int, rememberedAfter);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("clip.mp4");
    if (exists)
        Touch(path);

    int asked = 0;
    quint8 overwriteAnswer = quint8(remembered);
    const QString result = DecideOutputName(path, exists, overwriteAnswer, [&] {
        ++asked;
        return quint8(promptAnswer);
    });

    const QString expectedPath = expected == "same"   ? path
                                 : expected == "auto" ? path + "(1).mp4"
                                                      : QString();
    QCOMPARE(result, expectedPath);
    QCOMPARE(asked, promptAnswer < 0 ? 0 : 1);
    QCOMPARE(int(overwriteAnswer), rememberedAfter);
}

void TestOutputNames::RememberedAnswerAcrossItems_data()
{
    QTest::addColumn<int>("firstAnswer");
    QTest::addColumn<int>("promptsForThree");
    QTest::addColumn<int>("writtenOfThree");

    // Three existing outputs in a row; the prompt answers the same each time it shows.
    QTest::newRow("skip once asks each time") << int(owSkipOnce) << 3 << 0;
    QTest::newRow("skip always asks once") << int(owSkipAlways) << 1 << 0;
    QTest::newRow("overwrite once asks each time") << int(owOverwriteOnce) << 3 << 3;
    QTest::newRow("overwrite always asks once") << int(owOverwriteAlways) << 1 << 3;
    QTest::newRow("auto name once asks each time") << int(owAutoNameOnce) << 3 << 3;
    QTest::newRow("auto name always asks once") << int(owAutoNameAlways) << 1 << 3;
}

void TestOutputNames::RememberedAnswerAcrossItems()
{
    QFETCH(int, firstAnswer);
    QFETCH(int, promptsForThree);
    QFETCH(int, writtenOfThree);

    quint8 overwriteAnswer = 0;
    int asked = 0;
    int written = 0;
    for (int item = 0; item < 3; ++item) {
        const QString result =
            DecideOutputName(QStringLiteral("/out/clip%1.mp4").arg(item), true, overwriteAnswer, [&] {
                ++asked;
                return quint8(firstAnswer);
            });
        if (!result.isEmpty())
            ++written;
    }
    QCOMPARE(asked, promptsForThree);
    QCOMPARE(written, writtenOfThree);
}

void TestOutputNames::ResolveUsesTheFileSystem()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("clip.mp4");
    quint8 overwriteAnswer = 0;
    int asked = 0;
    const auto ask = [&] {
        ++asked;
        return quint8(owAutoNameOnce);
    };

    QCOMPARE(::ResolveOutputName(path, overwriteAnswer, ask), path);
    QCOMPARE(asked, 0);

    Touch(path);
    Touch(path + "(1).mp4");
    QCOMPARE(::ResolveOutputName(path, overwriteAnswer, ask), path + "(1).mp4(1).mp4");
    QCOMPARE(asked, 1);
    QCOMPARE(int(overwriteAnswer), 0);
}

void TestOutputNames::AnswerForButtons_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<int>("answer");

    QTest::newRow("ignore") << int(TOverwriteButton::Ignore) << false << 0;
    QTest::newRow("ignore, remember") << int(TOverwriteButton::Ignore) << true << 2;
    QTest::newRow("overwrite") << int(TOverwriteButton::OverWrite) << false << 3;
    QTest::newRow("overwrite, remember") << int(TOverwriteButton::OverWrite) << true << 4;
    QTest::newRow("auto name") << int(TOverwriteButton::AutoName) << false << 5;
    QTest::newRow("auto name, remember") << int(TOverwriteButton::AutoName) << true << 6;
}

void TestOutputNames::AnswerForButtons()
{
    QFETCH(int, button);
    QFETCH(bool, remember);
    QFETCH(int, answer);
    QCOMPARE(int(OverwriteAnswerFor(TOverwriteButton(button), remember)), answer);
}

QTEST_GUILESS_MAIN(TestOutputNames)
#include "tst_OutputNames.moc"
