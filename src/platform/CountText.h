#pragma once
// A message that names a count, in the forms its language needs: the language file gives
// key_one for exactly one and key_other for every other count ("1 file converted", "2 files
// converted"). A language without a singular (Chinese) gives both keys the same text; a file
// that has only the bare key uses it for every count.

#include <QString>
#include <QStringList>

class IniFile;

struct TCountText
{
    QString one;
    QString other;

    static TCountText Read(const IniFile& language, const QString& section, const QString& key);
    // The keys a language file gives for key: key_one and key_other.
    static QStringList FormKeys(const QString& key);

    // The form for count with the number in place of its "%s", as SafeFormat has it: a form
    // without "%s" stands as it is, and one that does not format raises AppError.
    QString Format(qint64 count) const;
};
