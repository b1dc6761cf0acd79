#pragma once
// The command line's options: what velmora-cli was asked to do, read from its arguments
// without looking at any file.

#include <QString>
#include <QStringList>

class TCliTexts;

// The exit status: every file converted (or skipped as asked); a file failed; wrong usage,
// profile or output folder; stopped by a signal.
enum TCliExit
{
    ceConverted = 0,
    ceFailed = 1,
    ceUsage = 2,
    ceStopped = 130,
};

// What to do with an output that exists already.
enum class TOverwriteRule
{
    Skip,
    Overwrite,
    Rename,
};

struct TCliOptions
{
    static constexpr int MaxJobs = 1024;

    bool help = false;
    bool version = false;
    bool listProfiles = false;
    QString profile;      // empty: the format [setting] iComboxFormatIndex names
    QString outputFolder; // empty: [setting] outputFolder
    int jobs = 0;         // 0: [setting] simultaneous
    QString startText;    // "HH:MM:SS", empty: from the beginning
    QString durationText; // "HH:MM:SS", empty: up to the end
    TOverwriteRule overwrite = TOverwriteRule::Rename;
    QString logFile;   // empty: no log
    QStringList files; // as given; "-" stands for the names on standard input
};

// Reads the arguments (without the program's own name). Options are "--name value" or
// "--name=value"; the last of a repeated option counts; "--" ends the options, so a file name
// may begin with a dash. Raises AppError with the texts' message on a wrong argument.
TCliOptions ParseCliOptions(const QStringList& arguments, const TCliTexts& texts);

// "H:MM:SS" or "HH:MM:SS" (minutes and seconds below 60) as "HH:MM:SS"; empty when the text is
// no such time.
QString NormalTimeText(const QString& text);
