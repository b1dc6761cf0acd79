#pragma once
// File-system names the program hands on: the stand-in for short (8.3) paths, the extension
// of a file name, the temporary folder and the default output folder.

#include <QString>

// The absolute path of an existing file or folder (a folder keeps a trailing "/" when it was
// given one); empty when nothing exists at path. Blanks and non-ASCII letters stay as they are:
// paths travel to child programs as arguments of their own.
QString ShortPath(const QString& path);

// The part of the file name (after the last "/") from its last dot on, dot included, as it
// stands; empty when the name has no dot. A name that starts with its only dot is all
// extension (".avi").
QString ExtensionWithDot(const QString& path);

// The temporary folder, ending in "/".
QString TempFolder();

// The output folder when none is saved: the user's videos, else the home folder.
QString DefaultOutputFolder();
