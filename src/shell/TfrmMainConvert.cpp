// Conversion side of the main window: the profile catalogue and settings panel, and the batch
// run, which TBatchRun does; the window reads its controls for it and shows what it reports.

#include "shell/TfrmMain.h"

#include "dialogs/TMessageBox.h"
#include "dialogs/TfrmOverWrite.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "engine/TEncoderLog.h"
#include "engine/TMediaInfoReader.h"
#include "engine/TProgressState.h"
#include "engine/TRunJournal.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/SafeFormat.h"
#include "platform/TfrmCommon.h"
#include "profiles/ProfileSettings.h"
#include "profiles/TEncoderAvailability.h"
#include "shell/TDesktopNotice.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <cmath>
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
    connect(BatchRun, &TBatchRun::PausedChanged, this, &TfrmMain::BatchPausedChanged);

    mediaReader = new TMediaInfoReader(frmCommon->appFolder, this);
    mediaReader->setObjectName(QStringLiteral("mediaReader"));
    connect(mediaReader, &TMediaInfoReader::InfoRead, this, &TfrmMain::MediaInfoRead);
    connect(mediaReader, &TMediaInfoReader::ThumbnailMade, this, &TfrmMain::MediaInfoRead);

    runJournal = new TRunJournal(this);
    runJournal->setObjectName(QStringLiteral("runJournal"));
    connect(runJournal, &TRunJournal::WriteFailed, this, [this] { ReportJournalNotSaved(); });
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

void TfrmMain::WriteFormatIndex(int index) const
{
    const IniFile config(frmCommon->configFile);
    config.WriteInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), index);
    // The file name keeps naming the same format when the catalogue's order changes.
    config.WriteString(QStringLiteral("setting"), QStringLiteral("formatFile"), FormatFileAt(index));
}

QString TfrmMain::FormatFileAt(int index) const
{
    return index >= 0 && index < catalogue.entries.size() ? catalogue.entries[index].FileName() : QString();
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
    IniFile(frmCommon->configFile)
        .WriteInteger(QStringLiteral("setting"), QStringLiteral("simultaneous"), count);
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
        // Without a home folder there is no default: the user chooses one.
        if (folderText.isEmpty()) {
            TMessageBox::Show(this, messages.msgNoOutputFolder, QMessageBox::Ok, QMessageBox::Warning);
            return;
        }
        editOutputFolder->setText(folderText);
    }

    // The run works on the list as it is now.
    QList<TBatchItem> items;
    runRows.clear();
    runSources.clear();
    for (int row = 0; row < JobCount(); ++row) {
        QTreeWidgetItem* item = listViewFiles->topLevelItem(row);
        const auto replaceable = replaceableOutputs.value(item->text(0));
        items << TBatchItem{item->text(0), item->text(1), item->text(2), replaceable.first,
                            replaceable.second};
        runRows << QPersistentModelIndex(listViewFiles->model()->index(row, 0));
        runSources[item->text(0)] << row;
    }
    // What a cut-off run left is replaced by this run only.
    replaceableOutputs.clear();
    runProgress = QList<TItemProgress>(items.size());
    runFinished = QList<bool>(items.size(), false);
    runConverted = 0;
    runFailed = 0;
    runSkipped = 0;
    runStopped = 0;
    runSimultaneous = ReadSimultaneous();
    shownItem = -1;
    statusFormatReported = false;
    batchProgress.Reset(int(items.size()));
    timeLeft.Reset(int(items.size()));

    BatchRun->Start(items, ReadJobSettings(), folderText, runSimultaneous,
                    [this](int, const QString& outputPath) { return ResolveOutputName(outputPath); });
    runFolderShort = ShortPath(folderText);
    for (int index = 0; index < items.size(); ++index)
        SetItemStatus(index, messages.msgItemWaiting);
    BeginRunJournal(items, folderText);

    // The batch's time left needs every file's length: read in the background, as many at once
    // as files convert, those with a duration of their own need none.
    mediaReader->SetMaxRunning(runSimultaneous);
    for (int index = 0; index < items.size(); ++index) {
        const TBatchItem& item = items[index];
        const TMediaInfo info = mediaReader->Info(item.source);
        if (info.state != TMediaInfo::Unread)
            MediaInfoRead(item.source);
        else if (item.durationText.isEmpty())
            mediaReader->Read(item.source);
        else
            timeLeft.SetWindow(index,
                               double(TProgressState::WindowSeconds(0, item.startText, item.durationText)));
    }
    ConsoleIOProcessStatusChange(true);
    UpdatePauseActions();
    ShowBatchProgress();
}

void TfrmMain::BeginRunJournal(const QList<TBatchItem>& items, const QString& folderText)
{
    const QString journalPath = frmCommon->settingsPlace.File(TRunJournal::FileName());
    // Nothing can be saved at all: the start has told the user so, and a second box about the
    // journal would say nothing new.
    if (journalPath.isEmpty())
        return;
    TJournal journal;
    journal.outputFolder = folderText;
    journal.formatIndex = ComboBoxFormatSelect->currentIndex();
    journal.formatFile = FormatFileAt(journal.formatIndex);
    journal.items.reserve(items.size());
    for (const TBatchItem& item : items)
        journal.items << TJournalItem{item.source, item.startText, item.durationText, TJournalState::Waiting,
                                      QString()};
    try {
        // false: another copy of the program converts and keeps the journal; this run goes on
        // without one.
        runJournal->Begin(journalPath, journal, BatchRun);
    } catch (const AppError&) {
        ReportJournalNotSaved();
    }
}

void TfrmMain::ReportJournalNotSaved()
{
    if (journalReported)
        return;
    journalReported = true;
    QString text;
    try {
        text = SafeFormat(messages.msgJournalNotSaved,
                          QDir::toNativeSeparators(frmCommon->settingsPlace.folder));
    } catch (const AppError& error) {
        text = error.Text();
    }
    // Told after the run's own step, which must not wait for the box.
    QTimer::singleShot(0, this, [this, text] {
        if (!closingDown)
            TMessageBox::Show(this, text, QMessageBox::Ok, QMessageBox::Warning);
    });
}

void TfrmMain::MediaInfoRead(const QString& path)
{
    // The tool tip of the file under the pointer.
    MediaToolTipRead(path);
    // The lengths of the run's items.
    const auto it = runSources.constFind(path);
    if (it == runSources.constEnd() || !BatchRun->IsRunning())
        return;
    const TMediaInfo info = mediaReader->Info(path);
    if (info.state != TMediaInfo::Readable || info.durationSeconds <= 0)
        return;
    for (int index : *it) {
        if (index < 0 || index >= runRows.size() || runProgress[index].windowSeconds > 0)
            continue;
        const QTreeWidgetItem* item = RunItem(index);
        if (!item)
            continue;
        const qint64 window = TProgressState::WindowSeconds(qint64(std::llround(info.durationSeconds)),
                                                            item->text(1), item->text(2));
        timeLeft.SetWindow(index, double(window));
    }
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
    timeLeft.SetStarted(index);
    SetItemStatus(index, QStringLiteral("0%"));
    ShowBatchProgress();
}

void TfrmMain::BatchItemProgress(int index, const TItemProgress& progress)
{
    runProgress[index] = progress;
    batchProgress.SetWindow(index, progress.windowSeconds);
    batchProgress.SetReached(index, progress.reachedSeconds);
    // What the encoder says of the length beats what was read before it started.
    timeLeft.SetWindow(index, double(progress.windowSeconds));
    timeLeft.SetReached(index, double(progress.reachedSeconds));
    timeLeft.SetSpeed(index, progress.speed);
    if (progress.windowSeconds > 0) {
        const double share = double(progress.reachedSeconds) * 100.0 / double(progress.windowSeconds);
        const int percent = int(std::clamp(std::floor(share), 0.0, 99.0));
        SetItemStatus(index, QStringLiteral("%1%").arg(percent));
    }
    if (runSimultaneous > 1 || index == shownItem)
        ShowBatchProgress();
}

void TfrmMain::BatchItemFinished(int index, TItemResult result)
{
    if (!runFinished[index]) {
        runFinished[index] = true;
        runConverted += result == TItemResult::Converted ? 1 : 0;
        runFailed += result == TItemResult::Failed ? 1 : 0;
        runSkipped += result == TItemResult::Skipped ? 1 : 0;
        runStopped += result == TItemResult::Stopped ? 1 : 0;
    }
    batchProgress.SetFinished(index);
    timeLeft.SetFinished(index, result == TItemResult::Converted);
    switch (result) {
    case TItemResult::Converted:
        SetItemStatus(index, messages.msgItemDone);
        break;
    case TItemResult::Failed:
        // Why it failed, in the encoder's own last words.
        SetItemStatus(index, messages.msgItemFailed, BatchRun->ErrorLinesOf(index).join(u'\n'));
        break;
    case TItemResult::Skipped:
        SetItemStatus(index, messages.msgItemSkipped);
        break;
    case TItemResult::Stopped:
        SetItemStatus(index, messages.msgItemStopped);
        break;
    }
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
        QString figures;
        QString figuresError;
        try {
            figures = RunFiguresText();
        } catch (const AppError& error) {
            figuresError = error.Text();
        }
        const TProgressView view = TProgressState::MakeView(progress.totalSeconds, progress.reachedSeconds,
                                                            current, messages.msgStatusRun, figures);
        position = view.position;
        statusText = view.statusText;
        formatError = figuresError.isEmpty() ? view.formatError : figuresError;
    } else {
        // Several at once: the bar shows the whole batch, the line counts the finished files.
        position = batchProgress.Position();
        try {
            statusText =
                SafeFormat(messages.msgStatusRunMany,
                           QStringLiteral("%1/%2").arg(batchProgress.FinishedCount()).arg(runRows.size()));
            const QString figures = RunFiguresText();
            if (!figures.isEmpty())
                statusText += QStringLiteral(" · ") + figures;
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

namespace {

// "0:42", "3:10", "1:02:03": minutes and seconds, hours only when there are any.
QString LeftText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds / 60 % 60;
    const qint64 rest = seconds % 60;
    if (hours > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(hours)
            .arg(minutes, 2, 10, QChar(u'0'))
            .arg(rest, 2, 10, QChar(u'0'));
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 2, 10, QChar(u'0'));
}

QString SpeedText(double speed)
{
    return QStringLiteral("%1×").arg(speed, 0, 'f', 1);
}

} // namespace

QString TfrmMain::RunFiguresText()
{
    if (BatchRun->IsPaused())
        return messages.msgStatusPaused;
    const qint64 now = BatchRun->ActiveMilliseconds();
    QStringList parts;
    QString left;
    if (runSimultaneous == 1) {
        if (shownItem >= 0 && runProgress[shownItem].speed > 0)
            parts << SpeedText(runProgress[shownItem].speed);
        const qint64 fileLeft = shownItem >= 0 ? timeLeft.FileLeft(shownItem, now) : -1;
        if (fileLeft >= 0)
            left = SafeFormat(messages.msgStatusLeft, LeftText(fileLeft));
        // A batch of one file has no figure of its own.
        const qint64 batchLeft = runRows.size() > 1 ? timeLeft.BatchLeft(now) : -1;
        if (batchLeft >= 0)
            left += (left.isEmpty() ? QString() : QStringLiteral(" ")) +
                    SafeFormat(messages.msgStatusBatchLeft, LeftText(batchLeft));
    } else {
        // Several at once: how fast the batch goes together, and when all of it is done.
        const double speed = timeLeft.BatchSpeed();
        if (speed > 0)
            parts << SpeedText(speed);
        const qint64 batchLeft = timeLeft.BatchLeft(now);
        if (batchLeft >= 0)
            left = SafeFormat(messages.msgStatusLeft, LeftText(batchLeft));
    }
    if (!left.isEmpty())
        parts << left;
    return parts.join(QStringLiteral(" · "));
}

void TfrmMain::SetItemStatus(int index, const QString& text, const QString& toolTip)
{
    QTreeWidgetItem* item = RunItem(index);
    if (!item)
        return;
    if (item->text(3) != text)
        item->setText(3, text);
    if (item->toolTip(3) != toolTip)
        item->setToolTip(3, toolTip);
}

void TfrmMain::UpdatePauseActions()
{
    const bool running = BatchRun->IsRunning() && !BatchRun->IsStopping();
    const bool paused = running && BatchRun->IsPaused();
    // Hidden first, so the shortcut is never held by both at once.
    if (paused) {
        ActionPause->setVisible(false);
        ActionResume->setVisible(true);
    } else {
        ActionResume->setVisible(false);
        ActionPause->setVisible(true);
    }
    ActionPause->setEnabled(running && !paused);
    ActionResume->setEnabled(paused);
}

void TfrmMain::ActionPauseExecute()
{
    BatchRun->Pause();
}

void TfrmMain::ActionResumeExecute()
{
    BatchRun->Resume();
}

void TfrmMain::BatchPausedChanged(bool)
{
    UpdatePauseActions();
    ShowBatchProgress();
}

void TfrmMain::NotifyRunEnd(bool stopped)
{
    // Only for somebody who is not looking: the window in front shows the end itself.
    if (isActiveWindow())
        return;
    QString body;
    try {
        body = messages.msgNotifyConverted.Format(runConverted);
        if (runFailed > 0)
            body += SafeFormat(messages.msgNotifyFailed, QString::number(runFailed));
    } catch (const AppError&) {
        body = QStringLiteral("%1/%2").arg(runConverted).arg(runRows.size());
    }
    TDesktopNotice::Send(TMessageBox::applicationTitle,
                         stopped ? messages.msgNotifyStopped : messages.msgNotifyDone, body);
    QApplication::alert(this);
}

void TfrmMain::BatchRunFinished(const QStringList& failedExtensions, bool stopped, const QString& error)
{
    // Gone before anything is asked: a run that is over is nothing to take up again.
    runJournal->End();
    mediaReader->DropQueued();
    ConsoleIOProcessStatusChange(false);
    ShowStatusReady();
    UpdatePauseActions();
    // Items the run never reached are back to no state.
    int notStarted = 0;
    for (int index = 0; index < runRows.size(); ++index) {
        if (!runFinished[index]) {
            SetItemStatus(index, QString());
            ++notStarted;
        }
    }
    const int itemCount = int(runRows.size());
    if (!closingDown)
        NotifyRunEnd(stopped);
    runRows.clear();
    runSources.clear();
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
    // The error has said why the run ended.
    if (!error.isEmpty())
        return;
    ShowRunEnd(itemCount, notStarted);
}

QString TfrmMain::RunEndText(int notStarted, QString& formatError) const
{
    const std::pair<const TCountText*, int> counts[] = {
        {&messages.msgEndConverted, runConverted}, {&messages.msgEndSkipped, runSkipped},
        {&messages.msgEndStopped, runStopped},     {&messages.msgEndFailed, runFailed},
        {&messages.msgEndNotStarted, notStarted},
    };
    QStringList lines;
    for (const auto& [text, count] : counts) {
        if (count == 0)
            continue;
        try {
            lines << text->Format(count);
        } catch (const AppError& error) {
            // A language file whose text does not format still shows the figure.
            lines << QString::number(count);
            if (formatError.isEmpty())
                formatError = error.Text();
        }
    }
    return lines.join(u'\n');
}

void TfrmMain::ShowRunEnd(int itemCount, int notStarted)
{
    QString formatError;
    QString text;
    if (runConverted == itemCount)
        text = messages.msgFolderView;
    else if (runConverted == 0)
        text = messages.msgEndNothing + QStringLiteral("\n\n") + RunEndText(notStarted, formatError);
    else
        text = RunEndText(notStarted, formatError);
    if (!formatError.isEmpty())
        QTimer::singleShot(0, this, [formatError] { ReportException(formatError); });
    // Nothing new in the output folder: nothing to open either.
    if (runConverted == 0) {
        TMessageBox::Show(this, text, QMessageBox::Ok, QMessageBox::Information);
        return;
    }
    if (TMessageBox::Show(this, text + QStringLiteral("\n\n") + messages.msgFinishInfo,
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) == QMessageBox::Yes)
        OpenOutputFolder(runFolderShort);
}

void TfrmMain::StopBatch()
{
    ShowStatusReady();
    BatchRun->Stop();
    UpdatePauseActions();
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
    // Every encoder stops (continued first when paused), placeholders nobody wrote to and the
    // run's scripts go; a closed run is over, so is its journal.
    BatchRun->Close();
    runJournal->End();
    UpdatePauseActions();
    batchProgress = TBatchProgress();
    WriteFormatIndex(ComboBoxFormatSelect->currentIndex());
}

// ---- the journal of a cut-off run --------------------------------------------------------

void TfrmMain::CheckRunJournal()
{
    const QString path = frmCommon->settingsPlace.File(TRunJournal::FileName());
    if (path.isEmpty() || !QFileInfo::exists(path) || BatchRun->IsRunning())
        return;
    // Another copy of the program is converting that run right now.
    if (TRunJournal::InUse(path))
        return;
    TJournal journal;
    try {
        journal = TRunJournal::Read(path);
    } catch (const AppError& error) {
        TRunJournal::SetAside(path);
        TMessageBox::Show(
            this, SafeFormat(messages.msgJournalBad, QDir::toNativeSeparators(path)) + u'\n' + error.Text(),
            QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    const QList<TJournalItem> unfinished = journal.Unfinished();
    if (unfinished.isEmpty()) {
        TRunJournal::RemoveLeftovers(journal.items, true);
        QFile::remove(path);
        return;
    }
    const QMessageBox::StandardButton answer =
        TMessageBox::Show(this, messages.msgResumeQueue.Format(unfinished.size()),
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Question);
    // Either way the journal has done its work: the next run keeps its own. The half-written
    // files of the cut-off run are of no use to a new one, nor are its empty placeholders
    // unless its files are put back.
    TRunJournal::RemoveLeftovers(journal.items, answer != QMessageBox::Yes);
    QFile::remove(path);
    if (answer == QMessageBox::Yes)
        ResumeJournal(journal);
}

void TfrmMain::ResumeJournal(const TJournal& journal)
{
    // The format by its profile file when the list still has it, else by its place.
    int format = -1;
    for (int i = 0; i < ComboBoxFormatSelect->count() && !journal.formatFile.isEmpty(); ++i) {
        if (FormatFileAt(i) == journal.formatFile) {
            format = i;
            break;
        }
    }
    if (format < 0 && journal.formatIndex >= 0 && journal.formatIndex < ComboBoxFormatSelect->count())
        format = journal.formatIndex;
    if (format >= 0) {
        ComboBoxFormatSelect->setCurrentIndex(format);
        ActionChangeProfileExecute();
    }
    if (!journal.outputFolder.trimmed().isEmpty() && !journal.outputFolder.contains(u'\n') &&
        !journal.outputFolder.contains(u'\r'))
        editOutputFolder->setText(journal.outputFolder);

    QStringList missing;
    for (const TJournalItem& entry : journal.Unfinished()) {
        if (!QFileInfo(entry.source).isFile()) {
            missing << entry.source;
            TRunJournal::RemoveLeftovers({entry}, true);
            continue;
        }
        const bool isNew = !IsInJobList(entry.source);
        AddJobFile(entry.source);
        if (isNew && IsInJobList(entry.source)) {
            QTreeWidgetItem* item = listViewFiles->topLevelItem(JobCount() - 1);
            item->setText(1, entry.startText);
            item->setText(2, entry.durationText);
        }
        // What the cut-off run made at the output's name is its own, as long as it is that
        // very file; a file that was there before it is asked about as usual.
        if (!entry.output.isEmpty() && entry.outputIdentity.valid)
            replaceableOutputs.insert(entry.source, {entry.output, entry.outputIdentity});
    }
    if (missing.isEmpty())
        return;
    // One message, however many: a long list is cut short.
    constexpr int shown = 20;
    QStringList names = missing.mid(0, shown);
    if (missing.size() > shown)
        names << QStringLiteral("… (+%1)").arg(missing.size() - shown);
    TMessageBox::Show(this, messages.msgResumeMissing + QStringLiteral("\n\n") + names.join(u'\n'),
                      QMessageBox::Ok, QMessageBox::Warning);
}
