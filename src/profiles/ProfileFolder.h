#pragma once
// The profile files of a folder, and a check that loads each one as the program does.

#include <QString>
#include <QStringList>

// Paths of the entries whose extension is "pf" in any letter case, folders left out,
// sorted by file name so the list order is the same on every file system.
QStringList ListProfileFiles(const QString& folder);

// Loads every profile file of the folder; one "<file>: <error>" text per failure. Raises
// AppError when the folder itself cannot be listed.
QStringList CheckProfileFolder(const QString& folder, int* loadedCount = nullptr);
