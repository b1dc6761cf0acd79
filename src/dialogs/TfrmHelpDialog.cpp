#include "dialogs/TfrmHelpDialog.h"

#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TfrmHelpDialog::TfrmHelpDialog(const TfrmCommon* common, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      frmCommon(common)
{
    setObjectName(QStringLiteral("frmHelpDialog"));
    setWindowTitle(QStringLiteral("frmHelpDialog"));
    setModal(false);

    LabelWelcom =
        new QLabel(QStringLiteral("Welcome to Velmora Video Converter, the best software for  converting "
                                  "video files between almost all popular video and audio formats."),
                   this);
    LabelWelcom->setObjectName(QStringLiteral("LabelWelcom"));
    LabelWelcom->setWordWrap(true);
    LabelWelcom->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont bold = LabelWelcom->font();
    bold.setBold(true);
    LabelWelcom->setFont(bold);

    LabelIntroduction = new QLabel(
        QStringLiteral("Would you like to view a short demo of how to use it quickly and easily?"), this);
    LabelIntroduction->setObjectName(QStringLiteral("LabelIntroduction"));
    LabelIntroduction->setWordWrap(true);
    LabelIntroduction->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    ButtonYes = new QPushButton(QStringLiteral("&YES"), this);
    ButtonYes->setObjectName(QStringLiteral("ButtonYes"));
    ButtonYes->setDefault(true);
    ButtonNo = new QPushButton(QStringLiteral("&NO"), this);
    ButtonNo->setObjectName(QStringLiteral("ButtonNo"));
    ButtonNo->setAutoDefault(false);

    CheckBoxDontDisplay = new QCheckBox(QStringLiteral("Don't show this dialog again"), this);
    CheckBoxDontDisplay->setObjectName(QStringLiteral("CheckBoxDontDisplay"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonYes);
    buttons->addWidget(ButtonNo);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->setSpacing(8);
    layout->addWidget(LabelWelcom);
    layout->addWidget(LabelIntroduction);
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->addWidget(CheckBoxDontDisplay);
    setFixedSize(ClientWidth, ClientHeight);

    connect(ButtonYes, &QPushButton::clicked, this, &TfrmHelpDialog::ButtonYesClick);
    connect(ButtonNo, &QPushButton::clicked, this, &TfrmHelpDialog::ButtonNoClick);
    // clicked, not toggled: only the user's own clicks are choices to save.
    connect(CheckBoxDontDisplay, &QCheckBox::clicked, this, &TfrmHelpDialog::CheckBoxDontDisplayClick);
}

void TfrmHelpDialog::LoadLanguage(const QString& languageFile)
{
    const IniFile ini(languageFile);
    const QString section = QStringLiteral("frmHelpDialog");
    const auto text = [&](const char* key) { return ini.ReadString(section, QLatin1String(key), QString()); };
    setWindowTitle(text("title"));
    LabelWelcom->setText(text("labelWelcom"));
    LabelIntroduction->setText(text("labelIntroduction"));
    CheckBoxDontDisplay->setText(text("checkBoxDontDisplay"));
    ButtonYes->setText(text("ButtonYes"));
    ButtonNo->setText(text("ButtonNo"));
}

void TfrmHelpDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        CheckBoxDontDisplay->setChecked(false);
        if (QWidget* owner = parentWidget())
            move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

void TfrmHelpDialog::ButtonYesClick()
{
    frmCommon->OpenOnlineHelp();
    hide();
}

void TfrmHelpDialog::ButtonNoClick()
{
    hide();
}

void TfrmHelpDialog::CheckBoxDontDisplayClick()
{
    IniFile(frmCommon->configFile)
        .WriteInteger(QStringLiteral("setting"), QStringLiteral("displayHelpDialog"),
                      CheckBoxDontDisplay->isChecked() ? 0 : 1);
}
