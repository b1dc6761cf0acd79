#include "shell/TDesktopNotice.h"

#include "skin/ProgramIcon.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QVariantMap>

namespace {

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, pixels.
struct TNoticeImage
{
    QImage image;
};

QDBusArgument& operator<<(QDBusArgument& argument, const TNoticeImage& notice)
{
    const QImage image = notice.image.convertToFormat(QImage::Format_RGBA8888);
    argument.beginStructure();
    argument << image.width() << image.height() << int(image.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, TNoticeImage&)
{
    // Only ever sent.
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(TNoticeImage)

bool TDesktopNotice::SessionBusKnown()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    // Without an address the bus library would try to start a bus of its own for the display,
    // which would outlive the program.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

bool TDesktopNotice::Send(const QString& appName, const QString& summary, const QString& body)
{
    if (!SessionBusKnown())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    static const bool registered = [] {
        qDBusRegisterMetaType<TNoticeImage>();
        return true;
    }();
    Q_UNUSED(registered);

    const QString desktopName = QGuiApplication::desktopFileName();
    QVariantMap hints;
    if (!desktopName.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), desktopName);
    const QImage icon = ProgramIcon().pixmap(48, 48).toImage();
    if (!icon.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(TNoticeImage{icon}));

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << appName << uint(0) << desktopName << summary << body << QStringList() << hints << int(-1);
    // No answer is awaited: a missing service is no concern of the run.
    return bus.send(call);
}
