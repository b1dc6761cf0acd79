// pftool as a profile maker uses it: exit status, output, and errors that name the file.

#include "profiles/VideoProfile.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::WriteTempFile;

namespace {
struct TRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

TRun Run(const QStringList& args, const QByteArray& input = QByteArray())
{
    QProcess p;
    p.start(QStringLiteral(PFTOOL_PATH), args);
    if (!p.waitForStarted(10000))
        return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

const QByteArray plainLine = "Test Video[MORVANE]spare[MORVANE]mp4[MORVANE]mp4[MORVANE]mpeg4|mpeg4|0"
                             "[MORVANE]768|512;768|1[MORVANE]-1|-1;25|1[MORVANE]-1|-1;320x240|1[MORVANE]1"
                             "[MORVANE]aac|aac|0[MORVANE]128|96;128|1[MORVANE]44100|44100|1"
                             "[MORVANE]2|1;2|1[MORVANE]1";
} // namespace

class tst_PfTool : public QObject
{
    Q_OBJECT

private slots:
    void key();
    void encipherAndDecipher();
    void encipherRefuses();
    void check();
    void usage_data();
    void usage();
};

void tst_PfTool::key()
{
    const TRun r = Run({"key", "tarn"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("B82CC9087369798E\n"));
    QCOMPARE(Run({"key", ""}).out, QByteArray("0BD132AA831C56AC\n"));
}

void tst_PfTool::encipherAndDecipher()
{
    QTemporaryDir dir;
    const QString plain = WriteTempFile(dir, "plain profile.txt", plainLine + "\r\nsecond line\r\n");
    const QString output = dir.filePath("vidéo.pf");

    TRun r = Run({"encipher", plain, output});
    QCOMPARE(r.exitCode, 0);
    QFile f(output);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray written = f.readAll();
    QVERIFY(!written.contains('['));
    QCOMPARE(written, TVideoProfile::EncipherLine(plainLine) + "\r\n");

    // The program loads what the tool wrote.
    TVideoProfile p;
    p.LoadFromFile(output);
    QCOMPARE(p.DisplayName(), QStringLiteral("Test Video"));

    r = Run({"decipher", output});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, plainLine + "\n");
    // A plain file deciphers to itself.
    QCOMPARE(Run({"decipher", plain}).out, plainLine + "\n");

    // Standard input in, standard output out.
    r = Run({"encipher", "-"}, plainLine + "\n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, TVideoProfile::EncipherLine(plainLine) + "\r\n");
}

void tst_PfTool::encipherRefuses()
{
    QTemporaryDir dir;
    const QString shortLine = WriteTempFile(dir, "short.txt", "Name[MORVANE]mp4\n");
    TRun r = Run({"encipher", shortLine, dir.filePath("out.pf")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, (shortLine + ": List index out of bounds (2)\n").toUtf8());
    QVERIFY(!QFile::exists(dir.filePath("out.pf")));

    const QString ciphered = WriteTempFile(dir, "already.pf", TVideoProfile::EncipherLine(plainLine));
    r = Run({"encipher", ciphered});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(ciphered.toUtf8() + ": not a plain profile line"), r.err.constData());

    r = Run({"decipher", dir.filePath("missing.pf")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, ("File not found: " + dir.filePath("missing.pf") + "\n").toUtf8());

    const QString broken = WriteTempFile(dir, "broken.pf", "not base64 at all");
    r = Run({"decipher", broken});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, (broken + ": Invalid Base64 Character\n").toUtf8());
}

void tst_PfTool::check()
{
    QTemporaryDir dir;
    WriteTempFile(dir, "a.pf", plainLine);
    WriteTempFile(dir, "b.pf", TVideoProfile::EncipherLine(plainLine));
    TRun r = Run({"check", dir.path()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QByteArray("2 of 2 profile files load\n"));
    QVERIFY(r.err.isEmpty());

    const QString bad = WriteTempFile(dir, "c.pf", "");
    const QString worse = WriteTempFile(dir, "d.pf", "x[MORVANE]y");
    r = Run({"check", dir.path()});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray("2 of 4 profile files load\n"));
    QCOMPARE(r.err, (bad + ": Invalid file format\n" + worse + ": List index out of bounds (2)\n").toUtf8());

    r = Run({"check", dir.filePath("none")});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.err, ("Folder not found: " + dir.filePath("none") + "\n").toUtf8());
}

void tst_PfTool::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("firstErrorLine");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray();
    QTest::newRow("nothing") << QStringList{} << 2 << QByteArray("pftool: no command given");
    QTest::newRow("unknown") << QStringList{"frob"} << 2 << QByteArray("pftool: unknown command: frob");
    QTest::newRow("key without passphrase")
        << QStringList{"key"} << 2 << QByteArray("pftool: wrong number of arguments for key");
    QTest::newRow("check two folders")
        << QStringList{"check", "a", "b"} << 2 << QByteArray("pftool: wrong number of arguments for check");
}

void tst_PfTool::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, firstErrorLine);
    const TRun r = Run(args);
    QCOMPARE(r.exitCode, exitCode);
    const QByteArray usageText = exitCode == 0 ? r.out : r.err;
    QVERIFY(usageText.contains("Usage: pftool <command>"));
    QCOMPARE(r.err.split('\n').first(), firstErrorLine);
}

QTEST_GUILESS_MAIN(tst_PfTool)
#include "tst_PfTool.moc"
