#include "joblist/JobFiles.h"

#include "platform/Paths.h"

namespace {

const char* const SupportedFirst =
    "*.3gp;*.3g2;*.avi;*.dv;*.dif;*.mov;*.qt;*.swf;*.mp2;*.mp3;*.ogg;*.aac;*.m4a;*.nut;"
    "*.ac3;*.h261;*.h264;*.m4v;*.yuv;*.mp4;*.mts;";
const char* const SupportedSecond =
    "*.rm;*.ra;*.ram;*.rmvb;*.wma;*.wmv;*.asf;*.mpg;*.mpeg;*.mpa;*.vob;*.dat;*.ape;"
    "*.cue;*.mkv;*.wav;*.aiff;*.au;*.cda;*.avs;*.psp;*.smk;*.nsv";

struct FilterRow
{
    const char* description;
    const char* patterns;
};

// Rows 2 to 23; row 1 is built from the supported text, row 24 is all files.
const FilterRow FilterRows[] = {
    {"3GPP Files (*.3gp)", "*.3gp"},
    {"3GPP2 Files (*.3g2)", "*.3g2"},
    {"AVI Files (*.avi)", "*.avi"},
    {"DV Video Files (*.dv;*.dif)", "*.dv;*.dif"},
    {"Quick Time Files (*.mov;*.qt)", "*.mov;*.qt"},
    {"Macromedia Flash Files (*.swf)", "*.swf"},
    {"MPEG-4 Files (*.mp4)", "*.mp4"},
    {"Raw H261 Files (*.h261)", "*.h261"},
    {"Raw H264 Files (*.h261;*.h264)", "*.h261;*.h264"},
    {"Raw MPEG-4 Video Files (*.m4v)", "*.m4v"},
    {"Raw Video Files (*.yuv)", "*.yuv"},
    {"MPEG-4 Files (*.mp4)", "*.mp4"},
    {"Real Media Files (*.rm;*.ra;*.ram;*.rmvb)", "*.rm;*.ra;*.ram;*.rmvb"},
    {"Windows Media Files (*.wma;*.wmv;*.asf)", "*.wma;*.wmv;*.asf"},
    {"MPEG Files (*.mpg;*.mpeg;*.mpa)", "*.mpg;*.mpeg;*.mpa"},
    {"DVD and VCD Files (*.vob;*.dat)", "*.vob;*.dat"},
    {"Monkey's Audio Files (*.ape;*.cue)", "*.ape;*.cue"},
    {"MKV Video Files (*.mkv)", "*.mkv"},
    {"WAV Files (*.wav;*.aiff)", "*.wav;*.aiff"},
    {"Sun Au Audio Files (*.au)", "*.au"},
    {"CD Audio (*.cda)", "*.cda"},
    {"Sony MTS Files (*.mts)", "*.mts"},
};

// Qt reads a filter row as "description (patterns separated by blanks)". A description that
// already ends in its own parenthesised list would be read as the patterns, so the patterns go
// in a second pair of brackets, which Qt takes (it uses the last one).
QString QtRow(const QString& description, const QString& patterns)
{
    QString list = patterns;
    list.replace(u';', u' ');
    return description + QStringLiteral(" (") + list + u')';
}

} // namespace

const QString& JobFiles::SupportedExtensionsText()
{
    static const QString text = QString::fromLatin1(SupportedFirst) + QString::fromLatin1(SupportedSecond);
    return text;
}

QString JobFiles::ExtensionOf(const QString& path)
{
    return ExtensionWithDot(path).toLower();
}

bool JobFiles::IsSupported(const QString& path)
{
    const QString ext = ExtensionOf(path);
    return !ext.isEmpty() && SupportedExtensionsText().contains(ext);
}

QStringList JobFiles::OpenDialogFilters()
{
    QStringList rows;
    rows << QtRow(QStringLiteral("Support files"), SupportedExtensionsText() + QStringLiteral(";*.mts"));
    for (const FilterRow& row : FilterRows)
        rows << QtRow(QString::fromLatin1(row.description), QString::fromLatin1(row.patterns));
    // Every name, with or without a dot.
    rows << QtRow(QStringLiteral("All files (*.*)"), QStringLiteral("*"));
    return rows;
}
