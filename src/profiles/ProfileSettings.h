#pragma once
// How a profile fills the job settings: one table of its eight choices, each with the job
// setting it gives. The settings panel adds its boxes to the same table; the command line takes
// each choice's default value.

#include "engine/TJobSetup.h"
#include "profiles/VideoProfile.h"

#include <array>

struct TChoiceField
{
    ProfileChoice (TVideoProfile::*choice)() const;
    QString TJobSettings::*setting;
};

// In the order of the profile's fields.
extern const std::array<TChoiceField, 8> ChoiceFields;

// The text a box shows for a profile value: "-1" is automatic.
QString ChoiceText(const QString& value);

// The job settings a profile gives with every choice at its default, the container and
// extension, the video flag, an automatic aspect and the given folders.
TJobSettings DefaultJobSettings(const TVideoProfile& profile, const QString& appFolder,
                                const QString& tempFolder);

// Fills the parts of settings that come from the profile itself (container, extension, video
// flag), leaving the chosen values as they are.
void ApplyProfileFormat(const TVideoProfile& profile, TJobSettings& settings);
