// A file's tool tip in the job list: read with ffprobe on the first hover (nothing is read when
// files are added), with a picture made by ffmpeg; a file ffmpeg cannot read, and one removed
// before the hover, say so. The real main window, offscreen, real ffprobe and ffmpeg.

#include "support/FindChild.h"
#include "support/Media.h"
#include "support/ShellFixture.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"

#include "engine/TMediaInfoReader.h"
#include "platform/IniFile.h"

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

using namespace TestSupport;

class tst_MediaToolTip : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    QString clip; // 2 s, 320x240 at 25 fps, mpeg4 and mp3 in AVI
    QString junk;

    // Hovers row as the pointer resting there does; returns the tip shown at once.
    static QString Hover(QTreeWidget* list, int row, int column = 0)
    {
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        int x = rect.left() + 5;
        for (int c = 0; c < column; ++c)
            x += list->columnWidth(c);
        const QPoint pos(x, rect.center().y());
        QHelpEvent event(QEvent::ToolTip, pos, list->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(list->viewport(), &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }

    static QString Text(const ShellFixture& fixture, const char* key)
    {
        return IniFile(fixture.Path("language/en.ini")).ReadString("frmMain", QLatin1String(key), QString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        clip = work.filePath("media/clip & <b>.avi");
        QVERIFY(MakeClip(clip, 2));
        junk = work.filePath("media/junk.avi");
        WriteText(junk, "this is not a video at all");
    }

    void cleanup() { QToolTip::hideText(); }

    void realClip()
    {
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        auto* list = Child<QTreeWidget>(w, "listViewFiles");
        auto* reader = Child<TMediaInfoReader>(w, "mediaReader");
        w->AddJobFile(junk);
        w->AddJobFile(clip);
        // Adding reads nothing.
        QTest::qWait(100);
        QCOMPARE(reader->RunningCount(), 0);
        QCOMPARE(reader->Info(clip).state, TMediaInfo::Unread);

        const QString first = Hover(list, 1);
        // The name and the whole path at once, escaped as text; the rest once it is read.
        QVERIFY2(first.contains("clip &amp; &lt;b&gt;.avi"), qPrintable(first));
        QVERIFY2(first.contains(Text(fixture, "msgMediaReading")), qPrintable(first));
        const auto shows = [](const QString& part) {
            return QToolTip::isVisible() && QToolTip::text().contains(part);
        };
        QTRY_VERIFY_WITH_TIMEOUT(shows("<img"), 60000);
        const QString tip = QToolTip::text();
        for (const QString& part :
             {Text(fixture, "msgMediaDuration"), QStringLiteral("00:00:02"),
              Text(fixture, "msgMediaContainer"), QStringLiteral("AVI"), Text(fixture, "msgMediaVideoCodec"),
              QStringLiteral("mpeg4"), QStringLiteral("320×240"), QStringLiteral("25 fps"),
              Text(fixture, "msgMediaAudioCodec"), QStringLiteral("mp3"), QStringLiteral("44100 Hz"),
              Text(fixture, "msgMediaChannels"), Text(fixture, "msgMediaFileSize")})
            QVERIFY2(tip.contains(part.toHtmlEscaped()), qPrintable(part + " in " + tip));
        // The picture: a real one, small, from the file.
        const QRegularExpressionMatch source = QRegularExpression("<img src='([^']+)'").match(tip);
        QVERIFY(source.hasMatch());
        const QImage picture(QUrl(source.captured(1)).toLocalFile());
        QCOMPARE(picture.size(), QSize(160, 120));
        QCOMPARE(reader->Info(clip).thumbnail, QUrl(source.captured(1)).toLocalFile());

        // Kept: the next hover shows it all at once and starts no program.
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        QVERIFY(Hover(list, 1).contains("<img"));
        QCOMPARE(reader->RunningCount(), 0);
        // Nothing was read about the file nobody hovered.
        QCOMPARE(reader->Info(junk).state, TMediaInfo::Unread);
    }

    void filesThatSaySo_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("key");
        QTest::newRow("not media") << "junk"
                                   << "msgMediaUnreadable";
        QTest::newRow("removed before the hover") << "gone"
                                                  << "msgMediaMissing";
    }
    void filesThatSaySo()
    {
        QFETCH(QString, kind);
        QFETCH(QString, key);
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        auto* list = Child<QTreeWidget>(w, "listViewFiles");
        QString path = junk;
        if (kind == "gone") {
            path = work.filePath("media/gone.avi");
            QVERIFY(QFile::copy(clip, path));
        }
        w->AddJobFile(path);
        if (kind == "gone")
            QVERIFY(QFile::remove(path));
        Hover(list, 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            QToolTip::isVisible() && QToolTip::text().contains(Text(fixture, key.toLatin1())), 60000);
        QVERIFY(!QToolTip::text().contains("<img"));
        QVERIFY(!QToolTip::text().contains(Text(fixture, "msgMediaReading")));
    }

    // A failed file's status tells why; a status without a reason shows the file's information.
    void statusToolTip()
    {
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        auto* list = Child<QTreeWidget>(w, "listViewFiles");
        w->AddJobFile(junk);
        list->topLevelItem(0)->setText(3, Text(fixture, "msgItemFailed"));
        list->topLevelItem(0)->setToolTip(3, "junk.avi: Invalid data found when processing input");
        QCOMPARE(Hover(list, 0, 3), QStringLiteral("junk.avi: Invalid data found when processing input"));
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        list->topLevelItem(0)->setToolTip(3, QString());
        QVERIFY(Hover(list, 0, 3).contains("junk.avi"));
        QVERIFY(QToolTip::text().contains("<b>"));
    }
};

VELMORA_GUI_TEST_MAIN(tst_MediaToolTip)
#include "tst_MediaToolTip.moc"
