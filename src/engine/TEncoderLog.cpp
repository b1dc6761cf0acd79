#include "engine/TEncoderLog.h"

#include "platform/AppError.h"
#include "platform/TfrmCommon.h"

#include <QFile>

QString TEncoderLog::FileName() const
{
    return common.appFolder + QStringLiteral("logFile.txt");
}

bool TEncoderLog::Enabled() const
{
    return common.LogFileEnabled();
}

void TEncoderLog::AppendLog(const QString& text) const
{
    QFile file(FileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw AppError(file.errorString());
    const QByteArray line = text.toUtf8() + "\r\n";
    if (file.write(line) != line.size() || !file.flush())
        throw AppError(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw AppError(file.errorString());
}

void TEncoderLog::AppendLogIfEnabled(const QString& text) const
{
    if (Enabled())
        AppendLog(text);
}

void TEncoderLog::ClearLog() const
{
    QFile::remove(FileName());
}
