#include "joblist/TFrmBatchAdd.h"

#include "joblist/TFolderTree.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TrimText.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TFrmBatchAdd::TFrmBatchAdd(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmBatchAdd"));
    setWindowTitle(QStringLiteral("Add Files"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(402, 271);
    setModal(false);

    labelDirectory = new QLabel(QStringLiteral("Directory"), this);
    labelDirectory->setObjectName(QStringLiteral("labelDirectory"));
    labelDirectory->setGeometry(8, 8, 386, 18);
    ShellTreeView = new TFolderTree(this);
    ShellTreeView->setObjectName(QStringLiteral("ShellTreeView"));
    ShellTreeView->setGeometry(8, 28, 386, 150);
    checkBoxIsSubDirectorie = new QCheckBox(QStringLiteral("Include Sub Directorie"), this);
    checkBoxIsSubDirectorie->setObjectName(QStringLiteral("checkBoxIsSubDirectorie"));
    checkBoxIsSubDirectorie->setGeometry(8, 184, 386, 20);
    labelFileNameExt = new QLabel(QStringLiteral("扩展名"), this);
    labelFileNameExt->setObjectName(QStringLiteral("labelFileNameExt"));
    labelFileNameExt->setGeometry(8, 212, 72, 18);
    editExt = new QLineEdit(QStringLiteral("*"), this);
    editExt->setObjectName(QStringLiteral("editExt"));
    editExt->setGeometry(82, 209, 60, 22);
    labelNoticeFileNameExt = new QLabel(QStringLiteral("(*为任意，其它请输入，如avi等)"), this);
    labelNoticeFileNameExt->setObjectName(QStringLiteral("labelNoticeFileNameExt"));
    labelNoticeFileNameExt->setGeometry(148, 212, 246, 18);
    buttonOK = new QPushButton(QStringLiteral("&OK"), this);
    buttonOK->setObjectName(QStringLiteral("buttonOK"));
    buttonOK->setGeometry(219, 238, 84, 26);
    buttonOK->setDefault(true);
    buttonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    buttonCancel->setObjectName(QStringLiteral("buttonCancel"));
    buttonCancel->setGeometry(310, 238, 84, 26);
    // The first use starts in the user's home folder, or at the root when there is none.
    const QString home = HomeFolder();
    ShellTreeView->SelectFolder(home.isEmpty() ? QDir::rootPath() : home);
    connect(buttonOK, &QPushButton::clicked, this, &TFrmBatchAdd::buttonOKClick);
    connect(buttonCancel, &QPushButton::clicked, this, &TFrmBatchAdd::buttonCancelClick);
}

void TFrmBatchAdd::LoadLanguage(const IniFile& language)
{
    const QString section = QStringLiteral("frmBatchAdd");
    auto read = [&](const char* key) {
        return language.ReadString(section, QString::fromLatin1(key), QString());
    };
    setWindowTitle(read("caption"));
    labelDirectory->setText(read("labelDirectory"));
    checkBoxIsSubDirectorie->setText(read("checkBoxIsSubDirectorie"));
    labelFileNameExt->setText(read("labelFileNameExt"));
    labelNoticeFileNameExt->setText(read("labelNoticeFileNameExt"));
    buttonOK->setText(read("buttonOK"));
    buttonCancel->setText(read("buttonCancel"));
}

void TFrmBatchAdd::buttonOKClick()
{
    const QString folder = ShellTreeView->SelectedFolder();
    // Nothing selected: the window stays open.
    if (folder.isEmpty())
        return;
    hide();
    emit FolderChosen(folder, checkBoxIsSubDirectorie->isChecked(), TrimText(editExt->text()));
}

void TFrmBatchAdd::buttonCancelClick()
{
    hide();
}
