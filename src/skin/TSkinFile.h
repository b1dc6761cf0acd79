#pragma once
// One skin as read from a .ssk file: its name, its named colours and its style-sheet rules.
// Reading checks everything that can be checked without a window; the format is in
// data/skins/README.

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QMap>
#include <QPalette>
#include <QString>
#include <QStringList>

class TSkinFile
{
public:
    // Limits that keep a damaged or hostile file from freezing or blowing up the windows.
    static constexpr qint64 MaxFileSize = 256 * 1024;
    static constexpr int MaxLineLength = 4096;
    static constexpr double MaxLength = 200; // px/pt/em/ex in a style-sheet rule

    // Raises AppError naming the file (and the line) when the file is missing, unreadable
    // or not a valid skin.
    static TSkinFile LoadFromFile(const QString& path);
    static TSkinFile Parse(const QByteArray& data, const QString& fileName);

    // Every colour name the [colors] section accepts, and those it must hold.
    static const QStringList& ColorNames();
    static const QStringList& RequiredColorNames();

    // The colour of a name after defaults were filled in; invalid for unknown names.
    QColor Color(const QString& name) const;

    QPalette Palette() const;
    // The rules made from the menu bar colours followed by the file's own rules.
    QString StyleSheet() const;

    struct StyleRule
    {
        int line = 0; // line number in the file, from 1
        QString text;
    };

    QString fileName;
    QString name;
    QString description;
    QList<StyleRule> styleRules;

private:
    void FillDefaults();

    QMap<QString, QColor> colors; // by the spelling of ColorNames()
};
