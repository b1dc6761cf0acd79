#pragma once
// INI file access with the semantics of the Windows profile functions: every call opens the
// file, reads or writes one key and closes it again; nothing is cached. An IniFile without a
// file name stands for settings that have no place to be kept (said once at start): every read
// gives its default and every write is dropped.

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <utility>

class QSaveFile;

// One section of a file written whole: its name and its keys with their values, in order.
struct TIniSection
{
    QString name;
    QList<std::pair<QString, QString>> entries;
};

// Every value of a file read whole, by section and key as CaseKey gives them.
using TIniValues = QHash<QString, QHash<QString, QString>>;

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

    // For files of many keys, where a call per key would read the file again and again: every
    // value at once, as ReadString would give it (only the first section of a name and the
    // first key of a name in it count). readable, when given, is false for a file that exists
    // but cannot be read; a missing file reads as empty.
    TIniValues ReadAll(bool* readable = nullptr) const;
    // The name as ReadAll's tables hold it: section and key names match without regard to case.
    static QString CaseKey(const QString& name) { return name.toCaseFolded(); }
    // Replaces the whole file with these sections at once, as TIniWriter does.
    void WriteAll(const QList<TIniSection>& sections) const;

private:
    QString fileName;
};

// Writes a whole INI file section by section, without building it in memory first: through a
// temporary file that Commit renames into place, so a reader never sees half of it. Values are
// stored as WriteString stores them. Failures raise AppError "Unable to write to <path>", as
// WriteString's do; a writer destroyed without Commit leaves the old file as it was.
class TIniWriter
{
public:
    // A path that is empty (no place for settings) writes nothing and raises nothing.
    explicit TIniWriter(const QString& path);
    ~TIniWriter();
    TIniWriter(const TIniWriter&) = delete;
    TIniWriter& operator=(const TIniWriter&) = delete;

    void Section(const QString& name);
    void Entry(const QString& key, const QString& value);
    void Commit();

private:
    void Flush();
    [[noreturn]] void Fail();

    QString fileName;
    QString pending; // text not handed to the file yet
    std::unique_ptr<QSaveFile> out;
};
