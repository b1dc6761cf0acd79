#include "support/ShellFixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

ShellFixture::ShellFixture(const QString& configText, bool copyLanguages)
{
    QDir().mkpath(folder.filePath(QStringLiteral("language")));
    QDir().mkpath(folder.filePath(QStringLiteral("profile")));
    if (copyLanguages) {
        for (const char* name : {"en.ini", "gb.ini"}) {
            const QString target = folder.filePath(QStringLiteral("language/") + QLatin1String(name));
            QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/") + QLatin1String(name), target);
        }
    }
    WriteConfig(configText);
}

ShellFixture::~ShellFixture()
{
    Stop();
}

void ShellFixture::WriteConfig(const QString& text)
{
    QFile file(folder.filePath(QStringLiteral("config.ini")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(text.toUtf8());
}

TfrmMain* ShellFixture::Start(bool show)
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

void ShellFixture::Stop()
{
    if (window)
        window->close();
    window.reset();
    common.reset();
}
