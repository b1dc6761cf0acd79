#pragma once
// Cuts what one stream of an encoder writes into whole lines for the log. The text arrives in
// pieces that may end inside a line (standard error comes in chunks of the pipe's size), so a
// line is let out only once its end has come, and nothing else can land inside it. A line ends
// at LF, CR LF or a lone CR (ffmpeg redraws its progress line with CR); one that grows past
// MaxLine characters is let out as it stands.

#include <QString>
#include <QStringList>

class TLogLines
{
public:
    static constexpr qsizetype MaxLine = 64 * 1024;

    // The lines that text completes, in order.
    QStringList Take(const QString& text);
    // The last line, which never got its end; empty when there is none.
    QStringList Rest();

private:
    QString pending;
    bool afterCr = false; // the last character taken was a CR: an LF right after it is its pair
};
