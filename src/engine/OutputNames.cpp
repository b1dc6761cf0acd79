#include "engine/OutputNames.h"

#include "platform/Paths.h"

#include <QFileInfo>

quint8 OverwriteAnswerFor(TOverwriteButton button, bool rememberChoice)
{
    switch (button) {
    case TOverwriteButton::OverWrite:
        return rememberChoice ? owOverwriteAlways : owOverwriteOnce;
    case TOverwriteButton::Ignore:
        return rememberChoice ? owSkipAlways : owSkipOnce;
    case TOverwriteButton::AutoName:
        return rememberChoice ? owAutoNameAlways : owAutoNameOnce;
    }
    return owSkipOnce;
}

bool OutputPathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

namespace {

// What each automatic name adds. The extension is the part after the last dot of the file name,
// as the candidates keep growing the name itself ("clip.mp4(1).mp4(1).mp4").
QString AutoNameSuffix(const QString& path)
{
    return QStringLiteral("(1)") + ExtensionWithDot(path);
}

} // namespace

QString MakeAutoName(const QString& path)
{
    // Ends: each candidate is longer, and a name too long for the file system exists nowhere.
    const QString suffix = AutoNameSuffix(path);
    QString candidate = path;
    while (OutputPathTaken(candidate))
        candidate += suffix;
    return candidate;
}

bool IsAutoNameOf(const QString& candidate, const QString& path)
{
    if (!candidate.startsWith(path))
        return false;
    const QString suffix = AutoNameSuffix(path);
    QStringView rest = QStringView(candidate).mid(path.size());
    while (rest.startsWith(suffix))
        rest = rest.mid(suffix.size());
    return rest.isEmpty();
}

QString DecideOutputName(const QString& outputPath, bool exists, quint8& overwriteAnswer,
                         const std::function<quint8()>& askUser)
{
    if (!exists)
        return outputPath;
    if (overwriteAnswer == owSkipOnce)
        overwriteAnswer = askUser ? askUser() : quint8(owSkipOnce);

    switch (overwriteAnswer) {
    case owOverwriteOnce:
        overwriteAnswer = owSkipOnce;
        return outputPath;
    case owOverwriteAlways:
        return outputPath;
    case owAutoNameOnce:
        overwriteAnswer = owSkipOnce;
        return MakeAutoName(outputPath);
    case owAutoNameAlways:
        return MakeAutoName(outputPath);
    case owSkipAlways:
        return QString();
    default:
        // owSkipOnce, and any value no button gives: skip and remember nothing.
        overwriteAnswer = owSkipOnce;
        return QString();
    }
}

QString ResolveOutputName(const QString& outputPath, quint8& overwriteAnswer,
                          const std::function<quint8()>& askUser)
{
    return DecideOutputName(outputPath, OutputPathTaken(outputPath), overwriteAnswer, askUser);
}
