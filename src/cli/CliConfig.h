#pragma once
// The settings velmora-cli takes from config.ini: only read, never written. The chosen format
// is read by the catalogue itself (TProfileCatalogue::SavedEntryIndex), as the window reads it.

#include <QString>

class TfrmCommon;

// The settings file the command line reads: the one place to change should config.ini move.
QString CliConfigFile(const TfrmCommon& common);

struct TCliDefaults
{
    QString outputFolder; // [setting] outputFolder, else the window's default folder
    int simultaneous = 1; // [setting] simultaneous: files converted at once
};

// Missing keys, and values that are no integer or out of range, give the defaults above.
TCliDefaults ReadCliDefaults(const QString& configFile);

