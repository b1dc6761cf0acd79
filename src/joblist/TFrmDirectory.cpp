#include "joblist/TFrmDirectory.h"

#include "joblist/TFolderTree.h"
#include "platform/IniFile.h"

#include <QLabel>
#include <QPushButton>

TFrmDirectory::TFrmDirectory(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmDirectory"));
    setWindowTitle(QStringLiteral("Choose a directory"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(401, 306);
    setModal(true);

    LabelDirectory = new QLabel(QStringLiteral("Directory"), this);
    LabelDirectory->setObjectName(QStringLiteral("LabelDirectory"));
    LabelDirectory->setGeometry(8, 8, 385, 18);
    ShellTreeView1 = new TFolderTree(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setGeometry(8, 28, 385, 236);
    ButtonOK = new QPushButton(QStringLiteral("&OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(218, 272, 84, 26);
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setGeometry(309, 272, 84, 26);
    connect(ButtonOK, &QPushButton::clicked, this, &TFrmDirectory::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFrmDirectory::ButtonCancelClick);
}

void TFrmDirectory::LoadLanguage(const IniFile& language)
{
    const QString section = QStringLiteral("frmDirectory");
    setWindowTitle(language.ReadString(section, QStringLiteral("caption"), QString()));
    LabelDirectory->setText(language.ReadString(section, QStringLiteral("labelDiretroy"), QString()));
    ButtonOK->setText(language.ReadString(section, QStringLiteral("buttonOK"), QString()));
    ButtonCancel->setText(language.ReadString(section, QStringLiteral("buttonCancel"), QString()));
}

void TFrmDirectory::ButtonOKClick()
{
    const QString folder = ShellTreeView1->SelectedFolder();
    // Nothing selected: the window stays open.
    if (folder.isEmpty())
        return;
    chosenFolder = folder;
    accept();
}

void TFrmDirectory::ButtonCancelClick()
{
    reject();
}

void TFrmDirectory::reject()
{
    chosenFolder.clear();
    QDialog::reject();
}
