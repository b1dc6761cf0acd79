// The encoder log: switched by [setting] logfile, one CR LF line per piece, cleared per run;
// what an encoder writes cut into whole lines before it is logged.

#include "engine/TEncoderLog.h"
#include "engine/TLogLines.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_EncoderLog : public QObject
{
    Q_OBJECT

    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void switchedByConfig_data()
    {
        QTest::addColumn<QString>("value"); // empty: no key at all
        QTest::addColumn<bool>("enabled");
        QTest::newRow("no key") << "" << false;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("2") << "2" << false;
        QTest::newRow("hex 1") << "0x1" << true;
    }
    void switchedByConfig()
    {
        QFETCH(QString, value);
        QFETCH(bool, enabled);
        QTemporaryDir dir;
        TfrmCommon common(dir.path());
        if (!value.isEmpty())
            IniFile(common.configFile).WriteString("setting", "logfile", value);
        TEncoderLog log(common);
        const auto append = [&log](const QString& text) {
            if (log.Enabled())
                log.AppendLog(text);
        };
        append(QStringLiteral("libm9s.exe -i a"));
        append(QString()); // the empty piece at the encoder's end
        QCOMPARE(QFile::exists(log.FileName()), enabled);
        if (enabled)
            QCOMPARE(Read(log.FileName()), QByteArray("libm9s.exe -i a\r\n\r\n"));
    }

    // The key is asked for every line: switching it on mid-run takes effect at once.
    void switchedWithoutRestart()
    {
        QTemporaryDir dir;
        TfrmCommon common(dir.path());
        TEncoderLog log(common);
        const auto append = [&log](const QString& text) {
            if (log.Enabled())
                log.AppendLog(text);
        };
        append("one");
        IniFile(common.configFile).WriteInteger("setting", "logfile", 1);
        append("two");
        IniFile(common.configFile).WriteInteger("setting", "logfile", 0);
        append("three");
        QCOMPARE(Read(common.appFolder + "logFile.txt"), QByteArray("two\r\n"));
    }

    void piecesStayAsDelivered()
    {
        QTemporaryDir dir;
        TfrmCommon common(dir.path());
        TEncoderLog log(common);
        log.AppendLog(QStringLiteral("frame=1\r"));
        log.AppendLog(QStringLiteral("a\nb ü"));
        QCOMPARE(Read(log.FileName()), QByteArray("frame=1\r\r\na\nb \xc3\xbc\r\n"));
        log.ClearLog();
        QVERIFY(!QFile::exists(log.FileName()));
        log.ClearLog(); // nothing to delete is no error
        log.AppendLog(QStringLiteral("next run"));
        QCOMPARE(Read(log.FileName()), QByteArray("next run\r\n"));
    }

    // Standard error comes in chunks of the pipe's size: a line is let out once it is whole.
    void wholeLines_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("rest");
        QTest::newRow("a line in two pieces")
            << QStringList{"frame= 1", "0 fps\n"} << QStringList{"frame= 10 fps"} << QStringList();
        QTest::newRow("CR LF split") << QStringList{"a\r", "\nb\n"} << QStringList{"a", "b"} << QStringList();
        QTest::newRow("progress redrawn with CR")
            << QStringList{"frame=1\rframe=2\r", "done\n"} << QStringList{"frame=1", "frame=2", "done"}
            << QStringList();
        QTest::newRow("empty line kept")
            << QStringList{"a\n\nb\n"} << QStringList{"a", "", "b"} << QStringList();
        QTest::newRow("no line end at the end")
            << QStringList{"x\ntail"} << QStringList{"x"} << QStringList{"tail"};
        QTest::newRow("runaway line")
            << QStringList{QString(TLogLines::MaxLine + 5, u'r')}
            << QStringList{QString(TLogLines::MaxLine, u'r')} << QStringList{"rrrrr"};
        const QString wide = QString(TLogLines::MaxLine - 1, u'w') + QStringLiteral(u"😀");
        QTest::newRow("runaway line cut between characters")
            << QStringList{wide + "y"} << QStringList{wide} << QStringList{"y"};
    }
    void wholeLines()
    {
        QFETCH(QStringList, pieces);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, rest);
        TLogLines stream;
        QStringList taken;
        for (const QString& piece : pieces)
            taken << stream.Take(piece);
        QCOMPARE(taken, lines);
        QCOMPARE(stream.Rest(), rest);
        QCOMPARE(stream.Rest(), QStringList());
    }

    void linesInOneWrite()
    {
        QTemporaryDir dir;
        TfrmCommon common(dir.path());
        TEncoderLog log(common);
        log.AppendLines({QStringLiteral("a"), QString(), QStringLiteral("b ü")});
        QCOMPARE(Read(log.FileName()), QByteArray("a\r\n\r\nb \xc3\xbc\r\n"));
    }

    void programDecides_data()
    {
        QTest::addColumn<QString>("logName"); // below the folder; empty: no log at all
        QTest::addColumn<int>("logSwitch");
        QTest::newRow("own file, on against config") << "run.log" << 1;
        QTest::newRow("own file, off against config") << "run.log" << 0;
        QTest::newRow("no file") << "" << 0;
    }
    // A program that names its own log (or none) decides alone: [setting] logfile says nothing
    // then, and the program folder's logFile.txt is neither written nor deleted by its runs.
    void programDecides()
    {
        QFETCH(QString, logName);
        QFETCH(int, logSwitch);
        QTemporaryDir dir;
        TfrmCommon common(dir.path());
        IniFile(common.configFile).WriteInteger("setting", "logfile", logSwitch == 1 ? 0 : 1);
        QFile folderLog(common.appFolder + "logFile.txt");
        QVERIFY(folderLog.open(QIODevice::WriteOnly));
        folderLog.write("window's run\r\n");
        folderLog.close();
        common.logFile = logName.isEmpty() ? QString() : dir.filePath(logName);
        common.logFileSwitch = logSwitch;

        TEncoderLog log(common);
        QCOMPARE(log.FileName(), common.logFile);
        QCOMPARE(log.Enabled(), logSwitch == 1);
        log.ClearLog();
        if (log.Enabled())
            log.AppendLog(QStringLiteral("libm9s.exe -i a"));
        QCOMPARE(Read(common.appFolder + "logFile.txt"), QByteArray("window's run\r\n"));
        if (!logName.isEmpty())
            QCOMPARE(Read(common.logFile), logSwitch == 1 ? QByteArray("libm9s.exe -i a\r\n") : "<missing>");
    }

    void unwritableLogRaises()
    {
        QTemporaryDir dir;
        TfrmCommon common(dir.path() + QStringLiteral("/missing folder"));
        TEncoderLog log(common);
        QVERIFY_THROWS_EXCEPTION(AppError, log.AppendLog(QStringLiteral("x")));
        // The message says which file could not be written.
        try {
            log.AppendLog(QStringLiteral("x"));
        } catch (const AppError& error) {
            QVERIFY2(error.Text().startsWith(QStringLiteral("Cannot write file \"") + log.FileName() + u'"'),
                     qPrintable(error.Text()));
        }
    }
};

QTEST_GUILESS_MAIN(tst_EncoderLog)
#include "tst_EncoderLog.moc"
