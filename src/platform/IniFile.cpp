#include "platform/IniFile.h"

#include "platform/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

// The file as raw lines, each with its own line end, so a write changes nothing but the one
// entry it is about (even in a file that is not valid UTF-8).
struct RawLines
{
    QList<QByteArray> lines;
    bool readable = true;
};

RawLines ReadRawLines(const QString& fileName)
{
    RawLines result;
    QFile file(fileName);
    if (!file.exists())
        return result;
    if (!file.open(QIODevice::ReadOnly)) {
        result.readable = false;
        return result;
    }
    const QByteArray data = file.readAll();
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype lf = data.indexOf('\n', start);
        const qsizetype end = lf < 0 ? data.size() : lf + 1;
        result.lines << data.mid(start, end - start);
        start = end;
    }
    return result;
}

// A line's text without its line end (and without a byte order mark on the first line).
QString TextOf(const QByteArray& raw, bool first)
{
    QByteArrayView view(raw);
    if (first && view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    while (!view.isEmpty() && (view.back() == '\n' || view.back() == '\r'))
        view.chop(1);
    return QString::fromUtf8(view);
}

// The section name of a "[name]" line, or a null string for any other line.
QString SectionOf(const QString& line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(u'['))
        return {};
    const qsizetype close = t.indexOf(u']');
    if (close < 0)
        return {};
    return t.mid(1, close - 1).trimmed();
}

bool KeyOf(const QString& line, QString& key, QString& value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'['))
        return false;
    const qsizetype eq = t.indexOf(u'=');
    if (eq <= 0)
        return false;
    key = t.left(eq).trimmed();
    value = t.mid(eq + 1).trimmed();
    return true;
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A line break inside a value would split it into a line of its own and corrupt the file.
QString OneLine(QString value)
{
    value.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    value.replace(u'\n', u' ');
    value.replace(u'\r', u' ');
    return value;
}

// One pair of matching quotes around the whole value, which the reader takes off.
bool IsQuoted(const QString& value)
{
    return value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
           value.back() == value.front();
}

// A value as the reader gives it: without the quotes around it, and no longer than the limit.
QString ReadValue(const QString& value)
{
    return (IsQuoted(value) ? value.mid(1, value.size() - 2) : value).left(IniFile::MaxValueLength);
}

// The reader strips the blanks around a value and one pair of matching quotes; a value that
// would lose something that way gets one more pair of quotes, so it reads back as written.
QString StoredForm(const QString& value)
{
    if (IsQuoted(value) || value != value.trimmed())
        return u'"' + value + u'"';
    return value;
}

// Whether WriteString's rules change the value at all: a line break, blanks at either end, or
// quotes around it.
bool NeedsStoredForm(const QString& value)
{
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace() || IsQuoted(value))
        return true;
    return value.contains(u'\n') || value.contains(u'\r');
}

// QSaveFile would replace a read-only file through its folder; the file's own permission must
// decide, as it would for a write in place. A file nobody may write counts as read-only even for
// the superuser, whom the system itself would let through.
bool RefusesWriting(const QString& fileName)
{
    const QFileInfo info(fileName);
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.exists() && (!info.isFile() || !info.isWritable() || !(info.permissions() & anyWrite));
}

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const RawLines file = ReadRawLines(fileName);
    bool inSection = false;
    bool sectionSeen = false;
    for (qsizetype i = 0; i < file.lines.size(); ++i) {
        const QString line = TextOf(file.lines[i], i == 0);
        const QString name = SectionOf(line);
        if (!name.isNull()) {
            // Only the first section of a name counts, as with the Windows functions.
            inSection = !sectionSeen && SameName(name, section);
            sectionSeen |= inSection;
            continue;
        }
        if (!inSection)
            continue;
        QString k, v;
        if (!KeyOf(line, k, v) || !SameName(k, key))
            continue;
        return ReadValue(v);
    }
    return defaultValue;
}

bool IniFile::ParseInteger(const QString& text, int& value)
{
    const QString t = text.trimmed();
    const bool hex = t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) || t.startsWith(u'$');
    if (hex) {
        const QString digits = t.mid(t.startsWith(u'$') ? 1 : 2);
        if (digits.isEmpty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), IsHexDigit))
            return false;
        value = static_cast<int>(digits.toUInt(nullptr, 16)); // 32 bits: "$FFFFFFFF" is -1
        return true;
    }
    const qsizetype signLength = (t.startsWith(u'-') || t.startsWith(u'+')) ? 1 : 0;
    if (t.size() == signLength ||
        !std::all_of(t.begin() + signLength, t.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return false;
    bool ok = false;
    const int v = t.toInt(&ok, 10);
    if (!ok)
        return false;
    value = v;
    return true;
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    int value = 0;
    return ParseInteger(ReadString(section, key, QString()), value) ? value : defaultValue;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) const
{
    if (fileName.isEmpty())
        return;
    const auto fail = [this] { throw AppError(QStringLiteral("Unable to write to %1").arg(fileName)); };

    RawLines file = ReadRawLines(fileName);
    // Rewriting a file that could not be read would lose everything else in it.
    if (!file.readable)
        fail();
    QList<QByteArray>& lines = file.lines;
    const QByteArray lineEnd = !lines.isEmpty() && lines.front().endsWith("\r\n") ? "\r\n" : "\n";
    const QByteArray entry = (key + u'=' + StoredForm(OneLine(value))).toUtf8();

    qsizetype sectionLine = -1;
    qsizetype lastEntryLine = -1;
    qsizetype keyLine = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = TextOf(lines[i], i == 0);
        const QString name = SectionOf(line);
        if (!name.isNull()) {
            if (sectionLine >= 0)
                break;
            if (SameName(name, section)) {
                sectionLine = i;
                lastEntryLine = i;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (!line.trimmed().isEmpty())
            lastEntryLine = i;
        QString k, v;
        if (KeyOf(line, k, v) && SameName(k, key)) {
            keyLine = i;
            break;
        }
    }

    // The last line may lack its line end; anything placed after it needs one.
    const auto endLine = [&](qsizetype i) {
        if (i >= 0 && i < lines.size() && !lines[i].endsWith('\n'))
            lines[i] += lineEnd;
    };
    if (keyLine >= 0) {
        QByteArray& line = lines[keyLine];
        const qsizetype bodyEnd = line.endsWith("\r\n") ? line.size() - 2
                                  : line.endsWith('\n') ? line.size() - 1
                                                        : line.size();
        line = entry + line.mid(bodyEnd);
    } else if (sectionLine >= 0) {
        endLine(lastEntryLine);
        lines.insert(lastEntryLine + 1, entry + lineEnd);
    } else {
        endLine(lines.size() - 1);
        lines << (u'[' + section + u']').toUtf8() + lineEnd << entry + lineEnd;
    }

    if (RefusesWriting(fileName))
        fail();
    QSaveFile out(fileName);
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly))
        fail();
    for (const QByteArray& line : lines) {
        if (out.write(line) != line.size()) {
            out.cancelWriting();
            fail();
        }
    }
    if (!out.commit())
        fail();
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) const
{
    WriteString(section, key, QString::number(value));
}

TIniValues IniFile::ReadAll(bool* readable) const
{
    const RawLines file = ReadRawLines(fileName);
    if (readable)
        *readable = file.readable;
    TIniValues values;
    QHash<QString, QString>* current = nullptr;
    for (qsizetype i = 0; i < file.lines.size(); ++i) {
        const QString line = TextOf(file.lines[i], i == 0);
        const QString name = SectionOf(line);
        if (!name.isNull()) {
            // Only the first section of a name counts, as with the Windows functions.
            const QString key = CaseKey(name);
            current = values.contains(key) ? nullptr : &values[key];
            continue;
        }
        if (!current)
            continue;
        QString k, v;
        if (!KeyOf(line, k, v))
            continue;
        const QString key = CaseKey(k);
        if (!current->contains(key))
            current->insert(key, ReadValue(v));
    }
    return values;
}

void IniFile::WriteAll(const QList<TIniSection>& sections) const
{
    TIniWriter writer(fileName);
    for (const TIniSection& section : sections) {
        writer.Section(section.name);
        for (const auto& [key, value] : section.entries)
            writer.Entry(key, value);
    }
    writer.Commit();
}

namespace {

// Handed to the file in pieces of about this many characters: a file of a hundred thousand
// sections never needs all of its text in memory at once.
constexpr qsizetype WriterChunk = 256 * 1024;

} // namespace

TIniWriter::TIniWriter(const QString& path) : fileName(path)
{
    if (fileName.isEmpty())
        return;
    if (RefusesWriting(fileName))
        Fail();
    out = std::make_unique<QSaveFile>(fileName);
    if (!out->open(QIODevice::WriteOnly))
        Fail();
    pending.reserve(WriterChunk + 4096);
}

TIniWriter::~TIniWriter()
{
    if (out)
        out->cancelWriting();
}

void TIniWriter::Fail()
{
    if (out)
        out->cancelWriting();
    out.reset();
    throw AppError(QStringLiteral("Unable to write to %1").arg(fileName));
}

void TIniWriter::Section(const QString& name)
{
    if (!out)
        return;
    pending += u'[';
    pending += name;
    pending += u"]\n";
}

void TIniWriter::Entry(const QString& key, const QString& value)
{
    if (!out)
        return;
    pending += key;
    pending += u'=';
    if (NeedsStoredForm(value))
        pending += StoredForm(OneLine(value));
    else
        pending += value;
    pending += u'\n';
    if (pending.size() >= WriterChunk)
        Flush();
}

void TIniWriter::Flush()
{
    const QByteArray data = pending.toUtf8();
    pending.resize(0);
    if (out->write(data) != data.size())
        Fail();
}

void TIniWriter::Commit()
{
    if (!out)
        return;
    Flush();
    if (!out->commit())
        Fail();
    out.reset();
}
