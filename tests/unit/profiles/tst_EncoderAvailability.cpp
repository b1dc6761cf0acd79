// Which profiles the installed ffmpeg can encode: the adapter's answer read, asked and cached
// (with stand-in adapters written by the test), the profiles that lack an encoder, and the
// saved format choice read against the catalogue.

#include "profiles/TEncoderAvailability.h"
#include "profiles/TProfileCatalogue.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::ReadAll;
using TestSupport::WriteText;

namespace {

QByteArray Line(const QStringList& fields)
{
    return fields.join(QStringLiteral("[MORVANE]")).toUtf8();
}

// A profile line with the given codecs and video flag; the rest as the shipped ones have it.
QByteArray ProfileLine(const QString& name, const QString& videoCodec, const QString& audioCodec,
                       bool hasVideo = true)
{
    return Line({name, "", "mp4", "mp4", videoCodec + "|" + videoCodec + "|0", "-1|-1|1", "-1|-1|1",
                 "-1|-1|1", hasVideo ? "1" : "0", audioCodec + "|" + audioCodec + "|0", "128|128|1",
                 "44100|44100|1", "2|2|1", "1"});
}

TVideoProfile Profile(const QString& videoCodec, const QString& audioCodec, bool hasVideo = true)
{
    TVideoProfile profile;
    profile.LoadFromLine(ProfileLine("p", videoCodec, audioCodec, hasVideo));
    return profile;
}

void MakeExecutable(const QString& path, const QByteArray& text)
{
    WriteText(path, text);
    QFile::setPermissions(path,
                          QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
}

} // namespace

class tst_EncoderAvailability : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void parseAnswer_data();
    void parseAnswer();
    void missingEncoders_data();
    void missingEncoders();
    void catalogueMarksEntries();
    void savedEntry_data();
    void savedEntry();
    void formerCatalogue();
    void findsFfmpeg();
    void answerIsCachedPerFfmpeg();
    void adapterFailures_data();
    void adapterFailures();
    void unwritableCache();
    void askInBackground();
    void askWithoutAdapter();

private:
    // A program folder with a stand-in adapter and an ffmpeg beside it.
    void WriteAdapter(const QByteArray& body);
    QString Folder() const { return dir->path() + u'/'; }
    QString Cache() const { return dir->filePath(QStringLiteral("settings/encoders.cache")); }
    int AdapterRuns() const { return int(ReadAll(dir->filePath(QStringLiteral("runs"))).count('\n')); }
    std::unique_ptr<QTemporaryDir> dir;
};

void tst_EncoderAvailability::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir().mkpath(dir->filePath(QStringLiteral("settings"))));
    MakeExecutable(dir->filePath(QStringLiteral("ffmpeg")), "#!/bin/sh\nexit 0\n");
}

void tst_EncoderAvailability::WriteAdapter(const QByteArray& body)
{
    // Each run leaves a line, so a test sees whether the adapter was asked at all.
    MakeExecutable(dir->filePath(QStringLiteral("libm9s.exe")),
                   "#!/bin/sh\necho run >> '" + QFile::encodeName(dir->filePath(QStringLiteral("runs"))) +
                       "'\n" + body);
}

void tst_EncoderAvailability::parseAnswer_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("known");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("names") << QByteArray("aac\ncopy\nlibx264\n") << true
                           << QStringList{"aac", "copy", "libx264"};
    QTest::newRow("line ends of both kinds, blank lines")
        << QByteArray("aac\r\n\r\nlibvpx-vp9\n  \n") << true << QStringList{"aac", "libvpx-vp9"};
    QTest::newRow("empty") << QByteArray() << false << QStringList();
    QTest::newRow("blank lines only") << QByteArray("\n\n") << false << QStringList();
    QTest::newRow("words that are no names")
        << QByteArray("aac\nthe encoders are:\n") << false << QStringList();
    QTest::newRow("binary garbage") << QByteArray("\x01\x02\xff\xfe\n", 5) << false << QStringList();
}

void tst_EncoderAvailability::parseAnswer()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, known);
    QFETCH(QStringList, names);
    const std::optional<QSet<QString>> parsed = TEncoderAvailability::ParseAnswer(text);
    QCOMPARE(parsed.has_value(), known);
    if (known)
        QCOMPARE(*parsed, QSet<QString>(names.begin(), names.end()));
}

void tst_EncoderAvailability::missingEncoders_data()
{
    QTest::addColumn<QString>("videoCodec");
    QTest::addColumn<QString>("audioCodec");
    QTest::addColumn<bool>("hasVideo");
    QTest::addColumn<QStringList>("missing");
    QTest::newRow("both there") << "libx264"
                                << "aac" << true << QStringList();
    QTest::newRow("video missing") << "libx265"
                                   << "aac" << true << QStringList{"libx265"};
    QTest::newRow("audio missing") << "libx264"
                                   << "libopus" << true << QStringList{"libopus"};
    QTest::newRow("both missing, video first") << "libsvtav1"
                                               << "libopus" << true << QStringList{"libsvtav1", "libopus"};
    QTest::newRow("no video: its codec needs nothing") << "libx265"
                                                       << "aac" << false << QStringList();
    QTest::newRow("automatic codecs need nothing") << "-1"
                                                   << "-1" << true << QStringList();
    QTest::newRow("a codec nobody knows") << "nosuchcodec"
                                          << "aac" << true << QStringList{"nosuchcodec"};
    QTest::newRow("stream copy") << "copy"
                                 << "copy" << true << QStringList();
    QTest::newRow("letter case counts") << "LIBX264"
                                        << "aac" << true << QStringList{"LIBX264"};
}

void tst_EncoderAvailability::missingEncoders()
{
    QFETCH(QString, videoCodec);
    QFETCH(QString, audioCodec);
    QFETCH(bool, hasVideo);
    QFETCH(QStringList, missing);
    const QSet<QString> encoders{"aac", "copy", "libx264", "mpeg4"};
    QCOMPARE(TEncoderAvailability::MissingEncoders(Profile(videoCodec, audioCodec, hasVideo), encoders),
             missing);
}

void tst_EncoderAvailability::catalogueMarksEntries()
{
    WriteText(dir->filePath("profile/a.pf"), ProfileLine("A", "libx264", "aac"));
    WriteText(dir->filePath("profile/b.pf"), ProfileLine("B", "libx265", "aac"));
    TProfileCatalogue catalogue = TProfileCatalogue::Load(dir->filePath("profile"));
    QCOMPARE(catalogue.entries.size(), 2);

    TEncoderAnswer answer;
    answer.known = true;
    answer.encoders = {"libx264", "aac"};
    catalogue.ApplyEncoders(answer);
    QVERIFY(catalogue.entries[0].Available());
    QCOMPARE(catalogue.entries[1].missingEncoders, QStringList{"libx265"});
    QCOMPARE(catalogue.FirstAvailable(), 0);

    answer.encoders = {"libx265", "aac"};
    catalogue.ApplyEncoders(answer);
    QCOMPARE(catalogue.FirstAvailable(), 1);

    answer.encoders = {"aac"};
    catalogue.ApplyEncoders(answer);
    QCOMPARE(catalogue.FirstAvailable(), -1);

    // An answer that is not known makes every entry available again.
    catalogue.ApplyEncoders(TEncoderAnswer());
    QVERIFY(catalogue.entries[0].Available() && catalogue.entries[1].Available());
}

void tst_EncoderAvailability::savedEntry_data()
{
    QTest::addColumn<QString>("formatFile");  // "/": no such key
    QTest::addColumn<int>("formatIndex");     // INT_MIN: no such key
    QTest::addColumn<QString>("unavailable"); // the file the installed ffmpeg cannot encode
    QTest::addColumn<int>("expected");
    // The folder holds 01-mp4-h264-aac.pf, 02-mp4-h265-aac.pf, 21-mp3.pf, 33-mp4-mpeg4-aac.pf.
    QTest::newRow("nothing saved: the first") << "/" << INT_MIN << "" << 0;
    QTest::newRow("the file names it") << "21-mp3.pf" << 0 << "" << 2;
    QTest::newRow("the file wins over the position") << "02-mp4-h265-aac.pf" << 3 << "" << 1;
    QTest::newRow("a file that is gone: the position") << "99-gone.pf" << 2 << "" << 2;
    QTest::newRow("a file that is gone, position past the end") << "99-gone.pf" << 9 << "" << 0;
    QTest::newRow("no entry was selected") << "" << -1 << "" << -1;
    QTest::newRow("former position 0 was MPEG-4") << "/" << 0 << "" << 3;
    QTest::newRow("former position 1 was H.264") << "/" << 1 << "" << 0;
    QTest::newRow("former position 19 was MP3") << "/" << 19 << "" << 2;
    QTest::newRow("former file not here: the position") << "/" << 2 << "" << 2;
    QTest::newRow("former position past everything") << "/" << 700 << "" << 0;
    QTest::newRow("former negative position") << "/" << -1 << "" << -1;
    QTest::newRow("saved entry unavailable: the first available")
        << "01-mp4-h264-aac.pf" << 0 << "01-mp4-h264-aac.pf" << 1;
    QTest::newRow("unavailable first entry, nothing saved") << "/" << INT_MIN << "01-mp4-h264-aac.pf" << 1;
    QTest::newRow("another entry unavailable changes nothing")
        << "21-mp3.pf" << 2 << "02-mp4-h265-aac.pf" << 2;
}

void tst_EncoderAvailability::savedEntry()
{
    QFETCH(QString, formatFile);
    QFETCH(int, formatIndex);
    QFETCH(QString, unavailable);
    QFETCH(int, expected);
    for (const char* name : {"01-mp4-h264-aac.pf", "02-mp4-h265-aac.pf", "21-mp3.pf", "33-mp4-mpeg4-aac.pf"})
        WriteText(dir->filePath("profile/") + name, ProfileLine(name, QStringLiteral("v-") + name, "aac"));
    TProfileCatalogue catalogue = TProfileCatalogue::Load(dir->filePath("profile"));
    QCOMPARE(catalogue.entries.size(), 4);
    TEncoderAnswer answer;
    answer.known = true;
    answer.encoders = {"aac"};
    for (const TProfileEntry& entry : catalogue.entries)
        if (entry.FileName() != unavailable)
            answer.encoders.insert(entry.profile.VideoCodec().Value);
    catalogue.ApplyEncoders(answer);

    const std::optional<QString> file = formatFile == "/" ? std::nullopt : std::optional(formatFile);
    const std::optional<int> index = formatIndex == INT_MIN ? std::nullopt : std::optional(formatIndex);
    QCOMPARE(catalogue.SavedEntryIndex(file, index), expected);

    // The same keys read from a config.ini.
    QByteArray config = "[setting]\n";
    if (file)
        config += "formatFile=" + file->toUtf8() + "\n";
    if (index)
        config += "iComboxFormatIndex=" + QByteArray::number(*index) + "\n";
    WriteText(dir->filePath("config.ini"), config);
    QCOMPARE(catalogue.SavedEntryIndex(dir->filePath("config.ini")), expected);
    // A position that is no number counts as none saved.
    WriteText(dir->filePath("config.ini"), "[setting]\niComboxFormatIndex=first\n");
    QCOMPARE(catalogue.SavedEntryIndex(dir->filePath("config.ini")), unavailable.startsWith("01") ? 1 : 0);
}

void tst_EncoderAvailability::formerCatalogue()
{
    // Each position of the former catalogue names one shipped profile, none twice.
    const QString shipped = QStringLiteral(VELMORA_SOURCE_DIR "/data/profile/");
    QSet<QString> seen;
    for (int i = 0; i < 26; ++i) {
        const QString file = TProfileCatalogue::FormerFormatFile(i);
        QVERIFY2(QFile::exists(shipped + file), qPrintable(QString::number(i) + ": " + file));
        QVERIFY2(!seen.contains(file), qPrintable(file));
        seen.insert(file);
    }
    QVERIFY(TProfileCatalogue::FormerFormatFile(26).isEmpty());
    QVERIFY(TProfileCatalogue::FormerFormatFile(-1).isEmpty());
    // The formats at the ends of the former list, by what they are.
    TVideoProfile first, last;
    first.LoadFromFile(shipped + TProfileCatalogue::FormerFormatFile(0));
    last.LoadFromFile(shipped + TProfileCatalogue::FormerFormatFile(25));
    QCOMPARE(first.VideoCodec().Value, QStringLiteral("mpeg4"));
    QCOMPARE(first.Extension(), QStringLiteral("mp4"));
    QCOMPARE(last.Extension(), QStringLiteral("mp2"));
}

void tst_EncoderAvailability::findsFfmpeg()
{
    WriteAdapter("exit 0\n");
    const QByteArray path = qgetenv("PATH");
    const auto restore = qScopeGuard([path] { qputenv("PATH", path); });
    // Beside the adapter first, whatever PATH says.
    QCOMPARE(TEncoderAvailability::FindFfmpeg(Folder()), dir->filePath("ffmpeg"));
    // Then the first on PATH that can be run.
    QFile::remove(dir->filePath("ffmpeg"));
    QTemporaryDir onPath, notRunnable;
    WriteText(notRunnable.filePath("ffmpeg"), "#!/bin/sh\n");
    MakeExecutable(onPath.filePath("ffmpeg"), "#!/bin/sh\n");
    qputenv("PATH", QFile::encodeName(notRunnable.path() + u':' + onPath.path()));
    QCOMPARE(TEncoderAvailability::FindFfmpeg(Folder()), onPath.filePath("ffmpeg"));
    qputenv("PATH", QFile::encodeName(notRunnable.path()));
    QCOMPARE(TEncoderAvailability::FindFfmpeg(Folder()), QString());
}

void tst_EncoderAvailability::answerIsCachedPerFfmpeg()
{
    WriteAdapter("printf 'aac\\nlibx264\\ncopy\\n'\n");
    TEncoderAvailability availability(Folder(), Cache());
    QVERIFY(!availability.CachedAnswer().known);

    TEncoderAnswer answer = availability.AnswerNow();
    QVERIFY2(answer.known, qPrintable(answer.reason));
    QVERIFY(!answer.fromCache);
    QCOMPARE(answer.encoders, (QSet<QString>{"aac", "libx264", "copy"}));
    QCOMPARE(AdapterRuns(), 1);
    QVERIFY(QFile::exists(Cache()));

    // The next start reads the cache and does not ask.
    TEncoderAvailability next(Folder(), Cache());
    answer = next.CachedAnswer();
    QVERIFY(answer.known && answer.fromCache);
    QCOMPARE(answer.encoders, (QSet<QString>{"aac", "libx264", "copy"}));
    answer = next.AnswerNow();
    QVERIFY(answer.fromCache);
    QCOMPARE(AdapterRuns(), 1);

    // Another ffmpeg (another size) is asked about afresh.
    MakeExecutable(dir->filePath("ffmpeg"), "#!/bin/sh\n# another build\nexit 0\n");
    WriteAdapter("printf 'aac\\nlibx265\\n'\n");
    QVERIFY(!next.CachedAnswer().known);
    answer = next.AnswerNow();
    QVERIFY(!answer.fromCache);
    QCOMPARE(answer.encoders, (QSet<QString>{"aac", "libx265"}));
    QVERIFY(next.CachedAnswer().known);

    // A cache that is damaged or from elsewhere is not believed.
    WriteText(Cache(), ReadAll(Cache()).replace("key=", "key=x"));
    QVERIFY(!next.CachedAnswer().known);
    WriteText(Cache(), "garbage");
    QVERIFY(!next.CachedAnswer().known);
    // No place for a cache: every start asks.
    TEncoderAvailability nowhere(Folder(), QString());
    QVERIFY(!nowhere.CachedAnswer().known);
    const int runs = AdapterRuns();
    QVERIFY(nowhere.AnswerNow().known);
    QCOMPARE(AdapterRuns(), runs + 1);
}

void tst_EncoderAvailability::adapterFailures_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("reason");
    QTest::newRow("the adapter's own message")
        << QByteArray(
               "echo 'libm9s: ffmpeg did not answer -encoders within 5 s and was stopped' >&2\nexit 1\n")
        << 10000
        << "libm9s.exe --encoders: libm9s: ffmpeg did not answer -encoders within 5 s and was stopped";
    QTest::newRow("a status without a message")
        << QByteArray("exit 3\n") << 10000 << "libm9s.exe --encoders ended with status 3";
    QTest::newRow("garbage with status 0") << QByteArray("echo 'Segmentation fault?'\n") << 10000
                                           << "libm9s.exe --encoders gave no encoder list";
    QTest::newRow("no answer at all")
        << QByteArray("exec sleep 30\n") << 300 << "libm9s.exe --encoders gave no answer within 0.3 s";
    QTest::newRow("killed") << QByteArray("kill -9 $$\n") << 10000
                            << "libm9s.exe --encoders ended with status";
}

void tst_EncoderAvailability::adapterFailures()
{
    QFETCH(QByteArray, body);
    QFETCH(int, timeoutMs);
    QFETCH(QString, reason);
    WriteAdapter(body);
    TEncoderAvailability availability(Folder(), Cache());
    const TEncoderAnswer answer = availability.AnswerNow(timeoutMs);
    QVERIFY(!answer.known);
    QVERIFY(answer.encoders.isEmpty());
    QVERIFY2(answer.reason.contains(reason), qPrintable(answer.reason));
    // Nothing is cached for the next start.
    QVERIFY(!QFile::exists(Cache()));
}

void tst_EncoderAvailability::unwritableCache()
{
    WriteAdapter("printf 'aac\\nlibx264\\n'\n");
    // A folder where the file should be: it cannot be replaced by a file.
    QVERIFY(QDir().mkpath(Cache()));
    TEncoderAvailability availability(Folder(), Cache());
    const TEncoderAnswer answer = availability.AnswerNow();
    QVERIFY(answer.known);
    QCOMPARE(answer.encoders, (QSet<QString>{"aac", "libx264"}));
    QVERIFY2(answer.cacheError.contains(Cache()), qPrintable(answer.cacheError));
    QVERIFY(!availability.CachedAnswer().known);
}

void tst_EncoderAvailability::askInBackground()
{
    // The adapter waits for a file the test writes after Ask has returned.
    const QByteArray go = QFile::encodeName(dir->filePath("go"));
    WriteAdapter("while [ ! -e '" + go + "' ]; do sleep 0.05; done\nprintf 'aac\\nlibopus\\n'\n");
    TEncoderAvailability availability(Folder(), Cache());
    QSignalSpy answered(&availability, &TEncoderAvailability::Answered);
    availability.Ask();
    QVERIFY(availability.IsAsking());
    availability.Ask(); // a second request while the first runs starts nothing
    QCOMPARE(answered.count(), 0);
    WriteText(dir->filePath("go"), "");
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 30000);
    const TEncoderAnswer answer = answered.first().first().value<TEncoderAnswer>();
    QVERIFY(answer.known);
    QCOMPARE(answer.encoders, (QSet<QString>{"aac", "libopus"}));
    QVERIFY(!availability.IsAsking());
    QCOMPARE(AdapterRuns(), 1);
    QVERIFY(availability.CachedAnswer().known);
}

void tst_EncoderAvailability::askWithoutAdapter()
{
    TEncoderAvailability availability(Folder(), Cache());
    QSignalSpy answered(&availability, &TEncoderAvailability::Answered);
    availability.Ask();
    // Never from inside Ask.
    QCOMPARE(answered.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, 30000);
    const TEncoderAnswer answer = answered.first().first().value<TEncoderAnswer>();
    QVERIFY(!answer.known);
    QVERIFY2(answer.reason.startsWith("Cannot start " + Folder() + "libm9s.exe"), qPrintable(answer.reason));
    QCOMPARE(TEncoderAvailability(Folder(), Cache()).AnswerNow().known, false);
}

QTEST_GUILESS_MAIN(tst_EncoderAvailability)
#include "tst_EncoderAvailability.moc"
