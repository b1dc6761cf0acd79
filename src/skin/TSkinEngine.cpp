#include "skin/TSkinEngine.h"

#include "platform/AppError.h"
#include "skin/TSkinFile.h"

#include <QApplication>
#include <QFileInfo>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>

namespace {

// Qt reports a style sheet it cannot parse only as a warning while it polishes a widget;
// the probe polishes a throw-away widget under this handler to hear about it.
bool styleSheetRejected = false;
QtMessageHandler previousHandler = nullptr;

void ProbeMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("Could not parse")))
        styleSheetRejected = true;
    else if (previousHandler)
        previousHandler(type, context, message);
}

bool QtAcceptsRule(const QString& rule)
{
    styleSheetRejected = false;
    previousHandler = qInstallMessageHandler(ProbeMessageHandler);
    {
        QWidget probe;
        QPushButton child(&probe);
        probe.setStyleSheet(rule);
        probe.ensurePolished();
        child.ensurePolished();
    }
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
    return !styleSheetRejected;
}

} // namespace

TSkinEngine::TSkinEngine(QObject* parent) : QObject(parent)
{
    // Fusion draws every control from the palette, so a skin's colours reach all of them.
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

void TSkinEngine::CheckStyleSheet(const TSkinFile& skin)
{
    for (const TSkinFile::StyleRule& rule : skin.styleRules) {
        if (!QtAcceptsRule(rule.text))
            throw AppError(
                QStringLiteral("The skin file \"%1\" is not valid: line %2: the style-sheet rule cannot "
                               "be parsed.")
                    .arg(skin.fileName)
                    .arg(rule.line));
    }
    if (!QtAcceptsRule(skin.StyleSheet()))
        throw AppError(QStringLiteral("The skin file \"%1\" is not valid: its style sheet cannot be parsed.")
                           .arg(skin.fileName));
}

void TSkinEngine::SetSkinFile(const QString& path)
{
    if (!QFileInfo::exists(path))
        return;
    // Everything is checked before anything changes, so a bad file never leaves half a look.
    const TSkinFile skin = TSkinFile::LoadFromFile(path);
    CheckStyleSheet(skin);
    QApplication::setPalette(skin.Palette());
    qApp->setStyleSheet(skin.StyleSheet());
    skinFile = path;
}
