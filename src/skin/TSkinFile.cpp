#include "skin/TSkinFile.h"

#include "platform/AppError.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {

[[noreturn]] void Fail(const QString& fileName, const QString& detail)
{
    throw AppError(QStringLiteral("The skin file \"%1\" is not valid: %2.").arg(fileName, detail));
}

[[noreturn]] void FailAt(const QString& fileName, int line, const QString& detail)
{
    Fail(fileName, QStringLiteral("line %1: %2").arg(line).arg(detail));
}

QColor Mix(const QColor& a, const QColor& b, double share)
{
    const auto part = [share](int x, int y) { return qRound(x * (1.0 - share) + y * share); };
    return QColor(part(a.red(), b.red()), part(a.green(), b.green()), part(a.blue(), b.blue()));
}

// "#rgb", "#rrggbb", "rgb(r, g, b)" with 0..255, or an SVG colour name. Alpha is refused:
// a see-through text or background colour is never readable.
bool ParseColor(const QString& text, QColor& color)
{
    static const QRegularExpression hex(QStringLiteral("^#([0-9a-fA-F]{3}|[0-9a-fA-F]{6})$"));
    static const QRegularExpression rgb(
        QStringLiteral("^rgb\\(\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*,\\s*(\\d{1,3})\\s*\\)$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression word(QStringLiteral("^[a-zA-Z]{3,20}$"));
    if (hex.match(text).hasMatch()) {
        color = QColor::fromString(text);
        return color.isValid();
    }
    const QRegularExpressionMatch m = rgb.match(text);
    if (m.hasMatch()) {
        const int r = m.captured(1).toInt(), g = m.captured(2).toInt(), b = m.captured(3).toInt();
        if (r > 255 || g > 255 || b > 255)
            return false;
        color = QColor(r, g, b);
        return true;
    }
    if (word.match(text).hasMatch() &&
        text.compare(QStringLiteral("transparent"), Qt::CaseInsensitive) != 0 &&
        QColor::isValidColorName(text)) {
        color = QColor::fromString(text);
        return color.isValid() && color.alpha() == 255;
    }
    return false;
}

// What a style-sheet line must look like before Qt sees it; Qt's own parser checks the rest.
QString CheckRule(const QString& rule)
{
    static const QRegularExpression shape(QStringLiteral("^[^{}]+\\{[^{}]*\\}$"));
    static const QRegularExpression declarationShape(QStringLiteral("^[a-zA-Z][-a-zA-Z]*\\s*:\\s*\\S.*$"));
    static const QRegularExpression picture(QStringLiteral("\\burl\\s*\\("),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression length(
        QStringLiteral("([0-9]*\\.?[0-9]+(?:[eE][+-]?[0-9]+)?)\\s*(px|pt|em|ex)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (!shape.match(rule).hasMatch())
        return QStringLiteral("a style-sheet line must hold one complete rule, "
                              "\"selector { property: value; }\"");
    const QString body = rule.section(u'{', 1).chopped(1);
    for (const QString& declaration : body.split(u';', Qt::SkipEmptyParts)) {
        if (declaration.trimmed().isEmpty())
            continue;
        if (!declarationShape.match(declaration.trimmed()).hasMatch())
            return QStringLiteral("\"%1\" is not a \"property: value\" pair")
                .arg(declaration.trimmed().left(60));
    }
    if (picture.match(rule).hasMatch())
        return QStringLiteral("style-sheet rules of a skin may not load pictures (url)");
    for (auto it = length.globalMatch(rule); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1).toDouble() > TSkinFile::MaxLength)
            return QStringLiteral("the length %1 is too large (at most %2)")
                .arg(m.captured(0))
                .arg(TSkinFile::MaxLength);
    }
    return {};
}

} // namespace

const QStringList& TSkinFile::RequiredColorNames()
{
    static const QStringList names{
        QStringLiteral("Window"),    QStringLiteral("WindowText"),      QStringLiteral("Base"),
        QStringLiteral("Text"),      QStringLiteral("Button"),          QStringLiteral("ButtonText"),
        QStringLiteral("Highlight"), QStringLiteral("HighlightedText"),
    };
    return names;
}

const QStringList& TSkinFile::ColorNames()
{
    static const QStringList names =
        RequiredColorNames() + QStringList{
                                   QStringLiteral("AlternateBase"), QStringLiteral("ToolTipBase"),
                                   QStringLiteral("ToolTipText"),   QStringLiteral("Link"),
                                   QStringLiteral("LinkVisited"),   QStringLiteral("PlaceholderText"),
                                   QStringLiteral("BrightText"),    QStringLiteral("Light"),
                                   QStringLiteral("Midlight"),      QStringLiteral("Mid"),
                                   QStringLiteral("Dark"),          QStringLiteral("Shadow"),
                                   QStringLiteral("DisabledText"),  QStringLiteral("MenuBar"),
                                   QStringLiteral("MenuBarEnd"),    QStringLiteral("MenuBarText"),
                                   QStringLiteral("MenuSelection"), QStringLiteral("MenuSelectionText"),
                               };
    return names;
}

TSkinFile TSkinFile::LoadFromFile(const QString& path)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir())
        Fail(path, QStringLiteral("it is a folder"));
    // A device or a pipe could block the reader or never end.
    if (!info.isFile())
        Fail(path, QStringLiteral("it is not a regular file"));
    if (info.size() > MaxFileSize)
        Fail(path, QStringLiteral("it is too large for a skin (%1 bytes, at most %2)")
                       .arg(info.size())
                       .arg(MaxFileSize));
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(
            QStringLiteral("The skin file \"%1\" cannot be read: %2.").arg(path, file.errorString()));
    // Read one byte more than allowed: a file that grew since the size check is still refused.
    return Parse(file.read(MaxFileSize + 1), path);
}

TSkinFile TSkinFile::Parse(const QByteArray& data, const QString& fileName)
{
    if (data.size() > MaxFileSize)
        Fail(fileName, QStringLiteral("it is too large for a skin (at most %1 bytes)").arg(MaxFileSize));
    if (data.trimmed().isEmpty())
        Fail(fileName, QStringLiteral("it is empty"));

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(data);
    if (decoder.hasError() || data.contains('\0'))
        Fail(fileName, QStringLiteral("it is not a text file"));
    for (const QChar c : text) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            Fail(fileName, QStringLiteral("it is not a text file"));
    }

    TSkinFile skin;
    skin.fileName = fileName;
    static const QStringList sections{QStringLiteral("skin"), QStringLiteral("colors"),
                                      QStringLiteral("stylesheet")};
    QString section;
    QStringList seenSections;
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    const QStringList lines = text.split(lineBreak);
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        const QString& raw = lines[i];
        if (raw.size() > MaxLineLength)
            FailAt(fileName, number,
                   QStringLiteral("the line is longer than %1 characters").arg(MaxLineLength));
        QString line = raw.trimmed();
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;

        if (line.startsWith(u'[') && line.endsWith(u']') && !line.contains(u'{')) {
            const QString name = line.mid(1, line.size() - 2).trimmed().toLower();
            if (!sections.contains(name))
                FailAt(fileName, number, QStringLiteral("unknown section %1").arg(line));
            if (seenSections.contains(name))
                FailAt(fileName, number, QStringLiteral("the section %1 appears twice").arg(line));
            if (seenSections.isEmpty() && name != QStringLiteral("skin"))
                FailAt(fileName, number, QStringLiteral("a skin file begins with the section [skin]"));
            seenSections << name;
            section = name;
            continue;
        }
        if (section.isEmpty())
            FailAt(fileName, number, QStringLiteral("a skin file begins with the section [skin]"));

        if (section == QStringLiteral("stylesheet")) {
            const QString problem = CheckRule(line);
            if (!problem.isEmpty())
                FailAt(fileName, number, problem);
            skin.styleRules.append({number, line});
            continue;
        }

        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            FailAt(fileName, number, QStringLiteral("expected \"name=value\""));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();

        if (section == QStringLiteral("skin")) {
            if (key.compare(QStringLiteral("Name"), Qt::CaseInsensitive) == 0)
                skin.name = value;
            else if (key.compare(QStringLiteral("Description"), Qt::CaseInsensitive) == 0)
                skin.description = value;
            else
                FailAt(fileName, number, QStringLiteral("unknown entry \"%1\" in [skin]").arg(key));
            continue;
        }

        // [colors]
        QString canonical;
        for (const QString& n : ColorNames()) {
            if (n.compare(key, Qt::CaseInsensitive) == 0)
                canonical = n;
        }
        if (canonical.isEmpty())
            FailAt(fileName, number, QStringLiteral("unknown colour name \"%1\"").arg(key));
        if (skin.colors.contains(canonical))
            FailAt(fileName, number, QStringLiteral("the colour \"%1\" is given twice").arg(canonical));
        QColor color;
        if (!ParseColor(value, color))
            FailAt(fileName, number,
                   QStringLiteral(
                       "\"%1\" is not a colour for %2 (use #rrggbb, #rgb, rgb(r, g, b) or a colour name)")
                       .arg(value.left(40), canonical));
        skin.colors.insert(canonical, color);
    }

    if (!seenSections.contains(QStringLiteral("skin")))
        Fail(fileName, QStringLiteral("it has no [skin] section"));
    if (skin.name.isEmpty())
        Fail(fileName, QStringLiteral("the [skin] section gives no Name"));
    QStringList missing;
    for (const QString& n : RequiredColorNames()) {
        if (!skin.colors.contains(n))
            missing << n;
    }
    if (!missing.isEmpty())
        Fail(fileName,
             QStringLiteral("the [colors] section lacks %1").arg(missing.join(QStringLiteral(", "))));
    skin.FillDefaults();
    return skin;
}

void TSkinFile::FillDefaults()
{
    const auto fill = [this](const QString& key, const QColor& value) {
        if (!colors.contains(key))
            colors.insert(key, value);
    };
    const QColor button = colors.value(QStringLiteral("Button"));
    const QColor base = colors.value(QStringLiteral("Base"));
    const QColor text = colors.value(QStringLiteral("Text"));
    const QColor white(255, 255, 255), black(0, 0, 0);
    fill(QStringLiteral("AlternateBase"), Mix(base, text, 0.06));
    fill(QStringLiteral("ToolTipBase"), base);
    fill(QStringLiteral("ToolTipText"), text);
    fill(QStringLiteral("Link"), colors.value(QStringLiteral("Highlight")));
    fill(QStringLiteral("LinkVisited"), colors.value(QStringLiteral("Link")));
    fill(QStringLiteral("PlaceholderText"), Mix(text, base, 0.45));
    fill(QStringLiteral("BrightText"), white);
    fill(QStringLiteral("Light"), Mix(button, white, 0.6));
    fill(QStringLiteral("Midlight"), Mix(button, white, 0.3));
    fill(QStringLiteral("Mid"), Mix(button, black, 0.25));
    fill(QStringLiteral("Dark"), Mix(button, black, 0.45));
    fill(QStringLiteral("Shadow"), Mix(button, black, 0.7));
    fill(QStringLiteral("DisabledText"),
         Mix(colors.value(QStringLiteral("WindowText")), colors.value(QStringLiteral("Window")), 0.5));
    fill(QStringLiteral("MenuBar"), colors.value(QStringLiteral("Window")));
    fill(QStringLiteral("MenuBarEnd"), colors.value(QStringLiteral("MenuBar")));
    fill(QStringLiteral("MenuBarText"), colors.value(QStringLiteral("WindowText")));
    fill(QStringLiteral("MenuSelection"), colors.value(QStringLiteral("Highlight")));
    fill(QStringLiteral("MenuSelectionText"), colors.value(QStringLiteral("HighlightedText")));
}

QColor TSkinFile::Color(const QString& name) const
{
    for (auto it = colors.cbegin(); it != colors.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return {};
}

QPalette TSkinFile::Palette() const
{
    struct RoleName
    {
        QPalette::ColorRole role;
        const char* name;
    };
    static const RoleName roles[] = {
        {QPalette::Window, "Window"},
        {QPalette::WindowText, "WindowText"},
        {QPalette::Base, "Base"},
        {QPalette::AlternateBase, "AlternateBase"},
        {QPalette::Text, "Text"},
        {QPalette::Button, "Button"},
        {QPalette::ButtonText, "ButtonText"},
        {QPalette::Highlight, "Highlight"},
        {QPalette::HighlightedText, "HighlightedText"},
        {QPalette::ToolTipBase, "ToolTipBase"},
        {QPalette::ToolTipText, "ToolTipText"},
        {QPalette::Link, "Link"},
        {QPalette::LinkVisited, "LinkVisited"},
        {QPalette::PlaceholderText, "PlaceholderText"},
        {QPalette::BrightText, "BrightText"},
        {QPalette::Light, "Light"},
        {QPalette::Midlight, "Midlight"},
        {QPalette::Mid, "Mid"},
        {QPalette::Dark, "Dark"},
        {QPalette::Shadow, "Shadow"},
    };
    QPalette palette;
    for (const RoleName& r : roles)
        palette.setColor(r.role, Color(QString::fromLatin1(r.name)));
    const QColor disabled = Color(QStringLiteral("DisabledText"));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Text, disabled);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
    palette.setColor(QPalette::Disabled, QPalette::Base, Color(QStringLiteral("Window")));
    palette.setColor(QPalette::Disabled, QPalette::Highlight, Color(QStringLiteral("Mid")));
    return palette;
}

QString TSkinFile::StyleSheet() const
{
    const auto hex = [this](const char* n) { return Color(QString::fromLatin1(n)).name(); };
    QStringList rules;
    rules << QStringLiteral("QMenuBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %1, "
                            "stop:1 %2); color: %3; }")
                 .arg(hex("MenuBar"), hex("MenuBarEnd"), hex("MenuBarText"));
    rules << QStringLiteral("QMenuBar::item { background: transparent; color: %1; padding: 3px 8px; }")
                 .arg(hex("MenuBarText"));
    rules << QStringLiteral("QMenuBar::item:selected, QMenuBar::item:pressed { background: %1; color: %2; }")
                 .arg(hex("MenuSelection"), hex("MenuSelectionText"));
    for (const StyleRule& r : styleRules)
        rules << r.text;
    return rules.join(u'\n');
}
