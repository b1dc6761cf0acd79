#pragma once
// velmora-cli's two output streams: lines and the progress line on standard output, messages
// on standard error. The progress line is drawn only when standard output is a terminal, and
// is cleared before anything else is written so that no message lands in its middle. No control
// character of a text it is given reaches either stream as it stands.

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

    // text as it may reach a terminal: every control character but tab and line feed is
    // shown in caret notation ("^[" for ESC, "^?" for DEL, a C1 control as "^[" and its 7-bit
    // letter), so a file name or an encoder's message cannot move the cursor, recolour the
    // terminal or change its title.
    static QString Printable(const QString& text);

private:
    bool terminal = false;
    bool progressShown = false;
};
