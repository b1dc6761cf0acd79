// Job-list side of the main window: intake, removal and moves, the time-window editor and the
// folder choosers with the output folder.

#include "shell/TfrmMain.h"

#include "dialogs/TMessageBox.h"
#include "joblist/JobFiles.h"
#include "joblist/TFolderScan.h"
#include "joblist/TFolderTree.h"
#include "joblist/TFrmBatchAdd.h"
#include "joblist/TFrmDirectory.h"
#include "joblist/TTimeWindowEditor.h"
#include "joblist/TimeWindowText.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QUrl>

void TfrmMain::ConnectJobList()
{
    // Every change of the list that does not come through AddJobFile makes the index stale.
    QAbstractItemModel* model = listViewFiles->model();
    auto stale = [this] {
        if (!addingJob)
            jobIndexStale = true;
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, stale);
    connect(model, &QAbstractItemModel::rowsRemoved, this, stale);
    connect(model, &QAbstractItemModel::rowsMoved, this, stale);
    connect(model, &QAbstractItemModel::modelReset, this, stale);
    connect(model, &QAbstractItemModel::dataChanged, this, stale);
    connect(model, &QAbstractItemModel::layoutChanged, this, stale);
}

void TfrmMain::RebuildJobIndex()
{
    jobIndex.clear();
    const int count = listViewFiles->topLevelItemCount();
    jobIndex.reserve(count);
    for (int i = 0; i < count; ++i)
        jobIndex.insert(listViewFiles->topLevelItem(i)->text(0));
    jobIndexStale = false;
}

bool TfrmMain::IsInJobList(const QString& fileName)
{
    if (jobIndexStale)
        RebuildJobIndex();
    return jobIndex.contains(fileName);
}

int TfrmMain::JobCount() const
{
    return listViewFiles->topLevelItemCount();
}

int TfrmMain::SelectedIndex() const
{
    const QList<QTreeWidgetItem*> selected = listViewFiles->selectedItems();
    if (selected.isEmpty())
        return -1;
    return listViewFiles->indexOfTopLevelItem(selected.first());
}

void TfrmMain::AddJobFile(const QString& fileName)
{
    if (IsInJobList(fileName))
        return;
    if (!JobFiles::IsSupported(fileName))
        return;
    auto* item = new QTreeWidgetItem(QStringList{fileName, QStringLiteral("00:00:00"), QString()});
    item->setToolTip(0, fileName);
    addingJob = true;
    listViewFiles->addTopLevelItem(item);
    addingJob = false;
    jobIndex.insert(fileName);
    // Coalesced: a thousand additions cost one repaint.
    update();
}

void TfrmMain::AddFolderFiles(const QString& folder, bool includeSubFolders, const QString& filter)
{
    TFolderScan scan(includeSubFolders, filter);
    scan.onEntry = [this](const QString& path) { AddJobFile(path); };
    // The event queue is served between entries so the window stays alive during a long scan;
    // serving it at most every 25 ms keeps a folder of many thousand files fast.
    QElapsedTimer sinceServed;
    sinceServed.start();
    scan.afterEntry = [this, &sinceServed] {
        if (sinceServed.elapsed() >= 25) {
            QCoreApplication::processEvents();
            sinceServed.restart();
        }
        // A window closed meanwhile has emptied its list for good.
        return !formCloseDone;
    };
    scan.Run(folder);
}

void TfrmMain::ActionFileAddExecute()
{
    OpenDialog->setWindowTitle(JobFiles::OpenDialogTitle());
    OpenDialog->setOption(QFileDialog::HideNameFilterDetails, true);
    const QStringList filters = JobFiles::OpenDialogFilters();
    OpenDialog->setNameFilters(filters);
    OpenDialog->selectNameFilter(filters.first());
    OpenDialog->selectFile(QString());
    if (OpenDialog->exec() != QDialog::Accepted)
        return;
    for (const QString& file : OpenDialog->selectedFiles()) {
        if (file.isEmpty())
            break;
        AddJobFile(file);
    }
}

void TfrmMain::ActionFileBatchAddExecute()
{
    FrmBatchAdd->show();
    FrmBatchAdd->raise();
    FrmBatchAdd->activateWindow();
}

void TfrmMain::ActionFileDeleteExecute()
{
    const int row = SelectedIndex();
    if (row < 0)
        return;
    delete listViewFiles->takeTopLevelItem(row);
    // No other file becomes selected in its place: an open time-window editor must not
    // apply its texts to a neighbour.
    listViewFiles->clearSelection();
    listViewFiles->setCurrentItem(nullptr);
    listViewFiles->viewport()->update();
}

void TfrmMain::ClearJobList()
{
    listViewFiles->clear();
    jobIndex.clear();
    jobIndexStale = false;
}

void TfrmMain::ActionFileClearAllExecute()
{
    if (TMessageBox::Show(this, messages.msgClearAll, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Question) ==
        QMessageBox::Ok)
        ClearJobList();
}

static void SwapItems(QTreeWidget* list, int from, int to)
{
    QTreeWidgetItem* a = list->topLevelItem(from);
    QTreeWidgetItem* b = list->topLevelItem(to);
    for (int column = 0; column < 3; ++column) {
        const QString text = a->text(column);
        a->setText(column, b->text(column));
        b->setText(column, text);
    }
    a->setToolTip(0, a->text(0));
    b->setToolTip(0, b->text(0));
    list->setCurrentItem(b);
    b->setSelected(true);
    list->setFocus();
    list->scrollToItem(b);
    list->viewport()->update();
}

void TfrmMain::ActionFileMoveUpExecute()
{
    const int row = SelectedIndex();
    if (row <= 0)
        return;
    SwapItems(listViewFiles, row, row - 1);
}

void TfrmMain::ActionFileMoveDownExecute()
{
    const int row = SelectedIndex();
    if (row < 0 || row >= JobCount() - 1)
        return;
    SwapItems(listViewFiles, row, row + 1);
}

void TfrmMain::WMDropFiles(const QStringList& paths)
{
    for (const QString& path : paths)
        AddJobFile(path);
}

static QStringList DroppedPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths << QDir::cleanPath(url.toLocalFile());
    }
    return paths;
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TfrmMain::dragMoveEvent(QDragMoveEvent* event)
{
    if (!DroppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event)
{
    const QStringList paths = DroppedPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    WMDropFiles(paths);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == listViewFiles->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool handled = QMainWindow::eventFilter(watched, event);
        listViewFilesMouseUp(mouse->button(), mouse->position().toPoint());
        return handled;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::listViewFilesMouseUp(Qt::MouseButton button, const QPoint& pos)
{
    if (button != Qt::LeftButton)
        return;
    const int row = SelectedIndex();
    if (row < 0)
        return;
    QTreeWidgetItem* item = listViewFiles->topLevelItem(row);
    GroupBoxEditItem->Fill(item->text(0), item->text(1), item->text(2));
    // The viewport lies below the header; the pointer's height is counted from the list's top.
    const int yInList = listViewFiles->viewport()->mapTo(listViewFiles, pos).y();
    int top = listViewFiles->y() + yInList;
    // Kept inside the window so that OK and Cancel stay reachable.
    top = qMin(top, clientArea->height() - GroupBoxEditItem->height());
    GroupBoxEditItem->move(GroupBoxEditItem->x(), top);
    GroupBoxEditItem->show();
    GroupBoxEditItem->raise();
}

void TfrmMain::ButtonEditItemOKClick()
{
    if (!GroupBoxEditItem->EditsAcceptable())
        return;
    const int row = SelectedIndex();
    if (row >= 0) {
        QTreeWidgetItem* item = listViewFiles->topLevelItem(row);
        item->setText(1, TimeWindowText::Trim(MaskEditFileStartTime->text()));
        item->setText(2, TimeWindowText::DurationForItem(MaskEditItemFileDuration->text()));
    }
    GroupBoxEditItem->hide();
}

void TfrmMain::ButtonEditItemCancelClick()
{
    GroupBoxEditItem->hide();
}

void TfrmMain::ActionSetDirectoryExecute()
{
    FrmDirectory->chosenFolder.clear();
    if (FrmDirectory->ShellTreeView1->SelectedFolder().isEmpty())
        FrmDirectory->ShellTreeView1->SelectFolder(editOutputFolder->text());
    if (FrmDirectory->exec() != QDialog::Accepted)
        return;
    const QString chosen = FrmDirectory->chosenFolder;
    // config.ini keeps one line per value: such a name could not be saved, and the next start
    // would convert into another folder.
    if (chosen.contains(u'\n') || chosen.contains(u'\r')) {
        TMessageBox::Show(this, SafeFormat(messages.msgFolderLineBreak, chosen), QMessageBox::Ok,
                          QMessageBox::Warning);
        return;
    }
    editOutputFolder->setText(chosen);
}

void TfrmMain::editOutputFolderChange(const QString& text)
{
    WriteOutputFolder(text);
}

QString TfrmMain::DefaultOutputFolder()
{
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return movies.isEmpty() ? QDir::homePath() : movies;
}

QString TfrmMain::ReadOutputFolder() const
{
    return IniFile(frmCommon->configFile)
        .ReadString(QStringLiteral("setting"), QStringLiteral("outputFolder"), DefaultOutputFolder());
}

void TfrmMain::WriteOutputFolder(const QString& folder) const
{
    IniFile(frmCommon->configFile)
        .WriteString(QStringLiteral("setting"), QStringLiteral("outputFolder"), folder);
}
