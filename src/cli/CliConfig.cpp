#include "cli/CliConfig.h"

#include "cli/CliOptions.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"


QString CliConfigFile(const TfrmCommon& common)
{
    return common.configFile;
}

TCliDefaults ReadCliDefaults(const QString& configFile)
{
    const IniFile ini(configFile);
    const QString section = QStringLiteral("setting");
    TCliDefaults defaults;
    defaults.outputFolder = ini.ReadString(section, QStringLiteral("outputFolder"), QString());
    // An empty folder would put every output into the root of the file system; the window
    // takes its default then, and so does the command line.
    if (defaults.outputFolder.trimmed().isEmpty())
        defaults.outputFolder = DefaultOutputFolder();
    const int simultaneous = ini.ReadInteger(section, QStringLiteral("simultaneous"), 1);
    defaults.simultaneous = simultaneous >= 1 && simultaneous <= TCliOptions::MaxJobs ? simultaneous : 1;
    return defaults;
}
