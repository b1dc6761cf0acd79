#include "dialogs/TfrmSplash.h"

#include "platform/AppError.h"
#include "platform/TfrmCommon.h"

#include <QBitmap>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QThread>

namespace {

const QColor colorKey(128, 128, 128);

} // namespace

// Not kept on top: the message box of a start-up error must be able to come above it.
TfrmSplash::TfrmSplash(const TfrmCommon* common, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), frmCommon(common)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(ClientWidth, ClientHeight);
    imageSplash = new QLabel(this);
    imageSplash->setObjectName(QStringLiteral("imageSplash"));
    imageSplash->setGeometry(0, 0, ClientWidth, ClientHeight);
    imageSplash->setAlignment(Qt::AlignCenter);
}

void TfrmSplash::CenterOnScreen()
{
    const QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!target)
        return;
    const QRect area = target->availableGeometry();
    move(area.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
}

void TfrmSplash::LoadPicture(const QString& fileName)
{
    if (!QFileInfo(fileName).isFile())
        throw AppError(QStringLiteral("The splash picture \"%1\" does not exist.").arg(fileName));
    QImageReader reader(fileName, "BMP");
    const QImage image = reader.read();
    if (image.isNull())
        throw AppError(QStringLiteral("The splash picture \"%1\" cannot be read as a Windows bitmap: %2.")
                           .arg(fileName, reader.errorString()));
    const QPixmap picture =
        QPixmap::fromImage(image.scaled(ClientWidth, ClientHeight, Qt::IgnoreAspectRatio));
    imageSplash->setPixmap(picture);
    // The colour key: exactly grey pixels are cut out of the window's shape.
    const QBitmap keyed = picture.createMaskFromColor(colorKey, Qt::MaskInColor);
    setMask(keyed);
}

void TfrmSplash::FormShow()
{
    CenterOnScreen();
    // The picture is loaded before the fade so that the window fades in with its shape and
    // picture; a failure is reported once the window is up, as the start-up expects.
    QString failure;
    try {
        LoadPicture(frmCommon->splashFile);
    } catch (const AppError& error) {
        failure = error.Text();
    }
    if (!isVisible())
        show();
    Fade(0.0, 1.0);
    update();
    imageSplash->update();
    raise();
    activateWindow();
    if (!failure.isEmpty())
        throw AppError(failure);
}

bool TfrmSplash::FormCloseQuery()
{
    if (isVisible())
        Fade(windowOpacity(), 0.0);
    return true;
}

void TfrmSplash::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfrmSplash::Fade(double from, double to)
{
    if (fadeMilliseconds <= 0) {
        setWindowOpacity(to);
        return;
    }
    setWindowOpacity(from);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const double share = qMin(1.0, double(clock.elapsed()) / fadeMilliseconds);
        setWindowOpacity(from + (to - from) * share);
        // Paint the window between steps, but let no input reach any window during the fade.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (share >= 1.0)
            break;
        QThread::msleep(15);
    }
}
