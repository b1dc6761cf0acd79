#pragma once
// Trimming as the program's texts need it: blanks and control characters (every code up to
// 32) at both ends go, whatever else stands there stays.

#include <QString>

QString TrimText(const QString& text);
