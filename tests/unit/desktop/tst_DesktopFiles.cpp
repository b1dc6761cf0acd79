// The desktop entry and the AppStream entry: valid for the freedesktop tools, and telling the
// same story as each other, as the icons and as the build (id, version, media types).

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

const QString Data = QStringLiteral(VELMORA_SOURCE_DIR "/data/");
const QString AppId = QStringLiteral(VELMORA_APP_ID);
const QString DesktopFile = Data + AppId + QStringLiteral(".desktop");
const QString MetainfoFile = Data + AppId + QStringLiteral(".metainfo.xml");

struct TRun
{
    int exitCode = -1;
    QString output;
};

TRun Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    TRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

// The [Desktop Entry] keys as written, "Name[zh_CN]" included.
QMap<QString, QString> DesktopEntry()
{
    QMap<QString, QString> keys;
    QFile file(DesktopFile);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && !line.startsWith(u'#'))
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

// The AppStream entry as (element, language) -> texts, attributes of interest folded in as
// "element@attribute".
QMultiMap<QString, QString> Metainfo()
{
    QMultiMap<QString, QString> values;
    QFile file(MetainfoFile);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        const QString language = xml.attributes().value(QStringLiteral("xml:lang")).toString();
        const QString key = language.isEmpty() ? name : name + u'[' + language + u']';
        for (const char* attribute : {"version", "type", "width", "height"}) {
            const QString value = xml.attributes().value(QLatin1String(attribute)).toString();
            if (!value.isEmpty())
                values.insert(name + u'@' + QLatin1String(attribute), value);
        }
        if (name == QLatin1String("description") || name == QLatin1String("ul") ||
            name == QLatin1String("screenshot") || name == QLatin1String("releases") ||
            name == QLatin1String("release") || name == QLatin1String("component") ||
            name == QLatin1String("provides") || name == QLatin1String("categories") ||
            name == QLatin1String("keywords") || name == QLatin1String("screenshots") ||
            name == QLatin1String("supports") || name == QLatin1String("content_rating"))
            continue;
        values.insert(key, xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified());
    }
    return xml.hasError() ? QMultiMap<QString, QString>() : values;
}

} // namespace

class TestDesktopFiles : public QObject
{
    Q_OBJECT

private slots:
    void desktopEntryIsValid()
    {
        const TRun check = Run(QStringLiteral("desktop-file-validate"), {DesktopFile});
        QVERIFY2(check.exitCode == 0 && check.output.trimmed().isEmpty(), qPrintable(check.output));
    }

    void metainfoIsValid()
    {
        const TRun check = Run(QStringLiteral("appstreamcli"),
                               {QStringLiteral("validate"), QStringLiteral("--no-net"), MetainfoFile});
        QVERIFY2(check.exitCode == 0, qPrintable(check.output));
        // Nothing beyond notes: the one about ids on a domain of no known top level is all there is.
        for (const QString& line : check.output.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(!line.startsWith(QLatin1String("E:")) && !line.startsWith(QLatin1String("W:")),
                     qPrintable(check.output));
    }

    void entriesAgree()
    {
        const QMap<QString, QString> desktop = DesktopEntry();
        const QMultiMap<QString, QString> meta = Metainfo();
        QVERIFY(!desktop.isEmpty());
        QVERIFY(!meta.isEmpty());

        QCOMPARE(meta.value(QStringLiteral("id")), AppId);
        QCOMPARE(meta.value(QStringLiteral("launchable")), AppId + QStringLiteral(".desktop"));
        QCOMPARE(desktop.value(QStringLiteral("Icon")), QStringLiteral("velmora"));
        QCOMPARE(meta.value(QStringLiteral("icon")), QStringLiteral("velmora"));
        QVERIFY(desktop.value(QStringLiteral("Exec")).startsWith(QLatin1String("velmora ")));
        QCOMPARE(meta.value(QStringLiteral("binary")), QStringLiteral("velmora"));
        QCOMPARE(desktop.value(QStringLiteral("StartupWMClass")), QStringLiteral("velmora"));

        // Name and summary in both languages, and the same in both files.
        QCOMPARE(meta.value(QStringLiteral("name")), desktop.value(QStringLiteral("Name")));
        QCOMPARE(meta.value(QStringLiteral("name[zh-CN]")), desktop.value(QStringLiteral("Name[zh_CN]")));
        QCOMPARE(meta.value(QStringLiteral("summary")), desktop.value(QStringLiteral("Comment")));
        QCOMPARE(meta.value(QStringLiteral("summary[zh-CN]")),
                 desktop.value(QStringLiteral("Comment[zh_CN]")));
        QVERIFY(meta.values(QStringLiteral("p[zh-CN]")).size() >= 2);

        // The file manager offers the program for exactly the types the software centre lists.
        QSet<QString> desktopTypes;
        for (const QString& type : desktop.value(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts))
            desktopTypes << type;
        const QStringList metaTypes = meta.values(QStringLiteral("mediatype"));
        QCOMPARE(QSet<QString>(metaTypes.begin(), metaTypes.end()), desktopTypes);
        QCOMPARE(metaTypes.size(), desktopTypes.size());

        // The newest release, listed first, is the version being built (values() gives the
        // last one read first).
        QCOMPARE(meta.values(QStringLiteral("release@version")).constLast(), QStringLiteral(VELMORA_VERSION));
        QCOMPARE(meta.value(QStringLiteral("content_rating@type")), QStringLiteral("oars-1.1"));
    }

    // The screenshot the entry points to is the one kept under data/screenshots, at its size.
    void screenshotIsKept()
    {
        const QMultiMap<QString, QString> meta = Metainfo();
        const QUrl image(meta.value(QStringLiteral("image")));
        QVERIFY(image.isValid());
        QVERIFY(image.host().endsWith(QLatin1String(".example")));
        const QImage picture(Data + QStringLiteral("screenshots/") + image.fileName());
        QVERIFY2(!picture.isNull(), qPrintable(image.fileName()));
        QCOMPARE(picture.width(), meta.value(QStringLiteral("image@width")).toInt());
        QCOMPARE(picture.height(), meta.value(QStringLiteral("image@height")).toInt());
    }
};

QTEST_GUILESS_MAIN(TestDesktopFiles)
#include "tst_DesktopFiles.moc"
