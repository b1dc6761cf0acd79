#pragma once
// A folders-only tree of the file system, rooted at "/", as both folder choosers show it:
// not refreshed automatically, right click selects, the selected folder's full path.

#include <QTreeView>

class QFileSystemModel;

class TFolderTree : public QTreeView
{
    Q_OBJECT

public:
    explicit TFolderTree(QWidget* parent = nullptr);

    // The selected folder's full path; empty when nothing is selected. Before the first show,
    // the folder that SelectFolder asked for.
    QString SelectedFolder() const;
    // Selects and reveals a folder (the nearest existing parent when it is missing).
    void SelectFolder(const QString& folder);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void updateGeometries() override;

private:
    void EnsureModel();
    void RevealChosen();

    QFileSystemModel* model = nullptr;
    QString pendingFolder;
    QString revealFolder; // kept in view until the user takes over
    bool revealing = false;
};
