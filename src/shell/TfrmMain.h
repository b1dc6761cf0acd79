#pragma once
// The main window: job list, progress, output format and settings panel, output folder and the
// menus. It is the meeting point of every subsystem, so its methods live beside their subsystem:
// TfrmMain.cpp (creation, controls, language, start-up and closing), TfrmMainJobList.cpp (job
// list, time window, folder choosers), TfrmMainConvert.cpp (progress, profiles, batch run) and
// TfrmMainSkin.cpp (skins, Help menu, splash and welcome window).

#include "engine/TProgressState.h"
#include "skin/SkinChoice.h"

#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

class QAction;
class QActionGroup;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmCommon;
class TFrmBatchAdd;
class TFrmDirectory;
class TTimeWindowEditor;

// Parts created and owned by the conversion and skin sides (see their Create... methods).
class TFFMpeg;
class TConsoleIO;
class TVideoProfile;
class TfrmOverWrite;
class TfrmUnSupportFormat;
class TfrmHelpDialog;
class TfrmSplash;
class TSkinEngine;

class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    // frmCommon is not owned; it must outlive the window.
    explicit TfrmMain(TfrmCommon* common, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Start-up step 5: the other windows, created hidden, in their fixed order.
    void CreateOtherWindows();

    // ---- creation, start-up and closing (TfrmMain.cpp) ----
    void FormCreate();
    void FormShow();
    void FormPaint();
    void FormClose();
    void ActionExitExecute();
    void LoadLanguage(const QString& fileName);
    // Opens a page of the maker's other products (Tools menu, entries 1 to 7).
    void N_ToolsProductClick(int product);
    static QString ToolsProductLink(const QString& homePageLink, int product);

    // ---- job list, time window, folder choosers (TfrmMainJobList.cpp) ----
    void AddJobFile(const QString& fileName);
    bool IsInJobList(const QString& fileName);
    void AddFolderFiles(const QString& folder, bool includeSubFolders, const QString& filter);
    void ActionFileAddExecute();
    void ActionFileBatchAddExecute();
    void ActionFileDeleteExecute();
    void ActionFileClearAllExecute();
    void ActionFileMoveUpExecute();
    void ActionFileMoveDownExecute();
    void ActionSetDirectoryExecute();
    void WMDropFiles(const QStringList& paths);
    void listViewFilesMouseUp(Qt::MouseButton button, const QPoint& pos);
    void ButtonEditItemOKClick();
    void ButtonEditItemCancelClick();
    void editOutputFolderChange(const QString& text);
    QString ReadOutputFolder() const;
    void WriteOutputFolder(const QString& folder) const;
    static QString DefaultOutputFolder();
    // Empties the list (closing step 1 and clear all).
    void ClearJobList();
    int JobCount() const;
    // The selected item's row, -1 when none.
    int SelectedIndex() const;

    // ---- conversion side (TfrmMainConvert.cpp) ----
    // FormCreate: creates FFMpeg, ConsoleIO (EnableKill, StopProcessOnFree, TerminateCommand
    // "quit", smSplitchar), VideoProfile and connects the runner's events.
    void CreateConversionParts();
    // Start-up step 5: TfrmUnSupportFormat, then TfrmOverWrite, hidden.
    void CreateConversionWindows();
    // Language sections frmOverWrite and frmUnSupportFormat.
    void LoadLanguageConversionWindows(const QString& fileName);
    // FormShow step 4: restore the saved output format.
    void RestoreFormatIndex();
    // FormClose steps 2 to 4 (after the list is emptied).
    void FormCloseConversion();
    // Frees what CreateConversionParts made (destructor).
    void DestroyConversionParts();

    void ConsoleIOReceiveOutput(QObject* Sender, const QString& Cmd);
    void ConsoleIOReceiveError(QObject* Sender, const QString& Cmd);
    void ConsoleIOProcessStatusChange(bool running);
    void ParseEncoderOutput(const QString& text);
    void AppendLog(const QString& text);
    void ClearLog();
    void TimerRunTimeTimer();
    void ActionLoadProfileExecute();
    void ActionChangeProfileExecute();
    void ComboBoxFormatSelectChange(int index);
    void FillChoiceBox(QComboBox* box, const QString& value, const QString& choices, bool enabled);
    int ReadFormatIndex() const;
    void WriteFormatIndex(int index) const;
    QString BuildJobCommandLine(const QString& sourceShort, const QString& outputShort,
                                const QString& startText, const QString& durationText);
    void ActionConvertNowExecute();
    void RunBatch();
    void StopBatch();
    void SetRunControlsEnabled(bool enabled);
    void ShowStatusReady();
    void EnsureOutputFolder(const QString& folder);
    void OpenOutputFolder(const QString& folder);
    // The path to write, or an empty text to skip the item.
    QString ResolveOutputName(const QString& outputPath);

    // ---- conversion side: run state (TfrmMainConvert.cpp) ----
    // The system's temporary folder, ending in "/".
    static QString TempFolder();
    QString jobProgram; // the encoder and its arguments, from the last BuildJobCommandLine
    QStringList jobArguments;
    int appliedFormatIndex = -1; // the format list entry whose profile the panel shows
    bool batchRunning = false;
    bool stopRequested = false; // the current encoder was stopped by the user or by closing
    bool closingDown = false;
    bool statusFormatReported = false; // a broken msgStatusRun was shown in this run
    bool logFailureReported = false;   // the encoder log could not be written in this run
    // ---- end of conversion side: run state ----

    // ---- skin side, Help menu, splash and welcome (TfrmMainSkin.cpp) ----
    // Start-up step 3, before the main window exists.
    static TfrmSplash* CreateSplash(TfrmCommon* common);
    // Start-up step 6.
    static void HideSplash(TfrmSplash* splash);
    // Closing step 5.
    static void DestroySplash(TfrmSplash* splash);
    // Start-up step 5: TfrmHelpDialog, hidden (the first of the other windows).
    void CreateHelpDialog();
    void LoadLanguageHelpDialog(const QString& fileName);
    // LoadLanguage step 3.
    void RepaintHelpDialog();
    // FormShow step 2: ApplySkin with ReadSkinIndex.
    void ApplySkinAtStart();
    // FormPaint: the welcome window, modeless.
    void ShowHelpDialog();
    void N_SkinClick(int skinNumber);
    void N_LocalHelpClick();
    void N_HomePageClick();
    void N_SupportClick();
    void N_FeedBackClick();
    void N_UpdateClick();

    // ---- fields ----
    TfrmCommon* frmCommon;
    TfrmSplash* frmSplash = nullptr;      // set by main(); destroyed when the window closes
    TSkinEngine* suiSkinEngine = nullptr; // made on first use; restyles every window
    bool firstPaintDone = false;

    // Conversion state.
    bool keepRunning = true;
    std::uint8_t overwriteAnswer = 0;
    TProgressState progress; // of the running item
    QString currentFormat;
    QString currentExtension;
    TFFMpeg* FFMpeg = nullptr;
    TConsoleIO* ConsoleIO = nullptr;
    TVideoProfile* VideoProfile = nullptr;
    QTimer* TimerRunTime = nullptr;

    // Other windows (all exist from start-up on; hidden between uses).
    TfrmHelpDialog* frmHelpDialog = nullptr;
    TfrmUnSupportFormat* frmUnSupportFormat = nullptr;
    TfrmOverWrite* frmOverWrite = nullptr;
    TFrmBatchAdd* FrmBatchAdd = nullptr;
    TFrmDirectory* FrmDirectory = nullptr;

    // Message fields filled by LoadLanguage.
    QString StringStartCaption;
    QString StringStopCaption;
    QString msgStatusReady;
    QString msgStatusRun;
    QString msgClearAll;
    QString msgFolderView;
    QString msgFinishInfo;
    QString msgNoProfile;
    QString msgFolderLineBreak;

    // Controls, top to bottom.
    QWidget* clientArea = nullptr;
    QTreeWidget* listViewFiles = nullptr;
    TTimeWindowEditor* GroupBoxEditItem = nullptr;
    QLabel* LabelEditItemFile = nullptr;
    QLabel* LabelEditItemFileName = nullptr;
    QLabel* LabelFileStartTime = nullptr;
    QLineEdit* MaskEditFileStartTime = nullptr;
    QLabel* LabelFileDuration = nullptr;
    QLineEdit* MaskEditItemFileDuration = nullptr;
    QLabel* LabelEditItemMinutes = nullptr;
    QPushButton* ButtonEditItemOK = nullptr;
    QPushButton* ButtonEditItemCancel = nullptr;

    QGroupBox* groupBoxButtons = nullptr;
    QPushButton* buttonAdd = nullptr;
    QPushButton* buttonDelete = nullptr;
    QPushButton* buttonClearAll = nullptr;
    QPushButton* buttonMoveUp = nullptr;
    QPushButton* buttonMoveDown = nullptr;

    QGroupBox* groupBoxStatus = nullptr;
    QLabel* labelCurrentDecrption = nullptr;
    QLabel* labelCurrentInfo = nullptr;
    QLabel* labelCurrentProgress = nullptr;
    QProgressBar* progressBarCurrent = nullptr;

    QGroupBox* GroupBoxFormat = nullptr;
    QComboBox* ComboBoxFormatSelect = nullptr;

    QGroupBox* groupBoxSettings = nullptr;
    QGroupBox* GroupBoxSettingsVideo = nullptr;
    QGroupBox* GroupBoxSettingsAudio = nullptr;
    QLabel* labelVideoCodec = nullptr;
    QComboBox* ComboBoxVideoCodec = nullptr;
    QLabel* labelVideoBitrate = nullptr;
    QComboBox* comboBoxVideoBitrate = nullptr;
    QLabel* labelFrameRate = nullptr;
    QComboBox* comboBoxFrameRate = nullptr;
    QLabel* labelVideoSize = nullptr;
    QComboBox* comboBoxVideoSize = nullptr;
    QLabel* LabelVideoAspect = nullptr;
    QComboBox* ComboBoxAspect = nullptr;
    QLabel* labelAudioCodec = nullptr;
    QComboBox* ComboBoxAudioCodec = nullptr;
    QLabel* labelAudioBitrate = nullptr;
    QComboBox* comboBoxAudioBitrate = nullptr;
    QLabel* labelSampleRate = nullptr;
    QComboBox* comboBoxSampleRate = nullptr;
    QLabel* labelChannel = nullptr;
    QComboBox* comboBoxChannel = nullptr;

    QGroupBox* groupBoxOutput = nullptr;
    QLabel* labelOutput = nullptr;
    QLineEdit* editOutputFolder = nullptr;
    QPushButton* BitBtnOutput = nullptr;

    QPushButton* buttonConvert = nullptr;

    // The file-open dialog (non-native), kept for the life of the window.
    QFileDialog* OpenDialog = nullptr;

    // Action list.
    QAction* ActionFileAdd = nullptr;
    QAction* ActionFileDelete = nullptr;
    QAction* ActionFileClearAll = nullptr;
    QAction* ActionFileMoveUp = nullptr;
    QAction* ActionFileMoveDown = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionSetDirectory = nullptr;
    QAction* ActionFileBatchAdd = nullptr;
    QAction* ActionConvertNow = nullptr;
    QAction* ActionLoadProfile = nullptr;
    QAction* ActionChangeProfile = nullptr;

    // Menus.
    QMenu* N_1 = nullptr;
    QMenu* N_Skin = nullptr;
    QAction* N_SkinItems[SkinChoice::SkinCount] = {}; // N_Skin1 ... N_Skin18
    QMenu* N_Tools = nullptr;
    QMenu* N_ToolsProducts = nullptr; // the one submenu of the Tools menu
    QAction* N_ToolsItems[7] = {};
    QMenu* N_Help = nullptr;
    QAction* N_LocalHelp = nullptr;
    QAction* N_HomePage = nullptr;
    QAction* N_Support = nullptr;
    QAction* N_FeedBack = nullptr;
    QAction* N_Update = nullptr;
    QMenu* PopupMenu = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Queued skin requests (WM_APPLYSKIN) arrive here; defined with the skin side.
    void customEvent(QEvent* event) override;

private:
    void CreateControls();
    void CreateActions();
    void CreateMenus();
    void ConnectJobList();
    void RebuildJobIndex();

    // IsInJobList answers from this index of captions; any change of the list not made by
    // AddJobFile marks it stale, and the next question rebuilds it.
    QSet<QString> jobIndex;
    bool jobIndexStale = false;
    bool addingJob = false;
    bool formCloseDone = false;
    // Errors met while the window was created, shown after its first show.
    QStringList startupErrors;
};
