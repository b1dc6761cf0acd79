#include "support/MainWindow.h"

#include "support/FindChild.h"

#include "shell/TApplication.h"
#include "shell/TSignalCloser.h"

#include <QComboBox>
#include <QTest>
#include <QTimer>

namespace TestSupport {

int FormatIndexOf(TfrmMain& frm, const QString& fileName)
{
    auto* formats = Child<QComboBox>(&frm, QStringLiteral("ComboBoxFormatSelect"));
    for (int i = 0; formats && i < formats->count(); ++i) {
        if (formats->itemData(i).toString().endsWith(u'/' + fileName))
            return i;
    }
    return -1;
}

bool SelectProfile(TfrmMain& frm, const QString& fileName)
{
    const int index = FormatIndexOf(frm, fileName);
    if (index < 0)
        return false;
    Child<QComboBox>(&frm, QStringLiteral("ComboBoxFormatSelect"))->setCurrentIndex(index);
    frm.ComboBoxFormatSelectChange(index);
    return true;
}

TMainWindow::TMainWindow(const QString& appFolder, bool show, TExposure exposure) : exposure(exposure)
{
    common = std::make_unique<TfrmCommon>(appFolder);
    common->urlOpener = [this](const QString& url) { opened << url; };
    frm = std::make_unique<TfrmMain>(common.get());
    frm->CreateOtherWindows();
    if (show)
        Show();
}

TMainWindow::~TMainWindow()
{
    Close();
}

void TMainWindow::Show()
{
    frm->show();
    switch (exposure) {
    case TExposure::Verified:
        QVERIFY(QTest::qWaitForWindowExposed(frm.get()));
        break;
    case TExposure::Warned:
        if (!QTest::qWaitForWindowExposed(frm.get()))
            qWarning("main window not exposed");
        break;
    case TExposure::NotAwaited:
        break;
    }
}

int RunAsProgram(int argc, char** argv, const std::function<void(TfrmMain&, const QStringList&)>& start)
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velmora"));
    const QStringList arguments = QApplication::arguments().mid(2);
    TfrmCommon common(arguments.value(0));
    common.urlOpener = [](const QString&) {};
    TfrmMain frmMain(&common);
    frmMain.CreateOtherWindows();
    TSignalCloser closer(&frmMain);
    frmMain.show();
    QTimer::singleShot(0, &frmMain, [&frmMain, &start, arguments] { start(frmMain, arguments.mid(1)); });
    return app.exec();
}

void TMainWindow::SelectProfile(const QString& fileName)
{
    QVERIFY2(TestSupport::SelectProfile(*frm, fileName), qPrintable("no profile " + fileName));
}

void TMainWindow::Close()
{
    if (frm && !closed)
        frm->close();
    closed = true;
}

} // namespace TestSupport
