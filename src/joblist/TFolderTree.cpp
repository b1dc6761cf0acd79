#include "joblist/TFolderTree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMouseEvent>

TFolderTree::TFolderTree(QWidget* parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
}

void TFolderTree::EnsureModel()
{
    if (model)
        return;
    // Built on first use: listing the file system costs nothing at start-up then.
    model = new QFileSystemModel(this);
    model->setOption(QFileSystemModel::DontWatchForChanges, true);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model->setReadOnly(true);
    model->setRootPath(QStringLiteral("/"));
    setModel(model);
    for (int column = 1; column < model->columnCount(); ++column)
        hideColumn(column);
    setRootIndex(model->index(QStringLiteral("/")).parent());
}

void TFolderTree::RevealChosen()
{
    if (!model || revealFolder.isEmpty())
        return;
    const QModelIndex index = model->index(revealFolder);
    if (index.isValid())
        scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TFolderTree::showEvent(QShowEvent* event)
{
    EnsureModel();
    if (!pendingFolder.isEmpty()) {
        const QString folder = pendingFolder;
        pendingFolder.clear();
        SelectFolder(folder);
    }
    QTreeView::showEvent(event);
}

void TFolderTree::updateGeometries()
{
    QTreeView::updateGeometries();
    // The rows are laid out late and in batches, as the model lists folders in the background:
    // only now does the scroll range reach the chosen folder, so it is scrolled to again.
    if (!revealing) {
        revealing = true;
        RevealChosen();
        revealing = false;
    }
}

QString TFolderTree::SelectedFolder() const
{
    if (!model)
        return pendingFolder;
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return QString();
    return model->filePath(rows.first());
}

void TFolderTree::SelectFolder(const QString& folder)
{
    // Before the first show the choice waits, so no listing happens at start-up.
    if (!model) {
        pendingFolder = folder;
        return;
    }
    QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (!path.isEmpty() && !QFileInfo(path).isDir() && path != QStringLiteral("/"))
        path = QFileInfo(path).absolutePath();
    const QModelIndex index = model->index(path);
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    revealFolder = path;
    RevealChosen();
}

void TFolderTree::keyPressEvent(QKeyEvent* event)
{
    // The user browses now: folders loading late must not move the view away.
    revealFolder.clear();
    QTreeView::keyPressEvent(event);
}

void TFolderTree::wheelEvent(QWheelEvent* event)
{
    revealFolder.clear();
    QTreeView::wheelEvent(event);
}

void TFolderTree::mousePressEvent(QMouseEvent* event)
{
    revealFolder.clear();
    // Right click selects, as a left click does.
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
        return;
    }
    QTreeView::mousePressEvent(event);
}
