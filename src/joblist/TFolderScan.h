#pragma once
// The folder scan behind "add a folder": walks one folder (and, when asked, its sub-folders,
// depth first) and hands every entry whose name matches the extension filter to a callback.
// A folder reached twice through symbolic links is entered once; unreadable folders add nothing.

#include <QRegularExpression>
#include <QSet>
#include <QString>

#include <functional>

class TFolderScan
{
public:
    // filter: "*" or empty for every entry, otherwise one extension without dot ("avi"); it
    // applies to sub-folder names as well.
    TFolderScan(bool includeSubFolders, const QString& filter);

    // Called for each entry that is not entered as a sub-folder, with the folder joined to its name.
    std::function<void(const QString& path)> onEntry;
    // Called after each entry, so the caller can let the event queue be served; false ends the
    // scan (the window closed meanwhile).
    std::function<bool()> afterEntry;

    void Run(const QString& folder);

    // Whether a name passes the filter (case-insensitive, as the desktop's listing matches).
    bool Matches(const QString& name) const;

private:
    // False once the scan was ended.
    bool ScanFolder(const QString& folder);

    bool subFolders;
    bool everyEntry = true; // no filter: expression is not used
    QRegularExpression expression;
    QSet<QString> visited;
};
