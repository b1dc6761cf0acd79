#pragma once
// The files velmora-cli converts: the names of a one-per-line list on standard input, and which
// named files can be converted at all.

#include <QByteArray>
#include <QString>
#include <QStringList>

// Each line is one name as it stands, blanks included; a CR before the line break is dropped
// (lists written on Windows), and lines that are empty or hold only blanks are ignored. A name
// cannot hold a line break here: a name written with one arrives as two names, which name no
// existing file and are reported as such.
QStringList ParseFileList(const QByteArray& text);

enum class TSourceProblem
{
    None,
    Missing,
    NotFile,
    Unsupported, // an extension the job list refuses as well
};

TSourceProblem CheckSource(const QString& path);
