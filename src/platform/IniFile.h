#pragma once
// INI file access with the semantics of the Windows profile functions: every call opens the
// file, reads or writes one key and closes it again; nothing is cached. An IniFile without a
// file name stands for settings that have no place to be kept (said once at start): every read
// gives its default and every write is dropped.

#include <QString>

class IniFile
{
public:
    static constexpr int MaxValueLength = 2047;

    explicit IniFile(QString path) : fileName(std::move(path)) {}

    const QString& FileName() const { return fileName; }

    // Section and key match without regard to case; the first match wins. Surrounding blanks
    // and one pair of matching quotes are stripped; at most 2047 characters are returned.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;

    // Decimal, or hexadecimal after "0x", "0X" or "$" (32 bits, so "$FFFFFFFF" is -1).
    // Anything else, or a missing key, gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;

    // Replaces the key's line in place, or adds the key (and the section) when missing. A value
    // with blanks at either end, or quoted already, is written inside quotes so that it reads
    // back exactly; a line break inside it becomes a blank.
    // Raises AppError "Unable to write to <path>" when the file cannot be written.
    void WriteString(const QString& section, const QString& key, const QString& value) const;
    void WriteInteger(const QString& section, const QString& key, int value) const;

    // The integer rule on its own, for other readers of INI-like texts.
    static bool ParseInteger(const QString& text, int& value);

private:
    QString fileName;
};
