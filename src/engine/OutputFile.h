#pragma once
// The output file of one item: its name from the source, the same-file check, and the
// placeholder that reserves the name until the encoder writes the real file.

#include <QByteArray>
#include <QString>

// The source's file name with the profile's extension in place of its own.
QString OutputNameFor(const QString& sourcePath, const QString& extension);

// True when both paths reach the same file (under another name or through a link included).
bool SameFile(const QString& a, const QString& b);

// What the placeholder holds until the encoder replaces it.
QByteArray PlaceholderText();

// Creates the placeholder at path, replacing what is there. Never writes through a link: a
// link at the name is removed and the file created new, so the link's target stays untouched.
// Refuses a pipe, device or folder at the name. On failure nothing it created stays behind and
// AppError "Cannot create file "<path>". <reason>" is raised.
void CreatePlaceholder(const QString& path);

// True while the file still holds nothing but the placeholder: no encoder wrote to it.
bool StillPlaceholder(const QString& path);
