#pragma once
// The output file of one item: its name from the source, the same-file check, the placeholder
// that reserves a free name until the item ends, and the hidden partial file beside it that the
// encoder writes, which takes the output's name only when the item ends with something to keep.

#include "platform/AppError.h"

#include <QByteArray>
#include <QString>

// A file could not be made at an output's name. EveryName: the reason holds for any name in
// that folder (a full disk, a folder that is read-only or gone), so no later item could be
// written either; otherwise it is this name's own (too long, taken meanwhile).
class TOutputError : public AppError
{
public:
    TOutputError(const QString& text, bool everyName) : AppError(text), everyName(everyName) {}
    bool EveryName() const { return everyName; }

private:
    bool everyName;
};

// The source's file name with the profile's extension in place of its own.
QString OutputNameFor(const QString& sourcePath, const QString& extension);

// True when both paths reach the same file (under another name or through a link included).
bool SameFile(const QString& a, const QString& b);

// What the placeholder holds until the encoder replaces it.
QByteArray PlaceholderText();

// Creates the placeholder at a free name. Whatever is at the name (a file, a link, even a
// dangling one, a pipe, a folder) is left alone and refused: nothing is ever written through
// or in place of it. On failure nothing it created stays behind and TOutputError
// "Cannot create file "<path>". <reason>" is raised.
void ReservePlaceholder(const QString& path);

// True while the file still holds nothing but the placeholder: no encoder wrote to it.
bool StillPlaceholder(const QString& path);

// Creates the partial file for an output, holding the placeholder: a hidden name beside it,
// ".clip.mp4.velmora-k3x9q2.mp4" for clip.mp4, with the extension last so that the encoder
// picks the format from it. A name too long for the folder keeps less of the output's name.
// Returns its path; raises TOutputError as ReservePlaceholder does.
QString CreatePartial(const QString& outputPath);

// True when candidate is a name CreatePartial gives for outputPath.
bool IsPartialOf(const QString& candidate, const QString& outputPath);
