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

// The user's home folder, without a trailing "/": HOME when it names a folder, else the one
// the password database gives the user, when that is a folder. Empty when neither is: nothing
// may then be made "under the home folder", which would land at the root or under a folder
// that does not exist. The window, velmora-cli and the updater all ask here.
QString HomeFolder();
// The rule of HomeFolder for a given HOME and home folder of the user's account.
QString ChooseHomeFolder(const QString& homeVariable, const QString& accountHome);
// The home folder the password database gives the real user; empty when it gives none.
QString AccountHomeFolder();

// The output folder when none is saved: the videos folder of the home folder (XDG_VIDEOS_DIR of
// user-dirs.dirs, else "Videos"), which need not exist yet. Empty when there is no home folder.
QString DefaultOutputFolder();
// The videos folder of home as user-dirs.dirs in configFolder names it.
QString VideosFolder(const QString& home, const QString& configFolder);
