#include "TfrmUpdate.h"

#include "platform/TfrmCommon.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmUpdate::TfrmUpdate(const TfrmCommon* common, const QString& version, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      frmCommon(common)
{
    setObjectName(QStringLiteral("frmUpdate"));
    const bool chinese = common->IsChineseEdition();
    // The updater runs without the program's language files, so it carries both editions' texts.
    QString product = common->GetProductName();
    if (product.isEmpty())
        product = chinese ? QStringLiteral("Velmora 视频转换器") : QStringLiteral("Velmora Video Converter");

    setWindowTitle(product + (chinese ? QStringLiteral(" - 在线升级") : QStringLiteral(" - Update")));
    labelVersion =
        new QLabel((chinese ? QStringLiteral("已安装版本：%1 %2") : QStringLiteral("Installed: %1 %2"))
                       .arg(product, version),
                   this);
    labelVersion->setObjectName(QStringLiteral("labelVersion"));
    QFont bold = labelVersion->font();
    bold.setBold(true);
    labelVersion->setFont(bold);
    labelVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    labelWhere = new QLabel(chinese ? QStringLiteral("本程序不会下载任何内容。新版本发布在我们的主页上：")
                                    : QStringLiteral("This updater downloads nothing. Newer versions are "
                                                     "published on our home page:"),
                            this);
    labelWhere->setObjectName(QStringLiteral("labelWhere"));
    labelWhere->setWordWrap(true);

    labelHomePage = new QLabel(this);
    labelHomePage->setObjectName(QStringLiteral("labelHomePage"));
    labelHomePage->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(common->homePageLink.toHtmlEscaped()));
    labelHomePage->setTextFormat(Qt::RichText);
    labelHomePage->setTextInteractionFlags(Qt::TextBrowserInteraction);
    labelHomePage->setOpenExternalLinks(false);
    connect(labelHomePage, &QLabel::linkActivated, this, [this] { ButtonHomePageClick(); });

    buttonHomePage =
        new QPushButton(chinese ? QStringLiteral("打开主页(&O)") : QStringLiteral("&Open home page"), this);
    buttonHomePage->setObjectName(QStringLiteral("buttonHomePage"));
    buttonHomePage->setDefault(true);
    buttonClose = new QPushButton(chinese ? QStringLiteral("关闭(&C)") : QStringLiteral("&Close"), this);
    buttonClose->setObjectName(QStringLiteral("buttonClose"));
    buttonClose->setAutoDefault(false);
    connect(buttonHomePage, &QPushButton::clicked, this, &TfrmUpdate::ButtonHomePageClick);
    connect(buttonClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(buttonHomePage);
    buttons->addWidget(buttonClose);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 12);
    layout->setSpacing(10);
    layout->addWidget(labelVersion);
    layout->addWidget(labelWhere);
    layout->addWidget(labelHomePage);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(400);
}

void TfrmUpdate::ButtonHomePageClick()
{
    frmCommon->OpenHomePage();
    accept();
}
