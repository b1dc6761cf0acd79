#include "dialogs/TfrmOverWrite.h"

#include "engine/OutputNames.h"
#include "platform/IniFile.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmOverWrite::TfrmOverWrite(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmOverWrite"));
    setWindowTitle(QStringLiteral("文件已存在"));
    setModal(true);

    labelDes = new QLabel(QStringLiteral("文件已存在，是否覆盖？"), this);
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
    setFixedSize(354, 118);

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
    labelDes->setText(text("labelDes"));
    buttonOverWrite->setText(text("buttonOverWrite"));
    buttonIgnore->setText(text("buttonIgnore"));
    buttonAutoName->setText(text("buttonAutoName"));
    checkBoxNotice->setText(text("checkBoxNotice"));
}

quint8 TfrmOverWrite::Ask()
{
    // Only a button sets an answer; the close box and Escape leave this skip-once.
    answer = owSkipOnce;
    buttonAutoName->setFocus();
    exec();
    return answer;
}

QString TfrmOverWrite::ResolveOutputName(const QString& outputPath, quint8& overwriteAnswer)
{
    return ::ResolveOutputName(outputPath, overwriteAnswer, [this] { return Ask(); });
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
