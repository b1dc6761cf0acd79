#include "engine/TEncoderLog.h"

#include "platform/AppError.h"
#include "platform/TfrmCommon.h"

#include <QFile>

QString TEncoderLog::FileName() const
{
    return common.logFile;
}

bool TEncoderLog::Enabled() const
{
    return common.LogFileEnabled();
}

void TEncoderLog::AppendLog(const QString& text) const
{
    AppendLines({text});
}

void TEncoderLog::AppendLines(const QStringList& lines) const
{
    // No place to keep the log (said once at start): the line is dropped like any setting.
    if (FileName().isEmpty())
        return;
    QFile file(FileName());
    // The message names the file: "Permission denied" alone does not tell the user what to fix.
    const auto failure = [&file] {
        return AppError(
            QStringLiteral("Cannot write file \"%1\". %2").arg(file.fileName(), file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw failure();
    const QByteArray line = (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    if (file.write(line) != line.size() || !file.flush())
        throw failure();
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw failure();
}

void TEncoderLog::ClearLog() const
{
    if (!FileName().isEmpty())
        QFile::remove(FileName());
}
