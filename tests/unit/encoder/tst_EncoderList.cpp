// ffmpeg's encoder list read, and the codec names a profile may carry worked out from it.
#include "TEncoderList.h"

#include <QtTest>

namespace {

const char* Listing = "Encoders:\n"
                      " V..... = Video\n"
                      " A..... = Audio\n"
                      " S..... = Subtitle\n"
                      " .F.... = Frame-level multithreading\n"
                      " ..S... = Slice-level multithreading\n"
                      " ...X.. = Codec is experimental\n"
                      " ....B. = Supports draw_horiz_band\n"
                      " .....D = Supports direct rendering method 1\n"
                      " ------\n"
                      " V....D libx264              libx264 H.264 / AVC / MPEG-4 AVC (codec h264)\n"
                      " VF.... ffv1                 FFmpeg video codec #1\n"
                      " A....D aac                  AAC (Advanced Audio Coding)\n"
                      " A..X.. vorbis               Vorbis\n"
                      " S..... srt                  SubRip subtitle\n";

QStringList Names(const std::vector<std::string>& names)
{
    QStringList list;
    for (const auto& n : names)
        list << QString::fromStdString(n);
    return list;
}

} // namespace

class tst_EncoderList : public QObject
{
    Q_OBJECT

private slots:
    void parse();
    void parseRejects_data();
    void parseRejects();
    void profileNames_data();
    void profileNames();
};

void tst_EncoderList::parse()
{
    auto encoders = TEncoderList::Parse(Listing);
    QVERIFY(encoders);
    // The legend above the dashes is no encoder, nor is a subtitle encoder a profile's.
    QCOMPARE(*encoders, (std::set<std::string>{"libx264", "ffv1", "aac", "vorbis"}));
    // Windows line ends change nothing.
    const QString crlf = QString::fromLatin1(Listing).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    QCOMPARE(TEncoderList::Parse(crlf.toStdString()), encoders);
}

void tst_EncoderList::parseRejects_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("text") << QByteArray("hello, this is not ffmpeg\n");
    QTest::newRow("legend only") << QByteArray("Encoders:\n V..... = Video\n A..... = Audio\n ------\n");
    QTest::newRow("lines without the dashes") << QByteArray(" V....D libx264  libx264 H.264\n");
    QTest::newRow("subtitles only") << QByteArray(" ------\n S..... srt  SubRip subtitle\n");
    QTest::newRow("flags of another form") << QByteArray(" ------\n V..?.D libx264  libx264 H.264\n");
}

void tst_EncoderList::parseRejects()
{
    QFETCH(QByteArray, text);
    QVERIFY(!TEncoderList::Parse(text.toStdString()));
}

void tst_EncoderList::profileNames_data()
{
    QTest::addColumn<QStringList>("encoders");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("unlisted");

    QTest::newRow("copy always") << QStringList{"aac"}
                                 << QStringList{"copy", "aac", "libfaac", "faac", "amr_nb"}
                                 << QStringList{"libx264", "h264", "mp3"};
    QTest::newRow("legacy names of what there is")
        << QStringList{"libx264", "libmp3lame", "libvpx-vp9"}
        << QStringList{"libx264", "h264", "x264", "avc", "mp3", "lame", "libmp3lame", "vp9", "libvpx-vp9"}
        << QStringList{"hevc", "libx265", "vp8", "aac"};
    QTest::newRow("xvid with libxvid")
        << QStringList{"libxvid"} << QStringList{"xvid", "libxvid"} << QStringList{"mpeg4", "divx"};
    QTest::newRow("xvid as tagged mpeg4")
        << QStringList{"mpeg4"} << QStringList{"xvid", "libxvid", "divx", "mpeg4"} << QStringList{};
    // The adapter writes vorbis and opus with libvorbis and libopus, never ffmpeg's experimental ones.
    QTest::newRow("names the mapping takes over")
        << QStringList{"vorbis", "opus"} << QStringList{"copy"} << QStringList{"vorbis", "opus"};
    QTest::newRow("their replacements")
        << QStringList{"libvorbis", "libopus"} << QStringList{"vorbis", "libvorbis", "opus", "libopus"}
        << QStringList{};
}

void tst_EncoderList::profileNames()
{
    QFETCH(QStringList, encoders);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, unlisted);
    std::set<std::string> set;
    for (const QString& e : encoders)
        set.insert(e.toStdString());
    QStringList names = Names(TEncoderList::ProfileNames(set));
    for (const QString& n : listed)
        QVERIFY2(names.contains(n), qPrintable(n + " not in " + names.join(u' ')));
    for (const QString& n : unlisted)
        QVERIFY2(!names.contains(n), qPrintable(n + " in " + names.join(u' ')));
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(names, sorted);
    QCOMPARE(names.removeDuplicates(), 0);
}

QTEST_GUILESS_MAIN(tst_EncoderList)
#include "tst_EncoderList.moc"
