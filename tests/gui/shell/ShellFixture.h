#pragma once
// A program folder in a temporary directory (real language files, a config.ini written by the
// test) and the real main window over it, created as the program's start-up creates it.

#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"
#include "shell/TfrmMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class ShellFixture
{
public:
    // configLines: the text of config.ini; the welcome window is off unless the text says so.
    explicit ShellFixture(const QString& configText = QStringLiteral("[setting]\ndisplayHelpDialog=0\n"),
                          bool copyLanguages = true)
    {
        QDir().mkpath(folder.filePath(QStringLiteral("language")));
        QDir().mkpath(folder.filePath(QStringLiteral("profile")));
        if (copyLanguages) {
            for (const char* name : {"en.ini", "gb.ini"}) {
                const QString target = folder.filePath(QStringLiteral("language/") + QLatin1String(name));
                QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/") + QLatin1String(name),
                            target);
            }
        }
        WriteConfig(configText);
    }

    void WriteConfig(const QString& text)
    {
        QFile file(folder.filePath(QStringLiteral("config.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    QString Path(const QString& name) const { return folder.filePath(name); }
    IniFile Config() const { return IniFile(Path(QStringLiteral("config.ini"))); }

    // Creates the services object and the main window with its other windows, and shows it.
    TfrmMain* Start(bool show = true)
    {
        common = std::make_unique<TfrmCommon>(folder.path());
        window = std::make_unique<TfrmMain>(common.get());
        window->CreateOtherWindows();
        if (show) {
            window->show();
            if (!QTest::qWaitForWindowExposed(window.get()))
                qWarning("main window not exposed");
        }
        return window.get();
    }

    void Stop()
    {
        if (window)
            window->close();
        window.reset();
        common.reset();
    }

    ~ShellFixture() { Stop(); }

    QTemporaryDir folder;
    std::unique_ptr<TfrmCommon> common;
    std::unique_ptr<TfrmMain> window;
};
