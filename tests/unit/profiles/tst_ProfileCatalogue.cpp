// The shipped profile catalogue: every file loads as the program loads it, and its values make
// sense for the settings panel that they fill.

#include "platform/AppError.h"
#include "profiles/ProfileFolder.h"
#include "profiles/VideoProfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {
QString CatalogueFolder()
{
    return QStringLiteral(VELMORA_SOURCE_DIR "/data/profile");
}

QStringList Items(const QString& choices)
{
    return choices.split(';', Qt::SkipEmptyParts);
}

// Encoders of ffmpeg that the shipped profiles may name.
const QSet<QString> videoEncoders = {"mpeg4",   "libx264",    "libxvid",    "wmv2",   "flv",
                                     "h263",    "mpeg1video", "mpeg2video", "libvpx", "libtheora",
                                     "libx265", "libsvtav1",  "libvpx-vp9", "gif",    "copy"};
const QSet<QString> audioEncoders = {"aac", "libmp3lame", "wmav2", "libvorbis", "pcm_s16le", "ac3",
                                     "mp2", "libopus",    "flac",  "alac",      "copy"};
} // namespace

class tst_ProfileCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void everyFileLoads();
    void profiles_data();
    void profiles();
    void namesAreUnique();
    void firstIsTodaysDefault();
};

void tst_ProfileCatalogue::everyFileLoads()
{
    int loaded = 0;
    const QStringList failures = CheckProfileFolder(CatalogueFolder(), &loaded);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
    QVERIFY2(loaded >= 20, qPrintable(QString::number(loaded)));

    int enciphered = 0;
    for (const QString& path : ListProfileFiles(CatalogueFolder()))
        if (!TVideoProfile::ReadFirstLine(path).contains(TVideoProfile::FieldSeparator))
            ++enciphered;
    QVERIFY2(enciphered >= 3, qPrintable(QString::number(enciphered)));
}

void tst_ProfileCatalogue::profiles_data()
{
    QTest::addColumn<QString>("path");
    for (const QString& path : ListProfileFiles(CatalogueFolder()))
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
}

void tst_ProfileCatalogue::profiles()
{
    QFETCH(QString, path);
    TVideoProfile p;
    p.LoadFromFile(path);

    // One line: the program reads no more, so a second line would be lost work.
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    QVERIFY(!content.trimmed().contains('\n') && !content.trimmed().contains('\r'));

    QVERIFY(!p.DisplayName().trimmed().isEmpty());
    QVERIFY(!p.DisplayName().contains("(*."));
    QVERIFY2(!p.Extension().isEmpty() && p.Extension() == p.Extension().trimmed().toLower() &&
                 !p.Extension().contains('.'),
             qPrintable(p.Extension()));
    QVERIFY(!p.ContainerFormat().isEmpty());

    const struct
    {
        const char* name;
        ProfileChoice choice;
        bool video;
    } choices[] = {{"VideoCodec", p.VideoCodec(), true},  {"VideoBitrate", p.VideoBitrate(), true},
                   {"FrameRate", p.FrameRate(), true},    {"VideoSize", p.VideoSize(), true},
                   {"AudioCodec", p.AudioCodec(), false}, {"AudioBitrate", p.AudioBitrate(), false},
                   {"SampleRate", p.SampleRate(), false}, {"Channel", p.Channel(), false}};
    for (const auto& c : choices) {
        const QString what = QString("%1 %2|%3").arg(c.name, c.choice.Value, c.choice.Choices);
        // The default is one of the items, so every box opens on a selected item.
        QVERIFY2(Items(c.choice.Choices).contains(c.choice.Value), qPrintable(what));
        if (c.video && !p.HasVideo()) {
            QVERIFY2(c.choice.Value == "-1" && !c.choice.Enabled, qPrintable(what));
            continue;
        }
        // A locked box offers one item only.
        if (!c.choice.Enabled)
            QVERIFY2(Items(c.choice.Choices).size() == 1, qPrintable(what));
    }

    // The codec boxes are hidden: one fixed encoder that ffmpeg knows.
    if (p.HasVideo())
        QVERIFY2(videoEncoders.contains(p.VideoCodec().Value), qPrintable(p.VideoCodec().Value));
    if (p.AudioCodec().Value == "-1") {
        // No sound at all (an animated picture): every sound setting is locked on automatic.
        for (const ProfileChoice& c : {p.AudioCodec(), p.AudioBitrate(), p.SampleRate(), p.Channel()})
            QVERIFY2(c.Value == "-1" && c.Choices == "-1" && !c.Enabled, qPrintable(p.DisplayName()));
        QVERIFY(p.HasVideo());
    } else {
        QVERIFY2(audioEncoders.contains(p.AudioCodec().Value), qPrintable(p.AudioCodec().Value));
    }
    // A stream copy has nothing to choose: no rate, size or bit rate reaches ffmpeg.
    if (p.VideoCodec().Value == "copy" || p.AudioCodec().Value == "copy") {
        QCOMPARE(p.VideoCodec().Value, p.AudioCodec().Value);
        for (const auto& c : choices)
            if (!QString(c.name).endsWith("Codec"))
                QVERIFY2(c.choice.Value == "-1" && c.choice.Choices == "-1" && !c.choice.Enabled, c.name);
    }
    QVERIFY(!p.VideoCodec().Enabled && !p.AudioCodec().Enabled);

    // Numbers where numbers belong; sizes as width x height after an optional [label].
    static const QRegularExpression number("^(-1|\\d+(\\.\\d+)?)$");
    static const QRegularExpression size("^(-1|(\\[[^\\]]+\\])?\\d+x\\d+)$");
    for (const auto& c : choices) {
        const QString name = c.name;
        if (name.endsWith("Codec"))
            continue;
        for (const QString& item : Items(c.choice.Choices))
            QVERIFY2((name == "VideoSize" ? size : number).match(item).hasMatch(),
                     qPrintable(name + ": " + item));
    }
}

void tst_ProfileCatalogue::namesAreUnique()
{
    QSet<QString> shown;
    for (const QString& path : ListProfileFiles(CatalogueFolder())) {
        TVideoProfile p;
        p.LoadFromFile(path);
        const QString entry = p.DisplayName() + "(*." + p.Extension() + ")";
        QVERIFY2(!shown.contains(entry), qPrintable(entry));
        shown.insert(entry);
    }
}

void tst_ProfileCatalogue::firstIsTodaysDefault()
{
    // A new user converts with the first entry: H.264 and AAC in MP4, which everything plays.
    const QStringList files = ListProfileFiles(CatalogueFolder());
    QVERIFY(!files.isEmpty());
    TVideoProfile first;
    first.LoadFromFile(files.first());
    QCOMPARE(first.ContainerFormat(), QStringLiteral("mp4"));
    QCOMPARE(first.VideoCodec().Value, QStringLiteral("libx264"));
    QCOMPARE(first.AudioCodec().Value, QStringLiteral("aac"));
}

QTEST_GUILESS_MAIN(tst_ProfileCatalogue)
#include "tst_ProfileCatalogue.moc"
