#pragma once
// The command line's texts: the [cli] section of the edition's language file, read once. A key
// the edition lacks falls back to the English file, and a key neither holds shows its name, so
// a damaged language folder never turns an error into an empty line.

#include <QHash>
#include <QString>
#include <QStringList>

class TCliTexts
{
public:
    static QString Section() { return QStringLiteral("cli"); }
    // Every key the command line uses.
    static const QStringList& Keys();

    TCliTexts() = default;
    TCliTexts(const QString& languageFile, const QString& englishFile);

    QString Text(const QString& key) const;
    // The key's text with "%1" to "%9" replaced by args.
    QString Format(const QString& key, const QStringList& args) const;

    // One pass over format: "%1" to "%9" become args (a missing one nothing) and "%%" a percent
    // sign; the arguments themselves are never read as formats, so a file name holding "%2"
    // stays as it is.
    static QString Substitute(const QString& format, const QStringList& args);

private:
    QHash<QString, QString> texts;
};
