#pragma once
// A program folder in a temporary directory (real language files, a config.ini written by the
// test) and the real main window over it, created as the program's start-up creates it.

#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TfrmMain.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

class ShellFixture
{
public:
    // configText: the text of config.ini; the welcome window is off unless the text says so.
    explicit ShellFixture(const QString& configText = QStringLiteral("[setting]\ndisplayHelpDialog=0\n"),
                          bool copyLanguages = true);
    ~ShellFixture();

    void WriteConfig(const QString& text);

    QString Path(const QString& name) const { return folder.filePath(name); }
    IniFile Config() const { return IniFile(Path(QStringLiteral("config.ini"))); }

    // Creates the services object and the main window with its other windows, and shows it.
    TfrmMain* Start(bool show = true);
    void Stop();

    QTemporaryDir folder;
    std::unique_ptr<TfrmCommon> common;
    std::unique_ptr<TfrmMain> window;
};
