// Job-list side of the main window: intake, removal and moves, the time-window editor and the
// folder choosers with the output folder.

#include "shell/TfrmMain.h"

#include "dialogs/TMessageBox.h"
#include "engine/EncoderText.h"
#include "engine/FileIdentity.h"
#include "engine/TMediaInfoReader.h"
#include "joblist/JobFiles.h"
#include "joblist/TFolderScan.h"
#include "joblist/TFolderTree.h"
#include "joblist/TFrmBatchAdd.h"
#include "joblist/TFrmDirectory.h"
#include "joblist/TTimeWindowEditor.h"
#include "joblist/TimeWindowText.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

#include <cmath>

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
    jobFiles.clear();
    const int count = listViewFiles->topLevelItemCount();
    jobIndex.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString fileName = listViewFiles->topLevelItem(i)->text(0);
        jobIndex.insert(fileName);
        const TFileIdentity file = TFileIdentity::Reached(fileName);
        if (file.valid)
            jobFiles.insert(file.Key());
    }
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
    // The same file through another path (a linked folder, a second name) is the same job.
    const TFileIdentity file = TFileIdentity::Reached(fileName);
    if (file.valid && jobFiles.contains(file.Key()))
        return;
    // Nothing about the file is read here: its media information waits for the first hover.
    auto* item = new QTreeWidgetItem(QStringList{fileName, QStringLiteral("00:00:00"), QString()});
    addingJob = true;
    listViewFiles->addTopLevelItem(item);
    addingJob = false;
    jobIndex.insert(fileName);
    if (file.valid)
        jobFiles.insert(file.Key());
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
    jobFiles.clear();
    jobIndexStale = false;
}

void TfrmMain::ActionFileClearAllExecute()
{
    if (TMessageBox::Show(this, messages.msgClearAll, QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Question) == QMessageBox::Ok)
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
    // A run's state belongs to the place in the list it ran at: a moved item has none.
    for (QTreeWidgetItem* item : {a, b}) {
        item->setText(3, QString());
        item->setToolTip(3, QString());
    }
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
    if (watched == listViewFiles->viewport() && event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        listViewFilesToolTip(help->pos(), help->globalPos());
        return true;
    }
    if (watched == listViewFiles->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool handled = QMainWindow::eventFilter(watched, event);
        listViewFilesMouseUp(mouse->button(), mouse->position().toPoint());
        return handled;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::listViewFilesToolTip(const QPoint& pos, const QPoint& globalPos)
{
    QTreeWidgetItem* item = listViewFiles->itemAt(pos);
    if (!item) {
        hoverPath.clear();
        QToolTip::hideText();
        return;
    }
    QWidget* viewport = listViewFiles->viewport();
    const QRect rect = listViewFiles->visualItemRect(item);
    // A failed item's status tells why it failed.
    if (listViewFiles->columnAt(pos.x()) == 3 && !item->toolTip(3).isEmpty()) {
        hoverPath.clear();
        QToolTip::showText(globalPos, item->toolTip(3), viewport, rect);
        return;
    }
    hoverPath = item->text(0);
    hoverGlobalPos = globalPos;
    hoverRow =
        QPersistentModelIndex(listViewFiles->model()->index(listViewFiles->indexOfTopLevelItem(item), 0));
    // Read on the first hover (and again for a file changed since); the tip grows once the
    // answer and the picture are there.
    mediaReader->ReadWithThumbnail(hoverPath);
    QToolTip::showText(globalPos, MediaToolTip(hoverPath), viewport, rect);
}

void TfrmMain::MediaToolTipRead(const QString& path)
{
    if (path != hoverPath || !QToolTip::isVisible() || !hoverRow.isValid())
        return;
    const QTreeWidgetItem* item = listViewFiles->topLevelItem(hoverRow.row());
    if (!item || item->text(0) != path)
        return;
    QToolTip::showText(hoverGlobalPos, MediaToolTip(path), listViewFiles->viewport(),
                       listViewFiles->visualItemRect(item));
}

namespace {

QString ToolTipRow(const QString& label, const QString& value)
{
    return QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
        .arg(label.toHtmlEscaped(), value.toHtmlEscaped());
}

// "1.5 MB", "640 KB": the same units in both editions.
QString FileSizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

QString TfrmMain::MediaToolTip(const QString& path) const
{
    const TMediaInfo info = mediaReader->Info(path);
    const QString name = QFileInfo(path).fileName();
    QString html = QStringLiteral("<p><b>%1</b><br>%2</p>").arg(name.toHtmlEscaped(), path.toHtmlEscaped());
    switch (info.state) {
    case TMediaInfo::Unread:
        return html + QStringLiteral("<p>%1</p>").arg(messages.msgMediaReading.toHtmlEscaped());
    case TMediaInfo::Missing:
        return html + QStringLiteral("<p>%1</p>").arg(messages.msgMediaMissing.toHtmlEscaped());
    case TMediaInfo::Unreadable:
    case TMediaInfo::Failed:
        return html + QStringLiteral("<p>%1</p>").arg(messages.msgMediaUnreadable.toHtmlEscaped());
    case TMediaInfo::Readable:
        break;
    }
    QString rows;
    rows +=
        ToolTipRow(messages.msgMediaDuration,
                   info.durationSeconds > 0 ? SecondsToTimeText(qint64(std::llround(info.durationSeconds)))
                                            : QStringLiteral("?"));
    rows += ToolTipRow(messages.msgMediaContainer, info.container);
    if (info.HasVideo()) {
        rows += ToolTipRow(messages.msgMediaVideoCodec, info.videoCodec);
        rows += ToolTipRow(messages.msgMediaFrameSize,
                           info.width > 0 ? QStringLiteral("%1×%2").arg(info.width).arg(info.height)
                                          : QStringLiteral("?"));
        const QString rate = TMediaInfoReader::RateText(info.frameRate);
        rows += ToolTipRow(messages.msgMediaFrameRate,
                           rate.isEmpty() ? QStringLiteral("?") : rate + QStringLiteral(" fps"));
    } else {
        rows += ToolTipRow(messages.msgMediaVideoCodec, messages.msgMediaNone);
    }
    if (!info.audioCodec.isEmpty()) {
        rows += ToolTipRow(messages.msgMediaAudioCodec, info.audioCodec);
        rows += ToolTipRow(messages.msgMediaSampleRate, info.sampleRate > 0
                                                            ? QStringLiteral("%1 Hz").arg(info.sampleRate)
                                                            : QStringLiteral("?"));
        QString channels = info.channels > 0 ? QString::number(info.channels) : QStringLiteral("?");
        if (!info.channelLayout.isEmpty())
            channels += QStringLiteral(" (%1)").arg(info.channelLayout);
        rows += ToolTipRow(messages.msgMediaChannels, channels);
    } else {
        rows += ToolTipRow(messages.msgMediaAudioCodec, messages.msgMediaNone);
    }
    if (info.fileSize >= 0)
        rows += ToolTipRow(messages.msgMediaFileSize, FileSizeText(info.fileSize));
    QString picture;
    // The picture is loaded here, once it is there; a file that does not load gives none.
    if (!info.thumbnail.isEmpty() && !QImage(info.thumbnail).isNull())
        picture = QStringLiteral("<td valign='top'><img src='%1'></td>")
                      .arg(QUrl::fromLocalFile(info.thumbnail).toString().toHtmlEscaped());
    return html +
           QStringLiteral("<table cellspacing='4'><tr>%1<td valign='top'><table>%2</table></td></tr></table>")
               .arg(picture, rows);
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
