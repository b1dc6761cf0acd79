#include "joblist/TTimeWindowEditor.h"

#include "joblist/TimeWindowText.h"
#include "platform/AppError.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

TTimeWindowEditor::TTimeWindowEditor(QWidget* parent) : QGroupBox(parent)
{
    // A flat panel without a caption over the list, as the window is meant to look.
    setFlat(true);
    setAutoFillBackground(true);

    LabelEditItemFile = new QLabel(QStringLiteral("File"), this);
    LabelEditItemFile->setObjectName(QStringLiteral("LabelEditItemFile"));
    LabelEditItemFile->setGeometry(8, 8, 90, 18);
    LabelEditItemFileName = new QLabel(this);
    LabelEditItemFileName->setObjectName(QStringLiteral("LabelEditItemFileName"));
    LabelEditItemFileName->setGeometry(100, 8, 345, 18);
    LabelEditItemFileName->setTextFormat(Qt::PlainText);

    LabelFileStartTime = new QLabel(QStringLiteral("Start Time:"), this);
    LabelFileStartTime->setObjectName(QStringLiteral("LabelFileStartTime"));
    LabelFileStartTime->setGeometry(8, 36, 70, 18);
    LabelFileStartTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MaskEditFileStartTime = new QLineEdit(this);
    MaskEditFileStartTime->setObjectName(QStringLiteral("MaskEditFileStartTime"));
    MaskEditFileStartTime->setGeometry(80, 34, 66, 22);

    LabelFileDuration = new QLabel(QStringLiteral("Duration:"), this);
    LabelFileDuration->setObjectName(QStringLiteral("LabelFileDuration"));
    LabelFileDuration->setGeometry(150, 36, 62, 18);
    LabelFileDuration->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    MaskEditItemFileDuration = new QLineEdit(this);
    MaskEditItemFileDuration->setObjectName(QStringLiteral("MaskEditItemFileDuration"));
    MaskEditItemFileDuration->setGeometry(214, 34, 66, 22);

    LabelEditItemMinutes = new QLabel(QStringLiteral("(Second)"), this);
    LabelEditItemMinutes->setObjectName(QStringLiteral("LabelEditItemMinutes"));
    LabelEditItemMinutes->setGeometry(284, 36, 56, 18);

    ButtonEditItemOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonEditItemOK->setObjectName(QStringLiteral("ButtonEditItemOK"));
    ButtonEditItemOK->setGeometry(342, 33, 50, 24);
    ButtonEditItemCancel = new QPushButton(QStringLiteral("Cancel"), this);
    ButtonEditItemCancel->setObjectName(QStringLiteral("ButtonEditItemCancel"));
    ButtonEditItemCancel->setGeometry(395, 33, 52, 24);

    for (QLineEdit* edit : {MaskEditFileStartTime, MaskEditItemFileDuration}) {
        edit->setInputMask(TimeWindowText::InputMask());
        edit->setMaxLength(8);
        edit->setText(TimeWindowText::Zero());
        edit->installEventFilter(this);
    }
    savedStart = savedDuration = TimeWindowText::Zero();
}

void TTimeWindowEditor::Fill(const QString& fileName, const QString& startText, const QString& durationText)
{
    // One line that fits the label: a deep path or a name with a line break would otherwise be
    // cut at the right or overlap the edits below. The whole name stays in the tool tip.
    QString shown = fileName;
    for (QChar& c : shown)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    LabelEditItemFileName->setText(LabelEditItemFileName->fontMetrics().elidedText(
        shown, Qt::ElideMiddle, LabelEditItemFileName->width()));
    LabelEditItemFileName->setToolTip(fileName);
    MaskEditFileStartTime->setText(TimeWindowText::ForEdit(startText, false));
    MaskEditItemFileDuration->setText(TimeWindowText::ForEdit(durationText, true));
    MaskEditFileStartTime->setModified(false);
    MaskEditItemFileDuration->setModified(false);
    savedStart = MaskEditFileStartTime->text();
    savedDuration = MaskEditItemFileDuration->text();
}

bool TTimeWindowEditor::MaskEditItemFileDurationKeyPress(QChar key)
{
    return !TimeWindowText::IsDurationKey(key);
}

bool TTimeWindowEditor::EditsAcceptable()
{
    for (QLineEdit* edit : {MaskEditFileStartTime, MaskEditItemFileDuration}) {
        if (edit->isModified() && !edit->hasAcceptableInput()) {
            RefuseLeaving(edit);
            return false;
        }
    }
    return true;
}

void TTimeWindowEditor::RefuseLeaving(QLineEdit* edit)
{
    if (refusing)
        return;
    refusing = true;
    QApplication::beep();
    // The edit keeps the focus; the error reaches the event loop's report once this handler
    // has returned, so it never interrupts a focus change half-way.
    QTimer::singleShot(0, edit, [this, edit] {
        refusing = false;
        // Cancel may have closed the panel meanwhile.
        if (!isVisible())
            return;
        edit->setFocus(Qt::OtherFocusReason);
        throw AppError(TimeWindowText::InvalidInputMessage());
    });
}

bool TTimeWindowEditor::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QGroupBox::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            edit->setText(edit == MaskEditFileStartTime ? savedStart : savedDuration);
            edit->setModified(false);
            return true;
        }
        if (edit == MaskEditItemFileDuration && !key->text().isEmpty()) {
            const QChar c = key->text().at(0);
            // Tab, Enter and Escape move the focus or end the edit; they are no typed text.
            const bool navigation = c == u'\t' || c == u'\r' || c == u'\n' || c == QChar(27);
            if (!navigation && MaskEditItemFileDurationKeyPress(c))
                return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Leaving for Cancel abandons the edit, so it is no reason to complain; nor is the
        // window losing the focus to another window or a menu: the edit keeps its focus there.
        const bool toCancel = QApplication::focusWidget() == ButtonEditItemCancel;
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const bool windowChange = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
        if (edit->isModified() && !edit->hasAcceptableInput() && isVisible() && !toCancel && !windowChange)
            RefuseLeaving(edit);
    }
    return QGroupBox::eventFilter(watched, event);
}
