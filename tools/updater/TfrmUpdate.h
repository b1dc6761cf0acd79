#pragma once
// The updater's one window: which version is installed and the edition's home page, where
// newer versions are published. Nothing is downloaded.

#include <QDialog>

class QLabel;
class QPushButton;
class TfrmCommon;

class TfrmUpdate : public QDialog
{
    Q_OBJECT

public:
    TfrmUpdate(const TfrmCommon* common, const QString& version, QWidget* parent = nullptr);

    void ButtonHomePageClick();

    QLabel* labelVersion = nullptr;
    QLabel* labelWhere = nullptr;
    QLabel* labelHomePage = nullptr;
    QPushButton* buttonHomePage = nullptr;
    QPushButton* buttonClose = nullptr;

private:
    const TfrmCommon* frmCommon;
};
