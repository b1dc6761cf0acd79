#pragma once
// What the tests of a run without a window share: a program folder in a temporary directory
// whose libm9s.exe is a stand-in encoder, the services object over it, sources whose content
// tells the stand-in what to do, and the settings of an MP4 run.

#include "engine/TJobSetup.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace TestSupport {

struct TStandInProgram
{
    QTemporaryDir work;
    QString appFolder;
    std::unique_ptr<TfrmCommon> common;

    // Copies encoder into the program folder as its libm9s.exe and creates the services object.
    void PrepareProgramFolder(const QString& encoder)
    {
        QVERIFY(work.isValid());
        appFolder = work.path() + QStringLiteral("/app/");
        QVERIFY(QDir().mkpath(appFolder));
        const QString target = appFolder + QStringLiteral("libm9s.exe");
        QVERIFY(QFile::copy(encoder, target));
        QVERIFY(QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner));
        common = std::make_unique<TfrmCommon>(appFolder);
    }

    QString Source(const QString& name, const QByteArray& content)
    {
        const QString path = work.path() + QStringLiteral("/media/") + name;
        WriteText(path, content);
        return path;
    }

    TJobSettings Settings() const
    {
        TJobSettings settings;
        settings.currentFormat = QStringLiteral("mp4");
        settings.currentExtension = QStringLiteral("mp4");
        settings.appFolder = appFolder;
        settings.tempFolder = TempFolder();
        return settings;
    }
};

} // namespace TestSupport
