#pragma once
// The welcome window: offers the online help after start-up until the user ticks the box that
// asks not to show it again ([setting] displayHelpDialog in config.ini).

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class TfrmCommon;

class TfrmHelpDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmHelpDialog(const TfrmCommon* common, QWidget* parent = nullptr);

    // Captions from section [frmHelpDialog]; a missing key empties its control.
    void LoadLanguage(const QString& languageFile);

    void ButtonYesClick();
    void ButtonNoClick();
    // Writes displayHelpDialog 0 when the box is now ticked, 1 when it is now clear.
    void CheckBoxDontDisplayClick();

    QLabel* LabelWelcom = nullptr;
    QLabel* LabelIntroduction = nullptr;
    QPushButton* ButtonYes = nullptr;
    QPushButton* ButtonNo = nullptr;
    QCheckBox* CheckBoxDontDisplay = nullptr;

    static constexpr int ClientWidth = 363;
    static constexpr int ClientHeight = 206;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const TfrmCommon* frmCommon;
};
