#include "cli/TCliTexts.h"

#include "platform/IniFile.h"

const QStringList& TCliTexts::Keys()
{
    static const QStringList keys{
        "usage",
        "helpIntro",
        "helpListProfiles",
        "helpProfile",
        "helpOutput",
        "helpJobs",
        "helpStart",
        "helpDuration",
        "helpOverwrite",
        "helpLog",
        "helpHelp",
        "helpVersion",
        "helpExit",
        "tryHelp",
        "errUnknownOption",
        "errMissingValue",
        "errNoValue",
        "errJobs",
        "errTime",
        "errZeroDuration",
        "errOverwrite",
        "errNoFiles",
        "errNoProfiles",
        "errProfileUnknown",
        "errProfileBroken",
        "profileLeftOut",
        "profileUnavailable",
        "errProfileUnavailable",
        "errOutputNotFolder",
        "errOutputCannotCreate",
        "errOutputReadOnly",
        "errLogFile",
        "errLogIsSource",
        "errLogIsOutput",
        "fileMissing",
        "fileNotFile",
        "fileUnsupported",
        "fileFailed",
        "fileNoReason",
        "fileNotConverted",
        "lineConverted",
        "lineSkipped",
        "lineStopped",
        "progressLeft",
        "stopping",
        "summary",
        "summaryNotStarted",
        "errNoOutputFolder",
    };
    return keys;
}

TCliTexts::TCliTexts(const QString& languageFile, const QString& englishFile)
{
    const IniFile edition(languageFile);
    const IniFile english(englishFile);
    for (const QString& key : Keys()) {
        QString text = edition.ReadString(Section(), key, QString());
        if (text.isEmpty() && englishFile != languageFile)
            text = english.ReadString(Section(), key, QString());
        if (!text.isEmpty())
            texts.insert(key, text);
    }
}

QString TCliTexts::Text(const QString& key) const
{
    return texts.value(key, key);
}

QString TCliTexts::Format(const QString& key, const QStringList& args) const
{
    const auto found = texts.constFind(key);
    if (found == texts.constEnd())
        return args.isEmpty() ? key : key + QStringLiteral(": ") + args.join(QStringLiteral(", "));
    return Substitute(*found, args);
}

QString TCliTexts::Substitute(const QString& format, const QStringList& args)
{
    QString result;
    result.reserve(format.size());
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'%' && i + 1 < format.size()) {
            const QChar next = format[i + 1];
            if (next == u'%') {
                result += u'%';
                ++i;
                continue;
            }
            if (next >= u'1' && next <= u'9') {
                result += args.value(next.unicode() - u'1');
                ++i;
                continue;
            }
        }
        result += c;
    }
    return result;
}
