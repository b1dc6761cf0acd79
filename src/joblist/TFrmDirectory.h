#pragma once
// The output-folder chooser: a folders-only tree with OK and Cancel, shown modally by the main
// window. Created once at start-up and hidden between uses.

#include <QDialog>
#include <QString>

class IniFile;
class QLabel;
class QPushButton;
class TFolderTree;

class TFrmDirectory : public QDialog
{
    Q_OBJECT

public:
    explicit TFrmDirectory(QWidget* parent = nullptr);

    void LoadLanguage(const IniFile& language);
    void ButtonOKClick();
    void ButtonCancelClick();

    QLabel* LabelDirectory;
    TFolderTree* ShellTreeView1;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;
    // The folder chosen by the last OK; empty after Cancel.
    QString chosenFolder;

protected:
    void reject() override;
};
