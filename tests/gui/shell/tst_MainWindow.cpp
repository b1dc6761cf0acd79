// The real main window: language loading, its controls and menus, the first show's set-up, the
// output folder saved and restored across two starts, and errors shown by the event loop.

#include "support/FindChild.h"
#include "support/ModalAnswer.h"
#include "support/ShellFixture.h"
#include "support/TestMain.h"

#include "dialogs/TMessageBox.h"
#include "joblist/TFolderTree.h"
#include "joblist/TFrmBatchAdd.h"
#include "joblist/TFrmDirectory.h"
#include "joblist/TTimeWindowEditor.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "shell/TApplication.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

class TestMainWindow : public QObject
{
    Q_OBJECT

    // Every visible text of the main window and the two folder windows.
    static QStringList Texts(TfrmMain* w)
    {
        QStringList texts{w->windowTitle()};
        for (QAction* a : w->findChildren<QAction*>())
            texts << a->text();
        for (QMenu* m : w->findChildren<QMenu*>())
            texts << m->title();
        for (QLabel* l : w->findChildren<QLabel*>())
            texts << l->text();
        for (QGroupBox* g : w->findChildren<QGroupBox*>())
            texts << g->title();
        for (QPushButton* b : w->findChildren<QPushButton*>())
            texts << b->text();
        for (int i = 0; i < 3; ++i)
            texts << TestSupport::Child<QTreeWidget>(w, "listViewFiles")->headerItem()->text(i);
        texts << w->Messages().msgStatusRun << w->Messages().msgClearAll << w->Messages().msgFolderView << w->Messages().msgFinishInfo
              << w->Messages().StringStartCaption << w->Messages().StringStopCaption << w->Messages().msgStatusReady
              << TestSupport::Child<QLabel>(w, "labelCurrentInfo")->toolTip();
        texts << TestSupport::Child<TFrmDirectory>(w, "FrmDirectory")->windowTitle() << TestSupport::Child<TFrmBatchAdd>(w, "FrmBatchAdd")->windowTitle();
        return texts;
    }

private slots:
    void init()
    {
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
    }

    void fullLanguageFiles_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("clearAll");
        QTest::addColumn<QString>("directoryCaption");
        QTest::newRow("English") << 2 << "Velmora MP4 Converter"
                                 << "C&lear All"
                                 << "Choose Output Folder";
        QTest::newRow("Chinese") << 1 << "Velmora MP4 转换器"
                                 << "清空(&L)"
                                 << "选择输出目录";
        QTest::newRow("other numbers are English") << 0 << "Velmora MP4 Converter"
                                                   << "C&lear All"
                                                   << "Choose Output Folder";
    }
    void fullLanguageFiles()
    {
        QFETCH(int, language);
        QFETCH(QString, caption);
        QFETCH(QString, clearAll);
        QFETCH(QString, directoryCaption);
        ShellFixture fixture(
            QStringLiteral("[common]\nlanguage=%1\n[setting]\ndisplayHelpDialog=0\n").arg(language));
        TfrmMain* w = fixture.Start();
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(TMessageBox::applicationTitle, caption);
        QCOMPARE(TestSupport::Child<QPushButton>(w, "buttonClearAll")->text(), clearAll);
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_1")->actions().at(3)->text(), clearAll);
        QCOMPARE(TestSupport::Child<TFrmDirectory>(w, "FrmDirectory")->windowTitle(), directoryCaption);
        QCOMPARE(TestSupport::Child<QLabel>(w, "labelCurrentInfo")->text(), w->Messages().msgStatusReady);
        QCOMPARE(TestSupport::Child<QLabel>(w, "labelCurrentInfo")->toolTip(), w->Messages().msgStatusReady);
        QVERIFY(w->Messages().msgStatusRun.count(QStringLiteral("%s")) == 1);
        for (int i = 1; i <= SkinChoice::SkinCount; ++i)
            QVERIFY(!TestSupport::Child<QAction>(w, QStringLiteral("N_Skin%1").arg(i))->text().isEmpty());
        for (int i = 1; i <= 7; ++i)
            QVERIFY(!TestSupport::Child<QAction>(w, QStringLiteral("N_ToolsProduct%1").arg(i))->text().isEmpty());
        for (QAction* action : {TestSupport::Child<QAction>(w, "N_LocalHelp"), TestSupport::Child<QAction>(w, "N_HomePage"), TestSupport::Child<QAction>(w, "N_Support"), TestSupport::Child<QAction>(w, "N_FeedBack"), TestSupport::Child<QAction>(w, "N_Update")})
            QVERIFY(!action->text().isEmpty());
        QVERIFY(!TestSupport::Child<QMenu>(w, "N_ToolsProducts")->title().isEmpty());
        QVERIFY(!w->Messages().msgNoProfile.isEmpty());
    }

    void bothFilesHoldEveryKey()
    {
        // The main window's keys as LoadLanguage reads them; the other windows read these.
        const QList<QPair<QString, QStringList>> otherWindows{
            {"frmDirectory", {"caption", "labelDiretroy", "buttonOK", "buttonCancel"}},
            {"frmBatchAdd",
             {"caption", "labelDirectory", "checkBoxIsSubDirectorie", "labelFileNameExt",
              "labelNoticeFileNameExt", "buttonOK", "buttonCancel"}},
            {"frmOverWrite",
             {"caption", "labelDes", "buttonOverWrite", "buttonIgnore", "buttonAutoName", "checkBoxNotice"}},
            {"frmUnSupportFormat",
             {"caption", "ButtonDownloadCodecs", "ButtonCancel", "LabelErrorMsg", "ButtonSendErrorReport",
              "msgUnSupportFormat", "LabelUserName", "LabelUserEmail", "LabelOrderID", "LabelOrderIDNotice",
              "msgPleaseInputEmail"}},
            {"frmHelpDialog",
             {"title", "labelWelcom", "labelIntroduction", "checkBoxDontDisplay", "ButtonYes", "ButtonNo"}},
        };
        const QList<TLanguageKey> mainKeys = TfrmMain::LanguageKeys();
        // The table is the one the window reads, not a copy that could fall behind it.
        for (const char* key :
             {"msgStatusRunMany", "msgFolderLineBreak", "msgEncoderMissing", "N_Simultaneous", "N_Skin18",
              "N_ToolsProduct7", "ListViewItem3", "msgEndSkipped"})
            QVERIFY2(std::any_of(mainKeys.begin(), mainKeys.end(),
                                 [key](const TLanguageKey& k) { return k.key == QLatin1String(key); }),
                     key);
        for (const char* name : {"en.ini", "gb.ini"}) {
            const IniFile file(QStringLiteral(VELMORA_SOURCE_DIR "/data/language/") + QLatin1String(name));
            const auto where = [name](const QString& section, const QString& key) {
                return QStringLiteral("%1 [%2] %3").arg(QLatin1String(name), section, key).toUtf8();
            };
            for (const TLanguageKey& entry : mainKeys) {
                QStringList keys{entry.key};
                if (entry.kind == TLanguageKey::Count)
                    keys = TCountText::FormKeys(entry.key);
                for (const QString& key : keys) {
                    const QString text = file.ReadString(entry.section, key, QString());
                    QVERIFY2(!text.isEmpty(), where(entry.section, key).constData());
                    // A format holds its one "%s" and nothing else; a count's form for one may
                    // leave the number out.
                    const qsizetype directives = text.count(u'%');
                    if (entry.kind == TLanguageKey::Format || key.endsWith(QLatin1String("_other")))
                        QVERIFY2(text.count(QStringLiteral("%s")) == 1 && directives == 1,
                                 where(entry.section, key).constData());
                    else if (entry.kind == TLanguageKey::Count)
                        QVERIFY2(directives <= 1 && directives == text.count(QStringLiteral("%s")),
                                 where(entry.section, key).constData());
                }
            }
            for (const auto& [section, keys] : otherWindows) {
                for (const QString& key : keys)
                    QVERIFY2(!file.ReadString(section, key, QString()).isEmpty(),
                             where(section, key).constData());
            }
            // The existing-output question names the file.
            const QString question = file.ReadString("frmOverWrite", "labelDes", "");
            QVERIFY2(question.count(QStringLiteral("%s")) == 1 && question.count(u'%') == 1, qPrintable(question));
            QCOMPARE(file.ReadString("frmUnSupportFormat", "msgUnSupportFormat", "").count(u'%'), 1);
            QVERIFY(file.ReadString("frmUnSupportFormat", "msgUnSupportFormat", "")
                        .contains(QStringLiteral("%s")));
        }
    }

    void emptyMissingAndGarbageFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("write");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("empty file") << QByteArray() << true;
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage += char((i * 7919) % 256);
        QTest::newRow("binary garbage") << garbage << true;
        QTest::newRow("sections only") << QByteArray("[App]\n[frmMain]\n[frmDirectory]\n") << true;
    }
    void emptyMissingAndGarbageFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, write);
        ShellFixture fixture(QStringLiteral("[setting]\ndisplayHelpDialog=0\n"), false);
        if (write) {
            QFile file(fixture.Path(QStringLiteral("language/en.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        TfrmMain* w = fixture.Start();
        QCOMPARE(w->windowTitle(), QString());
        QCOMPARE(TMessageBox::applicationTitle, QString());
        QCOMPARE(TestSupport::Child<QPushButton>(w, "buttonAdd")->text(), QString());
        QCOMPARE(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->headerItem()->text(0), QString());
        QCOMPARE(TestSupport::Child<QGroupBox>(w, "groupBoxStatus")->title(), QString());
        QCOMPARE(TestSupport::Child<QLabel>(w, "labelCurrentInfo")->text(), QString());
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_Help")->title(), QString());
        QCOMPARE(w->Messages().msgClearAll, QString());
        QCOMPARE(TestSupport::Child<TFrmBatchAdd>(w, "FrmBatchAdd")->buttonOK->text(), QString());
        // The window still works without texts.
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QCOMPARE(w->JobCount(), 1);
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        TestSupport::Child<QPushButton>(w, "buttonClearAll")->click();
        QCOMPARE(w->JobCount(), 0);
    }

    void valuesAreTrimmedUnquotedAndCut()
    {
        ShellFixture fixture(QStringLiteral("[setting]\ndisplayHelpDialog=0\n"), false);
        QFile file(fixture.Path(QStringLiteral("language/en.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QString longText(5000, u'x');
        file.write(QStringLiteral("[FRMMAIN]\ncaption=  \"Quoted Title\"  \nactionfileadd =   Add it   \n"
                                  "msgClearAll=%1\nmsgStatusRun=%d of %n\n")
                       .arg(longText)
                       .toUtf8());
        file.close();
        TfrmMain* w = fixture.Start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quoted Title"));
        QCOMPARE(TestSupport::Child<QPushButton>(w, "buttonAdd")->text(), QStringLiteral("Add it"));
        QCOMPARE(w->Messages().msgClearAll.size(), 2047);
        // A broken format text is stored as it is; formatting it later raises the error.
        QCOMPARE(w->Messages().msgStatusRun, QStringLiteral("%d of %n"));
    }

    void secondShowReloadsNothing()
    {
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Velmora MP4 Converter"));
        QFile::remove(fixture.Path(QStringLiteral("language/en.ini")));
        fixture.Config().WriteString(QStringLiteral("setting"), QStringLiteral("outputFolder"),
                                     QStringLiteral("/elsewhere"));
        const QString folder = TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text();
        w->hide();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("Velmora MP4 Converter"));
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), folder);
    }

    void controlsAndMenus()
    {
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        QCOMPARE(w->centralWidget()->size(), QSize(468, 479));
        QCOMPARE(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->geometry(), QRect(2, 2, 463, 137));
        QCOMPARE(TestSupport::Child<QGroupBox>(w, "groupBoxOutput")->geometry(), QRect(2, 400, 463, 39));
        QCOMPARE(TestSupport::Child<QPushButton>(w, "buttonConvert")->geometry(), QRect(183, 442, 105, 33));
        QCOMPARE(TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->size(), QSize(453, 65));
        QVERIFY(!TestSupport::Child<TTimeWindowEditor>(w, "GroupBoxEditItem")->isVisible());
        // File, start time, duration and the status a run gives each file, side by side within
        // the list's width and room for its scroll bar.
        auto* list = TestSupport::Child<QTreeWidget>(w, "listViewFiles");
        QCOMPARE(list->columnCount(), 4);
        QCOMPARE(list->columnWidth(0), 226);
        int columns = 0;
        for (int column = 0; column < 4; ++column)
            columns += list->columnWidth(column);
        QVERIFY(columns + list->verticalScrollBar()->sizeHint().width() <= list->viewport()->width() + 2);
        QVERIFY(TestSupport::Child<QComboBox>(w, "ComboBoxVideoCodec")->isHidden());
        QVERIFY(TestSupport::Child<QComboBox>(w, "ComboBoxAudioCodec")->isHidden());
        QCOMPARE(TestSupport::Child<QComboBox>(w, "ComboBoxAspect")->count(), 4);
        QCOMPARE(TestSupport::Child<QComboBox>(w, "ComboBoxAspect")->currentText(), QStringLiteral("auto"));
        QVERIFY(TestSupport::Child<QComboBox>(w, "comboBoxVideoBitrate")->isEditable());
        QVERIFY(!TestSupport::Child<QComboBox>(w, "comboBoxChannel")->isEditable());
        QVERIFY(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->isReadOnly());
        QCOMPARE(TestSupport::Child<QProgressBar>(w, "progressBarCurrent")->maximum(), 100);
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(w->menuBar()->actions().size(), 4);
        const QList<QAction*> file = TestSupport::Child<QMenu>(w, "N_1")->actions();
        QCOMPARE(file.size(), 14);
        QCOMPARE(file.at(0), TestSupport::Child<QAction>(w, "ActionFileAdd"));
        QCOMPARE(file.at(8), TestSupport::Child<QAction>(w, "ActionConvertNow"));
        QCOMPARE(file.at(9), TestSupport::Child<QAction>(w, "ActionPause"));
        QCOMPARE(file.at(10), TestSupport::Child<QAction>(w, "ActionResume"));
        QCOMPARE(file.at(11)->menu(), TestSupport::Child<QMenu>(w, "N_Simultaneous"));
        QCOMPARE(file.at(13), TestSupport::Child<QAction>(w, "ActionExit"));
        // Pause and Resume in the list's pop-up menu too, on Ctrl+P, and idle: nothing to pause.
        const QList<QAction*> popup = TestSupport::Child<QMenu>(w, "PopupMenu")->actions();
        for (const char* name : {"ActionPause", "ActionResume"}) {
            auto* action = TestSupport::Child<QAction>(w, name);
            QVERIFY(popup.contains(action));
            QCOMPARE(action->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
            QVERIFY(!action->isEnabled());
            QVERIFY(!action->text().isEmpty());
        }
        QVERIFY(TestSupport::Child<QAction>(w, "ActionPause")->isVisible());
        QVERIFY(!TestSupport::Child<QAction>(w, "ActionResume")->isVisible());
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_Skin")->actions().size(), 18);
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_Skin")->actions().at(17)->objectName(), QStringLiteral("N_Skin18"));
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_Tools")->actions().size(), 1);
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_ToolsProducts")->actions().size(), 7);
        QCOMPARE(TestSupport::Child<QMenu>(w, "N_Help")->actions(),
                 (QList<QAction*>{TestSupport::Child<QAction>(w, "N_LocalHelp"), TestSupport::Child<QAction>(w, "N_HomePage"), TestSupport::Child<QAction>(w, "N_Support"), TestSupport::Child<QAction>(w, "N_FeedBack"), TestSupport::Child<QAction>(w, "N_Update")}));
        // Buttons show their action's caption.
        QCOMPARE(TestSupport::Child<QPushButton>(w, "buttonConvert")->text(), TestSupport::Child<QAction>(w, "ActionConvertNow")->text());
        QCOMPARE(TestSupport::Child<QPushButton>(w, "BitBtnOutput")->text(), QStringLiteral("&Browse..."));
    }

    void simultaneousConversionsMenu_data()
    {
        QTest::addColumn<QString>("saved"); // the key's text, or nothing for no key
        QTest::addColumn<int>("shown");
        const int cores = qMax(1, QThread::idealThreadCount());
        QTest::newRow("no key") << QString() << 1;
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("every core") << QString::number(cores) << cores;
        QTest::newRow("more than this machine has") << "4096" << cores;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("not a number") << "many" << 1;
    }
    void simultaneousConversionsMenu()
    {
        QFETCH(QString, saved);
        QFETCH(int, shown);
        ShellFixture fixture(QStringLiteral("[setting]\ndisplayHelpDialog=0\n") +
                             (saved.isNull() ? QString() : QStringLiteral("simultaneous=") + saved + u'\n'));
        TfrmMain* w = fixture.Start();
        auto* menu = TestSupport::Child<QMenu>(w, "N_Simultaneous");
        QCOMPARE(menu->title(), QStringLiteral("Simultaneous conversions"));
        const int cores = qMax(1, QThread::idealThreadCount());
        QCOMPARE(menu->actions().size(), cores);
        QCOMPARE(w->ReadSimultaneous(), shown);
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QStringList checked;
        for (QAction* entry : menu->actions()) {
            if (entry->isChecked())
                checked << entry->text();
        }
        QCOMPARE(checked, QStringList{QString::number(shown)});
        // A choice is kept at once, in config.ini.
        menu->actions().last()->trigger();
        QCOMPARE(fixture.Config().ReadInteger("setting", "simultaneous", -1), cores);
        menu->actions().first()->trigger();
        QCOMPARE(fixture.Config().ReadInteger("setting", "simultaneous", -1), 1);
    }

    void toolsMenuOpensProductPages()
    {
        for (int language : {2, 1}) {
            ShellFixture fixture(
                QStringLiteral("[common]\nlanguage=%1\n[setting]\ndisplayHelpDialog=0\n").arg(language));
            TfrmMain* w = fixture.Start();
            QStringList opened;
            fixture.common->urlOpener = [&opened](const QString& url) { opened << url; };
            for (int i = 1; i <= 7; ++i)
                TestSupport::Child<QAction>(w, QStringLiteral("N_ToolsProduct%1").arg(i))->trigger();
            QCOMPARE(opened.size(), 7);
            QCOMPARE(QSet<QString>(opened.begin(), opened.end()).size(), 7);
            for (const QString& url : opened)
                QVERIFY2(url.startsWith(fixture.common->homePageLink), qPrintable(url));
        }
    }

    void outputFolderSavedAndRestored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blank and Chinese") << QStringLiteral("Out put 视频");
        // Legal on Linux, and lost by a reader that strips blanks unless written quoted.
        QTest::newRow("leading blank") << QStringLiteral(" out");
        QTest::newRow("trailing blank") << QStringLiteral("out ");
        QTest::newRow("quoted") << QStringLiteral("\"out\"");
    }

    void outputFolderSavedAndRestored()
    {
        QFETCH(QString, name);
        ShellFixture fixture(QStringLiteral("[setting]\ndisplayHelpDialog=0\n"));
        QTemporaryDir out;
        const QString chosen = out.filePath(name);
        QVERIFY(QDir().mkpath(chosen));
        {
            TfrmMain* w = fixture.Start();
            // First start without the key: the default folder is shown and written.
            QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), DefaultOutputFolder());
            QCOMPARE(fixture.Config().ReadString("setting", "outputFolder", "missing"),
                     DefaultOutputFolder());
            QVERIFY(!DefaultOutputFolder().contains(QStringLiteral("c:")));

            // Cancel changes nothing.
            QTimer::singleShot(0, this, [] {
                QTRY_VERIFY(qobject_cast<TFrmDirectory*>(QApplication::activeModalWidget()) != nullptr);
                QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
            });
            TestSupport::Child<QPushButton>(w, "BitBtnOutput")->click();
            QCOMPARE(TestSupport::Child<TFrmDirectory>(w, "FrmDirectory")->chosenFolder, QString());
            QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), DefaultOutputFolder());

            // OK takes the selected folder.
            QTimer::singleShot(0, this, [chosen] {
                QTRY_VERIFY(qobject_cast<TFrmDirectory*>(QApplication::activeModalWidget()) != nullptr);
                auto* dialog = qobject_cast<TFrmDirectory*>(QApplication::activeModalWidget());
                QCOMPARE(dialog->windowTitle(), QStringLiteral("Choose Output Folder"));
                dialog->ShellTreeView1->SelectFolder(chosen);
                dialog->ButtonOK->click();
            });
            TestSupport::Child<QPushButton>(w, "BitBtnOutput")->click();
            QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), chosen);
            QCOMPARE(fixture.Config().ReadString("setting", "outputFolder", "missing"), chosen);
            fixture.Stop();
        }
        TfrmMain* again = fixture.Start();
        QCOMPARE(TestSupport::Child<QLineEdit>(again, "editOutputFolder")->text(), chosen);
    }

    void folderWithLineBreakIsRefused()
    {
        ShellFixture fixture;
        QTemporaryDir out;
        const QString chosen = out.filePath(QStringLiteral("two\nlines"));
        QVERIFY(QDir().mkpath(chosen));
        TfrmMain* w = fixture.Start();
        const QString before = TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text();
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        QTimer::singleShot(0, this, [chosen] {
            QTRY_VERIFY(qobject_cast<TFrmDirectory*>(QApplication::activeModalWidget()) != nullptr);
            auto* dialog = qobject_cast<TFrmDirectory*>(QApplication::activeModalWidget());
            dialog->ShellTreeView1->SelectFolder(chosen);
            dialog->ButtonOK->click();
        });
        TestSupport::Child<QPushButton>(w, "BitBtnOutput")->click();
        QCOMPARE(TMessageBox::shownTexts.size(), 1);
        QVERIFY2(TMessageBox::shownTexts[0].contains(chosen), qPrintable(TMessageBox::shownTexts[0]));
        QVERIFY2(TMessageBox::shownTexts[0].contains(QStringLiteral("line break")),
                 qPrintable(TMessageBox::shownTexts[0]));
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), before);
        QCOMPARE(fixture.Config().ReadString("setting", "outputFolder", "missing"), before);
    }

    void savedOutputFolderKeptAsWritten()
    {
        // Whatever the key holds is shown, a folder that does not exist included.
        ShellFixture fixture(
            QStringLiteral("[setting]\ndisplayHelpDialog=0\noutputFolder=/no/such \"folder\"\n"));
        TfrmMain* w = fixture.Start();
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), QStringLiteral("/no/such \"folder\""));
    }

    void unwritableConfigShowsTheErrorAndGoesOn()
    {
        ShellFixture fixture;
        // A folder where config.ini should be: every write fails, every read gives the default.
        QFile::remove(fixture.Path(QStringLiteral("config.ini")));
        QVERIFY(QDir().mkpath(fixture.Path(QStringLiteral("config.ini"))));
        TMessageBox::nextAnswers = {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
        TfrmMain* w = fixture.Start();
        QTRY_VERIFY(!TMessageBox::shownTexts.isEmpty());
        QVERIFY2(TMessageBox::shownTexts.first().startsWith(QStringLiteral("Unable to write to ")),
                 qPrintable(TMessageBox::shownTexts.first()));
        // The field keeps the folder all the same, and the window works.
        QCOMPARE(TestSupport::Child<QLineEdit>(w, "editOutputFolder")->text(), DefaultOutputFolder());
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QCOMPARE(w->JobCount(), 1);
    }

    void errorsReachTheMessageBox()
    {
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        TMessageBox::nextAnswers = {QMessageBox::Ok};
        QTimer::singleShot(0, w, [] { throw AppError(QStringLiteral("Something failed")); });
        QTRY_COMPARE(TMessageBox::shownTexts, QStringList{"Something failed"});
        // The program goes on.
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QCOMPARE(w->JobCount(), 1);
    }

    void brokenProfileIsReportedAndStartUpGoesOn()
    {
        ShellFixture fixture;
        QFile profile(fixture.Path(QStringLiteral("profile/broken.pf")));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write("not a profile\n");
        profile.close();
        // The real box: it comes once the window is on the screen, over it, with the
        // application title of the language file (not the program's file name).
        QString text;
        QString caption;
        QWidget* parent = nullptr;
        bool windowShown = false;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            text = box->text();
            caption = box->windowTitle();
            parent = box->parentWidget();
            windowShown = fixture.window && fixture.window->isVisible();
            box->button(QMessageBox::Ok)->click();
        });
        TfrmMain* w = fixture.Start();
        QTRY_VERIFY(!text.isEmpty());
        QVERIFY2(text.startsWith(QStringLiteral("broken.pf: ")), qPrintable(text));
        QCOMPARE(caption, QStringLiteral("Velmora MP4 Converter"));
        QCOMPARE(parent, static_cast<QWidget*>(w));
        QVERIFY(windowShown);
        QCOMPARE(w->windowTitle(), QStringLiteral("Velmora MP4 Converter"));
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QCOMPARE(w->JobCount(), 1);
    }

    void qtOwnTextsFollowTheEdition_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("Chinese") << 1 << QStringList{"确定", "取消", "是(&Y)", "否(&N)"};
        QTest::newRow("English") << 2 << QStringList{"OK", "Cancel", "&Yes", "&No"};
    }

    void qtOwnTextsFollowTheEdition()
    {
        QFETCH(int, language);
        QFETCH(QStringList, buttons);
        ShellFixture fixture(
            QStringLiteral("[setting]\ndisplayHelpDialog=0\n[common]\nlanguage=%1\n").arg(language));
        auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
        QVERIFY(app);
        TfrmMain* w = fixture.Start();
        QCOMPARE(app->InstallQtTranslations(w->Common()->IsChineseEdition()), language == 1);
        QMessageBox box(QMessageBox::Question, QString(), QString(),
                        QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No, w);
        const QStringList shown{box.button(QMessageBox::Ok)->text(), box.button(QMessageBox::Cancel)->text(),
                                box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text()};
        QCOMPARE(shown, buttons);
        // The file dialog's own labels follow as well.
        QFileDialog dialog(w);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
        QVERIFY(lookIn);
        QCOMPARE(lookIn->text() == QStringLiteral("Look in:"), language != 1);
        app->InstallQtTranslations(false);
    }

    void closingEmptiesTheList()
    {
        ShellFixture fixture;
        TfrmMain* w = fixture.Start();
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        TestSupport::Child<QAction>(w, "ActionExit")->trigger();
        QVERIFY(!w->isVisible());
        QCOMPARE(w->JobCount(), 0);
    }

    // A box at start (here: a journal that is none) comes before the welcome window, which would
    // otherwise show on top of a box that blocks it.
    void welcomeWaitsForStartupNotices()
    {
        ShellFixture fixture(QStringLiteral("[setting]\ndisplayHelpDialog=1\n"));
        QFile journal(fixture.Path(QStringLiteral("queue.ini")));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("\x01 not a journal");
        journal.close();
        TMessageBox::nextAnswers.clear();
        bool boxShown = false;
        bool welcomeDuringBox = true;
        WhenModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            boxShown = true;
            // The window is painted meanwhile, and the welcome window would come now.
            QTest::qWait(300);
            welcomeDuringBox = TestSupport::Child<QWidget>(fixture.window.get(), "frmHelpDialog")->isVisible();
            box->button(QMessageBox::Ok)->click();
        });
        TfrmMain* w = fixture.Start();
        QTRY_VERIFY(boxShown);
        QVERIFY(!welcomeDuringBox);
        QTRY_VERIFY(TestSupport::Child<QWidget>(w, "frmHelpDialog")->isVisible());
    }
};

VELMORA_GUI_TEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
