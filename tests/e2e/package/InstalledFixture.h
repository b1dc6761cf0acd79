#pragma once
// What the installed-copy and package tests share: a home folder of the test's own, program
// folders locked as an installed one is for its users, and the real main window over such a
// folder converting one clip.

#include "dialogs/TMessageBox.h"
#include "shell/TfrmMain.h"
#include "support/MainWindow.h"
#include "support/Media.h"

#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace InstalledFixture {

constexpr uid_t Nobody = 65534;
constexpr gid_t NoGroup = 65534;

// HOME and XDG_CONFIG_HOME as the test sets them, restored when the object goes.
class TEnvironment
{
public:
    TEnvironment()
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            saved << qMakePair(QByteArray(name), qgetenv(name));
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~TEnvironment()
    {
        for (const auto& [name, value] : saved) {
            if (value.isNull())
                qunsetenv(name.constData());
            else
                qputenv(name.constData(), value);
        }
    }
    static void SetHome(const QString& home)
    {
        if (home.isNull())
            qunsetenv("HOME");
        else
            qputenv("HOME", QFile::encodeName(home));
    }

private:
    QList<QPair<QByteArray, QByteArray>> saved;
};

// Every folder and file below (and with) folder: mode for folders, the files' write bits
// taken away or given back. A locked folder is what an installed one is to its users.
inline void SetFolderMode(const QString& folder, mode_t mode)
{
    const auto apply = [mode](const QString& path) {
        struct stat info;
        const QByteArray name = QFile::encodeName(path);
        if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode))
            return;
        if (S_ISDIR(info.st_mode))
            ::chmod(name.constData(), mode);
        else
            ::chmod(name.constData(), (mode & S_IWUSR) ? (info.st_mode | S_IWUSR) : (info.st_mode & ~0222));
    };
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        apply(it.next());
    apply(folder);
}

inline void LockFolder(const QString& folder)
{
    SetFolderMode(folder, 0555);
}

inline void UnlockFolder(const QString& folder)
{
    SetFolderMode(folder, 0755);
}

// Hands a folder tree to user nobody, as a copy another user installed would be.
inline bool GiveToNobody(const QString& folder)
{
    bool given = ::chown(QFile::encodeName(folder).constData(), Nobody, NoGroup) == 0;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        given &= ::lchown(QFile::encodeName(it.next()).constData(), Nobody, NoGroup) == 0;
    return given;
}

// The real main window over a program folder, as the program starts it; found controls by
// their object names.
struct TWindow : TestSupport::TMainWindow
{
    explicit TWindow(const QString& appFolder) : TMainWindow(appFolder, true, TExposure::Warned) {}

    template <typename T> T* Control(const char* name) const
    {
        return frm->findChild<T*>(QString::fromLatin1(name));
    }

    QString OutputFolderText() const { return Control<QLineEdit>("editOutputFolder")->text(); }

    // As the Browse button would: the field takes the folder and saves it.
    void SetOutputFolder(const QString& folder) const
    {
        Control<QLineEdit>("editOutputFolder")->setText(folder);
    }

    bool SelectProfile(const QString& fileName) const { return TestSupport::SelectProfile(*frm, fileName); }

    // Converts clip into outFolder with the MP4 profile, answers the question at the end with
    // No, and returns the output's path once that question came.
    QString ConvertOne(const QString& clip, const QString& outFolder)
    {
        if (!SelectProfile(QStringLiteral("33-mp4-mpeg4-aac.pf")))
            return QString();
        SetOutputFolder(outFolder);
        frm->AddJobFile(clip);
        const qsizetype shown = TMessageBox::shownTexts.size();
        TMessageBox::nextAnswers = {QMessageBox::No};
        QTest::mouseClick(Control<QPushButton>("buttonConvert"), Qt::LeftButton);
        if (!QTest::qWaitFor([&] { return TMessageBox::shownTexts.size() > shown; }, 180000))
            return QString();
        return outFolder + u'/' + QFileInfo(clip).completeBaseName() + QStringLiteral(".mp4");
    }
};

} // namespace InstalledFixture
