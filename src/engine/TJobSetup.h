#pragma once
// Per-file job set-up: turns one job-list item, the settings panel and the applied profile
// into the encoder's option set, command line (for the log) and argument vector (to run it).

#include <QString>
#include <QStringList>

class TFFMpeg;

// The settings panel as the user left it, and the applied profile.
struct TJobSettings
{
    QString videoCodec;   // ComboBoxVideoCodec
    QString videoBitrate; // comboBoxVideoBitrate, without unit
    QString frameRate;    // comboBoxFrameRate
    QString videoSize;    // comboBoxVideoSize, "[label]WxH" or "WxH"
    QString aspect;       // ComboBoxAspect: "auto", "4:3", "16:9" or "16:10"
    QString audioCodec;   // ComboBoxAudioCodec
    QString audioBitrate; // comboBoxAudioBitrate, without unit
    QString sampleRate;   // comboBoxSampleRate
    QString channel;      // comboBoxChannel

    QString currentFormat;    // container format of the applied profile
    QString currentExtension; // extension of the applied profile, without dot
    bool hasVideo = true;     // HasVideo of the applied profile

    QString appFolder;  // program folder, ending in "/"
    QString tempFolder; // temporary folder, ending in "/"
};

// One job-list item.
struct TJobFiles
{
    QString sourcePath; // existing source, or empty when it is gone
    QString outputPath; // the output file, created already
    QString startText;  // "HH:MM:SS"
    QString durationText;
    QString scriptPath;    // where a rotation script goes; empty: ScriptPath(tempFolder)
    QString privateFolder; // the run's own folder, for a link to a source the script cannot name
};

struct TJobCommand
{
    QString commandLine;   // program folder + the option set's line: what the log shows
    QString program;       // the encoder's full path
    QStringList arguments; // the same options, one value per argument
    QString inputFile;     // what the encoder reads: the source or the rotation script
    bool scriptWritten = false;
};

class TJobSetup
{
public:
    static QString EncoderFileName() { return QStringLiteral("libm9s.exe"); }

    // The rotation script in the temporary folder; number 2 and up for items that need one
    // while the first is in use.
    static QString ScriptPath(const QString& tempFolder, int number = 1)
    {
        return number <= 1 ? tempFolder + QStringLiteral("m9s.avs")
                           : tempFolder + QStringLiteral("m9s-%1.avs").arg(number);
    }

    // The text of a script string naming path, or an empty text when no script string can
    // hold it (a path holding three quotes in a row, or one that begins or ends with a quote
    // and needs the three-quote form).
    static QString ScriptString(const QString& path);

    // Portrait device sizes that the encoder reads through a script turning the picture.
    static bool IsRotatingFrameSize(const QString& frameSize);

    // The aspect that "auto" gives for a frame size: none for no size (the source's own), the
    // table's, else "16:9" or "16:10" for a size of that shape, else "4:3".
    static QString AspectForFrameSize(const QString& frameSize);

    // The option value a settings box gives: empty for "auto" (any letter case).
    static bool IsAuto(const QString& text);

    // Fills ffmpeg for the item (every option handled here is written on every call) and
    // writes the rotation script when the frame size needs it. A source the script cannot name
    // is named through a link in files.privateFolder. Raises AppError when the script or the
    // link cannot be written.
    static TJobCommand BuildJobCommandLine(TFFMpeg& ffmpeg, const TJobSettings& settings,
                                           const TJobFiles& files);
};
