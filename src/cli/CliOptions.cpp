#include "cli/CliOptions.h"

#include "cli/TCliTexts.h"
#include "platform/AppError.h"

#include <QRegularExpression>

namespace {

enum class TOptionKind
{
    Flag,
    Value,
};

struct TOptionName
{
    const char* name;
    TOptionKind kind;
};

constexpr TOptionName OptionNames[] = {
    {"--help", TOptionKind::Flag},          {"--version", TOptionKind::Flag},
    {"--list-profiles", TOptionKind::Flag}, {"--profile", TOptionKind::Value},
    {"--output", TOptionKind::Value},       {"--jobs", TOptionKind::Value},
    {"--start", TOptionKind::Value},        {"--duration", TOptionKind::Value},
    {"--overwrite", TOptionKind::Value},    {"--log", TOptionKind::Value},
};

const TOptionName* FindOption(const QString& name)
{
    for (const TOptionName& option : OptionNames) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

int ParseJobs(const QString& value, const TCliTexts& texts)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    const int jobs = digits.match(value).hasMatch() ? value.toInt() : 0;
    if (jobs < 1 || jobs > TCliOptions::MaxJobs)
        throw AppError(texts.Format("errJobs", {value}));
    return jobs;
}

TOverwriteRule ParseOverwrite(const QString& value, const TCliTexts& texts)
{
    if (value == QLatin1String("skip"))
        return TOverwriteRule::Skip;
    if (value == QLatin1String("overwrite"))
        return TOverwriteRule::Overwrite;
    if (value == QLatin1String("rename"))
        return TOverwriteRule::Rename;
    throw AppError(texts.Format("errOverwrite", {value}));
}

QString ParseTime(const QString& option, const QString& value, const TCliTexts& texts)
{
    const QString time = NormalTimeText(value);
    if (time.isEmpty())
        throw AppError(texts.Format("errTime", {option, value}));
    return time;
}

void TakeValue(TCliOptions& options, const QString& name, const QString& value, const TCliTexts& texts)
{
    if (name == QLatin1String("--profile"))
        options.profile = value;
    else if (name == QLatin1String("--output"))
        options.outputFolder = value;
    else if (name == QLatin1String("--jobs"))
        options.jobs = ParseJobs(value, texts);
    else if (name == QLatin1String("--start"))
        options.startText = ParseTime(name, value, texts);
    else if (name == QLatin1String("--duration")) {
        options.durationText = ParseTime(name, value, texts);
        // The encoder takes no empty window; "up to the end" is said by leaving the option out.
        if (options.durationText == QLatin1String("00:00:00"))
            throw AppError(texts.Text("errZeroDuration"));
    } else if (name == QLatin1String("--overwrite"))
        options.overwrite = ParseOverwrite(value, texts);
    else if (name == QLatin1String("--log"))
        options.logFile = value;
}

void TakeFlag(TCliOptions& options, const QString& name)
{
    if (name == QLatin1String("--help"))
        options.help = true;
    else if (name == QLatin1String("--version"))
        options.version = true;
    else if (name == QLatin1String("--list-profiles"))
        options.listProfiles = true;
}

} // namespace

QString NormalTimeText(const QString& text)
{
    static const QRegularExpression time(QStringLiteral("^([0-9]{1,2}):([0-5][0-9]):([0-5][0-9])$"));
    const QRegularExpressionMatch match = time.match(text);
    if (!match.hasMatch())
        return QString();
    return match.captured(1).rightJustified(2, u'0') + u':' + match.captured(2) + u':' + match.captured(3);
}

TCliOptions ParseCliOptions(const QStringList& arguments, const TCliTexts& texts)
{
    TCliOptions options;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // A lone "-" is the list on standard input, not an option.
        if (optionsEnded || !argument.startsWith(u'-') || argument == QLatin1String("-")) {
            options.files << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name =
            equals > 0 && argument.startsWith(QLatin1String("--")) ? argument.left(equals) : argument;
        const TOptionName* option = FindOption(name);
        if (!option)
            throw AppError(texts.Format("errUnknownOption", {argument}));
        if (option->kind == TOptionKind::Flag) {
            if (equals > 0 && name != argument)
                throw AppError(texts.Format("errNoValue", {name}));
            TakeFlag(options, name);
            continue;
        }
        QString value;
        if (name != argument) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1String("--"))) {
            // "--output --jobs 2" lacks its folder: a folder named "--jobs" is not what was meant.
            // A value that does begin with "--" is given as "--output=--name".
            value = arguments[++i];
        }
        if (value.isEmpty())
            throw AppError(texts.Format("errMissingValue", {name}));
        TakeValue(options, name, value, texts);
    }
    return options;
}
