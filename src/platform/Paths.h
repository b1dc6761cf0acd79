#pragma once
// File-system names the program hands on: the stand-in for short (8.3) paths and the
// temporary folder.

#include <QString>

// The absolute path of an existing file or folder (a folder keeps a trailing "/" when it was
// given one); empty when nothing exists at path. Blanks and non-ASCII letters stay as they are:
// paths travel to child programs as arguments of their own.
QString ShortPath(const QString& path);

// The temporary folder, ending in "/".
QString TempFolder();
