#pragma once
// The main window: job list, progress, output format and settings panel, output folder and the
// menus. It is the meeting point of every subsystem and holds no rules of its own: it reads its
// controls, hands them to the libraries and shows what they report. One class over four files:
// TfrmMain.cpp (creation, controls, language, start-up and closing), TfrmMainJobList.cpp (job
// list, time window, folder choosers), TfrmMainConvert.cpp (profiles, settings panel and the
// batch run) and TfrmMainSkin.cpp (skins, Help menu, splash and welcome window).
// Controls and state are private; tests find controls by their object names.

#include "engine/TBatchProgress.h"
#include "engine/TBatchRun.h"
#include "engine/TTimeLeft.h"
#include "platform/CountText.h"
#include "profiles/TProfileCatalogue.h"
#include "skin/SkinChoice.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <utility>

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
class QTreeWidget;
class QTreeWidgetItem;

class TfrmCommon;
class TFrmBatchAdd;
class TMediaInfoReader;
class TRunJournal;
struct TJournal;
class TFrmDirectory;
class TTimeWindowEditor;
class TfrmOverWrite;
class TfrmUnSupportFormat;
class TfrmHelpDialog;
class TfrmSplash;
class TSkinEngine;
class TEncoderAvailability;
struct TEncoderAnswer;

// The window's message texts, as the language file gave them; named by their keys.
struct TMainMessages
{
    QString StringStartCaption;
    QString StringStopCaption;
    QString msgStatusReady;
    QString msgStatusRun;
    QString msgStatusRunMany;
    QString msgClearAll;
    QString msgFolderView;
    QString msgFinishInfo;
    QString msgNoProfile;
    QString msgNoOutputFolder;
    QString msgFolderLineBreak;
    QString msgEncoderMissing;
    // The job list's status column.
    QString msgItemWaiting;
    QString msgItemDone;
    QString msgItemFailed;
    QString msgItemSkipped;
    QString msgItemStopped;
    // Speed and time left on the status line.
    QString msgStatusLeft;
    QString msgStatusBatchLeft;
    QString msgStatusPaused;
    // The media information in a file's tool tip.
    QString msgMediaReading;
    QString msgMediaUnreadable;
    QString msgMediaMissing;
    QString msgMediaDuration;
    QString msgMediaContainer;
    QString msgMediaVideoCodec;
    QString msgMediaFrameSize;
    QString msgMediaFrameRate;
    QString msgMediaAudioCodec;
    QString msgMediaSampleRate;
    QString msgMediaChannels;
    QString msgMediaFileSize;
    QString msgMediaNone;
    // What the end of a run tells when not every file was converted.
    TCountText msgEndConverted;
    TCountText msgEndSkipped;
    TCountText msgEndStopped;
    TCountText msgEndFailed;
    TCountText msgEndNotStarted;
    QString msgEndNothing;
    // The journal of a run and taking it up again.
    TCountText msgResumeQueue;
    QString msgResumeMissing;
    QString msgJournalBad;
    QString msgJournalNotSaved;
    // The notification at the end of a run.
    QString msgNotifyDone;
    QString msgNotifyStopped;
    TCountText msgNotifyConverted;
    QString msgNotifyFailed;
};

// One text of the language file that the main window reads, and what it must hold.
struct TLanguageKey
{
    enum TKind
    {
        Plain,  // shown as it stands
        Format, // one "%s"
        Count,  // key_one and key_other (TCountText), each with at most one "%s"
    };
    QString section;
    QString key;
    TKind kind = Plain;
};

class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    // frmCommon is not owned; it must outlive the window.
    explicit TfrmMain(TfrmCommon* common, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The other windows, created hidden once the main window exists, in their fixed order.
    void CreateOtherWindows();
    // The splash window main() made; the window destroys it when it closes.
    void SetSplash(TfrmSplash* splash) { frmSplash = splash; }
    TfrmCommon* Common() const { return frmCommon; }
    const TMainMessages& Messages() const { return messages; }
    // The applied profile, whose format and extension the next run writes.
    const TVideoProfile& AppliedProfile() const { return VideoProfile; }
    QString CurrentExtension() const { return currentExtension; }

    // ---- creation, start-up and closing (TfrmMain.cpp) ----
    void FormCreate();
    void FormShow();
    void FormPaint();
    // The first paint has happened (and with it the welcome window's turn).
    bool FirstPaintDone() const { return firstPaintDone; }
    void FormClose();
    void ActionExitExecute();
    void LoadLanguage(const QString& fileName);
    // Every text LoadLanguage reads (the other windows read their own sections).
    static QList<TLanguageKey> LanguageKeys();
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
    // Empties the list (when the window closes, and clear all).
    void ClearJobList();
    int JobCount() const;
    // The selected item's row, -1 when none.
    int SelectedIndex() const;

    // ---- profiles, settings panel and the batch run (TfrmMainConvert.cpp) ----
    void ActionLoadProfileExecute();
    void ActionChangeProfileExecute();
    void ComboBoxFormatSelectChange(int index);
    void FillChoiceBox(QComboBox* box, const QString& value, const QString& choices, bool enabled);
    // Writes the position and, as [setting] formatFile, the file name of the entry there.
    void WriteFormatIndex(int index) const;
    // The saved output format, applied at the first show.
    void RestoreFormatIndex();
    // Which profiles the installed ffmpeg can encode: a cached answer at once, else the
    // adapter is asked once the window is painted. EncoderAvailabilityAnswered greys out the
    // entries it cannot encode.
    void CheckEncoderAvailability();
    void AskEncoderAvailability();
    void EncoderAvailabilityAnswered(const TEncoderAnswer& answer);
    // How many items may convert at once: [setting] simultaneous, 1 when missing or unreadable,
    // at most the processor count.
    int ReadSimultaneous() const;
    void WriteSimultaneous(int count) const;
    void N_SimultaneousClick(int count);
    // The settings panel and the applied profile as the run takes them.
    TJobSettings ReadJobSettings() const;

    void ActionConvertNowExecute();
    void RunBatch();
    void StopBatch();
    // Pause and Resume (File menu, the list's pop-up menu, Ctrl+P).
    void ActionPauseExecute();
    void ActionResumeExecute();
    // A journal left by a run that was cut off: offers to put its unfinished files back.
    void CheckRunJournal();
    // Puts the journal's unfinished files back in the list, with their time windows, and
    // selects its format and output folder.
    void ResumeJournal(const TJournal& journal);
    // The run's controls: locked while encoders run, and the Convert button's caption.
    void ConsoleIOProcessStatusChange(bool running);
    void SetRunControlsEnabled(bool enabled);
    void ShowStatusReady();
    void OpenOutputFolder(const QString& folder);
    // The path to write for an output that exists already, or an empty text to skip the item.
    QString ResolveOutputName(const QString& outputPath);

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
    struct TLanguageTable;
    static const TLanguageTable& LanguageTable();

    void CreateControls();
    void CreateActions();
    void CreateMenus();
    void ConnectJobList();
    void RebuildJobIndex();

    // Conversion side (TfrmMainConvert.cpp).
    void CreateConversionParts();
    void CreateConversionWindows();
    void LoadLanguageConversionWindows(const QString& fileName);
    void FormCloseConversion();
    void BatchItemStarted(int index, const QString& outputPath);
    void BatchItemProgress(int index, const TItemProgress& progress);
    void BatchItemFinished(int index, TItemResult result);
    void BatchRunFinished(const QStringList& failedExtensions, bool stopped, const QString& error);
    // The question at the end of a run without failures: what happened, and whether to open
    // the output folder when something was converted.
    void ShowRunEnd(int itemCount, int notStarted);
    // One line per kind of result that happened, with its count.
    QString RunEndText(int notStarted, QString& formatError) const;
    void BatchPausedChanged(bool paused);
    QTreeWidgetItem* RunItem(int index) const;
    void ShowBatchProgress();
    // Speed, time left or the pause, for the status line; empty while nothing is known.
    QString RunFiguresText();
    void SetItemStatus(int index, const QString& text, const QString& toolTip = QString());
    void UpdatePauseActions();
    void MediaInfoRead(const QString& path);
    // The profile file name (without folder) of a format list entry; empty for no entry.
    QString FormatFileAt(int index) const;
    void BeginRunJournal(const QList<TBatchItem>& items, const QString& folderText);
    void ReportJournalNotSaved();
    // The desktop notification and the window manager's attention when the window is not the
    // active one.
    void NotifyRunEnd(bool stopped);

    // Job list tool tips (TfrmMainJobList.cpp): a failed item's error lines on its status,
    // the media information of its file elsewhere.
    void listViewFilesToolTip(const QPoint& pos, const QPoint& globalPos);
    QString MediaToolTip(const QString& path) const;
    // The answer for the file under the pointer has come: the tip shows it.
    void MediaToolTipRead(const QString& path);
    // The settings panel's boxes, in the order of the profile's choices (ChoiceFields).
    std::array<QComboBox*, 8> SettingBoxes() const;
    // Greys out the format list's entries the installed ffmpeg cannot encode, each with a tool
    // tip naming what it lacks.
    void ShowFormatAvailability();
    // Applies the first available entry when the selected one is not available.
    void LeaveUnavailableFormat();
    // Why the encoder list is not known: the encoder log when logging is on, else standard error.
    void LogEncoderProblem(const QString& text) const;

    // Skin side, Help menu, splash and welcome (TfrmMainSkin.cpp).
public:
    // Made before the main window exists.
    static TfrmSplash* CreateSplash(TfrmCommon* common);
    static void HideSplash(TfrmSplash* splash);
    static void DestroySplash(TfrmSplash* splash);
    void N_SkinClick(int skinNumber);
    void N_LocalHelpClick();
    void N_HomePageClick();
    void N_SupportClick();
    void N_FeedBackClick();
    void N_UpdateClick();
    // The welcome window, modeless, after the first paint.
    void ShowHelpDialog();

private:
    void CreateHelpDialog();
    void LoadLanguageHelpDialog(const QString& fileName);
    void RepaintHelpDialog();
    // The saved skin, applied at the first show.
    void ApplySkinAtStart();
    TSkinEngine& SkinEngine();

    // ---- fields ----
    TfrmCommon* frmCommon;
    TfrmSplash* frmSplash = nullptr;      // set by main(); destroyed when the window closes
    TSkinEngine* suiSkinEngine = nullptr; // made on first use; restyles every window
    bool firstPaintDone = false;
    // The start-up errors and the journal question have been shown; the welcome window waits
    // for them.
    bool startupNoticesDone = false;
    bool helpDialogWaiting = false;

    // Profiles and the run.
    TProfileCatalogue catalogue;
    int appliedFormatIndex = -1; // the format list entry whose profile the panel shows
    TVideoProfile VideoProfile;  // the applied profile
    TEncoderAvailability* EncoderAvailability = nullptr;
    bool encoderAnswerKnown = false; // the cache answered, or the adapter did
    QString currentFormat;
    QString currentExtension;
    std::uint8_t overwriteAnswer = 0;
    TBatchRun* BatchRun = nullptr;
    QList<QPersistentModelIndex> runRows;  // the list's rows of the run's items
    QList<TItemProgress> runProgress;      // per item of the run
    QList<bool> runFinished;               // per item of the run
    TBatchProgress batchProgress;          // the whole run, when several items convert at once
    TTimeLeft timeLeft;                    // of the file and of the whole run
    QHash<QString, QList<int>> runSources; // the run's items by source, for durations read
    int runConverted = 0;
    int runFailed = 0;
    int runSkipped = 0;
    int runStopped = 0;
    int runSimultaneous = 1;
    int shownItem = -1; // the item the status line follows when one converts at a time
    QString runFolderShort;
    bool statusFormatReported = false; // a broken status format was shown in this run
    bool closingDown = false;
    TMediaInfoReader* mediaReader = nullptr; // durations for the run, tool tips of the list
    TRunJournal* runJournal = nullptr;
    bool journalReported = false; // a journal that cannot be kept is told once
    // Outputs a cut-off run made and left, by source, with which file each was: that very
    // file is replaced at the next Convert without the existing-output question.
    QHash<QString, std::pair<QString, TFileIdentity>> replaceableOutputs;
    // The file whose media information the tool tip shows or waits for.
    QString hoverPath;
    QPoint hoverGlobalPos;
    QPersistentModelIndex hoverRow;

    // Other windows (all exist from start-up on; hidden between uses).
    TfrmHelpDialog* frmHelpDialog = nullptr;
    TfrmUnSupportFormat* frmUnSupportFormat = nullptr;
    TfrmOverWrite* frmOverWrite = nullptr;
    TFrmBatchAdd* FrmBatchAdd = nullptr;
    TFrmDirectory* FrmDirectory = nullptr;

    TMainMessages messages; // filled by LoadLanguage

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
    QAction* ActionPause = nullptr;
    QAction* ActionResume = nullptr;
    QAction* ActionLoadProfile = nullptr;
    QAction* ActionChangeProfile = nullptr;

    // Menus.
    QMenu* N_1 = nullptr;
    QMenu* N_Simultaneous = nullptr;
    QActionGroup* N_SimultaneousGroup = nullptr;
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

    // IsInJobList answers from this index of captions, and of the files they reach (device
    // and inode), so that one file is not taken twice through two paths; any change of the
    // list not made by AddJobFile marks it stale, and the next question rebuilds it.
    QSet<QString> jobIndex;
    QSet<std::pair<quint64, quint64>> jobFiles;
    bool jobIndexStale = false;
    bool addingJob = false;
    bool formCloseDone = false;
    // Errors met while the window was created, shown after its first show.
    QStringList startupErrors;
};
