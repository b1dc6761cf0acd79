#include "support/AsNobody.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <unistd.h>

bool TestSupport::RunningAsRoot()
{
    return ::geteuid() == 0;
}

QString TestSupport::RerunAsNobody(bool& skipped)
{
    skipped = false;
    const QString program = QCoreApplication::applicationFilePath();
    // A row of a data-driven function runs as that row alone.
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag() && *QTest::currentDataTag())
        function += u':' + QString::fromUtf8(QTest::currentDataTag());
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    // nobody and nogroup are 65534 on Debian; no supplementary groups of root's stay.
    run.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                          QStringLiteral("--clear-groups"), program, function});
    if (!run.waitForStarted()) {
        skipped = true;
        return QStringLiteral("setpriv cannot be started");
    }
    if (!run.waitForFinished(120000)) {
        run.kill();
        run.waitForFinished();
        return QStringLiteral("the run as nobody did not end");
    }
    const QString output = QString::fromLocal8Bit(run.readAll());
    // setpriv's own failure to start the program: the build lies where nobody cannot go.
    if (run.exitCode() == 126 || run.exitCode() == 127 ||
        output.contains(QStringLiteral("Permission denied"))) {
        skipped = true;
        return QStringLiteral("the test program is out of an unprivileged user's reach here: ") +
               output.trimmed();
    }
    if (run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0 ||
        !output.contains(QStringLiteral("PASS   : ")))
        return output;
    return QString();
}
