#include "dialogs/TfrmOverWrite.h"

#include "engine/OutputNames.h"
#include "platform/AppError.h"
#include "platform/IniFile.h"
#include "platform/SafeFormat.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The window's size with a question of the usual length.
constexpr QSize windowSize(354, 118);

} // namespace

TfrmOverWrite::TfrmOverWrite(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmOverWrite"));
    setWindowTitle(QStringLiteral("文件已存在"));
    setModal(true);

    question = QStringLiteral("文件已存在，是否覆盖？");
    labelDes = new QLabel(question, this);
    labelDes->setObjectName(QStringLiteral("labelDes"));
    labelDes->setAlignment(Qt::AlignCenter);
    labelDes->setWordWrap(true);
    QFont bold = labelDes->font();
    bold.setBold(true);
    labelDes->setFont(bold);

    buttonOverWrite = new QPushButton(QStringLiteral("覆盖"), this);
    buttonOverWrite->setObjectName(QStringLiteral("buttonOverWrite"));
    buttonIgnore = new QPushButton(QStringLiteral("忽略"), this);
    buttonIgnore->setObjectName(QStringLiteral("buttonIgnore"));
    buttonAutoName = new QPushButton(QStringLiteral("自动命名"), this);
    buttonAutoName->setObjectName(QStringLiteral("buttonAutoName"));
    // Enter answers with the focused button, and with "name automatically" when the focus is
    // elsewhere.
    buttonAutoName->setDefault(true);

    checkBoxNotice = new QCheckBox(QStringLiteral("下次不再提示，均依此次选择执行"), this);
    checkBoxNotice->setObjectName(QStringLiteral("checkBoxNotice"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(buttonOverWrite);
    buttons->addWidget(buttonIgnore);
    buttons->addWidget(buttonAutoName);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(labelDes, 1);
    layout->addLayout(buttons);
    layout->addWidget(checkBoxNotice);
    setFixedSize(windowSize);

    connect(buttonOverWrite, &QPushButton::clicked, this, &TfrmOverWrite::buttonOverWriteClick);
    connect(buttonIgnore, &QPushButton::clicked, this, &TfrmOverWrite::buttonIgnoreClick);
    connect(buttonAutoName, &QPushButton::clicked, this, &TfrmOverWrite::buttonAutoNameClick);
}

void TfrmOverWrite::LoadLanguage(const QString& languageFile)
{
    const IniFile ini(languageFile);
    const QString section = QStringLiteral("frmOverWrite");
    const auto text = [&](const char* key) { return ini.ReadString(section, QLatin1String(key), QString()); };
    setWindowTitle(text("caption"));
    question = text("labelDes");
    labelDes->setText(question);
    buttonOverWrite->setText(text("buttonOverWrite"));
    buttonIgnore->setText(text("buttonIgnore"));
    buttonAutoName->setText(text("buttonAutoName"));
    checkBoxNotice->setText(text("checkBoxNotice"));
}

quint8 TfrmOverWrite::Ask(const QString& outputPath)
{
    ShowQuestion(outputPath);
    // Only a button sets an answer; the close box and Escape leave this skip-once.
    answer = owSkipOnce;
    buttonAutoName->setFocus();
    exec();
    return answer;
}

void TfrmOverWrite::ShowQuestion(const QString& outputPath)
{
    if (outputPath.isEmpty()) {
        labelDes->setText(question);
        labelDes->setToolTip(QString());
        return;
    }
    // Measured in the window's usual size: the label's width, and the height it has there.
    setFixedSize(windowSize);
    layout()->activate();
    const int usualHeight = labelDes->height();
    // However long, the name takes one line of the label at most.
    const QString name = labelDes->fontMetrics().elidedText(QFileInfo(outputPath).fileName(), Qt::ElideMiddle,
                                                            qMax(40, labelDes->width()));
    QString text;
    try {
        text = question.contains(QLatin1String("%s")) ? SafeFormat(question, name) : name + u'\n' + question;
    } catch (const AppError&) {
        // A question that does not format still names the file.
        text = name + u'\n' + question;
    }
    labelDes->setText(text);
    labelDes->setToolTip(QDir::toNativeSeparators(outputPath));
    // A question of more lines than the window has room for makes it taller.
    const int needed = labelDes->heightForWidth(labelDes->width());
    setFixedSize(windowSize.width(), windowSize.height() + qMax(0, needed - usualHeight));
}

QString TfrmOverWrite::ResolveOutputName(const QString& outputPath, quint8& overwriteAnswer)
{
    return ::ResolveOutputName(outputPath, overwriteAnswer, [this, &outputPath] { return Ask(outputPath); });
}

void TfrmOverWrite::buttonOverWriteClick()
{
    answer = OverwriteAnswerFor(TOverwriteButton::OverWrite, checkBoxNotice->isChecked());
    done(6);
}

void TfrmOverWrite::buttonIgnoreClick()
{
    answer = OverwriteAnswerFor(TOverwriteButton::Ignore, checkBoxNotice->isChecked());
    done(7);
}

void TfrmOverWrite::buttonAutoNameClick()
{
    answer = OverwriteAnswerFor(TOverwriteButton::AutoName, checkBoxNotice->isChecked());
    done(6);
}
