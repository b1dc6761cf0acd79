#pragma once
// The panel that edits one job-list item's start and duration texts; it lies over the job
// list and is hidden until opened. The main window fills it and applies what it holds.

#include <QGroupBox>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

class TTimeWindowEditor : public QGroupBox
{
    Q_OBJECT

public:
    explicit TTimeWindowEditor(QWidget* parent = nullptr);

    // Fills the edits from an item's texts and remembers them for Escape.
    void Fill(const QString& fileName, const QString& startText, const QString& durationText);
    // False (and the error shown once) while an edit that was changed misses required digits.
    bool EditsAcceptable();

    QLabel* LabelEditItemFile;
    QLabel* LabelEditItemFileName;
    QLabel* LabelFileStartTime;
    QLineEdit* MaskEditFileStartTime;
    QLabel* LabelFileDuration;
    QLineEdit* MaskEditItemFileDuration;
    QLabel* LabelEditItemMinutes;
    QPushButton* ButtonEditItemOK;
    QPushButton* ButtonEditItemCancel;

    // The key filter of the duration edit; true when the key is discarded.
    bool MaskEditItemFileDurationKeyPress(QChar key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RefuseLeaving(QLineEdit* edit);

    QString savedStart;
    QString savedDuration;
    bool refusing = false;
};
