#pragma once
// velmora-cli from its arguments to its exit status: options, profile, files, output folder and
// log are checked first, and nothing is touched until all of them are sound.

#include <QStringList>

class TCliConsole;
class TCliTexts;
class TfrmCommon;
class TProfileCatalogue;

// The program: makes the application object and runs the command. Returns the exit status.
int RunCommandLine(int argc, char** argv);

// The command with the application object made. common may be changed (its log).
int RunCommand(TfrmCommon& common, const TCliTexts& texts, TCliConsole& console,
               const QStringList& arguments);

// The help text, one option a line.
QString HelpText(const TCliTexts& texts);

// The entry a --profile text names: a number from the list (from 1), a file name or a display
// name, matched exactly or else, when only one entry fits, without regard to letter case.
// -1 when none does.
int FindProfile(const TProfileCatalogue& catalogue, const QString& text);
