#pragma once
// The real main window over a program folder, created as the program's start-up creates it.
// Nothing the window opens leaves the test for a browser or a file manager: what it asked to
// open is kept in opened.

#include "platform/TfrmCommon.h"
#include "shell/TfrmMain.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace TestSupport {

// The place in the format list of a profile file (such as "21-mp3.pf"); -1 when it is not there.
int FormatIndexOf(TfrmMain& frm, const QString& fileName);
// Picks that profile as a user picks it from the list; false when it is not there.
bool SelectProfile(TfrmMain& frm, const QString& fileName);

// The program's side of a test that starts its own executable as the program, with
// "--run-as-program <appFolder> <source>...": the main window over that program folder, closed
// by SIGTERM and SIGINT as the program's is. start gets the window and the sources once the
// event loop runs. Returns the event loop's exit code.
constexpr const char* RunAsProgramSwitch = "--run-as-program";
int RunAsProgram(int argc, char** argv, const std::function<void(TfrmMain&, const QStringList&)>& start);

class TMainWindow
{
public:
    // What Show() makes of a window that is not exposed: a failure of the test, a warning, or
    // nothing (it does not wait at all).
    enum class TExposure
    {
        Verified,
        Warned,
        NotAwaited
    };

    explicit TMainWindow(const QString& appFolder, bool show = true,
                         TExposure exposure = TExposure::Verified);
    ~TMainWindow();
    TMainWindow(const TMainWindow&) = delete;
    TMainWindow& operator=(const TMainWindow&) = delete;

    void Show();
    // Picks a profile file's entry of the format list; the test fails when there is none.
    void SelectProfile(const QString& fileName);
    // Closes the window as its user would; the destructor does it unless this did.
    void Close();

    QStringList opened;
    std::unique_ptr<TfrmCommon> common;
    std::unique_ptr<TfrmMain> frm;

private:
    TExposure exposure;
    bool closed = false;
};

} // namespace TestSupport
