#include "cli/TCliConsole.h"

#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void Write(FILE* stream, const QByteArray& bytes)
{
    // A closed pipe (a reader that went away) must not end the conversions: SIGPIPE is
    // ignored and the failed write is dropped.
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

TCliConsole::TCliConsole(bool progressOnTerminal)
{
    const char* term = std::getenv("TERM");
    // A dumb terminal shows the clear-to-end sequence as text.
    terminal =
        progressOnTerminal && ::isatty(STDOUT_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0);
}

QString TCliConsole::Printable(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\t' || code == u'\n') {
            result += c;
        } else if (code < 0x20 || code == 0x7f) {
            result += u'^';
            result += QChar(char16_t(code ^ 0x40));
        } else if (code >= 0x80 && code < 0xa0) {
            result += QStringLiteral("^[");
            result += QChar(char16_t(code - 0x40));
        } else {
            result += c;
        }
    }
    return result;
}

void TCliConsole::Line(const QString& text)
{
    ClearProgress();
    Write(stdout, Printable(text).toUtf8() + '\n');
}

void TCliConsole::Error(const QString& text)
{
    ClearProgress();
    // One message, one line: a script reading standard error line by line keeps each whole.
    QString line = text.trimmed();
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    Write(stderr, (ProgramName() + QStringLiteral(": ") + Printable(line)).toUtf8() + '\n');
}

void TCliConsole::Progress(const QString& text)
{
    if (!terminal)
        return;
    Write(stdout, "\r" + Printable(text).toUtf8() + "\x1b[K");
    progressShown = true;
}

void TCliConsole::ClearProgress()
{
    if (!progressShown)
        return;
    Write(stdout, QByteArrayLiteral("\r\x1b[K"));
    progressShown = false;
}

int TCliConsole::Width() const
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    const int columns = qEnvironmentVariableIntValue("COLUMNS");
    return columns > 0 ? columns : 80;
}
