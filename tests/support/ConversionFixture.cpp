#include "support/ConversionFixture.h"

#include "support/TestFiles.h"

#include <QDir>

QStringList ConversionFixture::ProcessesInGroup(qint64 groupId)
{
    QStringList alive;
    if (groupId <= 0)
        return alive;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QByteArray stat =
            TestSupport::ReadAll(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        // pid (comm) state ppid pgrp ...: the command may hold blanks, so count from its ")".
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toLongLong() == groupId)
            alive << entry + QStringLiteral(" ") + QString::fromUtf8(stat.mid(0, close + 1));
    }
    return alive;
}
