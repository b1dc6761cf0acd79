// The splash window: the edition's picture, the grey colour key cut out of its shape, its
// place and size, and the error for a picture that cannot be shown.

#include "dialogs/TfrmSplash.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void shippedPictures_data();
    void shippedPictures();
    void colourKeyIsCutOut();
    void badPicture_data();
    void badPicture();
    void closeFadesOut();
};

void TestSplash::shippedPictures_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("file");
    QTest::newRow("English") << 2 << "splash-en.bmp";
    QTest::newRow("Chinese") << 1 << "splash-gb.bmp";
}

void TestSplash::shippedPictures()
{
    QFETCH(int, language);
    QFETCH(QString, file);
    QTemporaryDir dir;
    IniFile(dir.filePath(QStringLiteral("config.ini")))
        .WriteInteger(QStringLiteral("common"), QStringLiteral("language"), language);
    QVERIFY(QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/") + file, dir.filePath(file)));
    const TfrmCommon common(dir.path());
    QCOMPARE(common.splashFile, common.appFolder + file);

    // A Windows bitmap (BM header) of 420 x 300 whose grey lies in the corners only.
    QFile raw(common.splashFile);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QCOMPARE(raw.read(2), QByteArray("BM"));
    const QImage picture(common.splashFile, "BMP");
    QCOMPARE(picture.size(), QSize(420, 300));
    QCOMPARE(QColor(picture.pixel(0, 0)), QColor(128, 128, 128));
    QCOMPARE(QColor(picture.pixel(419, 299)), QColor(128, 128, 128));
    int grey = 0;
    for (int y = 30; y < 270; ++y)
        for (int x = 30; x < 390; ++x)
            grey += picture.pixel(x, y) == qRgb(128, 128, 128);
    QCOMPARE(grey, 0);

    TfrmSplash splash(&common);
    splash.fadeMilliseconds = 0;
    splash.FormShow();
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.size(), QSize(420, 300));
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(splash.windowOpacity(), 1.0);
    QCOMPARE(splash.imageSplash->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));
    const QRect screen = splash.screen()->availableGeometry();
    QVERIFY((splash.geometry().center() - screen.center()).manhattanLength() <= 2);
}

void TestSplash::colourKeyIsCutOut()
{
    QTemporaryDir dir;
    // Grey left half, blue right half, and one grey-ish pixel that must stay.
    QImage image(420, 300, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    for (int y = 0; y < 300; ++y)
        for (int x = 210; x < 420; ++x)
            image.setPixel(x, y, qRgb(10, 40, 160));
    image.setPixel(100, 100, qRgb(128, 128, 129));
    QVERIFY(image.save(dir.filePath(QStringLiteral("splash-en.bmp")), "BMP"));
    const TfrmCommon common(dir.path());
    TfrmSplash splash(&common);
    splash.fadeMilliseconds = 0;
    splash.FormShow();
    const QRegion shape = splash.mask();
    QVERIFY(!shape.contains(QPoint(5, 5)));
    QVERIFY(!shape.contains(QPoint(209, 299)));
    QVERIFY(shape.contains(QPoint(100, 100)));
    QVERIFY(shape.contains(QPoint(210, 0)));
    QVERIFY(shape.contains(QPoint(419, 299)));
}

void TestSplash::badPicture_data()
{
    QTest::addColumn<QByteArray>("data"); // empty: no file
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "does not exist";
    QTest::newRow("text") << QByteArray("not a picture\n") << "cannot be read as a Windows bitmap";
    QTest::newRow("truncated bitmap") << QByteArray("BM\x36\x28\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00", 14)
                                      << "cannot be read as a Windows bitmap";
}

void TestSplash::badPicture()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    QTemporaryDir dir;
    if (!data.isEmpty()) {
        QFile f(dir.filePath(QStringLiteral("splash-en.bmp")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    const TfrmCommon common(dir.path());
    TfrmSplash splash(&common);
    splash.fadeMilliseconds = 0;
    try {
        splash.FormShow();
        QFAIL("no error for a picture that cannot be shown");
    } catch (const AppError& error) {
        QVERIFY2(error.Text().contains(common.splashFile), qPrintable(error.Text()));
        QVERIFY2(error.Text().contains(message), qPrintable(error.Text()));
    }
    // The window is up all the same, without a picture and without a cut-out shape.
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.windowOpacity(), 1.0);
    QVERIFY(splash.imageSplash->pixmap().isNull());
    QVERIFY(splash.mask().isEmpty());
}

void TestSplash::closeFadesOut()
{
    QTemporaryDir dir;
    const TfrmCommon common(dir.path());
    TfrmSplash splash(&common);
    splash.fadeMilliseconds = 0;
    QVERIFY_THROWS_EXCEPTION(AppError, splash.FormShow());
    QVERIFY(splash.close());
    QVERIFY(!splash.isVisible());
    QCOMPARE(splash.windowOpacity(), 0.0);
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
