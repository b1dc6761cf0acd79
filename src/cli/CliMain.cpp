#include "cli/CliMain.h"

#include "cli/CliConfig.h"
#include "cli/CliFileList.h"
#include "cli/CliOptions.h"
#include "cli/ProgressLine.h"
#include "cli/TCliConsole.h"
#include "cli/TCliRun.h"
#include "cli/TCliTexts.h"
#include "engine/FileIdentity.h"
#include "engine/OutputFile.h"
#include "engine/OutputNames.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"
#include "profiles/ProfileSettings.h"
#include "profiles/TEncoderAvailability.h"
#include "profiles/TProfileCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

// Raised for a mistake of the command line: a message and exit status 2.
struct TUsageError
{
    QString text;
};

// A folder one may create files in, or a file one may write.
bool Writable(const QString& path, bool folder)
{
    return ::access(QFile::encodeName(path).constData(), folder ? W_OK | X_OK : W_OK) == 0;
}

QString ListProfilesText(const TProfileCatalogue& catalogue, const TCliTexts& texts)
{
    qsizetype fileWidth = 0;
    for (const TProfileEntry& entry : catalogue.entries)
        fileWidth = qMax(fileWidth, entry.FileName().size());
    const int numberWidth = int(QString::number(catalogue.entries.size()).size());
    QStringList lines;
    for (qsizetype i = 0; i < catalogue.entries.size(); ++i) {
        const TProfileEntry& entry = catalogue.entries[i];
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(i + 1, numberWidth)
                           .arg(entry.FileName(), -int(fileWidth))
                           .arg(entry.profile.DisplayName());
        if (!entry.Available())
            line += QStringLiteral("  (") +
                    texts.Format("profileUnavailable", {entry.missingEncoders.join(QStringLiteral(", "))}) + u')';
        lines << line;
    }
    return lines.join(u'\n');
}

int ChooseProfile(const TProfileCatalogue& catalogue, const TCliOptions& options, const QString& configFile,
                  const TCliTexts& texts)
{
    if (options.profile.isEmpty()) {
        // The window's choice; a config.ini that saved no choice converts with the first format.
        const int index = catalogue.SavedEntryIndex(configFile);
        if (index >= 0)
            return index;
        const int first = catalogue.FirstAvailable();
        return first >= 0 ? first : 0;
    }
    const int index = FindProfile(catalogue, options.profile);
    if (index >= 0) {
        const TProfileEntry& entry = catalogue.entries[index];
        if (!entry.Available())
            throw TUsageError{texts.Format(
                "errProfileUnavailable", {entry.FileName(), entry.missingEncoders.join(QStringLiteral(", "))})};
        return index;
    }
    const QString prefix = options.profile + QStringLiteral(": ");
    for (const QString& failure : catalogue.failures) {
        if (failure.startsWith(prefix))
            throw TUsageError{
                texts.Format("errProfileBroken", {options.profile, failure.mid(prefix.size())})};
    }
    throw TUsageError{texts.Format("errProfileUnknown", {options.profile})};
}

QStringList ExpandFileNames(const QStringList& given)
{
    QStringList names;
    for (const QString& name : given) {
        if (name != QLatin1String("-")) {
            names << name;
            continue;
        }
        QFile input;
        if (input.open(stdin, QIODevice::ReadOnly))
            names << ParseFileList(input.readAll());
    }
    return names;
}

QString CheckOutputFolder(const QString& folder, const TCliTexts& texts)
{
    const QString path = QFileInfo(folder).absoluteFilePath();
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        throw TUsageError{texts.Format("errOutputNotFolder", {folder})};
    if (info.exists() && !Writable(path, true))
        throw TUsageError{texts.Format("errOutputReadOnly", {folder})};
    // A folder that does not exist yet is made by the run; the part of it that exists must be
    // a folder the run can write in, or nothing could ever be made there.
    QString existing = path;
    while (!QFileInfo::exists(existing) && QFileInfo(existing).path() != existing)
        existing = QFileInfo(existing).path();
    if (existing != path) {
        if (!QFileInfo(existing).isDir())
            throw TUsageError{texts.Format("errOutputCannotCreate", {folder, existing})};
        if (!Writable(existing, true))
            throw TUsageError{texts.Format("errOutputReadOnly", {folder})};
    }
    return path;
}

// Points the encoder log at the file --log names, or nowhere: the program folder's
// logFile.txt belongs to the window, whose log a command-line run must not delete.
// outputs are the names the batch's outputs would have.
void ChooseLog(TfrmCommon& common, const QString& logFile, const QStringList& sources,
               const QStringList& outputs, const TCliTexts& texts)
{
    common.logFile.clear();
    common.logFileSwitch = 0;
    if (logFile.isEmpty())
        return;
    const QString path = QFileInfo(logFile).absoluteFilePath();
    const QFileInfo info(path);
    const bool usable =
        info.exists() ? info.isFile() && Writable(path, false) : Writable(info.absolutePath(), true);
    if (!usable)
        throw TUsageError{texts.Format("errLogFile", {logFile})};
    // The run starts by deleting the log: it must not be a file about to be converted.
    for (const QString& source : sources) {
        if (SameFile(path, source) || QFileInfo(source).absoluteFilePath() == path)
            throw TUsageError{texts.Format("errLogIsSource", {logFile})};
    }
    // Nor an output: the log would be written into the converted file, or take its name.
    const QString cleanPath = QDir::cleanPath(path);
    for (const QString& output : outputs) {
        if (IsAutoNameOf(cleanPath, output) || SameFile(path, output))
            throw TUsageError{texts.Format("errLogIsOutput", {logFile})};
    }
    common.logFile = path;
    common.logFileSwitch = 1;
}

} // namespace

int FindProfile(const TProfileCatalogue& catalogue, const QString& text)
{
    const qsizetype count = catalogue.entries.size();
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber && !text.startsWith(u'+') && !text.startsWith(u'-'))
        return number >= 1 && number <= count ? number - 1 : -1;
    const int exact = catalogue.IndexOf(text);
    if (exact >= 0)
        return exact;
    int found = -1;
    for (qsizetype i = 0; i < count; ++i) {
        const TProfileEntry& entry = catalogue.entries[i];
        if (entry.FileName().compare(text, Qt::CaseInsensitive) == 0 ||
            entry.profile.DisplayName().compare(text, Qt::CaseInsensitive) == 0) {
            if (found >= 0 && found != int(i))
                return -1;
            found = int(i);
        }
    }
    return found;
}

namespace {

// The text in lines of at most width columns, broken at blanks where it has them and anywhere
// in a run without (Chinese text).
QStringList WrapText(const QString& text, int width)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString joined = line.isEmpty() ? word : line + u' ' + word;
        if (DisplayWidth(joined) <= width) {
            line = joined;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line = word;
        while (DisplayWidth(line) > width) {
            const QString head = CutToWidth(line, width);
            lines << head;
            line = line.mid(head.size());
        }
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines << line;
    return lines;
}

} // namespace

QString HelpText(const TCliTexts& texts)
{
    struct THelpRow
    {
        const char* option;
        const char* key;
    };
    static constexpr THelpRow rows[] = {
        {"--list-profiles", "helpListProfiles"},
        {"--profile P", "helpProfile"},
        {"--output DIR", "helpOutput"},
        {"--jobs N", "helpJobs"},
        {"--start HH:MM:SS", "helpStart"},
        {"--duration HH:MM:SS", "helpDuration"},
        {"--overwrite skip|overwrite|rename", "helpOverwrite"},
        {"--log FILE", "helpLog"},
        {"--help", "helpHelp"},
        {"--version", "helpVersion"},
    };
    qsizetype width = 0;
    for (const THelpRow& row : rows)
        width = qMax(width, qsizetype(qstrlen(row.option)));
    // Fits a terminal of 80 columns; the descriptions hang beside their options.
    constexpr int lineWidth = 79;
    const int indent = int(width) + 4;
    QStringList lines{texts.Format("usage", {TCliConsole::ProgramName()})};
    lines << WrapText(texts.Text("helpIntro"), lineWidth) << QString();
    for (const THelpRow& row : rows) {
        const QStringList description = WrapText(texts.Text(row.key), qMax(20, lineWidth - indent));
        lines << QStringLiteral("  ") + QString::fromLatin1(row.option).leftJustified(width + 2) +
                     description.first();
        for (qsizetype i = 1; i < description.size(); ++i)
            lines << QString(indent, u' ') + description[i];
    }
    lines << QString() << WrapText(texts.Text("helpExit"), lineWidth);
    return lines.join(u'\n');
}

int RunCommand(TfrmCommon& common, const TCliTexts& texts, TCliConsole& console, const QStringList& arguments)
{
    TCliOptions options;
    try {
        options = ParseCliOptions(arguments, texts);
    } catch (const AppError& error) {
        console.Error(error.Text());
        console.Error(texts.Format("tryHelp", {TCliConsole::ProgramName()}));
        return ceUsage;
    }
    if (options.help) {
        console.Line(HelpText(texts));
        return ceConverted;
    }
    if (options.version) {
        console.Line(TCliConsole::ProgramName() + u' ' + QCoreApplication::applicationVersion());
        return ceConverted;
    }

    try {
        const TCliDefaults defaults = ReadCliDefaults(CliConfigFile(common));
        const QString profileFolder = TProfileCatalogue::ProfileFolder(common.appFolder);
        TProfileCatalogue catalogue = TProfileCatalogue::Load(profileFolder);
        if (!catalogue.entries.isEmpty()) {
            // Unknown encoders leave every profile available: the encoder then says what it lacks.
            TEncoderAvailability availability(common.appFolder,
                                              common.settingsPlace.File(TEncoderAvailability::CacheFileName()));
            catalogue.ApplyEncoders(availability.AnswerNow());
        }
        if (options.listProfiles) {
            for (const QString& failure : catalogue.failures)
                console.Error(texts.Format("profileLeftOut", {failure}));
            if (catalogue.entries.isEmpty())
                throw TUsageError{texts.Format("errNoProfiles", {profileFolder})};
            console.Line(ListProfilesText(catalogue, texts));
            return ceConverted;
        }
        if (catalogue.entries.isEmpty())
            throw TUsageError{texts.Format("errNoProfiles", {profileFolder})};
        const TProfileEntry& profile = catalogue.entries[ChooseProfile(catalogue, options, CliConfigFile(common), texts)];

        const QStringList names = ExpandFileNames(options.files);
        if (names.isEmpty())
            throw TUsageError{texts.Text("errNoFiles")};
        const QString chosenFolder =
            options.outputFolder.isEmpty() ? defaults.outputFolder : options.outputFolder;
        // No home folder gives no default; an empty name would mean the current folder.
        if (chosenFolder.isEmpty())
            throw TUsageError{texts.Text("errNoOutputFolder")};
        const QString outputFolder = CheckOutputFolder(chosenFolder, texts);

        // Each file once, as the job list keeps it once; the same file named twice is one item,
        // also through two paths (a linked folder, a second name).
        QStringList givenNames;
        QStringList sources;
        QStringList outputs;
        QSet<QString> seen;
        QSet<std::pair<quint64, quint64>> seenFiles;
        const QString outputPrefix = QDir::cleanPath(outputFolder) + u'/';
        for (const QString& name : names) {
            const QString source = QDir::cleanPath(QFileInfo(name).absoluteFilePath());
            if (seen.contains(source))
                continue;
            seen.insert(source);
            const TFileIdentity file = TFileIdentity::Reached(source);
            if (file.valid && seenFiles.contains(file.Key()))
                continue;
            if (file.valid)
                seenFiles.insert(file.Key());
            givenNames << name;
            sources << source;
            outputs << outputPrefix + OutputNameFor(source, profile.profile.Extension());
        }
        ChooseLog(common, options.logFile, sources, outputs, texts);

        QList<TBatchItem> items;
        QStringList itemNames;
        int refused = 0;
        const QString start = options.startText.isEmpty() ? QStringLiteral("00:00:00") : options.startText;
        for (qsizetype i = 0; i < sources.size(); ++i) {
            const char* problem = nullptr;
            switch (CheckSource(sources[i])) {
            case TSourceProblem::Missing:
                problem = "fileMissing";
                break;
            case TSourceProblem::NotFile:
                problem = "fileNotFile";
                break;
            case TSourceProblem::Unsupported:
                problem = "fileUnsupported";
                break;
            case TSourceProblem::None:
                break;
            }
            if (problem) {
                console.Error(texts.Format(QString::fromLatin1(problem), {givenNames[i]}));
                ++refused;
                continue;
            }
            items << TBatchItem{sources[i], start, options.durationText, QString()};
            itemNames << givenNames[i];
        }
        if (items.isEmpty()) {
            console.Line(texts.Format("summary", {"0", QString::number(refused), "0"}));
            return ceFailed;
        }

        // Scripts for turned pictures go to a folder of this run's own, so batches running side
        // by side (or the window) never share one.
        QTemporaryDir scriptFolder(TempFolder() + QStringLiteral("velmora-cli-XXXXXX"));
        const QString tempFolder = scriptFolder.isValid() ? scriptFolder.path() + u'/' : TempFolder();
        const TJobSettings settings = DefaultJobSettings(profile.profile, common.appFolder, tempFolder);
        const int jobs = options.jobs > 0 ? options.jobs : defaults.simultaneous;
        TCliRun run(common, texts, console);
        return run.Exec(items, itemNames, settings, outputFolder, jobs, options.overwrite, refused);
    } catch (const TUsageError& error) {
        console.Error(error.text);
        return ceUsage;
    } catch (const AppError& error) {
        console.Error(error.Text());
        return ceFailed;
    }
}

int RunCommandLine(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(TCliConsole::ProgramName());
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    TfrmCommon common;
    const TCliTexts texts(common.languageFile, common.appFolder + QStringLiteral("language/en.ini"));
    TCliConsole console;
    SetExceptionReporter([&console](const QString& text) { console.Error(text); });
    const int status = RunCommand(common, texts, console, QCoreApplication::arguments().mid(1));
    SetExceptionReporter(nullptr);
    return status;
}
