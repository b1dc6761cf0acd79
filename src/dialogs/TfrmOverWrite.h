#pragma once
// The existing-output prompt: asks whether an output file that exists already is overwritten,
// skipped or written under a free automatic name, optionally for every later file as well, and
// names that file. Created hidden once and shown again for each question, so the check box
// keeps its state.

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;

class TfrmOverWrite : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmOverWrite(QWidget* parent = nullptr);

    // Captions from section [frmOverWrite]; a missing key empties its control. labelDes is the
    // question, with "%s" where the file's name goes.
    void LoadLanguage(const QString& languageFile);

    // Shows the prompt modally about the output at outputPath and returns the answer (a
    // TOverwriteAnswer value). Closing it with the close box or Escape answers owSkipOnce:
    // this file is skipped, nothing remembered.
    quint8 Ask(const QString& outputPath = QString());

    // The question about outputPath: its file name in the question, shortened in the middle to
    // fit the label's width, and the whole path in the label's tool tip.
    void ShowQuestion(const QString& outputPath);

    // Settles the output path for the batch run: the path to write, or an empty text to skip
    // the item. overwriteAnswer is the caller's remembered answer (0 at program start).
    QString ResolveOutputName(const QString& outputPath, quint8& overwriteAnswer);

    quint8 answer = 0;

    QLabel* labelDes = nullptr;
    QPushButton* buttonOverWrite = nullptr;
    QPushButton* buttonIgnore = nullptr;
    QPushButton* buttonAutoName = nullptr;
    QCheckBox* checkBoxNotice = nullptr;

private:
    QString question; // labelDes as the language file has it

    void buttonOverWriteClick();
    void buttonIgnoreClick();
    void buttonAutoNameClick();
};
