#pragma once
// The add-folder window: a folders-only tree, the sub-folder choice and an extension filter.
// Shown modeless; OK hides it and asks for the folder scan. Keeps its state between uses.

#include <QDialog>
#include <QString>

class IniFile;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TFolderTree;

class TFrmBatchAdd : public QDialog
{
    Q_OBJECT

public:
    explicit TFrmBatchAdd(QWidget* parent = nullptr);

    void LoadLanguage(const IniFile& language);
    void buttonOKClick();
    void buttonCancelClick();

    QLabel* labelDirectory;
    TFolderTree* ShellTreeView;
    QCheckBox* checkBoxIsSubDirectorie;
    QLabel* labelFileNameExt;
    QLineEdit* editExt;
    QLabel* labelNoticeFileNameExt;
    QPushButton* buttonOK;
    QPushButton* buttonCancel;

signals:
    // The folder, whether to enter sub-folders, and the trimmed filter ("" counts as "*").
    void FolderChosen(const QString& folder, bool includeSubFolders, const QString& filter);
};
