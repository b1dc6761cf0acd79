// The welcome window: the check box writes its choice on every click, the buttons open the
// help page of the edition or just hide the window, and each showing starts without a tick.

#include "dialogs/TfrmHelpDialog.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestHelpDialog : public QObject
{
    Q_OBJECT

private slots:
    void checkBoxSequence_data();
    void checkBoxSequence();
    void buttons_data();
    void buttons();
    void failedWriteKeepsWindowOpen();
    void languageTextsFit_data();
    void languageTextsFit();
};

namespace {

int DisplayValue(const TfrmCommon& common)
{
    return IniFile(common.configFile)
        .ReadInteger(QStringLiteral("setting"), QStringLiteral("displayHelpDialog"), -99);
}

} // namespace

void TestHelpDialog::checkBoxSequence_data()
{
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("stored"); // -99: never written
    QTest::addColumn<bool>("shownNextStart");
    QTest::newRow("no click") << 0 << -99 << true;
    QTest::newRow("tick") << 1 << 0 << false;
    QTest::newRow("tick, clear") << 2 << 1 << true;
    QTest::newRow("tick, clear, tick") << 3 << 0 << false;
}

void TestHelpDialog::checkBoxSequence()
{
    QFETCH(int, clicks);
    QFETCH(int, stored);
    QFETCH(bool, shownNextStart);
    QTemporaryDir dir;
    TfrmCommon common(dir.path());
    QStringList opened;
    common.urlOpener = [&](const QString& url) { opened << url; };
    TfrmHelpDialog dialog(&common);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (int i = 0; i < clicks; ++i) {
        QTest::mouseClick(dialog.CheckBoxDontDisplay, Qt::LeftButton, {},
                          QPoint(8, dialog.CheckBoxDontDisplay->height() / 2));
        // Each click is written at once, and the window stays open.
        QCOMPARE(DisplayValue(common), dialog.CheckBoxDontDisplay->isChecked() ? 0 : 1);
        QVERIFY(dialog.isVisible());
    }
    QCOMPARE(DisplayValue(common), stored);
    QCOMPARE(common.DisplayHelpDialogEnabled(), shownNextStart);
    QVERIFY(opened.isEmpty());

    // Shown again, the box is clear whatever was saved; setting it from code saves nothing.
    dialog.hide();
    dialog.show();
    QVERIFY(!dialog.CheckBoxDontDisplay->isChecked());
    dialog.CheckBoxDontDisplay->setChecked(true);
    QCOMPARE(DisplayValue(common), stored);
}

void TestHelpDialog::buttons_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("tickFirst");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("opened");
    const QStringList en{QStringLiteral("http://www.velmora.example/help-mp4-converter.php")};
    const QStringList cn{QStringLiteral("http://cn.velmora.example/help-mp4-converter.php")};
    QTest::newRow("yes, English") << 2 << false << "ButtonYes" << en;
    QTest::newRow("tick then yes, Chinese") << 1 << true << "ButtonYes" << cn;
    QTest::newRow("no") << 2 << false << "ButtonNo" << QStringList();
    QTest::newRow("close box") << 2 << true << "" << QStringList();
}

void TestHelpDialog::buttons()
{
    QFETCH(int, language);
    QFETCH(bool, tickFirst);
    QFETCH(QString, button);
    QFETCH(QStringList, opened);
    QTemporaryDir dir;
    IniFile(dir.filePath(QStringLiteral("config.ini")))
        .WriteInteger(QStringLiteral("common"), QStringLiteral("language"), language);
    TfrmCommon common(dir.path());
    QStringList urls;
    common.urlOpener = [&](const QString& url) { urls << url; };

    QMainWindow owner;
    owner.setGeometry(300, 200, 468, 479);
    owner.show();
    TfrmHelpDialog dialog(&common, &owner);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(TfrmHelpDialog::ClientWidth, TfrmHelpDialog::ClientHeight));
    QVERIFY(!dialog.isModal());
    // Centred on the main window.
    QVERIFY((dialog.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength() <= 4);

    if (tickFirst)
        dialog.CheckBoxDontDisplay->click();
    if (button.isEmpty())
        dialog.close();
    else
        dialog.findChild<QPushButton*>(button)->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(urls, opened);
    QCOMPARE(common.DisplayHelpDialogEnabled(), !tickFirst);
}

void TestHelpDialog::failedWriteKeepsWindowOpen()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("config.ini"))); // cannot be written
    TfrmCommon common(dir.path());
    TfrmHelpDialog dialog(&common);
    dialog.show();
    try {
        dialog.CheckBoxDontDisplay->setChecked(true);
        dialog.CheckBoxDontDisplayClick();
        QFAIL("the failed write went unnoticed");
    } catch (const AppError& error) {
        QCOMPARE(error.Text(), QStringLiteral("Unable to write to %1").arg(common.configFile));
    }
    QVERIFY(dialog.isVisible());
}

void TestHelpDialog::languageTextsFit_data()
{
    QTest::addColumn<QString>("welcome");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("dontShow");
    QTest::newRow("design-time English")
        << "Welcome to Velmora Video Converter, the best software for  converting video files between almost "
           "all "
           "popular video and audio formats."
        << "Would you like to view a short demo of how to use it quickly and easily?"
        << "Don't show this dialog again";
    QTest::newRow("Chinese")
        << "欢迎使用 Velmora 视频转换器，它能在几乎所有常用的视频和音频格式之间转换文件。"
        << "是否观看一段简短的演示，了解如何快速轻松地使用它？"
        << "不再显示此对话框";
}

void TestHelpDialog::languageTextsFit()
{
    QFETCH(QString, welcome);
    QFETCH(QString, question);
    QFETCH(QString, dontShow);
    QTemporaryDir dir;
    const QString language = dir.filePath(QStringLiteral("lang.ini"));
    const IniFile ini(language);
    ini.WriteString(QStringLiteral("frmHelpDialog"), QStringLiteral("title"), QStringLiteral("Velmora"));
    ini.WriteString(QStringLiteral("frmHelpDialog"), QStringLiteral("labelWelcom"), welcome);
    ini.WriteString(QStringLiteral("frmHelpDialog"), QStringLiteral("labelIntroduction"), question);
    ini.WriteString(QStringLiteral("frmHelpDialog"), QStringLiteral("checkBoxDontDisplay"), dontShow);
    ini.WriteString(QStringLiteral("frmHelpDialog"), QStringLiteral("ButtonYes"), QStringLiteral("&YES"));
    TfrmCommon common(dir.path());
    TfrmHelpDialog dialog(&common);
    dialog.LoadLanguage(language);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmora"));
    QCOMPARE(dialog.LabelWelcom->text(), welcome);
    QCOMPARE(dialog.ButtonNo->text(), QString()); // missing key: empty
    // Every control lies inside the window and each label has room for its wrapped text.
    for (QWidget* w :
         std::initializer_list<QWidget*>{dialog.LabelWelcom, dialog.LabelIntroduction, dialog.ButtonYes,
                                         dialog.ButtonNo, dialog.CheckBoxDontDisplay}) {
        QVERIFY2(dialog.rect().contains(w->geometry()), qPrintable(w->objectName()));
    }
    for (QLabel* label : {dialog.LabelWelcom, dialog.LabelIntroduction})
        QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->objectName()));
    QVERIFY(dialog.CheckBoxDontDisplay->width() >= dialog.CheckBoxDontDisplay->sizeHint().width());
}

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
