#pragma once
// Where the program keeps the files it writes for its user (config.ini, logFile.txt, queue.ini).
// A program folder the user may write keeps them beside the program, as a copied folder always
// has; a folder installed by the system, which belongs to root, sends them to
// $XDG_CONFIG_HOME/velmora/ (~/.config/velmora/ when that is not set). The GUI, the updater and
// velmora-cli all ask here, so they always agree.

#include <QString>

struct TSettingsPlace
{
    // Ends in "/"; empty when the files cannot be kept anywhere.
    QString folder;
    // The folder that was wanted, for the message when folder is empty.
    QString wanted;
    // Why wanted cannot be used: the system's error text, empty when there is no home folder.
    QString cause;
    bool homeMissing = false;
    // True when the files moved away from the program folder.
    bool inHome = false;

    bool Usable() const { return !folder.isEmpty(); }
    // folder + name, or an empty name (nothing can be read or saved) when there is no place.
    QString File(const QString& name) const { return folder.isEmpty() ? QString() : folder + name; }
};

// Decides for the program folder appFolder (which ends in "/"). Reads XDG_CONFIG_HOME and the
// home folder (HomeFolder) at each call. Creates the folder under the home folder when it is
// needed, and nothing else: no file is copied or moved between the two places, and a home
// folder that does not exist is never made.
TSettingsPlace FindSettingsPlace(const QString& appFolder);
// The same for a home folder as HomeFolder gives it (empty: there is none).
TSettingsPlace FindSettingsPlace(const QString& appFolder, const QString& home);

// Qt keeps a few settings of its own (the file dialog's) in QtProject.conf under
// XDG_CONFIG_HOME or HOME/.config and makes the folders it needs there: with HOME unset or no
// folder that would land at the root or make a home that is not there. This points Qt at the
// same home folder as the program's own settings, or nowhere when there is none.
void PlaceToolkitSettings();

// Whether the running user may create and replace files in folder. The system lets the
// superuser write anywhere, so for the superuser the folder's permission bits decide, as they
// do for everybody else: a folder whose bits deny writing counts as read-only, like a
// config.ini nobody may write.
bool FolderWritable(const QString& folder);
