#pragma once
// velmora-cli's two output streams: lines and the progress line on standard output, messages
// on standard error. The progress line is drawn only when standard output is a terminal, and
// is cleared before anything else is written so that no message lands in its middle.

#include <QString>

class TCliConsole
{
public:
    // progressOnTerminal: draw the progress line when standard output is a terminal.
    explicit TCliConsole(bool progressOnTerminal = true);

    bool IsTerminal() const { return terminal; }

    // One line on standard output.
    void Line(const QString& text);
    // "velmora-cli: text" on standard error, as one line.
    void Error(const QString& text);
    // Replaces the progress line ("\r", the text, clear to the end of the line); nothing when
    // standard output is no terminal.
    void Progress(const QString& text);
    // Clears the progress line, if one is drawn.
    void ClearProgress();

    // Columns of the terminal (80 when it does not say).
    int Width() const;

    static QString ProgramName() { return QStringLiteral("velmora-cli"); }

private:
    bool terminal = false;
    bool progressShown = false;
};
