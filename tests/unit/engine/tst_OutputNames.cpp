// The existing-output rules: the free automatic name on real files, and the decision for every
// answer of the prompt together with the remembered answer it leaves behind. The output file
// itself: its name, the same-file check, the placeholder and the partial file beside it.

#include "engine/OutputFile.h"
#include "engine/OutputNames.h"
#include "platform/Paths.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

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
    void AutoNameOf_data();
    void AutoNameOf();
    void Decide_data();
    void Decide();
    void RememberedAnswerAcrossItems_data();
    void RememberedAnswerAcrossItems();
    void ResolveUsesTheFileSystem();
    void AnswerForButtons_data();
    void AnswerForButtons();
    void OutputName_data();
    void OutputName();
    void SameFileCheck_data();
    void SameFileCheck();
    void Placeholder_data();
    void Placeholder();
    void Partial_data();
    void Partial();
    void PartialInAFullOrMissingFolder();
    void PlaceholderStill_data();
    void PlaceholderStill();
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

void TestOutputNames::AutoNameOf_data()
{
    QTest::addColumn<QString>("candidate");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("expected");
    QTest::newRow("the name itself") << "/out/clip.mp4"
                                     << "/out/clip.mp4" << true;
    QTest::newRow("first automatic name") << "/out/clip.mp4(1).mp4"
                                          << "/out/clip.mp4" << true;
    QTest::newRow("third automatic name") << "/out/clip.mp4(1).mp4(1).mp4(1).mp4"
                                          << "/out/clip.mp4" << true;
    QTest::newRow("no extension") << "/out/clip(1)(1)"
                                  << "/out/clip" << true;
    QTest::newRow("another number") << "/out/clip.mp4(2).mp4"
                                    << "/out/clip.mp4" << false;
    QTest::newRow("another extension") << "/out/clip.mp4(1).mkv"
                                       << "/out/clip.mp4" << false;
    QTest::newRow("half a suffix") << "/out/clip.mp4(1)"
                                   << "/out/clip.mp4" << false;
    QTest::newRow("another name") << "/out/clip2.mp4"
                                  << "/out/clip.mp4" << false;
    QTest::newRow("a shorter name") << "/out/clip"
                                    << "/out/clip.mp4" << false;
}

void TestOutputNames::AutoNameOf()
{
    QFETCH(QString, candidate);
    QFETCH(QString, path);
    QFETCH(bool, expected);
    QCOMPARE(IsAutoNameOf(candidate, path), expected);
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

void TestOutputNames::OutputName_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("extension replaced") << "/media/clip.avi"
                                        << "clip.mp4";
    QTest::newRow("last dot only") << "/media/a.b.mkv"
                                   << "a.b.mp4";
    QTest::newRow("no extension gets one") << "/media/clip"
                                           << "clip.mp4";
    QTest::newRow("a leading dot is the name") << "/media/.clip"
                                               << ".clip.mp4";
    QTest::newRow("dot in the folder only") << "/media.d/clip"
                                            << "clip.mp4";
    QTest::newRow("name ending in a dot") << "/media/clip."
                                          << "clip.mp4";
    QTest::newRow("blanks, quotes, non-ASCII") << "/m/my \"clip\" 视频.wmv"
                                               << "my \"clip\" 视频.mp4";
}

void TestOutputNames::OutputName()
{
    QFETCH(QString, source);
    QFETCH(QString, expected);
    QCOMPARE(OutputNameFor(source, QStringLiteral("mp4")), expected);
}

void TestOutputNames::SameFileCheck_data()
{
    QTest::addColumn<QString>("second"); // how the second path reaches the first file
    QTest::addColumn<bool>("same");
    QTest::newRow("the same path") << "same" << true;
    QTest::newRow("another spelling") << "spelling" << true;
    QTest::newRow("a link to it") << "link" << true;
    QTest::newRow("a second name") << "hard" << true;
    QTest::newRow("a copy") << "copy" << false;
    QTest::newRow("nothing there") << "missing" << false;
    QTest::newRow("a dangling link") << "dangling" << false;
}

void TestOutputNames::SameFileCheck()
{
    QFETCH(QString, second);
    QFETCH(bool, same);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath("clip.mp4");
    Touch(first);
    const QString other = dir.filePath("other.mp4");
    if (second == "same") {
        QCOMPARE(SameFile(first, first), same);
        return;
    }
    if (second == "spelling") {
        QCOMPARE(SameFile(first, dir.path() + "/./sub/../clip.mp4"), false); // no "sub" folder
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QCOMPARE(SameFile(first, dir.path() + "/./sub/../clip.mp4"), same);
        return;
    }
    if (second == "link")
        QVERIFY(QFile::link(first, other));
    else if (second == "hard")
        QCOMPARE(::link(QFile::encodeName(first).constData(), QFile::encodeName(other).constData()), 0);
    else if (second == "copy")
        QVERIFY(QFile::copy(first, other));
    else if (second == "dangling")
        QVERIFY(QFile::link(dir.filePath("gone.mp4"), other));
    QCOMPARE(SameFile(first, other), same);
    QCOMPARE(SameFile(other, first), same);
}

void TestOutputNames::Placeholder_data()
{
    QTest::addColumn<QString>("existing"); // what is at the output's name beforehand
    QTest::addColumn<QString>("error");    // the reason in the error, empty when created
    QTest::addColumn<bool>("everyName");   // the reason would meet any other name in the folder

    // Only a free name gets one: whatever is there stays as it was, even a link's target, and
    // is replaced, if at all, only by the finished output.
    QTest::newRow("nothing") << "nothing"
                             << "" << false;
    QTest::newRow("a file") << "file"
                            << "File exists" << false;
    QTest::newRow("a link to a file") << "link"
                                      << "File exists" << false;
    QTest::newRow("a dangling link") << "dangling"
                                     << "File exists" << false;
    QTest::newRow("a link to a folder") << "folderlink"
                                        << "File exists" << false;
    QTest::newRow("a folder") << "folder"
                              << "File exists" << false;
    QTest::newRow("a pipe") << "pipe"
                            << "File exists" << false;
    QTest::newRow("a name too long") << "long"
                                     << "File name too long" << false;
    QTest::newRow("a missing folder") << "nofolder"
                                      << "No such file or directory" << true;
    QTest::newRow("a file where the folder should be") << "notfolder"
                                                       << "Not a directory" << true;
}

void TestOutputNames::Placeholder()
{
    QFETCH(QString, existing);
    QFETCH(QString, error);
    QFETCH(bool, everyName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("out"));
    QVERIFY(QDir(dir.path()).mkdir("elsewhere"));
    const QString elsewhere = dir.filePath("elsewhere");
    const QString target = elsewhere + "/precious.bin";
    const QByteArray precious("precious\0bytes\r\n", 16);
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(precious);
    }
    QString path = dir.filePath("out/clip.mp4");
    const QByteArray name = QFile::encodeName(path);
    if (existing == "file")
        Touch(path);
    else if (existing == "link")
        QVERIFY(QFile::link(target, path));
    else if (existing == "dangling")
        QVERIFY(QFile::link(elsewhere + "/made.mp4", path));
    else if (existing == "folderlink")
        QVERIFY(QFile::link(elsewhere, path));
    else if (existing == "folder")
        QVERIFY(QDir().mkdir(path));
    else if (existing == "pipe")
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    else if (existing == "long")
        path = dir.filePath("out/") + QString(252, u'x') + ".mp4";
    else if (existing == "nofolder")
        path = dir.filePath("nothing here/clip.mp4");
    else if (existing == "notfolder")
        path = target + "/clip.mp4";
    const QByteArray before = existing == "file" ? TestSupport::ReadAll(path) : QByteArray();

    // A pipe must not make this wait for a reader.
    QString text;
    bool raisedEveryName = false;
    try {
        ReservePlaceholder(path);
    } catch (const TOutputError& raised) {
        text = raised.Text();
        raisedEveryName = raised.EveryName();
    }
    if (error.isEmpty()) {
        QCOMPARE(text, QString());
        struct stat info;
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
        QVERIFY(S_ISREG(info.st_mode));
        QVERIFY(StillPlaceholder(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), PlaceholderText());
    } else {
        QCOMPARE(text, QStringLiteral("Cannot create file \"%1\". %2").arg(path, error));
        QCOMPARE(raisedEveryName, everyName);
    }
    // Nothing was written through a link, and whatever was at the name and refused stays.
    QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"precious.bin"});
    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), precious);
    if (existing == "file")
        QCOMPARE(TestSupport::ReadAll(path), before);
    if (existing == "folder")
        QVERIFY(QFileInfo(path).isDir());
    if (existing == "link" || existing == "dangling" || existing == "folderlink")
        QVERIFY(QFileInfo(path).isSymLink());
    if (existing == "pipe") {
        struct stat info;
        QCOMPARE(::lstat(name.constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));
    }
    if (existing == "long" || existing == "nofolder")
        QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
}

void TestOutputNames::Partial_data()
{
    QTest::addColumn<QString>("name"); // the output's file name
    QTest::addColumn<int>("kept");     // how much of it the partial file's name keeps; -1 all

    QTest::newRow("plain") << "clip.mp4" << -1;
    QTest::newRow("blanks and letters") << QString::fromUtf8("视频 片段 é.mkv") << -1;
    QTest::newRow("no extension") << "clip" << -1;
    QTest::newRow("the longest name there is") << QString(251, u'a') + ".mp4" << 255 - 20;
    // Three bytes a letter: cut between letters, never inside one.
    QTest::newRow("long in Chinese") << QString(80, QChar(0x89c6)) + ".mp4" << (255 - 20) / 3 * 3;
}

void TestOutputNames::Partial()
{
    QFETCH(QString, name);
    QFETCH(int, kept);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString output = dir.filePath(name);
    const QString first = CreatePartial(output);
    const QString second = CreatePartial(output);
    // Hidden, beside the output, the output's extension last, and one of its own each time.
    QCOMPARE(QFileInfo(first).path(), dir.path());
    const QString fileName = QFileInfo(first).fileName();
    QVERIFY2(fileName.startsWith(u'.'), qPrintable(fileName));
    QVERIFY2(fileName.endsWith(ExtensionWithDot(name)), qPrintable(fileName));
    QVERIFY(first != second);
    QVERIFY(StillPlaceholder(first));
    QVERIFY(StillPlaceholder(second));
    QVERIFY(!QFileInfo::exists(output));
    const QString keptPart = fileName.mid(1, fileName.indexOf(QStringLiteral(".velmora-")) - 1);
    if (kept < 0)
        QCOMPARE(keptPart, name);
    else
        QCOMPARE(int(QFile::encodeName(keptPart).size()), kept);
    QVERIFY(QFile::encodeName(fileName).size() <= 255);

    QVERIFY(IsPartialOf(first, output));
    QVERIFY(IsPartialOf(second, output));
    QVERIFY(!IsPartialOf(output, output));
    QVERIFY(!IsPartialOf(first, dir.filePath("other.mp4")));
    QVERIFY(!IsPartialOf(dir.filePath("sub/") + fileName, output));
    QVERIFY(!IsPartialOf(dir.filePath(fileName.mid(1)), output));
    QVERIFY(!IsPartialOf(dir.filePath(".") + name + ".velmora-ABCDEF" + ExtensionWithDot(name), output));
}

void TestOutputNames::PartialInAFullOrMissingFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString output = dir.filePath("nothing here/clip.mp4");
    try {
        CreatePartial(output);
        QFAIL("a partial file in a missing folder");
    } catch (const TOutputError& error) {
        QVERIFY2(
            error.Text().startsWith(
                QStringLiteral("Cannot create file \"%1/nothing here/.clip.mp4.velmora-").arg(dir.path())),
            qPrintable(error.Text()));
        QVERIFY(error.EveryName());
    }
}

void TestOutputNames::PlaceholderStill_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("still");

    QTest::newRow("the placeholder") << "file" << PlaceholderText() << true;
    QTest::newRow("written over") << "file" << QByteArray("RIFF....AVI ") << false;
    QTest::newRow("written after it") << "file" << PlaceholderText() + "more" << false;
    QTest::newRow("cut short") << "file" << QByteArray("temp") << false;
    QTest::newRow("emptied") << "file" << QByteArray() << false;
    QTest::newRow("gone") << "missing" << QByteArray() << false;
    QTest::newRow("a folder") << "folder" << QByteArray() << false;
}

void TestOutputNames::PlaceholderStill()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, content);
    QFETCH(bool, still);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("clip.mp4");
    if (kind == "file") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    }
    QCOMPARE(StillPlaceholder(path), still);
}

QTEST_GUILESS_MAIN(TestOutputNames)
#include "tst_OutputNames.moc"
