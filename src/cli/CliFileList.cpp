#include "cli/CliFileList.h"

#include "joblist/JobFiles.h"

#include <QFile>
#include <QFileInfo>

QStringList ParseFileList(const QByteArray& text)
{
    QStringList names;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        names << QFile::decodeName(line);
    }
    return names;
}

TSourceProblem CheckSource(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return TSourceProblem::Missing;
    if (!info.isFile())
        return TSourceProblem::NotFile;
    if (!JobFiles::IsSupported(path))
        return TSourceProblem::Unsupported;
    return TSourceProblem::None;
}
