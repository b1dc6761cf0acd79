// Conversion side of the main window: the profile catalogue and settings panel, and the batch
// run, which TBatchRun does; the window reads its controls for it and shows what it reports.

#include "shell/TfrmMain.h"

#include "dialogs/TMessageBox.h"
#include "dialogs/TfrmOverWrite.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "engine/TEncoderLog.h"
#include "engine/TProgressState.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"
#include "profiles/ProfileSettings.h"
#include "profiles/TEncoderAvailability.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <array>
#include <cstdio>
#include <memory>

// ---- parts and windows -------------------------------------------------------------------

void TfrmMain::CreateConversionParts()
{
    BatchRun = new TBatchRun(*frmCommon, this);
    BatchRun->setObjectName(QStringLiteral("BatchRun"));
    connect(BatchRun, &TBatchRun::ItemStarted, this, &TfrmMain::BatchItemStarted);
    connect(BatchRun, &TBatchRun::ItemProgress, this, &TfrmMain::BatchItemProgress);
    connect(BatchRun, &TBatchRun::ItemFinished, this, &TfrmMain::BatchItemFinished);
    connect(BatchRun, &TBatchRun::RunFinished, this, &TfrmMain::BatchRunFinished);
}

void TfrmMain::CreateConversionWindows()
{
    frmUnSupportFormat = new TfrmUnSupportFormat(*frmCommon, this);
    frmUnSupportFormat->hide();
    frmOverWrite = new TfrmOverWrite(this);
    frmOverWrite->hide();
}

void TfrmMain::LoadLanguageConversionWindows(const QString& fileName)
{
    if (frmOverWrite)
        frmOverWrite->LoadLanguage(fileName);
    if (frmUnSupportFormat)
        frmUnSupportFormat->LoadLanguage(fileName);
}

// ---- profile catalogue and settings panel ------------------------------------------------

std::array<QComboBox*, 8> TfrmMain::SettingBoxes() const
{
    // In the order of ChoiceFields: each box shows one choice of the profile and gives one job
    // setting back.
    return {ComboBoxVideoCodec, comboBoxVideoBitrate, comboBoxFrameRate,  comboBoxVideoSize,
            ComboBoxAudioCodec, comboBoxAudioBitrate, comboBoxSampleRate, comboBoxChannel};
}

void TfrmMain::ActionLoadProfileExecute()
{
    catalogue = TProfileCatalogue::Load(TProfileCatalogue::ProfileFolder(frmCommon->appFolder));
    ComboBoxFormatSelect->clear();
    appliedFormatIndex = -1;
    for (const TProfileEntry& entry : catalogue.entries)
        ComboBoxFormatSelect->addItem(entry.EntryText(), entry.file);
    if (ComboBoxFormatSelect->count() > 0) {
        ComboBoxFormatSelect->setCurrentIndex(0);
        ActionChangeProfileExecute();
    }
    // A broken file is left out and named; the profiles after it are still there.
    if (!catalogue.failures.isEmpty())
        throw AppError(catalogue.failures.join(u'\n'));
}

void TfrmMain::ActionChangeProfileExecute()
{
    const int index = ComboBoxFormatSelect->currentIndex();
    if (index < 0 || index >= catalogue.entries.size())
        return;
    // A profile this ffmpeg cannot encode is never applied: the list goes back to the one that is.
    if (!catalogue.entries[index].Available()) {
        ComboBoxFormatSelect->setCurrentIndex(appliedFormatIndex);
        return;
    }
    const TVideoProfile& profile = catalogue.entries[index].profile;
    VideoProfile = profile;
    const std::array<QComboBox*, 8> boxes = SettingBoxes();
    for (size_t i = 0; i < boxes.size(); ++i) {
        const ProfileChoice choice = (profile.*ChoiceFields[i].choice)();
        FillChoiceBox(boxes[i], choice.Value, choice.Choices, choice.Enabled);
    }
    currentFormat = profile.ContainerFormat();
    currentExtension = profile.Extension();
    appliedFormatIndex = index;
}

void TfrmMain::ComboBoxFormatSelectChange(int)
{
    ActionChangeProfileExecute();
}

void TfrmMain::FillChoiceBox(QComboBox* box, const QString& value, const QString& choices, bool enabled)
{
    box->clear();
    const TChoiceItems choice = TProfileCatalogue::MakeChoiceItems(value, choices);
    box->addItems(choice.items);
    if (choice.match >= 0) {
        box->setCurrentIndex(choice.match);
    } else {
        // An editable box shows the value itself; a list-only box is left without a selection.
        box->setCurrentIndex(-1);
        if (box->isEditable())
            box->setEditText(value);
    }
    box->setEnabled(enabled);
}

TJobSettings TfrmMain::ReadJobSettings() const
{
    TJobSettings settings;
    const std::array<QComboBox*, 8> boxes = SettingBoxes();
    for (size_t i = 0; i < boxes.size(); ++i)
        settings.*ChoiceFields[i].setting = boxes[i]->currentText();
    settings.aspect = ComboBoxAspect->currentText();
    ApplyProfileFormat(VideoProfile, settings);
    // The applied profile's format as the window keeps it (the list may show another entry).
    settings.currentFormat = currentFormat;
    settings.currentExtension = currentExtension;
    settings.appFolder = frmCommon->appFolder;
    settings.tempFolder = TempFolder();
    return settings;
}

int TfrmMain::ReadFormatIndex() const
{
    return IniFile(frmCommon->configFile)
        .ReadInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), 0);
}

void TfrmMain::WriteFormatIndex(int index) const
{
    const IniFile config(frmCommon->configFile);
    config.WriteInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), index);
    // The file name keeps naming the same format when the catalogue's order changes.
    const QString file =
        index >= 0 && index < catalogue.entries.size() ? catalogue.entries[index].FileName() : QString();
    config.WriteString(QStringLiteral("setting"), QStringLiteral("formatFile"), file);
}

void TfrmMain::RestoreFormatIndex()
{
    const int index = catalogue.SavedEntryIndex(frmCommon->configFile);
    if (index < 0) {
        ComboBoxFormatSelect->setCurrentIndex(-1);
        return;
    }
    ComboBoxFormatSelect->setCurrentIndex(index);
    ActionChangeProfileExecute();
}

// ---- which profiles the installed ffmpeg can encode ----------------------------------------

void TfrmMain::CheckEncoderAvailability()
{
    EncoderAvailability = new TEncoderAvailability(
        frmCommon->appFolder, frmCommon->settingsPlace.File(TEncoderAvailability::CacheFileName()), this);
    EncoderAvailability->setObjectName(QStringLiteral("EncoderAvailability"));
    connect(EncoderAvailability, &TEncoderAvailability::Answered, this,
            &TfrmMain::EncoderAvailabilityAnswered);
    // A cached answer is a small file read: applied before the window shows. Otherwise the
    // adapter is asked after the first paint.
    const TEncoderAnswer cached = EncoderAvailability->CachedAnswer();
    if (cached.known)
        EncoderAvailabilityAnswered(cached);
}

void TfrmMain::AskEncoderAvailability()
{
    if (!encoderAnswerKnown && EncoderAvailability && !closingDown)
        EncoderAvailability->Ask();
}

void TfrmMain::EncoderAvailabilityAnswered(const TEncoderAnswer& answer)
{
    encoderAnswerKnown = true;
    // Every profile stays available when the answer is not known; the reason is kept, never
    // shown in a message box at each start.
    if (!answer.known)
        LogEncoderProblem(QStringLiteral("The encoders of ffmpeg are not known: ") + answer.reason);
    if (!answer.cacheError.isEmpty())
        LogEncoderProblem(QStringLiteral("The encoder list is not kept: ") + answer.cacheError);
    catalogue.ApplyEncoders(answer);
    ShowFormatAvailability();
    LeaveUnavailableFormat();
}

void TfrmMain::ShowFormatAvailability()
{
    auto* model = qobject_cast<QStandardItemModel*>(ComboBoxFormatSelect->model());
    if (!model)
        return;
    for (qsizetype i = 0; i < catalogue.entries.size() && i < model->rowCount(); ++i) {
        const TProfileEntry& entry = catalogue.entries[i];
        QStandardItem* item = model->item(int(i));
        item->setEnabled(entry.Available());
        QString tip;
        if (!entry.Available()) {
            try {
                tip =
                    SafeFormat(messages.msgEncoderMissing, entry.missingEncoders.join(QStringLiteral(", ")));
            } catch (const AppError&) {
                // A language file whose text does not format still names the encoder.
                tip = entry.missingEncoders.join(QStringLiteral(", "));
            }
        }
        item->setToolTip(tip);
    }
}

void TfrmMain::LeaveUnavailableFormat()
{
    // The choice was saved when the window closed; an answer after that changes nothing.
    if (closingDown)
        return;
    const int index = ComboBoxFormatSelect->currentIndex();
    if (index < 0 || index >= catalogue.entries.size() || catalogue.entries[index].Available())
        return;
    const int first = catalogue.FirstAvailable();
    if (first < 0)
        return;
    // A run keeps the settings it started with; the panel changes once it is over.
    if (BatchRun->IsRunning()) {
        auto once = std::make_shared<QMetaObject::Connection>();
        *once = connect(BatchRun, &TBatchRun::RunFinished, this, [this, once] {
            disconnect(*once);
            LeaveUnavailableFormat();
        });
        return;
    }
    ComboBoxFormatSelect->setCurrentIndex(first);
    ActionChangeProfileExecute();
}

void TfrmMain::LogEncoderProblem(const QString& text) const
{
    const TEncoderLog log(*frmCommon);
    if (log.Enabled()) {
        try {
            log.AppendLog(text);
            return;
        } catch (const AppError&) {
            // A log that cannot be written leaves standard error.
        }
    }
    const QByteArray line = "velmora: " + text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

// ---- simultaneous conversions ------------------------------------------------------------

int TfrmMain::ReadSimultaneous() const
{
    const int count = IniFile(frmCommon->configFile)
                          .ReadInteger(QStringLiteral("setting"), QStringLiteral("simultaneous"), 1);
    // A value from a larger machine, or nonsense, must not start more than this one can take.
    return qBound(1, count, qMax(1, QThread::idealThreadCount()));
}

void TfrmMain::WriteSimultaneous(int count) const
{
    IniFile(frmCommon->configFile).WriteInteger(QStringLiteral("setting"), QStringLiteral("simultaneous"), count);
}

void TfrmMain::N_SimultaneousClick(int count)
{
    WriteSimultaneous(count);
}

// ---- batch run ---------------------------------------------------------------------------

void TfrmMain::ActionConvertNowExecute()
{
    if (BatchRun->IsRunning()) {
        StopBatch();
        return;
    }
    if (JobCount() == 0)
        return;
    if (ComboBoxFormatSelect->count() == 0) {
        TMessageBox::Show(this, messages.msgNoProfile, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    RunBatch();
}

void TfrmMain::RunBatch()
{
    QString folderText = editOutputFolder->text();
    if (folderText.trimmed().isEmpty()) {
        // No folder would put every output into the root of the file system: the default
        // folder is used, and shown and saved as the chosen one.
        folderText = DefaultOutputFolder();
        editOutputFolder->setText(folderText);
    }

    // The run works on the list as it is now.
    QList<TBatchItem> items;
    runRows.clear();
    for (int row = 0; row < JobCount(); ++row) {
        const QTreeWidgetItem* item = listViewFiles->topLevelItem(row);
        items << TBatchItem{item->text(0), item->text(1), item->text(2)};
        runRows << QPersistentModelIndex(listViewFiles->model()->index(row, 0));
    }
    runProgress = QList<TItemProgress>(items.size());
    runFinished = QList<bool>(items.size(), false);
    runFinishedCount = 0;
    runSimultaneous = ReadSimultaneous();
    shownItem = -1;
    statusFormatReported = false;
    batchProgress.Reset(int(items.size()));

    BatchRun->Start(items, ReadJobSettings(), folderText, runSimultaneous,
                    [this](int, const QString& outputPath) { return ResolveOutputName(outputPath); });
    runFolderShort = ShortPath(folderText);
    ConsoleIOProcessStatusChange(true);
    ShowBatchProgress();
}

QTreeWidgetItem* TfrmMain::RunItem(int index) const
{
    if (index < 0 || index >= runRows.size() || !runRows[index].isValid())
        return nullptr;
    return listViewFiles->topLevelItem(runRows[index].row());
}

void TfrmMain::BatchItemStarted(int index, const QString&)
{

    // The list shows which file converts (the latest one when several do).
    if (QTreeWidgetItem* item = RunItem(index)) {
        listViewFiles->setCurrentItem(item);
        item->setSelected(true);
        listViewFiles->scrollToItem(item);
    }
    shownItem = index;
    runProgress[index] = TItemProgress();
    ShowBatchProgress();
}

void TfrmMain::BatchItemProgress(int index, const TItemProgress& progress)
{
    runProgress[index] = progress;
    batchProgress.SetWindow(index, progress.windowSeconds);
    batchProgress.SetReached(index, progress.reachedSeconds);
    if (runSimultaneous > 1 || index == shownItem)
        ShowBatchProgress();
}

void TfrmMain::BatchItemFinished(int index, TItemResult)
{

    if (!runFinished[index]) {
        runFinished[index] = true;
        ++runFinishedCount;
    }
    batchProgress.SetFinished(index);
    if (runSimultaneous > 1)
        ShowBatchProgress();
}

void TfrmMain::ShowBatchProgress()
{
    if (!BatchRun->IsRunning() || BatchRun->IsStopping())
        return;
    QString statusText;
    QString formatError;
    int position = 0;
    if (runSimultaneous == 1) {
        // One file at a time: the bar and the line follow that file, as they always did.
        if (shownItem < 0)
            return;
        const TItemProgress& progress = runProgress[shownItem];
        const QTreeWidgetItem* item = RunItem(shownItem);
        const TProgressItem current{item ? item->text(0) : QString(), item ? item->text(1) : QString(),
                                    item ? item->text(2) : QString(), shownItem, int(runRows.size())};
        const TProgressView view =
            TProgressState::MakeView(progress.totalSeconds, progress.reachedSeconds, current, messages.msgStatusRun);
        position = view.position;
        statusText = view.statusText;
        formatError = view.formatError;
    } else {
        // Several at once: the bar shows the whole batch, the line counts the finished files.
        position = batchProgress.Position();
        try {
            statusText = SafeFormat(messages.msgStatusRunMany,
                                    QStringLiteral("%1/%2").arg(runFinishedCount).arg(runRows.size()));
        } catch (const AppError& error) {
            formatError = error.Text();
        }
    }
    // A negative position shows as an empty bar.
    progressBarCurrent->setValue(qBound(0, position, 100));
    if (labelCurrentInfo->text() != statusText) {
        labelCurrentInfo->setText(statusText);
        labelCurrentInfo->setToolTip(statusText);
    }
    // Told once per run, not for every line the encoder prints, and after the run's own step
    // is over.
    if (!formatError.isEmpty() && !statusFormatReported) {
        statusFormatReported = true;
        QTimer::singleShot(0, this, [formatError] { ReportException(formatError); });
    }
}

void TfrmMain::BatchRunFinished(const QStringList& failedExtensions, bool stopped, const QString& error)
{
    ConsoleIOProcessStatusChange(false);
    ShowStatusReady();
    runRows.clear();
    if (closingDown)
        return;
    // An error that ended the run comes first; the files that failed before it still count.
    if (!error.isEmpty())
        TMessageBox::ShowError(this, error);
    if (!failedExtensions.isEmpty() && (!stopped || !error.isEmpty())) {
        // A source that is gone has no extension: the notice still comes, with what is known.
        frmUnSupportFormat->ShowFailedFormats(failedExtensions.join(u','));
        return;
    }
    // A stop, or an error, means the run did not convert every file: no "all converted".
    if (stopped || !error.isEmpty())
        return;
    if (TMessageBox::Show(this, messages.msgFolderView + QStringLiteral("\n\n") + messages.msgFinishInfo,
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) == QMessageBox::Yes)
        OpenOutputFolder(runFolderShort);
}

void TfrmMain::StopBatch()
{
    ShowStatusReady();
    BatchRun->Stop();
}

void TfrmMain::ConsoleIOProcessStatusChange(bool running)
{
    SetRunControlsEnabled(!running);
}

void TfrmMain::SetRunControlsEnabled(bool enabled)
{
    const QList<QWidget*> controls{listViewFiles,        buttonAdd,          buttonDelete,
                                   buttonClearAll,       buttonMoveUp,       buttonMoveDown,
                                   ComboBoxFormatSelect, ComboBoxVideoCodec, comboBoxVideoBitrate,
                                   comboBoxFrameRate,    comboBoxVideoSize,  ComboBoxAudioCodec,
                                   comboBoxAudioBitrate, comboBoxSampleRate, comboBoxChannel,
                                   ComboBoxAspect,       editOutputFolder,   BitBtnOutput};
    for (QWidget* control : controls)
        control->setEnabled(enabled);
    const QList<QAction*> actions{ActionFileAdd,     ActionFileDelete,   ActionFileClearAll,
                                  ActionFileMoveUp,  ActionFileMoveDown, ActionSetDirectory,
                                  ActionFileBatchAdd};
    for (QAction* action : actions)
        action->setEnabled(enabled);
    // A profile's locked boxes stay locked when the run gives the controls back.
    if (enabled && appliedFormatIndex >= 0) {
        const std::array<QComboBox*, 8> boxes = SettingBoxes();
        for (size_t i = 0; i < boxes.size(); ++i)
            boxes[i]->setEnabled((VideoProfile.*ChoiceFields[i].choice)().Enabled);
    }
    ActionConvertNow->setText(enabled ? messages.StringStartCaption : messages.StringStopCaption);
}

void TfrmMain::ShowStatusReady()
{
    labelCurrentInfo->setText(messages.msgStatusReady);
    labelCurrentInfo->setToolTip(messages.msgStatusReady);
    progressBarCurrent->setValue(0);
}

void TfrmMain::OpenOutputFolder(const QString& folder)
{
    frmCommon->OpenURL(folder);
}

QString TfrmMain::ResolveOutputName(const QString& outputPath)
{
    quint8 answer = overwriteAnswer;
    const QString result = frmOverWrite->ResolveOutputName(outputPath, answer);
    overwriteAnswer = answer;
    return result;
}

// ---- closing -----------------------------------------------------------------------------

void TfrmMain::FormCloseConversion()
{
    closingDown = true;
    // Every encoder stops, placeholders nobody wrote to and the run's scripts go.
    BatchRun->Close();
    batchProgress = TBatchProgress();
    WriteFormatIndex(ComboBoxFormatSelect->currentIndex());
}
