#include "shell/TfrmMain.h"

#include "dialogs/TMessageBox.h"
#include "joblist/TFrmBatchAdd.h"
#include "joblist/TFrmDirectory.h"
#include "joblist/TJobListDelegate.h"
#include "joblist/TTimeWindowEditor.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/IniFile.h"
#include "platform/TfrmCommon.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr int ClientWidth = 468;
constexpr int ClientHeight = 479;
constexpr int JobListColumnWidths[4] = {226, 66, 74, 74};

QLabel* MakeLabel(QWidget* parent, int x, int y, int w, int h, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, w, h);
    return label;
}

QComboBox* MakeCombo(QWidget* parent, int x, int y, int w, bool editable)
{
    auto* box = new QComboBox(parent);
    box->setEditable(editable);
    box->setGeometry(x, y, w, 22);
    return box;
}

} // namespace

TfrmMain::TfrmMain(TfrmCommon* common, QWidget* parent) : QMainWindow(parent), frmCommon(common)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Velmora MP4 Converter"));
    CreateActions();
    CreateControls();
    CreateMenus();
    ConnectJobList();
    // Fixed single border, minimise box and system menu only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The client area has a fixed size; the window follows it and the menu bar's height, which
    // changes with the language's font and the skin.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    // No encoder outlives the window, and no run signal reaches a window going away.
    if (BatchRun)
        BatchRun->Close();
}

void TfrmMain::CreateActions()
{
    auto make = [this](const QString& name, const QString& text, void (TfrmMain::*handler)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(name);
        if (handler)
            connect(action, &QAction::triggered, this, handler);
        return action;
    };
    ActionFileAdd =
        make(QStringLiteral("ActionFileAdd"), QStringLiteral("Add"), &TfrmMain::ActionFileAddExecute);
    ActionFileDelete = make(QStringLiteral("ActionFileDelete"), QStringLiteral("Remove"),
                            &TfrmMain::ActionFileDeleteExecute);
    ActionFileClearAll = make(QStringLiteral("ActionFileClearAll"), QStringLiteral("ClearAll"),
                              &TfrmMain::ActionFileClearAllExecute);
    ActionFileMoveUp = make(QStringLiteral("ActionFileMoveUp"), QStringLiteral("MoveUp"),
                            &TfrmMain::ActionFileMoveUpExecute);
    ActionFileMoveDown = make(QStringLiteral("ActionFileMoveDown"), QStringLiteral("MoveDown"),
                              &TfrmMain::ActionFileMoveDownExecute);
    ActionExit =
        make(QStringLiteral("ActionExit"), QStringLiteral("ActionExit"), &TfrmMain::ActionExitExecute);
    ActionSetDirectory = make(QStringLiteral("ActionSetDirectory"), QStringLiteral("ActionSetDirectory"),
                              &TfrmMain::ActionSetDirectoryExecute);
    ActionFileBatchAdd = make(QStringLiteral("ActionFileBatchAdd"), QStringLiteral("ActionFileBatchAdd"),
                              &TfrmMain::ActionFileBatchAddExecute);
    ActionConvertNow = make(QStringLiteral("ActionConvertNow"), QStringLiteral("ConvertNow"),
                            &TfrmMain::ActionConvertNowExecute);
    // One shortcut for both: only one of them is there at a time.
    ActionPause = make(QStringLiteral("ActionPause"), QStringLiteral("Pause"), &TfrmMain::ActionPauseExecute);
    ActionPause->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    ActionPause->setEnabled(false);
    ActionResume =
        make(QStringLiteral("ActionResume"), QStringLiteral("Resume"), &TfrmMain::ActionResumeExecute);
    ActionResume->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    ActionResume->setEnabled(false);
    ActionResume->setVisible(false);
    // Their shortcut works wherever the window has the focus, menus open or not.
    addAction(ActionPause);
    addAction(ActionResume);
    ActionLoadProfile = make(QStringLiteral("ActionLoadProfile"), QStringLiteral("ActionLoadProfile"),
                             &TfrmMain::ActionLoadProfileExecute);
    ActionChangeProfile = make(QStringLiteral("ActionChangeProfile"), QStringLiteral("ActionChangeProfile"),
                               &TfrmMain::ActionChangeProfileExecute);
}

// Buttons follow their action's caption and enabled state, as bound controls do.
static void BindButton(QPushButton* button, QAction* action)
{
    button->setText(action->text());
    button->setEnabled(action->isEnabled());
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, button, [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    });
}

void TfrmMain::CreateControls()
{
    clientArea = new QWidget(this);
    clientArea->setObjectName(QStringLiteral("clientArea"));
    clientArea->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(clientArea);

    listViewFiles = new QTreeWidget(clientArea);
    listViewFiles->setObjectName(QStringLiteral("listViewFiles"));
    listViewFiles->setGeometry(2, 2, 463, 137);
    listViewFiles->setColumnCount(4);
    listViewFiles->setHeaderLabels({QStringLiteral("文件列表"), QStringLiteral("开始时间"),
                                    QStringLiteral("转换长度"), QStringLiteral("状态")});
    // The status takes its room from the file name, which is cut in its middle and shown
    // whole in the tool tip; the time columns keep room for "00:00:00" and their captions.
    for (int column = 0; column < 4; ++column)
        listViewFiles->setColumnWidth(column, JobListColumnWidths[column]);
    listViewFiles->setRootIsDecorated(false);
    listViewFiles->setItemsExpandable(false);
    listViewFiles->setUniformRowHeights(true);
    listViewFiles->setAllColumnsShowFocus(true);
    listViewFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    listViewFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    listViewFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listViewFiles->setTextElideMode(Qt::ElideMiddle);
    listViewFiles->setMouseTracking(true);
    listViewFiles->setAttribute(Qt::WA_Hover);
    listViewFiles->setItemDelegate(new TJobListDelegate(listViewFiles));
    listViewFiles->header()->setStretchLastSection(false);
    listViewFiles->header()->setSectionsMovable(false);
    listViewFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    listViewFiles->viewport()->installEventFilter(this);

    GroupBoxEditItem = new TTimeWindowEditor(clientArea);
    GroupBoxEditItem->setObjectName(QStringLiteral("GroupBoxEditItem"));
    GroupBoxEditItem->setGeometry(7, 64, 453, 65);
    GroupBoxEditItem->hide();
    LabelEditItemFile = GroupBoxEditItem->LabelEditItemFile;
    LabelEditItemFileName = GroupBoxEditItem->LabelEditItemFileName;
    LabelFileStartTime = GroupBoxEditItem->LabelFileStartTime;
    MaskEditFileStartTime = GroupBoxEditItem->MaskEditFileStartTime;
    LabelFileDuration = GroupBoxEditItem->LabelFileDuration;
    MaskEditItemFileDuration = GroupBoxEditItem->MaskEditItemFileDuration;
    LabelEditItemMinutes = GroupBoxEditItem->LabelEditItemMinutes;
    ButtonEditItemOK = GroupBoxEditItem->ButtonEditItemOK;
    ButtonEditItemCancel = GroupBoxEditItem->ButtonEditItemCancel;
    connect(ButtonEditItemOK, &QPushButton::clicked, this, &TfrmMain::ButtonEditItemOKClick);
    connect(ButtonEditItemCancel, &QPushButton::clicked, this, &TfrmMain::ButtonEditItemCancelClick);

    groupBoxButtons = new QGroupBox(clientArea);
    groupBoxButtons->setObjectName(QStringLiteral("groupBoxButtons"));
    groupBoxButtons->setGeometry(2, 140, 463, 38);
    auto makeButton = [this](const QString& name, int x, QAction* action) {
        auto* button = new QPushButton(groupBoxButtons);
        button->setObjectName(name);
        button->setGeometry(x, 7, 84, 25);
        BindButton(button, action);
        return button;
    };
    // Five buttons spread evenly over the frame, wide enough for their captions in this
    // platform's fonts (the captions come from the language file).
    buttonAdd = makeButton(QStringLiteral("buttonAdd"), 7, ActionFileAdd);
    buttonDelete = makeButton(QStringLiteral("buttonDelete"), 98, ActionFileDelete);
    buttonClearAll = makeButton(QStringLiteral("buttonClearAll"), 189, ActionFileClearAll);
    buttonMoveUp = makeButton(QStringLiteral("buttonMoveUp"), 280, ActionFileMoveUp);
    buttonMoveDown = makeButton(QStringLiteral("buttonMoveDown"), 371, ActionFileMoveDown);
    // The job list editor lies over the list and must stay above it.
    GroupBoxEditItem->raise();

    groupBoxStatus = new QGroupBox(QStringLiteral("进度"), clientArea);
    groupBoxStatus->setObjectName(QStringLiteral("groupBoxStatus"));
    groupBoxStatus->setGeometry(2, 177, 463, 57);
    labelCurrentDecrption = MakeLabel(groupBoxStatus, 8, 16, 112, 16, QStringLiteral("当前操作描述"));
    labelCurrentDecrption->setObjectName(QStringLiteral("labelCurrentDecrption"));
    labelCurrentInfo = MakeLabel(groupBoxStatus, 122, 16, 334, 16, QStringLiteral("准备就绪"));
    labelCurrentInfo->setObjectName(QStringLiteral("labelCurrentInfo"));
    labelCurrentProgress = MakeLabel(groupBoxStatus, 8, 35, 112, 16, QStringLiteral("当前文件进度"));
    labelCurrentProgress->setObjectName(QStringLiteral("labelCurrentProgress"));
    progressBarCurrent = new QProgressBar(groupBoxStatus);
    progressBarCurrent->setObjectName(QStringLiteral("progressBarCurrent"));
    progressBarCurrent->setGeometry(122, 35, 334, 16);
    progressBarCurrent->setRange(0, 100);
    progressBarCurrent->setValue(0);
    progressBarCurrent->setTextVisible(false);

    GroupBoxFormat = new QGroupBox(QStringLiteral("输出格式"), clientArea);
    GroupBoxFormat->setObjectName(QStringLiteral("GroupBoxFormat"));
    GroupBoxFormat->setGeometry(3, 236, 462, 41);
    ComboBoxFormatSelect = MakeCombo(GroupBoxFormat, 8, 15, 446, false);
    ComboBoxFormatSelect->setObjectName(QStringLiteral("ComboBoxFormatSelect"));
    connect(ComboBoxFormatSelect, qOverload<int>(&QComboBox::activated), this,
            &TfrmMain::ComboBoxFormatSelectChange);

    groupBoxSettings = new QGroupBox(QStringLiteral("设置"), clientArea);
    groupBoxSettings->setObjectName(QStringLiteral("groupBoxSettings"));
    groupBoxSettings->setGeometry(2, 278, 463, 121);
    GroupBoxSettingsVideo = new QGroupBox(QStringLiteral("视频选项"), groupBoxSettings);
    GroupBoxSettingsVideo->setObjectName(QStringLiteral("GroupBoxSettingsVideo"));
    GroupBoxSettingsVideo->setGeometry(8, 14, 215, 105);
    GroupBoxSettingsAudio = new QGroupBox(QStringLiteral("音频选项"), groupBoxSettings);
    GroupBoxSettingsAudio->setObjectName(QStringLiteral("GroupBoxSettingsAudio"));
    GroupBoxSettingsAudio->setGeometry(240, 14, 215, 105);

    // Four rows per group; the codec rows are kept hidden and share the first row's place.
    const int rowY[4] = {17, 39, 61, 83};
    auto settingRow = [](QGroupBox* group, int y, const QString& labelName, const QString& labelText,
                         const QString& boxName, bool editable, QLabel*& label, QComboBox*& box) {
        label = MakeLabel(group, 6, y + 3, 88, 16, labelText);
        label->setObjectName(labelName);
        box = MakeCombo(group, 96, y, 112, editable);
        box->setObjectName(boxName);
    };
    settingRow(GroupBoxSettingsVideo, rowY[0], QStringLiteral("labelVideoCodec"),
               QStringLiteral("Video Codec"), QStringLiteral("ComboBoxVideoCodec"), false, labelVideoCodec,
               ComboBoxVideoCodec);
    settingRow(GroupBoxSettingsVideo, rowY[0], QStringLiteral("labelVideoBitrate"),
               QStringLiteral("Video Bitrate"), QStringLiteral("comboBoxVideoBitrate"), true,
               labelVideoBitrate, comboBoxVideoBitrate);
    settingRow(GroupBoxSettingsVideo, rowY[1], QStringLiteral("labelFrameRate"), QStringLiteral("Frame Rate"),
               QStringLiteral("comboBoxFrameRate"), true, labelFrameRate, comboBoxFrameRate);
    settingRow(GroupBoxSettingsVideo, rowY[2], QStringLiteral("labelVideoSize"), QStringLiteral("Video Size"),
               QStringLiteral("comboBoxVideoSize"), true, labelVideoSize, comboBoxVideoSize);
    settingRow(GroupBoxSettingsVideo, rowY[3], QStringLiteral("LabelVideoAspect"), QStringLiteral("Aspect"),
               QStringLiteral("ComboBoxAspect"), false, LabelVideoAspect, ComboBoxAspect);
    ComboBoxAspect->addItems(
        {QStringLiteral("auto"), QStringLiteral("4:3"), QStringLiteral("16:9"), QStringLiteral("16:10")});
    ComboBoxAspect->setCurrentIndex(0);
    settingRow(GroupBoxSettingsAudio, rowY[0], QStringLiteral("labelAudioCodec"),
               QStringLiteral("Audio Codec"), QStringLiteral("ComboBoxAudioCodec"), false, labelAudioCodec,
               ComboBoxAudioCodec);
    settingRow(GroupBoxSettingsAudio, rowY[0], QStringLiteral("labelAudioBitrate"),
               QStringLiteral("Audio Bitrate"), QStringLiteral("comboBoxAudioBitrate"), true,
               labelAudioBitrate, comboBoxAudioBitrate);
    settingRow(GroupBoxSettingsAudio, rowY[1], QStringLiteral("labelSampleRate"),
               QStringLiteral("Sample Rate"), QStringLiteral("comboBoxSampleRate"), true, labelSampleRate,
               comboBoxSampleRate);
    settingRow(GroupBoxSettingsAudio, rowY[2], QStringLiteral("labelChannel"), QStringLiteral("Channel"),
               QStringLiteral("comboBoxChannel"), false, labelChannel, comboBoxChannel);
    labelVideoCodec->hide();
    ComboBoxVideoCodec->hide();
    labelAudioCodec->hide();
    ComboBoxAudioCodec->hide();

    groupBoxOutput = new QGroupBox(QStringLiteral("输出"), clientArea);
    groupBoxOutput->setObjectName(QStringLiteral("groupBoxOutput"));
    groupBoxOutput->setGeometry(2, 400, 463, 39);
    labelOutput = MakeLabel(groupBoxOutput, 8, 16, 80, 16, QStringLiteral("输出目录"));
    labelOutput->setObjectName(QStringLiteral("labelOutput"));
    editOutputFolder = new QLineEdit(groupBoxOutput);
    editOutputFolder->setObjectName(QStringLiteral("editOutputFolder"));
    editOutputFolder->setGeometry(90, 13, 262, 22);
    editOutputFolder->setReadOnly(true);
    // No design-time folder: the first show puts the saved one (or the default) in, and that
    // change is saved, so config.ini holds what the field shows from the first start on.
    connect(editOutputFolder, &QLineEdit::textChanged, this, &TfrmMain::editOutputFolderChange);
    BitBtnOutput = new QPushButton(groupBoxOutput);
    BitBtnOutput->setObjectName(QStringLiteral("BitBtnOutput"));
    BitBtnOutput->setGeometry(356, 12, 100, 24);
    BindButton(BitBtnOutput, ActionSetDirectory);

    buttonConvert = new QPushButton(clientArea);
    buttonConvert->setObjectName(QStringLiteral("buttonConvert"));
    buttonConvert->setGeometry(183, 442, 105, 33);
    BindButton(buttonConvert, ActionConvertNow);

    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    OpenDialog->setOption(QFileDialog::ReadOnly, false);
    OpenDialog->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setSizeGripEnabled(true);
}

void TfrmMain::CreateMenus()
{
    N_1 = menuBar()->addMenu(QStringLiteral("文件"));
    N_1->setObjectName(QStringLiteral("N_1"));
    N_1->addAction(ActionFileAdd);
    N_1->addAction(ActionFileBatchAdd);
    N_1->addAction(ActionFileDelete);
    N_1->addAction(ActionFileClearAll);
    N_1->addSeparator();
    N_1->addAction(ActionFileMoveUp);
    N_1->addAction(ActionFileMoveDown);
    N_1->addSeparator();
    N_1->addAction(ActionConvertNow);
    N_1->addAction(ActionPause);
    N_1->addAction(ActionResume);
    // How many files convert at once: 1 up to the processor count.
    N_Simultaneous = N_1->addMenu(QStringLiteral("Simultaneous conversions"));
    N_Simultaneous->setObjectName(QStringLiteral("N_Simultaneous"));
    N_SimultaneousGroup = new QActionGroup(this);
    N_SimultaneousGroup->setExclusive(true);
    for (int count = 1; count <= qMax(1, QThread::idealThreadCount()); ++count) {
        QAction* entry = N_Simultaneous->addAction(QString::number(count));
        entry->setObjectName(QStringLiteral("N_Simultaneous%1").arg(count));
        entry->setCheckable(true);
        N_SimultaneousGroup->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, count] { N_SimultaneousClick(count); });
    }
    // The saved choice is shown each time the menu opens: config.ini may change meanwhile.
    connect(N_Simultaneous, &QMenu::aboutToShow, this, [this] {
        const int count = ReadSimultaneous();
        for (QAction* entry : N_SimultaneousGroup->actions())
            entry->setChecked(entry->text() == QString::number(count));
    });
    N_1->addSeparator();
    N_1->addAction(ActionExit);

    N_Skin = menuBar()->addMenu(QStringLiteral("皮肤"));
    N_Skin->setObjectName(QStringLiteral("N_Skin"));
    for (int i = 0; i < SkinChoice::SkinCount; ++i) {
        N_SkinItems[i] = N_Skin->addAction(QStringLiteral("Skin%1").arg(i + 1));
        N_SkinItems[i]->setObjectName(QStringLiteral("N_Skin%1").arg(i + 1));
        connect(N_SkinItems[i], &QAction::triggered, this, [this, i] { N_SkinClick(i + 1); });
    }

    N_Tools = menuBar()->addMenu(QStringLiteral("工具"));
    N_Tools->setObjectName(QStringLiteral("N_Tools"));
    N_ToolsProducts = N_Tools->addMenu(QString());
    N_ToolsProducts->setObjectName(QStringLiteral("N_ToolsProducts"));
    for (int i = 0; i < 7; ++i) {
        N_ToolsItems[i] = N_ToolsProducts->addAction(QString());
        N_ToolsItems[i]->setObjectName(QStringLiteral("N_ToolsProduct%1").arg(i + 1));
        connect(N_ToolsItems[i], &QAction::triggered, this, [this, i] { N_ToolsProductClick(i + 1); });
    }

    N_Help = menuBar()->addMenu(QStringLiteral("帮助"));
    N_Help->setObjectName(QStringLiteral("N_Help"));
    using Handler = void (TfrmMain::*)();
    auto helpEntry = [this](const QString& name, const QString& text, Handler handler) {
        QAction* action = N_Help->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    N_LocalHelp =
        helpEntry(QStringLiteral("N_LocalHelp"), QStringLiteral("联机帮组"), &TfrmMain::N_LocalHelpClick);
    N_HomePage =
        helpEntry(QStringLiteral("N_HomePage"), QStringLiteral("网站主页"), &TfrmMain::N_HomePageClick);
    N_Support = helpEntry(QStringLiteral("N_Support"), QStringLiteral("技术支持"), &TfrmMain::N_SupportClick);
    N_FeedBack =
        helpEntry(QStringLiteral("N_FeedBack"), QStringLiteral("意见反馈"), &TfrmMain::N_FeedBackClick);
    N_Update = helpEntry(QStringLiteral("N_Update"), QStringLiteral("在线升级"), &TfrmMain::N_UpdateClick);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addAction(ActionFileAdd);
    PopupMenu->addAction(ActionFileBatchAdd);
    PopupMenu->addAction(ActionFileDelete);
    PopupMenu->addAction(ActionFileClearAll);
    PopupMenu->addSeparator();
    PopupMenu->addAction(ActionFileMoveUp);
    PopupMenu->addAction(ActionFileMoveDown);
    PopupMenu->addSeparator();
    PopupMenu->addAction(ActionPause);
    PopupMenu->addAction(ActionResume);
    connect(listViewFiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu->popup(listViewFiles->viewport()->mapToGlobal(pos)); });
}

void TfrmMain::FormCreate()
{
    setAcceptDrops(true);
    overwriteAnswer = 0;
    CreateConversionParts();
    // The window is not on the screen yet: an error here (a profile that does not load) is
    // kept and shown with the first show's errors, over the window; start-up goes on.
    try {
        ActionLoadProfileExecute();
    } catch (...) {
        startupErrors << CurrentExceptionText();
    }
    CheckEncoderAvailability();
}

void TfrmMain::CreateOtherWindows()
{
    CreateHelpDialog();
    CreateConversionWindows();
    FrmBatchAdd = new TFrmBatchAdd(this);
    connect(FrmBatchAdd, &TFrmBatchAdd::FolderChosen, this,
            [this](const QString& folder, bool subFolders, const QString& filter) {
                AddFolderFiles(folder, subFolders, filter);
            });
    FrmDirectory = new TFrmDirectory(this);
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!firstPaintDone)
        FormShow();
}

void TfrmMain::FormShow()
{
    // Guard against a second show before the first paint: the set-up runs once.
    static const char* const doneProperty = "formShowDone";
    if (property(doneProperty).toBool())
        return;
    setProperty(doneProperty, true);
    // Each step stands on its own: an error in one (a skin that does not load, a config.ini
    // that cannot be written) is reported once the window is up, and the other steps still run.
    QStringList errors = startupErrors;
    startupErrors.clear();
    auto step = [&errors](const std::function<void()>& work) {
        try {
            work();
        } catch (...) {
            errors << CurrentExceptionText();
        }
    };
    step([this] { LoadLanguage(frmCommon->languageFile); });
    step([this] { ApplySkinAtStart(); });
    step([this] { editOutputFolder->setText(ReadOutputFolder()); });
    step([this] { RestoreFormatIndex(); });
    // Settings with no place to be saved are told here once; their writes are dropped quietly.
    step([this] {
        if (!frmCommon->settingsPlace.Usable())
            throw AppError(frmCommon->SettingsWarning());
    });
    // Shown once the window is on the screen, over it and with the application title that
    // the language file just gave; then a run cut off last time is offered. The welcome window
    // comes after them all: a box shown over it would block it while it looks usable.
    QTimer::singleShot(0, this, [this, errors] {
        for (const QString& text : errors)
            TMessageBox::ShowError(this, text);
        if (!formCloseDone)
            CheckRunJournal();
        startupNoticesDone = true;
        if (helpDialogWaiting && !formCloseDone)
            ShowHelpDialog();
    });
}

void TfrmMain::paintEvent(QPaintEvent* event)
{
    QMainWindow::paintEvent(event);
    FormPaint();
}

void TfrmMain::FormPaint()
{
    if (firstPaintDone)
        return;
    firstPaintDone = true;
    // Only now: starting the adapter must not hold up the first paint.
    if (!encoderAnswerKnown)
        QTimer::singleShot(0, this, &TfrmMain::AskEncoderAvailability);
    if (frmCommon->DisplayHelpDialogEnabled()) {
        // Shown once the paint is over, never from inside it, and after the start-up notices.
        if (startupNoticesDone)
            QTimer::singleShot(0, this, &TfrmMain::ShowHelpDialog);
        else
            helpDialogWaiting = true;
    }
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TfrmMain::FormClose()
{
    if (formCloseDone)
        return;
    formCloseDone = true;
    ClearJobList();
    FormCloseConversion();
    DestroySplash(frmSplash);
    frmSplash = nullptr;
}

void TfrmMain::ActionExitExecute()
{
    close();
}

QString TfrmMain::ToolsProductLink(const QString& homePageLink, int product)
{
    static const char* const pages[7] = {
        "dvd-ripper.php",  "video-editor.php",           "audio-converter.php",   "screen-recorder.php",
        "dvd-creator.php", "iphone-video-converter.php", "youtube-downloader.php"};
    if (product < 1 || product > 7)
        return QString();
    QString root = homePageLink;
    if (!root.endsWith(u'/'))
        root += u'/';
    return root + QString::fromLatin1(pages[product - 1]);
}

void TfrmMain::N_ToolsProductClick(int product)
{
    const QString link = ToolsProductLink(frmCommon->homePageLink, product);
    if (!link.isEmpty())
        frmCommon->OpenURL(link);
}

namespace {

// The keys of the numbered texts: the list's column captions, the skins and the other products.
constexpr int HeaderColumns = 4;
constexpr int ToolsProducts = 7;
QString HeaderKey(int column)
{
    return QStringLiteral("ListViewItem%1").arg(column);
}
QString SkinKey(int number)
{
    return QStringLiteral("N_Skin%1").arg(number);
}
QString ToolsProductKey(int number)
{
    return QStringLiteral("N_ToolsProduct%1").arg(number);
}

} // namespace

// What LoadLanguage reads from [frmMain], control by control and field by field.
struct TfrmMain::TLanguageTable
{
    std::vector<std::pair<QAction * TfrmMain::*, const char*>> actions;
    std::vector<std::pair<QGroupBox * TfrmMain::*, const char*>> groups;
    std::vector<std::pair<QLabel * TfrmMain::*, const char*>> labels;
    std::vector<std::pair<QPushButton * TfrmMain::*, const char*>> buttons;
    std::vector<std::pair<QMenu * TfrmMain::*, const char*>> menus;
    std::vector<std::tuple<QString TMainMessages::*, const char*, TLanguageKey::TKind>> messages;
    std::vector<std::pair<TCountText TMainMessages::*, const char*>> counts;
};

const TfrmMain::TLanguageTable& TfrmMain::LanguageTable()
{
    using M = TMainMessages;
    constexpr TLanguageKey::TKind plain = TLanguageKey::Plain;
    constexpr TLanguageKey::TKind format = TLanguageKey::Format;
    static const TLanguageTable table{
        {
            {&TfrmMain::ActionFileAdd, "ActionFileAdd"},
            {&TfrmMain::ActionFileBatchAdd, "ActionFileBatchAdd"},
            {&TfrmMain::ActionConvertNow, "ActionConvertNow"},
            {&TfrmMain::ActionFileDelete, "ActionFileDelete"},
            {&TfrmMain::ActionFileClearAll, "ActionFileClearAll"},
            {&TfrmMain::ActionFileMoveUp, "ActionFileMoveUp"},
            {&TfrmMain::ActionFileMoveDown, "ActionFileMoveDown"},
            {&TfrmMain::ActionExit, "ActionExit"},
            {&TfrmMain::ActionSetDirectory, "ActionSetDirectory"},
            {&TfrmMain::ActionPause, "ActionPause"},
            {&TfrmMain::ActionResume, "ActionResume"},
            {&TfrmMain::N_LocalHelp, "N_LocalHelp"},
            {&TfrmMain::N_HomePage, "N_HomePage"},
            {&TfrmMain::N_Support, "N_Support"},
            {&TfrmMain::N_FeedBack, "N_FeedBack"},
            {&TfrmMain::N_Update, "N_Update"},
        },
        {
            {&TfrmMain::groupBoxStatus, "groupBoxStatus"},
            {&TfrmMain::groupBoxSettings, "groupBoxSettings"},
            {&TfrmMain::GroupBoxSettingsVideo, "groupBoxSettingsVideo"},
            {&TfrmMain::GroupBoxSettingsAudio, "groupBoxSettingsAudio"},
            {&TfrmMain::groupBoxOutput, "groupBoxOutput"},
            {&TfrmMain::GroupBoxFormat, "groupBoxFormat"},
        },
        {
            {&TfrmMain::LabelEditItemFile, "LabelEditItemFile"},
            {&TfrmMain::LabelFileStartTime, "LabelFileStartTime"},
            {&TfrmMain::LabelFileDuration, "LabelFileDuration"},
            {&TfrmMain::LabelEditItemMinutes, "LabelEditItemMinutes"},
            {&TfrmMain::labelCurrentDecrption, "labelCurrentDecrption"},
            {&TfrmMain::labelCurrentProgress, "labelCurrentProgress"},
            {&TfrmMain::labelOutput, "labelOutput"},
            {&TfrmMain::labelVideoCodec, "labelVideoCodec"},
            {&TfrmMain::labelVideoBitrate, "labelVideoBitrate"},
            {&TfrmMain::labelFrameRate, "labelFrameRate"},
            {&TfrmMain::labelVideoSize, "labelVideoSize"},
            {&TfrmMain::labelAudioCodec, "labelAudioCodec"},
            {&TfrmMain::labelAudioBitrate, "labelAudioBitrate"},
            {&TfrmMain::labelSampleRate, "labelSampleRate"},
            {&TfrmMain::labelChannel, "labelChannel"},
            {&TfrmMain::LabelVideoAspect, "LabelVideoAspect"},
        },
        {
            {&TfrmMain::ButtonEditItemOK, "ButtonEditItemOK"},
            {&TfrmMain::ButtonEditItemCancel, "ButtonEditItemCancel"},
        },
        {
            {&TfrmMain::N_1, "N_1"},
            {&TfrmMain::N_Simultaneous, "N_Simultaneous"},
            {&TfrmMain::N_Skin, "N_Skin"},
            {&TfrmMain::N_Tools, "N_Tools"},
            {&TfrmMain::N_ToolsProducts, "N_ToolsProducts"},
            {&TfrmMain::N_Help, "N_Help"},
        },
        {
            {&M::StringStartCaption, "StringStartCaption", plain},
            {&M::StringStopCaption, "StringStopCaption", plain},
            {&M::msgStatusReady, "msgStatusReady", plain},
            {&M::msgStatusRun, "msgStatusRun", format},
            {&M::msgStatusRunMany, "msgStatusRunMany", format},
            {&M::msgClearAll, "msgClearAll", plain},
            {&M::msgFolderView, "msgFolderView", plain},
            {&M::msgFinishInfo, "msgFinishInfo", plain},
            {&M::msgNoProfile, "msgNoProfile", plain},
            {&M::msgNoOutputFolder, "msgNoOutputFolder", plain},
            {&M::msgFolderLineBreak, "msgFolderLineBreak", format},
            {&M::msgEncoderMissing, "msgEncoderMissing", format},
            {&M::msgItemWaiting, "msgItemWaiting", plain},
            {&M::msgItemDone, "msgItemDone", plain},
            {&M::msgItemFailed, "msgItemFailed", plain},
            {&M::msgItemSkipped, "msgItemSkipped", plain},
            {&M::msgItemStopped, "msgItemStopped", plain},
            {&M::msgStatusLeft, "msgStatusLeft", format},
            {&M::msgStatusBatchLeft, "msgStatusBatchLeft", format},
            {&M::msgStatusPaused, "msgStatusPaused", plain},
            {&M::msgMediaReading, "msgMediaReading", plain},
            {&M::msgMediaUnreadable, "msgMediaUnreadable", plain},
            {&M::msgMediaMissing, "msgMediaMissing", plain},
            {&M::msgMediaDuration, "msgMediaDuration", plain},
            {&M::msgMediaContainer, "msgMediaContainer", plain},
            {&M::msgMediaVideoCodec, "msgMediaVideoCodec", plain},
            {&M::msgMediaFrameSize, "msgMediaFrameSize", plain},
            {&M::msgMediaFrameRate, "msgMediaFrameRate", plain},
            {&M::msgMediaAudioCodec, "msgMediaAudioCodec", plain},
            {&M::msgMediaSampleRate, "msgMediaSampleRate", plain},
            {&M::msgMediaChannels, "msgMediaChannels", plain},
            {&M::msgMediaFileSize, "msgMediaFileSize", plain},
            {&M::msgMediaNone, "msgMediaNone", plain},
            {&M::msgEndNothing, "msgEndNothing", plain},
            {&M::msgResumeMissing, "msgResumeMissing", plain},
            {&M::msgJournalBad, "msgJournalBad", format},
            {&M::msgJournalNotSaved, "msgJournalNotSaved", format},
            {&M::msgNotifyDone, "msgNotifyDone", plain},
            {&M::msgNotifyStopped, "msgNotifyStopped", plain},
            {&M::msgNotifyFailed, "msgNotifyFailed", format},
        },
        {
            {&M::msgEndConverted, "msgEndConverted"},
            {&M::msgEndSkipped, "msgEndSkipped"},
            {&M::msgEndStopped, "msgEndStopped"},
            {&M::msgEndFailed, "msgEndFailed"},
            {&M::msgEndNotStarted, "msgEndNotStarted"},
            {&M::msgResumeQueue, "msgResumeQueue"},
            {&M::msgNotifyConverted, "msgNotifyConverted"},
        },
    };
    return table;
}

QList<TLanguageKey> TfrmMain::LanguageKeys()
{
    const QString section = QStringLiteral("frmMain");
    QList<TLanguageKey> keys{{QStringLiteral("App"), QStringLiteral("Title")},
                             {section, QStringLiteral("Caption")}};
    const TLanguageTable& table = LanguageTable();
    const auto plain = [&](const char* key) { keys << TLanguageKey{section, QString::fromLatin1(key)}; };
    for (const auto& entry : table.actions)
        plain(entry.second);
    for (int column = 0; column < HeaderColumns; ++column)
        keys << TLanguageKey{section, HeaderKey(column)};
    for (const auto& entry : table.groups)
        plain(entry.second);
    for (const auto& entry : table.labels)
        plain(entry.second);
    for (const auto& entry : table.buttons)
        plain(entry.second);
    for (const auto& [field, key, kind] : table.messages)
        keys << TLanguageKey{section, QString::fromLatin1(key), kind};
    for (const auto& entry : table.counts)
        keys << TLanguageKey{section, QString::fromLatin1(entry.second), TLanguageKey::Count};
    for (const auto& entry : table.menus)
        plain(entry.second);
    for (int i = 1; i <= SkinChoice::SkinCount; ++i)
        keys << TLanguageKey{section, SkinKey(i)};
    for (int i = 1; i <= ToolsProducts; ++i)
        keys << TLanguageKey{section, ToolsProductKey(i)};
    return keys;
}

void TfrmMain::LoadLanguage(const QString& fileName)
{
    const IniFile ini(fileName);
    const QString section = QStringLiteral("frmMain");
    auto read = [&ini, &section](const QString& key) { return ini.ReadString(section, key, QString()); };
    auto readKey = [&read](const char* key) { return read(QString::fromLatin1(key)); };

    TMessageBox::applicationTitle = ini.ReadString(QStringLiteral("App"), QStringLiteral("Title"), QString());
    setWindowTitle(read(QStringLiteral("Caption")));

    const TLanguageTable& table = LanguageTable();
    for (const auto& [control, key] : table.actions)
        (this->*control)->setText(readKey(key));
    QTreeWidgetItem* header = listViewFiles->headerItem();
    for (int column = 0; column < HeaderColumns; ++column)
        header->setText(column, read(HeaderKey(column)));
    for (const auto& [control, key] : table.groups)
        (this->*control)->setTitle(readKey(key));
    for (const auto& [control, key] : table.labels)
        (this->*control)->setText(readKey(key));
    for (const auto& [control, key] : table.buttons)
        (this->*control)->setText(readKey(key));
    for (const auto& [field, key, kind] : table.messages)
        messages.*field = readKey(key);
    for (const auto& [field, key] : table.counts)
        messages.*field = TCountText::Read(ini, section, QString::fromLatin1(key));
    labelCurrentInfo->setText(messages.msgStatusReady);
    labelCurrentInfo->setToolTip(messages.msgStatusReady);
    ShowFormatAvailability();
    for (const auto& [control, key] : table.menus)
        (this->*control)->setTitle(readKey(key));
    for (int i = 0; i < SkinChoice::SkinCount; ++i)
        N_SkinItems[i]->setText(read(SkinKey(i + 1)));
    for (int i = 0; i < ToolsProducts; ++i)
        N_ToolsItems[i]->setText(read(ToolsProductKey(i + 1)));

    if (FrmDirectory)
        FrmDirectory->LoadLanguage(ini);
    if (FrmBatchAdd)
        FrmBatchAdd->LoadLanguage(ini);
    LoadLanguageConversionWindows(fileName);
    LoadLanguageHelpDialog(fileName);
    RepaintHelpDialog();
}
