// The job list's extension test and the file-open dialog's filter rows.

#include "joblist/JobFiles.h"

#include <QTest>

class TestJobFiles : public QObject
{
    Q_OBJECT

private slots:
    void extension_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("supported");
        QTest::newRow("upper case") << "/v/a.AVI"
                                    << ".avi" << true;
        QTest::newRow("last dot counts") << "/v/a.tar.mkv"
                                         << ".mkv" << true;
        QTest::newRow("text file") << "/v/notes.txt"
                                   << ".txt" << false;
        QTest::newRow("no extension") << "/v/clip"
                                      << "" << false;
        QTest::newRow("dot only in a folder") << "/v.avi/clip"
                                              << "" << false;
        QTest::newRow("prefix of mp2") << "/v/clip.mp"
                                       << ".mp" << true;
        QTest::newRow("prefix of rmvb") << "/v/clip.rmv"
                                        << ".rmv" << true;
        QTest::newRow("prefix of mov") << "/v/clip.m"
                                       << ".m" << true;
        QTest::newRow("bare dot") << "/v/clip."
                                  << "." << true;
        QTest::newRow("folder named like a file") << "/v/clips.avi"
                                                  << ".avi" << true;
        QTest::newRow("hidden file") << "/v/.avi"
                                     << ".avi" << true;
        QTest::newRow("blanks and quotes") << "/v/my \"best\" clip.Mp4"
                                           << ".mp4" << true;
        QTest::newRow("non-ASCII") << "/视频/片段.MKV"
                                   << ".mkv" << true;
        QTest::newRow("not a part of the list") << "/v/a.avix"
                                                << ".avix" << false;
        QTest::newRow("mts") << "/v/a.mts"
                             << ".mts" << true;
        QTest::newRow("nsv, the last one") << "/v/a.nsv"
                                           << ".nsv" << true;
    }
    void extension()
    {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QFETCH(bool, supported);
        QCOMPARE(JobFiles::ExtensionOf(path), extension);
        QCOMPARE(JobFiles::IsSupported(path), supported);
    }

    void supportedText()
    {
        const QStringList patterns = JobFiles::SupportedExtensionsText().split(u';');
        QCOMPARE(patterns.size(), 44);
        QCOMPARE(patterns.first(), QStringLiteral("*.3gp"));
        QCOMPARE(patterns.last(), QStringLiteral("*.nsv"));
        QVERIFY(patterns.contains(QStringLiteral("*.rm")));
    }

    void dialogFilters()
    {
        const QStringList rows = JobFiles::OpenDialogFilters();
        QCOMPARE(rows.size(), 24);
        // Qt takes the last bracket of a row as its patterns.
        QVERIFY(rows.first().startsWith(QStringLiteral("Support files (*.3gp *.3g2 ")));
        QVERIFY(rows.first().endsWith(QStringLiteral("*.nsv *.mts)")));
        QCOMPARE(rows.at(1), QStringLiteral("3GPP Files (*.3gp) (*.3gp)"));
        QCOMPARE(rows.at(9), QStringLiteral("Raw H264 Files (*.h261;*.h264) (*.h261 *.h264)"));
        QCOMPARE(rows.at(7), rows.at(12));
        QCOMPARE(rows.at(22), QStringLiteral("Sony MTS Files (*.mts) (*.mts)"));
        QCOMPARE(rows.last(), QStringLiteral("All files (*.*) (*)"));
    }
};

QTEST_GUILESS_MAIN(TestJobFiles)
#include "tst_JobFiles.moc"
