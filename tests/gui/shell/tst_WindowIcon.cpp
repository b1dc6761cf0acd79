// Every window of the program shows the program's own icon, from the PNGs under data/icons.

#include "support/FindChild.h"
#include "support/ShellFixture.h"
#include "support/TestMain.h"

#include "dialogs/TfrmHelpDialog.h"
#include "dialogs/TfrmOverWrite.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "joblist/TFrmBatchAdd.h"
#include "joblist/TFrmDirectory.h"
#include "skin/ProgramIcon.h"

#include <QTest>
#include <QImage>
#include <QMessageBox>

class TestWindowIcon : public QObject
{
    Q_OBJECT

    static QImage Picture(int size)
    {
        return QImage(
                   QStringLiteral(VELMORA_SOURCE_DIR "/data/icons/hicolor/%1x%1/apps/velmora.png").arg(size))
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

    static QImage Shown(const QIcon& icon, int size)
    {
        return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }

private slots:
    void picturesHaveTheirSizes_data()
    {
        QTest::addColumn<int>("size");
        for (const int size : {48, 128, 256})
            QTest::addRow("%d px", size) << size;
    }
    void picturesHaveTheirSizes()
    {
        QFETCH(int, size);
        const QImage picture = Picture(size);
        QCOMPARE(picture.size(), QSize(size, size));
        // A transparent border around an opaque face: the corners are rounded off.
        QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(picture.pixel(size / 2, size / 2)), 255);
        QCOMPARE(Shown(ProgramIcon(), size), picture);
    }

    void everyWindowShowsIt()
    {
        ShellFixture fixture;
        TfrmMain* frm = fixture.Start();
        QMessageBox box(frm);
        const QList<QPair<QString, QWidget*>> windows{
            {"main window", frm},
            {"welcome window", TestSupport::Child<QWidget>(frm, "frmHelpDialog")},
            {"existing-output prompt", TestSupport::Child<QWidget>(frm, "frmOverWrite")},
            {"failed-format notice", TestSupport::Child<QWidget>(frm, "frmUnSupportFormat")},
            {"add folder", TestSupport::Child<QWidget>(frm, "FrmBatchAdd")},
            {"output folder", TestSupport::Child<QWidget>(frm, "FrmDirectory")},
            {"message box", &box},
        };
        for (const auto& [name, window] : windows) {
            QVERIFY2(window, qPrintable(name));
            QVERIFY2(!window->windowIcon().isNull(), qPrintable(name));
            for (const int size : {48, 128, 256})
                QVERIFY2(Shown(window->windowIcon(), size) == Picture(size),
                         qPrintable(QStringLiteral("%1 at %2 px").arg(name).arg(size)));
        }
    }
};

VELMORA_GUI_TEST_MAIN(TestWindowIcon)
#include "tst_WindowIcon.moc"
