#include "joblist/TFolderScan.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

TFolderScan::TFolderScan(bool includeSubFolders, const QString& filter) : subFolders(includeSubFolders)
{
    const QString text = filter.trimmed();
    // "*" stands for "*.*", which the desktop's listing matches against every name.
    if (!text.isEmpty() && text != QStringLiteral("*")) {
        everyEntry = false;
        expression =
            QRegularExpression(QRegularExpression::wildcardToRegularExpression(QStringLiteral("*.") + text),
                               QRegularExpression::CaseInsensitiveOption);
    }
}

bool TFolderScan::Matches(const QString& name) const
{
    return everyEntry || expression.match(name).hasMatch();
}

void TFolderScan::Run(const QString& folder)
{
    visited.clear();
    ScanFolder(folder);
}

bool TFolderScan::ScanFolder(const QString& folder)
{
    // A link loop leads back to a folder already being scanned: enter each real folder once.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty()) {
        if (visited.contains(canonical))
            return true;
        visited.insert(canonical);
    }

    QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (!Matches(name))
            continue;
        const QString path = prefix + name;
        if (entry.isDir() && subFolders) {
            if (!ScanFolder(path))
                return false;
        } else if (onEntry) {
            onEntry(path);
        }
        if (afterEntry && !afterEntry())
            return false;
    }
    return true;
}
