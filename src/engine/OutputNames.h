#pragma once
// Settling an output file that exists already: the answers of the existing-output prompt, the
// answer remembered across runs, and the free automatic name. No window here: the prompt is
// reached through a callback, so the rules can be checked without a display.

#include <QString>
#include <QtGlobal>
#include <functional>

// One byte, shared by the prompt's answer and the main window's remembered answer.
// owSkipOnce doubles as "nothing remembered", so a skip without the check box asks again.
enum TOverwriteAnswer : quint8
{
    owSkipOnce = 0,
    owSkipAlways = 2,
    owOverwriteOnce = 3,
    owOverwriteAlways = 4,
    owAutoNameOnce = 5,
    owAutoNameAlways = 6,
};

// The value the prompt gives for its button and check box.
enum class TOverwriteButton
{
    OverWrite,
    Ignore,
    AutoName,
};
quint8 OverwriteAnswerFor(TOverwriteButton button, bool rememberChoice);

// True when something is at the path (file, folder, or a link, even a dangling one), so that a
// new file created there would replace or write through it.
bool OutputPathTaken(const QString& path);

// The first of path, path + "(1)" + ext, path + "(1)" + ext + "(1)" + ext, ... that names
// nothing existing. ext is the path's extension with its dot, or nothing.
QString MakeAutoName(const QString& path);

// True when candidate is path itself or one of the names MakeAutoName tries for it.
bool IsAutoNameOf(const QString& candidate, const QString& path);

// The decision alone, for a path whose existence is already known. askUser shows the prompt
// and returns its answer; it is called only when the path exists and nothing is remembered.
// overwriteAnswer is the remembered answer: updated as the answers table says.
// Returns the path to write, or an empty text when the item is to be skipped.
QString DecideOutputName(const QString& outputPath, bool exists, quint8& overwriteAnswer,
                         const std::function<quint8()>& askUser);

// DecideOutputName with the existence taken from the file system.
QString ResolveOutputName(const QString& outputPath, quint8& overwriteAnswer,
                          const std::function<quint8()>& askUser);
