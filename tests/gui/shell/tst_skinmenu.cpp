// The skin and Help menus of the real main window: a chosen skin is stored at once and applied
// only after the menu handler returned, the stored skin comes back at the next start, the Help
// entries open the edition's links and the update entry starts the updater and closes the
// program; the welcome window follows [setting] displayHelpDialog.

#include "support/FindChild.h"
#include "support/ShellFixture.h"
#include "support/TestMain.h"

#include "dialogs/TfrmHelpDialog.h"
#include "dialogs/TMessageBox.h"
#include "skin/SkinChoice.h"
#include "skin/TSkinEngine.h"
#include "skin/TSkinFile.h"

#include <QTest>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>

namespace {

QColor WindowColorOf(const QString& skinFile)
{
    return TSkinFile::LoadFromFile(QStringLiteral(VELMORA_SOURCE_DIR "/data/skins/") + skinFile)
        .Color(QStringLiteral("Window"));
}

QColor CurrentWindowColor()
{
    return QApplication::palette().color(QPalette::Window);
}

} // namespace

class TestSkinMenu : public QObject
{
    Q_OBJECT

    // A program folder with the shipped skins.
    static void AddSkins(ShellFixture& fixture)
    {
        QDir().mkpath(fixture.Path(QStringLiteral("skins")));
        for (int n = 1; n <= SkinChoice::SkinCount; ++n) {
            const QString name = SkinChoice::SkinFileName(n);
            QFile::copy(QStringLiteral(VELMORA_SOURCE_DIR "/data/skins/") + name,
                        fixture.Path(QStringLiteral("skins/") + name));
        }
    }

private slots:
    void init()
    {
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
        QApplication::setPalette(QApplication::style()->standardPalette());
        qApp->setStyleSheet(QString());
    }

    void skinAtStart_data()
    {
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("file");
        const QString off = QStringLiteral("[setting]\ndisplayHelpDialog=0\n");
        QTest::newRow("no key") << off << "Silver.ssk";
        QTest::newRow("3") << off + "[skin]\nskin=3\n"
                           << "DiamondGreen.ssk";
        QTest::newRow("11") << off + "[skin]\nskin=11\n"
                            << "SportsBlack.ssk";
        QTest::newRow("0") << off + "[skin]\nskin=0\n"
                           << "Silver.ssk";
        QTest::newRow("19") << off + "[skin]\nskin=19\n"
                            << "Silver.ssk";
        QTest::newRow("text") << off + "[skin]\nskin=Warm\n"
                              << "Silver.ssk";
        QTest::newRow("$FFFFFFFF") << off + "[skin]\nskin=$FFFFFFFF\n"
                                   << "Silver.ssk";
    }

    void skinAtStart()
    {
        QFETCH(QString, config);
        QFETCH(QString, file);
        ShellFixture fixture(config);
        AddSkins(fixture);
        TfrmMain* w = fixture.Start();
        QVERIFY(w->findChild<TSkinEngine*>(QStringLiteral("suiSkinEngine")));
        QCOMPARE(TestSupport::Child<TSkinEngine>(w, "suiSkinEngine")->SkinFile(), fixture.common->appFolder + QStringLiteral("skins/") + file);
        QCOMPARE(CurrentWindowColor(), WindowColorOf(file));
        QCOMPARE(w->palette().color(QPalette::Window), WindowColorOf(file));
        QVERIFY(TMessageBox::shownTexts.isEmpty());
    }

    void choiceIsStoredAtOnceAndAppliedLater_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("file");
        QTest::newRow("3") << 3 << "DiamondGreen.ssk";
        QTest::newRow("11") << 11 << "SportsBlack.ssk";
        QTest::newRow("18") << 18 << "XPSilver.ssk";
    }

    void choiceIsStoredAtOnceAndAppliedLater()
    {
        QFETCH(int, entry);
        QFETCH(QString, file);
        ShellFixture fixture;
        AddSkins(fixture);
        TfrmMain* w = fixture.Start();
        QCOMPARE(CurrentWindowColor(), WindowColorOf(QStringLiteral("Silver.ssk")));

        QColor colorInHandler;
        int storedInHandler = 0;
        // Look from inside the click: the entry's own handler runs first, this one right after.
        QAction* item = TestSupport::Child<QAction>(w, QStringLiteral("N_Skin%1").arg((entry - 1) + 1));
        QCOMPARE(item->objectName(), QStringLiteral("N_Skin%1").arg(entry));
        const auto probe = connect(item, &QAction::triggered, [&] {
            colorInHandler = CurrentWindowColor();
            storedInHandler = fixture.common->ReadSkinIndex();
        });
        item->trigger();
        disconnect(probe);
        QCOMPARE(storedInHandler, entry);
        QCOMPARE(colorInHandler, WindowColorOf(QStringLiteral("Silver.ssk")));
        QCOMPARE(CurrentWindowColor(), WindowColorOf(QStringLiteral("Silver.ssk")));

        // Once the event loop delivers the queued request, every window shows the skin.
        QTRY_COMPARE(CurrentWindowColor(), WindowColorOf(file));
        QCOMPARE(TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->palette().color(QPalette::Window), WindowColorOf(file));
        QCOMPARE(fixture.Config().ReadInteger(QStringLiteral("skin"), QStringLiteral("skin"), 0), entry);

        // The next start comes up in the same skin.
        fixture.Stop();
        init();
        w = fixture.Start();
        QCOMPARE(TestSupport::Child<TSkinEngine>(w, "suiSkinEngine")->SkinFile(), fixture.common->appFolder + QStringLiteral("skins/") + file);
        QCOMPARE(CurrentWindowColor(), WindowColorOf(file));
    }

    void missingSkinKeepsLook()
    {
        ShellFixture fixture(QStringLiteral("[setting]\ndisplayHelpDialog=0\n[skin]\nskin=14\n"));
        AddSkins(fixture);
        QVERIFY(QFile::remove(fixture.Path(QStringLiteral("skins/Longhorn.ssk"))));
        TfrmMain* w = fixture.Start();
        QCOMPARE(CurrentWindowColor(), WindowColorOf(QStringLiteral("Emerald.ssk")));
        w->N_SkinClick(5);
        QCoreApplication::sendPostedEvents(w);
        QCOMPARE(CurrentWindowColor(), WindowColorOf(QStringLiteral("Emerald.ssk")));
        QCOMPARE(fixture.Config().ReadInteger(QStringLiteral("skin"), QStringLiteral("skin"), 0), 5);
        QVERIFY(TMessageBox::shownTexts.isEmpty());
    }

    void badSkinIsReportedAndStartGoesOn()
    {
        ShellFixture fixture(
            QStringLiteral("[setting]\ndisplayHelpDialog=0\noutputFolder=/tmp/skin out ü\n[skin]\nskin=2\n"));
        AddSkins(fixture);
        QFile bad(fixture.Path(QStringLiteral("skins/DiamondBlue.ssk")));
        QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
        bad.write("[skin]\nName=Broken\n[colors]\nWindow=#zzzzzz\n");
        bad.close();
        TMessageBox::nextAnswers = {QMessageBox::Ok, QMessageBox::Ok};
        TfrmMain* w = fixture.Start(false);
        w->show();
        // The report waits for the event loop, so its box comes over the window, not before it.
        QVERIFY(TMessageBox::shownTexts.isEmpty());
        QTRY_COMPARE(TMessageBox::shownTexts.size(), 1);
        QVERIFY2(TMessageBox::shownTexts.first().contains(QStringLiteral("DiamondBlue.ssk")),
                 qPrintable(TMessageBox::shownTexts.first()));
        // The rest of the first show still ran.
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), QStringLiteral("/tmp/skin out ü"));
        QCOMPARE(fixture.Config().ReadInteger(QStringLiteral("skin"), QStringLiteral("skin"), 0), 2);

        // Chosen from the menu, the error is shown by the event loop; the look stays.
        w->N_SkinClick(6);
        QTRY_COMPARE(CurrentWindowColor(), WindowColorOf(QStringLiteral("MacOS.ssk")));
        w->N_SkinClick(2);
        QTRY_COMPARE(TMessageBox::shownTexts.size(), 2);
        QCOMPARE(CurrentWindowColor(), WindowColorOf(QStringLiteral("MacOS.ssk")));
    }

    void helpMenu_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<QString>("feedback");
        QTest::newRow("English") << 2 << "http://www.velmora.example/"
                                 << "mailto:support@velmora.example"
                                 << "feedback.htm";
        QTest::newRow("Chinese") << 1 << "http://cn.velmora.example/"
                                 << "mailto:support-cn@velmora.example"
                                 << "contactus.htm";
    }

    void helpMenu()
    {
        QFETCH(int, language);
        QFETCH(QString, site);
        QFETCH(QString, mail);
        QFETCH(QString, feedback);
        ShellFixture fixture(
            QStringLiteral("[common]\nlanguage=%1\n[setting]\ndisplayHelpDialog=0\n").arg(language));
        TfrmMain* w = fixture.Start();
        QStringList opened;
        fixture.common->urlOpener = [&](const QString& url) { opened << url; };

        const QList<QAction*> entries = TestSupport::Child<QMenu>(w, "N_Help")->actions();
        QCOMPARE(entries,
                 (QList<QAction*>{TestSupport::Child<QAction>(w, "N_LocalHelp"), TestSupport::Child<QAction>(w, "N_HomePage"), TestSupport::Child<QAction>(w, "N_Support"), TestSupport::Child<QAction>(w, "N_FeedBack"), TestSupport::Child<QAction>(w, "N_Update")}));
        TestSupport::Child<QAction>(w, "N_LocalHelp")->trigger();
        TestSupport::Child<QAction>(w, "N_HomePage")->trigger();
        TestSupport::Child<QAction>(w, "N_Support")->trigger();
        TestSupport::Child<QAction>(w, "N_FeedBack")->trigger();
        QCOMPARE(opened, (QStringList{site + "help-mp4-converter.php", site, mail, site + feedback}));
        QVERIFY(w->isVisible());

        // The update entry starts update.EXE of the program folder and closes the program
        // through its closing steps (the format choice is saved).
        opened.clear();
        fixture.Config().WriteInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), 12345);
        TestSupport::Child<QAction>(w, "N_Update")->trigger();
        QCOMPARE(opened, QStringList{fixture.common->appFolder + QStringLiteral("update.EXE")});
        QVERIFY(!w->isVisible());
        QVERIFY(fixture.Config().ReadInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"),
                                             0) != 12345);
    }

    void welcomeWindowOnFirstPaint_data()
    {
        QTest::addColumn<QString>("config");
        QTest::addColumn<bool>("shown");
        QTest::newRow("no config.ini") << QString() << true;
        QTest::newRow("1") << "[setting]\ndisplayHelpDialog=1\n" << true;
        QTest::newRow("0") << "[setting]\ndisplayHelpDialog=0\n" << false;
        QTest::newRow("2") << "[setting]\ndisplayHelpDialog=2\n" << false;
    }

    void welcomeWindowOnFirstPaint()
    {
        QFETCH(QString, config);
        QFETCH(bool, shown);
        ShellFixture fixture(config);
        if (config.isEmpty())
            QFile::remove(fixture.Path(QStringLiteral("config.ini")));
        TfrmMain* w = fixture.Start();
        QTRY_VERIFY(w->FirstPaintDone());
        if (shown) {
            QTRY_VERIFY(TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->isVisible());
            QVERIFY(!TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->isModal());
            // Texts from the edition's language file.
            QVERIFY(!TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->ButtonYes->text().isEmpty());
            QVERIFY(!TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->CheckBoxDontDisplay->isChecked());
        } else {
            QTest::qWait(50);
            QVERIFY(!TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->isVisible());
        }
        // A second show does not bring it back.
        TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->hide();
        w->hide();
        w->show();
        QTest::qWait(50);
        QVERIFY(!TestSupport::Child<TfrmHelpDialog>(w, "frmHelpDialog")->isVisible());
    }
};

VELMORA_GUI_TEST_MAIN(TestSkinMenu)
#include "tst_skinmenu.moc"
