#pragma once
// Formatting of the language file's message formats, which receive exactly one text argument:
// "%s" once takes the argument, "%%" is a percent sign, a text without "%s" is shown as it is.
// Anything else ("%d", "%n", a second "%s", a lone "%") raises AppError with a clear text, so a
// broken language file can never make the program read an argument that is not there.

#include <QString>

QString SafeFormat(const QString& format, const QString& argument);
