#pragma once
// The profile files of a folder, and a check that loads each one as the program does.

#include <QString>
#include <QStringList>

// The profile files of the folder in the format list's order (TProfileCatalogue); raises
// AppError "Folder not found" when there is no such folder.
QStringList ListProfileFiles(const QString& folder);

// Loads every profile file of the folder; one "<file>: <error>" text per failure. Raises
// AppError when the folder itself cannot be listed.
QStringList CheckProfileFolder(const QString& folder, int* loadedCount = nullptr);
