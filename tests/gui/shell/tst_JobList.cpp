// The job list of the real main window: intake, duplicates (one file through two paths too),
// moves, clear all, the file-open dialog, drops through real drop events and the add-folder
// window.

#include "support/FindChild.h"
#include "support/ShellFixture.h"
#include "support/TestFiles.h"
#include "support/TestMain.h"

#include "dialogs/TMessageBox.h"
#include "joblist/TFolderTree.h"
#include "joblist/TFrmBatchAdd.h"
#include "joblist/TJobListDelegate.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <unistd.h>

namespace {

QStringList Captions(TfrmMain* w)
{
    QStringList list;
    for (int i = 0; i < TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItemCount(); ++i)
        list << TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(i)->text(0);
    return list;
}

QStringList Row(TfrmMain* w, int row)
{
    QTreeWidgetItem* item = TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(row);
    return {item->text(0), item->text(1), item->text(2)};
}

void Drop(QWidget* target, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
}

} // namespace

class TestJobList : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> fixture;
    TfrmMain* w = nullptr;

private slots:
    void init()
    {
        fixture = std::make_unique<ShellFixture>();
        w = fixture->Start();
        TMessageBox::nextAnswers.clear();
        TMessageBox::shownTexts.clear();
    }
    void cleanup()
    {
        fixture.reset();
        w = nullptr;
    }

    void addJobFile_data()
    {
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("same path twice") << QStringList{"/v/a.AVI", "/v/a.AVI"} << QStringList{"/v/a.AVI"};
        QTest::newRow("other letter case is another file")
            << QStringList{"/v/a.AVI", "/v/a.avi"} << QStringList{"/v/a.AVI", "/v/a.avi"};
        QTest::newRow("unsupported and no extension refused")
            << QStringList{"/v/notes.txt", "/v/clip", "/v.avi/clip"} << QStringList{};
        QTest::newRow("prefix of a supported extension")
            << QStringList{"/v/clip.mp", "/v/c.rmv"} << QStringList{"/v/clip.mp", "/v/c.rmv"};
        QTest::newRow("order kept") << QStringList{"/v/3.mkv", "/v/1.mkv", "/v/2.mkv"}
                                    << QStringList{"/v/3.mkv", "/v/1.mkv", "/v/2.mkv"};
        QTest::newRow("blanks quotes newline dashes non-ASCII")
            << QStringList{"/v/my \"best\" clip.mp4", "/v/-rf.avi", "/v/a\nb.wav", "/视频/片段.mkv",
                           "/v/it's.mov"}
            << QStringList{"/v/my \"best\" clip.mp4", "/v/-rf.avi", "/v/a\nb.wav", "/视频/片段.mkv",
                           "/v/it's.mov"};
    }
    void addJobFile()
    {
        QFETCH(QStringList, added);
        QFETCH(QStringList, expected);
        for (const QString& path : added)
            w->AddJobFile(path);
        QCOMPARE(Captions(w), expected);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(Row(w, i).at(1), QStringLiteral("00:00:00"));
            QCOMPARE(Row(w, i).at(2), QString());
        }
    }

    void rowsHaveGridLinesAndFollowThePointer()
    {
        for (const char* name : {"/v/a.avi", "/v/b.avi", "/v/c.avi"})
            w->AddJobFile(QString::fromLatin1(name));
        QTreeWidget* list = TestSupport::Child<QTreeWidget>(w, "listViewFiles");
        const QRect first = list->visualItemRect(list->topLevelItem(0));
        const QRect second = list->visualItemRect(list->topLevelItem(1));
        const QRect third = list->visualItemRect(list->topLevelItem(2));
        const QColor grid = TJobListDelegate::GridColor(list->palette());

        // The pointer over the second row.
        QTest::mouseMove(list->viewport(), second.center());
        QTRY_VERIFY(list->viewport()->underMouse());
        const QImage shown = list->viewport()->grab().toImage();
        // A line under each row across the whole width, and between the columns.
        for (int x : {2, first.width() / 2, list->columnWidth(0) + 10})
            QCOMPARE(shown.pixel(x, first.bottom()), grid.rgb());
        QCOMPARE(shown.pixel(list->columnWidth(0) - 1, first.center().y()), grid.rgb());
        // The row under the pointer is tinted; the others keep the list's background.
        const QPoint blank(list->columnWidth(0) + 40, 0);
        const QRgb hovered = shown.pixel(blank + QPoint(0, second.center().y()));
        const QRgb plain = shown.pixel(blank + QPoint(0, third.center().y()));
        QCOMPARE(plain, list->palette().color(QPalette::Base).rgb());
        QVERIFY(hovered != plain);
    }

    void indexFollowsEveryChange()
    {
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        w->AddJobFile(QStringLiteral("/v/b.avi"));
        TestSupport::Child<QTreeWidget>(w, "listViewFiles")->setCurrentItem(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(0));
        TestSupport::Child<QAction>(w, "ActionFileDelete")->trigger();
        QCOMPARE(Captions(w), QStringList{"/v/b.avi"});
        QVERIFY(!w->IsInJobList(QStringLiteral("/v/a.avi")));
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QCOMPARE(Captions(w), (QStringList{"/v/b.avi", "/v/a.avi"}));
        // A change made straight on the list, not through AddJobFile, is seen too.
        TestSupport::Child<QTreeWidget>(w, "listViewFiles")->clear();
        QVERIFY(!w->IsInJobList(QStringLiteral("/v/b.avi")));
        TestSupport::Child<QTreeWidget>(w, "listViewFiles")->addTopLevelItem(new QTreeWidgetItem(QStringList{"/v/c.avi", "00:00:00", ""}));
        QVERIFY(w->IsInJobList(QStringLiteral("/v/c.avi")));
        w->AddJobFile(QStringLiteral("/v/c.avi"));
        QCOMPARE(Captions(w), QStringList{"/v/c.avi"});
    }

    // One file is one job, however it is reached: through a linked folder or by a second name.
    void sameFileThroughTwoPaths()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString real = dir.filePath("real/clip.avi");
        TestSupport::WriteText(real, "a clip");
        TestSupport::WriteText(dir.filePath("real/copy.avi"), "a clip");
        QVERIFY(QFile::link(dir.filePath("real"), dir.filePath("linked")));
        QCOMPARE(::link(QFile::encodeName(real).constData(),
                        QFile::encodeName(dir.filePath("real/second name.avi")).constData()),
                 0);
        for (const char* name : {"real/clip.avi", "linked/clip.avi", "real/second name.avi", "real/copy.avi"})
            w->AddJobFile(dir.filePath(QLatin1String(name)));
        // A copy is another file.
        QCOMPARE(Captions(w), (QStringList{real, dir.filePath("real/copy.avi")}));

        // Once the row is gone, the file may come again by any of its paths.
        QTreeWidget* list = TestSupport::Child<QTreeWidget>(w, "listViewFiles");
        list->setCurrentItem(list->topLevelItem(0));
        TestSupport::Child<QAction>(w, "ActionFileDelete")->trigger();
        w->AddJobFile(dir.filePath("linked/clip.avi"));
        w->AddJobFile(real);
        QCOMPARE(Captions(w), (QStringList{dir.filePath("real/copy.avi"), dir.filePath("linked/clip.avi")}));
    }

    void moves_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("first up does nothing") << 0 << true << QStringList{"a", "b", "c"} << 0;
        QTest::newRow("last down does nothing") << 2 << false << QStringList{"a", "b", "c"} << 2;
        QTest::newRow("second up") << 1 << true << QStringList{"b", "a", "c"} << 0;
        QTest::newRow("second down") << 1 << false << QStringList{"a", "c", "b"} << 2;
        QTest::newRow("no selection") << -1 << true << QStringList{"a", "b", "c"} << -1;
    }
    void moves()
    {
        QFETCH(int, selected);
        QFETCH(bool, up);
        QFETCH(QStringList, order);
        QFETCH(int, selectedAfter);
        for (const char* name : {"a", "b", "c"})
            w->AddJobFile(QStringLiteral("/v/%1.avi").arg(QLatin1String(name)));
        // Each row carries its own time window, which must travel with the file.
        for (int i = 0; i < 3; ++i) {
            TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(i)->setText(1, QStringLiteral("00:00:0%1").arg(i));
            TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(i)->setText(2, QStringLiteral("00:01:0%1").arg(i));
        }
        if (selected >= 0)
            TestSupport::Child<QTreeWidget>(w, "listViewFiles")->setCurrentItem(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->topLevelItem(selected));
        (up ? TestSupport::Child<QPushButton>(w, "buttonMoveUp") : TestSupport::Child<QPushButton>(w, "buttonMoveDown"))->click();
        for (int i = 0; i < 3; ++i) {
            const QString name = order.at(i);
            const int original = name.at(0).unicode() - 'a';
            QCOMPARE(Row(w, i), (QStringList{QStringLiteral("/v/%1.avi").arg(name),
                                             QStringLiteral("00:00:0%1").arg(original),
                                             QStringLiteral("00:01:0%1").arg(original)}));
        }
        QCOMPARE(w->SelectedIndex(), selectedAfter);
        QVERIFY(!w->IsInJobList(QStringLiteral("/v/d.avi")));
        QVERIFY(w->IsInJobList(QStringLiteral("/v/a.avi")));
    }

    void clearAll_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("remaining");
        QTest::newRow("OK empties") << int(QMessageBox::Ok) << 0;
        QTest::newRow("Cancel keeps") << int(QMessageBox::Cancel) << 2;
    }
    void clearAll()
    {
        QFETCH(int, answer);
        QFETCH(int, remaining);
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        w->AddJobFile(QStringLiteral("/v/b.avi"));
        TMessageBox::nextAnswers = {QMessageBox::StandardButton(answer)};
        TestSupport::Child<QPushButton>(w, "buttonClearAll")->click();
        QCOMPARE(TMessageBox::shownTexts, QStringList{"Remove all files from the list?"});
        QCOMPARE(w->JobCount(), remaining);
        // After clearing, the same files may come in again.
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QCOMPARE(w->JobCount(), remaining == 0 ? 1 : 2);
    }

    void clearAllThroughTheRealMessageBox()
    {
        w->AddJobFile(QStringLiteral("/v/a.avi"));
        QString caption;
        QTimer::singleShot(0, this, [&caption] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            caption = box->windowTitle();
            box->button(QMessageBox::Cancel)->click();
        });
        TestSupport::Child<QAction>(w, "ActionFileClearAll")->trigger();
        QCOMPARE(caption, QStringLiteral("Velmora MP4 Converter"));
        QCOMPARE(w->JobCount(), 1);
    }

    void openDialog_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("chosen files added") << true;
        QTest::newRow("cancelled adds nothing") << false;
    }
    void openDialog()
    {
        QFETCH(bool, accept);
        QTemporaryDir media;
        for (const char* name : {"one.avi", "two words.mkv", "notes.txt"}) {
            QFile file(media.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QString title;
        QStringList filters;
        QString selectedFilter;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr);
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            selectedFilter = dialog->selectedNameFilter();
            dialog->setDirectory(media.path());
            // The user picks everything, the text file included: the extension test refuses it.
            dialog->selectNameFilter(filters.last());
            auto* nameEdit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(nameEdit);
            nameEdit->setText(QStringLiteral("\"one.avi\" \"two words.mkv\" \"notes.txt\""));
            if (accept)
                QMetaObject::invokeMethod(dialog, "accept");
            else
                dialog->reject();
        });
        TestSupport::Child<QPushButton>(w, "buttonAdd")->click();
        QCOMPARE(title, QStringLiteral("Open video files"));
        QCOMPARE(filters.size(), 24);
        // The dialog shows the descriptions; the first row is preselected.
        QCOMPARE(selectedFilter, QStringLiteral("Support files"));
        QVERIFY(filters.first().startsWith(selectedFilter));
        if (accept)
            QCOMPARE(Captions(w), (QStringList{media.filePath("one.avi"), media.filePath("two words.mkv")}));
        else
            QCOMPARE(Captions(w), QStringList{});
    }

    void dropFiles()
    {
        QTemporaryDir media;
        QDir().mkpath(media.filePath(QStringLiteral("clips.avi")));
        QDir().mkpath(media.filePath(QStringLiteral("plain folder")));
        const QList<QUrl> urls{QUrl::fromLocalFile(media.filePath("b.mkv")),
                               QUrl::fromLocalFile(media.filePath("notes.txt")),
                               QUrl::fromLocalFile(media.filePath("clips.avi")),
                               QUrl::fromLocalFile(media.filePath("plain folder")),
                               QUrl::fromLocalFile(media.filePath("a b 视频.wav")),
                               QUrl::fromLocalFile(media.filePath("b.mkv"))};
        // Dropped on the list, the drop reaches the window, which takes files anywhere.
        Drop(TestSupport::Child<QTreeWidget>(w, "listViewFiles")->viewport(), urls);
        QCOMPARE(Captions(w), (QStringList{media.filePath("b.mkv"), media.filePath("clips.avi"),
                                           media.filePath("a b 视频.wav")}));
        Drop(TestSupport::Child<QPushButton>(w, "buttonConvert"), {QUrl::fromLocalFile(media.filePath("c.mp3"))});
        QCOMPARE(w->JobCount(), 4);
    }

    void dropTenThousandFiles()
    {
        QList<QUrl> urls;
        for (int i = 0; i < 10000; ++i)
            urls << QUrl::fromLocalFile(QStringLiteral("/drop/clip %1.mp4").arg(i));
        urls << urls.first();
        Drop(w, urls);
        QCOMPARE(w->JobCount(), 10000);
        QCOMPARE(Row(w, 9999).at(0), QStringLiteral("/drop/clip 9999.mp4"));
    }

    void dropWithoutFilesIsRefused()
    {
        QMimeData data;
        data.setText(QStringLiteral("/v/a.avi"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &enter);
        QVERIFY(!enter.isAccepted());
    }

    void addFolderWindow()
    {
        QTemporaryDir media;
        for (const char* name : {"a.avi", "b.mp4", "sub/c.AVI", "sub/d.mkv"}) {
            QDir().mkpath(QFileInfo(media.filePath(QLatin1String(name))).absolutePath());
            QFile file(media.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        TestSupport::Child<QAction>(w, "ActionFileBatchAdd")->trigger();
        TFrmBatchAdd* window = TestSupport::Child<TFrmBatchAdd>(w, "FrmBatchAdd");
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(window->windowTitle(), QStringLiteral("Add Folder"));
        QCOMPARE(window->editExt->text(), QStringLiteral("*"));
        QVERIFY(!window->checkBoxIsSubDirectorie->isChecked());
        window->ShellTreeView->SelectFolder(media.path());
        window->checkBoxIsSubDirectorie->setChecked(true);
        window->editExt->setText(QStringLiteral(" avi "));
        window->buttonOK->click();
        QVERIFY(!window->isVisible());
        // The filter applies to sub-folder names too: "sub" is not entered.
        QCOMPARE(Captions(w), QStringList{media.filePath("a.avi")});

        // Reopened, it shows the previous folder, filter and check box.
        TestSupport::Child<QAction>(w, "ActionFileBatchAdd")->trigger();
        QCOMPARE(window->ShellTreeView->SelectedFolder(), media.path());
        QCOMPARE(window->editExt->text(), QStringLiteral(" avi "));
        QVERIFY(window->checkBoxIsSubDirectorie->isChecked());
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        QCOMPARE(w->JobCount(), 1);

        // An empty filter counts as "*": every supported file of the folder and its sub-folders.
        TestSupport::Child<QAction>(w, "ActionFileBatchAdd")->trigger();
        window->editExt->clear();
        window->buttonOK->click();
        QCOMPARE(Captions(w), (QStringList{media.filePath("a.avi"), media.filePath("b.mp4"),
                                           media.filePath("sub/c.AVI"), media.filePath("sub/d.mkv")}));
    }

    void popupMenuHoldsTheFileActions()
    {
        const QList<QAction*> actions = TestSupport::Child<QMenu>(w, "PopupMenu")->actions();
        QCOMPARE(actions.size(), 10);
        QCOMPARE(actions.at(0), TestSupport::Child<QAction>(w, "ActionFileAdd"));
        QCOMPARE(actions.at(1), TestSupport::Child<QAction>(w, "ActionFileBatchAdd"));
        QVERIFY(actions.at(4)->isSeparator());
        QCOMPARE(actions.at(6), TestSupport::Child<QAction>(w, "ActionFileMoveDown"));
        // Then the run's own: pause and resume.
        QVERIFY(actions.at(7)->isSeparator());
        QCOMPARE(actions.at(8), TestSupport::Child<QAction>(w, "ActionPause"));
        QCOMPARE(actions.at(9), TestSupport::Child<QAction>(w, "ActionResume"));
    }
};

VELMORA_GUI_TEST_MAIN(TestJobList)
#include "tst_JobList.moc"
