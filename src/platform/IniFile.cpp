#include "platform/IniFile.h"

#include "platform/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

namespace {

QStringList ReadLines(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QStringList lines = text.split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
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

} // namespace

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    bool inSection = false;
    bool sectionSeen = false;
    for (const QString& line : ReadLines(fileName)) {
        const QString name = SectionOf(line);
        if (!name.isNull()) {
            // Only the first section of a name counts, as with the Windows functions.
            if (inSection || sectionSeen)
                inSection = false;
            if (SameName(name, section) && !sectionSeen) {
                inSection = true;
                sectionSeen = true;
            }
            continue;
        }
        if (!inSection)
            continue;
        QString k, v;
        if (!KeyOf(line, k, v) || !SameName(k, key))
            continue;
        if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v.left(MaxValueLength);
    }
    return defaultValue;
}

bool IniFile::ParseInteger(const QString& text, int& value)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive) || t.startsWith(u'$')) {
        const QString digits = t.mid(t.startsWith(u'$') ? 1 : 2);
        if (digits.isEmpty() || digits.size() > 8 || digits.startsWith(u'+') || digits.startsWith(u'-'))
            return false;
        const uint u = digits.toUInt(&ok, 16);
        if (!ok)
            return false;
        value = static_cast<int>(u);
        return true;
    }
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
    const QString entry = key + u'=' + OneLine(value);
    QStringList lines = ReadLines(fileName);

    qsizetype sectionLine = -1;
    qsizetype lastEntryLine = -1;
    qsizetype keyLine = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = SectionOf(lines[i]);
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
        if (!lines[i].trimmed().isEmpty())
            lastEntryLine = i;
        QString k, v;
        if (KeyOf(lines[i], k, v) && SameName(k, key)) {
            keyLine = i;
            break;
        }
    }
    if (keyLine >= 0) {
        lines[keyLine] = entry;
    } else if (sectionLine >= 0) {
        lines.insert(lastEntryLine + 1, entry);
    } else {
        lines << u'[' + section + u']' << entry;
    }

    const QFileInfo info(fileName);
    // QSaveFile would replace a read-only file through its folder; the file's own
    // permission must decide, as it would for a write in place.
    bool ok = !(info.exists() && !info.isWritable());
    if (ok) {
        QSaveFile file(fileName);
        file.setDirectWriteFallback(true);
        ok = file.open(QIODevice::WriteOnly);
        if (ok) {
            const QByteArray data = (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
            ok = file.write(data) == data.size() && file.commit();
        }
    }
    if (!ok)
        throw AppError(QStringLiteral("Unable to write to %1").arg(fileName));
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) const
{
    WriteString(section, key, QString::number(value));
}
