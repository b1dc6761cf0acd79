// Conversion side of the main window: progress and log, profile catalogue and settings panel,
// per-file job set-up and the batch run.

#include "shell/TfrmMain.h"

#include "dialogs/TMessageBox.h"
#include "dialogs/TfrmOverWrite.h"
#include "dialogs/TfrmUnSupportFormat.h"
#include "engine/OutputNames.h"
#include "engine/TConsoleIO.h"
#include "engine/TEncoderLog.h"
#include "engine/TFFMpeg.h"
#include "engine/TJobSetup.h"
#include "engine/TProgressState.h"
#include "platform/AppError.h"
#include "platform/ExceptionReport.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/TfrmCommon.h"
#include "profiles/TProfileCatalogue.h"
#include "profiles/VideoProfile.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {

// True when both paths reach the same file (the same file under another name or link included).
bool SameFile(const QString& a, const QString& b)
{
    struct stat first;
    struct stat second;
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The source's file name with the profile's extension in place of its own.
QString OutputNameFor(const QString& sourcePath, const QString& extension)
{
    const QString name = QFileInfo(sourcePath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    // A name that only starts with a dot has no extension to replace.
    const QString base = dot > 0 ? name.left(dot) : name;
    return base + u'.' + extension;
}

const QByteArray placeholderText = QByteArrayLiteral("temp\r\n");

// True while the output still holds nothing but the placeholder: no encoder wrote to it.
bool StillPlaceholder(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.size() == placeholderText.size() && file.readAll() == placeholderText;
}

} // namespace

// ---- parts and windows -------------------------------------------------------------------

void TfrmMain::CreateConversionParts()
{
    FFMpeg = new TFFMpeg(this);
    VideoProfile = new TVideoProfile;
    ConsoleIO = new TConsoleIO(this);
    ConsoleIO->EnableKill = true;
    ConsoleIO->StopProcessOnFree = true;
    ConsoleIO->TerminateCommand = QStringLiteral("quit");
    ConsoleIO->WaitTimeout = 1000;
    ConsoleIO->SplitMode = smSplitchar;
    ConsoleIO->SplitChar = '\n';
    ConsoleIO->OnReceiveOutput = [this](TConsoleIO* sender, const QString& cmd) {
        ConsoleIOReceiveOutput(sender, cmd);
    };
    ConsoleIO->OnReceiveError = [this](TConsoleIO* sender, const QString& cmd) {
        ConsoleIOReceiveError(sender, cmd);
    };
    ConsoleIO->OnProcessStatusChange = [this](TConsoleIO*, bool running) {
        ConsoleIOProcessStatusChange(running);
    };
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

void TfrmMain::DestroyConversionParts()
{
    if (ConsoleIO) {
        // No event may reach a window that is going away; the runner still ends its child.
        ConsoleIO->OnReceiveOutput = nullptr;
        ConsoleIO->OnReceiveError = nullptr;
        ConsoleIO->OnProcessStatusChange = nullptr;
        delete ConsoleIO;
        ConsoleIO = nullptr;
    }
    delete VideoProfile;
    VideoProfile = nullptr;
}

// ---- encoder output, progress and log ----------------------------------------------------

void TfrmMain::ConsoleIOReceiveOutput(QObject*, const QString& Cmd)
{
    if (frmCommon->LogFileEnabled())
        AppendLog(Cmd);
    ParseEncoderOutput(Cmd);
}

void TfrmMain::ConsoleIOReceiveError(QObject*, const QString& Cmd)
{
    if (frmCommon->LogFileEnabled())
        AppendLog(Cmd);
    ParseEncoderOutput(Cmd);
}

void TfrmMain::ParseEncoderOutput(const QString& text)
{
    const int row = SelectedIndex();
    if (row < 0)
        return;
    const QTreeWidgetItem* item = listViewFiles->topLevelItem(row);
    const TProgressItem current{item->text(0), item->text(1), item->text(2), row, JobCount()};

    // A bad marker value raises; what the piece held before it is kept, as for a good piece.
    const TProgressView view = progress.ParseEncoderOutput(text, current, msgStatusRun);

    // A negative position shows as an empty bar.
    progressBarCurrent->setValue(qMax(0, view.position));
    labelCurrentInfo->setText(view.statusText);
    labelCurrentInfo->setToolTip(view.statusText);
    // Told once per run, not for every line the encoder prints.
    if (!view.formatError.isEmpty() && !statusFormatReported) {
        statusFormatReported = true;
        throw AppError(view.formatError);
    }
}

void TfrmMain::AppendLog(const QString& text)
{
    // A log that cannot be written is told once per run, not for every line the encoder
    // prints; the rest of the run goes on without it.
    if (logFailureReported)
        return;
    try {
        TEncoderLog(*frmCommon).AppendLog(text);
    } catch (const AppError&) {
        logFailureReported = true;
        throw;
    }
}

void TfrmMain::ClearLog()
{
    TEncoderLog(*frmCommon).ClearLog();
}

void TfrmMain::TimerRunTimeTimer()
{
    ++progress.RunTicks;
}

// ---- profile catalogue and settings panel ------------------------------------------------

void TfrmMain::ActionLoadProfileExecute()
{
    ComboBoxFormatSelect->clear();
    appliedFormatIndex = -1;
    QStringList failures;
    for (const QString& path :
         TProfileCatalogue::ListProfileFiles(TProfileCatalogue::ProfileFolder(frmCommon->appFolder))) {
        // One broken file must not hide the profiles after it; it is left out and named.
        TVideoProfile profile;
        try {
            profile.LoadFromFile(path);
        } catch (const AppError& error) {
            failures << QFileInfo(path).fileName() + QStringLiteral(": ") + error.Text();
            continue;
        }
        ComboBoxFormatSelect->addItem(
            TProfileCatalogue::EntryText(profile.DisplayName(), profile.Extension()), path);
    }
    if (ComboBoxFormatSelect->count() > 0) {
        ComboBoxFormatSelect->setCurrentIndex(0);
        ActionChangeProfileExecute();
    }
    if (!failures.isEmpty())
        throw AppError(failures.join(u'\n'));
}

void TfrmMain::ActionChangeProfileExecute()
{
    const int index = ComboBoxFormatSelect->currentIndex();
    if (index < 0)
        return;
    const QString path = ComboBoxFormatSelect->itemData(index).toString();

    // Loaded aside first: a profile that fails leaves the panel, the current format and the
    // profile object as the previous one left them, and the list shows that one again.
    TVideoProfile loaded;
    try {
        loaded.LoadFromFile(path);
    } catch (...) {
        ComboBoxFormatSelect->setCurrentIndex(appliedFormatIndex);
        throw;
    }
    *VideoProfile = loaded;

    FillChoiceBox(ComboBoxVideoCodec, loaded.VideoCodec().Value, loaded.VideoCodec().Choices,
                  loaded.VideoCodec().Enabled);
    FillChoiceBox(comboBoxVideoBitrate, loaded.VideoBitrate().Value, loaded.VideoBitrate().Choices,
                  loaded.VideoBitrate().Enabled);
    FillChoiceBox(comboBoxFrameRate, loaded.FrameRate().Value, loaded.FrameRate().Choices,
                  loaded.FrameRate().Enabled);
    FillChoiceBox(comboBoxVideoSize, loaded.VideoSize().Value, loaded.VideoSize().Choices,
                  loaded.VideoSize().Enabled);
    FillChoiceBox(ComboBoxAudioCodec, loaded.AudioCodec().Value, loaded.AudioCodec().Choices,
                  loaded.AudioCodec().Enabled);
    FillChoiceBox(comboBoxAudioBitrate, loaded.AudioBitrate().Value, loaded.AudioBitrate().Choices,
                  loaded.AudioBitrate().Enabled);
    FillChoiceBox(comboBoxSampleRate, loaded.SampleRate().Value, loaded.SampleRate().Choices,
                  loaded.SampleRate().Enabled);
    FillChoiceBox(comboBoxChannel, loaded.Channel().Value, loaded.Channel().Choices,
                  loaded.Channel().Enabled);

    currentFormat = loaded.ContainerFormat();
    currentExtension = loaded.Extension();
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

int TfrmMain::ReadFormatIndex() const
{
    return IniFile(frmCommon->configFile)
        .ReadInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), 0);
}

void TfrmMain::WriteFormatIndex(int index) const
{
    IniFile(frmCommon->configFile)
        .WriteInteger(QStringLiteral("setting"), QStringLiteral("iComboxFormatIndex"), index);
}

void TfrmMain::RestoreFormatIndex()
{
    int index = ReadFormatIndex();
    if (index > ComboBoxFormatSelect->count() - 1)
        index = 0;
    if (index < 0) {
        ComboBoxFormatSelect->setCurrentIndex(-1);
        return;
    }
    if (index >= ComboBoxFormatSelect->count())
        return;
    ComboBoxFormatSelect->setCurrentIndex(index);
    ActionChangeProfileExecute();
}

// ---- per-file job set-up -----------------------------------------------------------------

QString TfrmMain::BuildJobCommandLine(const QString& sourceShort, const QString& outputShort,
                                      const QString& startText, const QString& durationText)
{
    TJobSettings settings;
    settings.videoCodec = ComboBoxVideoCodec->currentText();
    settings.videoBitrate = comboBoxVideoBitrate->currentText();
    settings.frameRate = comboBoxFrameRate->currentText();
    settings.videoSize = comboBoxVideoSize->currentText();
    settings.aspect = ComboBoxAspect->currentText();
    settings.audioCodec = ComboBoxAudioCodec->currentText();
    settings.audioBitrate = comboBoxAudioBitrate->currentText();
    settings.sampleRate = comboBoxSampleRate->currentText();
    settings.channel = comboBoxChannel->currentText();
    settings.currentFormat = currentFormat;
    settings.currentExtension = currentExtension;
    settings.hasVideo = VideoProfile->HasVideo();
    settings.appFolder = frmCommon->appFolder;
    settings.tempFolder = TempFolder();

    const TJobCommand job = TJobSetup::BuildJobCommandLine(
        *FFMpeg, settings, TJobFiles{sourceShort, outputShort, startText, durationText});
    jobProgram = job.program;
    jobArguments = job.arguments;
    if (frmCommon->LogFileEnabled())
        AppendLog(job.commandLine);
    return job.commandLine;
}

QString TfrmMain::TempFolder()
{
    QString folder = QDir::tempPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// ---- batch run ---------------------------------------------------------------------------

void TfrmMain::ActionConvertNowExecute()
{
    if (JobCount() == 0)
        return;
    if (ConsoleIO->IsRunning()) {
        StopBatch();
        return;
    }
    if (batchRunning)
        return;
    if (ComboBoxFormatSelect->count() == 0) {
        TMessageBox::Show(this, msgNoProfile, QMessageBox::Ok, QMessageBox::Warning);
        return;
    }
    RunBatch();
}

void TfrmMain::RunBatch()
{
    // Whatever ends the run, an error included, leaves the window idle.
    struct RunGuard
    {
        TfrmMain* window;
        explicit RunGuard(TfrmMain* w) : window(w) { window->batchRunning = true; }
        ~RunGuard()
        {
            window->TimerRunTime->stop();
            window->batchRunning = false;
            window->keepRunning = true;
        }
    } guard(this);

    ClearLog();
    statusFormatReported = false;
    logFailureReported = false;
    QString folderText = editOutputFolder->text();
    if (folderText.trimmed().isEmpty()) {
        // No folder would put every output into the root of the file system: the default
        // folder is used, and shown and saved as the chosen one.
        folderText = DefaultOutputFolder();
        editOutputFolder->setText(folderText);
    }
    EnsureOutputFolder(folderText);
    const QString folderShort = ShortPath(folderText);
    if (!folderText.endsWith(u'/'))
        folderText += u'/';

    const int itemCount = JobCount();
    QString failedExtensions;
    for (int index = 0; index < itemCount; ++index) {
        // A stop, or a window that closed (and emptied the list), ends the run here.
        if (!keepRunning || closingDown || index >= JobCount()) {
            if (!closingDown)
                ShowStatusReady();
            return;
        }
        progress.Reset();
        TimerRunTime->start();

        QTreeWidgetItem* item = listViewFiles->topLevelItem(index);
        listViewFiles->setCurrentItem(item);
        item->setSelected(true);
        listViewFiles->scrollToItem(item);
        const QString sourcePath = item->text(0);
        const QString sourceShort = ShortPath(sourcePath);
        const QString startText = item->text(1);
        const QString durationText = item->text(2);

        const QString outputPath = folderText + OutputNameFor(sourcePath, currentExtension);
        QString target;
        if (!sourceShort.isEmpty() && SameFile(outputPath, sourceShort)) {
            // Writing the placeholder would destroy the source before the encoder reads it.
            target = MakeAutoName(outputPath);
        } else {
            target = ResolveOutputName(outputPath);
        }
        if (target.isEmpty()) {
            TimerRunTime->stop();
            continue;
        }
        if (closingDown)
            return;

        // Opening a pipe or a device that stands at the output's name would wait for a reader
        // for ever, or write where no file is meant to be.
        const QFileInfo targetInfo(target);
        if (targetInfo.exists() && !targetInfo.isFile())
            throw AppError(
                QStringLiteral("Cannot create file \"%1\". It is not a regular file.").arg(target));
        QFile placeholder(target);
        if (!placeholder.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            placeholder.write(placeholderText) != placeholderText.size() || !placeholder.flush())
            throw AppError(
                QStringLiteral("Cannot create file \"%1\". %2").arg(target, placeholder.errorString()));
        placeholder.close();
        const QString outputShort = ShortPath(target);

        BuildJobCommandLine(sourceShort, outputShort, startText, durationText);
        stopRequested = false;
        ConsoleIO->Start(jobProgram, jobArguments, QString());

        // The window stays alive while the encoder runs; the loop sleeps until an event comes.
        if (ConsoleIO->IsRunning()) {
            QEventLoop wait;
            connect(ConsoleIO, &TConsoleIO::ProcessStatusChanged, &wait, [&wait](bool running) {
                if (!running)
                    wait.quit();
            });
            wait.exec();
        }
        TimerRunTime->stop();

        // An encoder that ended with an error, or was killed, failed; one the user stopped did not.
        // One that reports success but never wrote the output failed all the same.
        const bool unwritten = StillPlaceholder(target);
        const bool failed =
            !stopRequested && (ConsoleIO->ExitCrashed() || ConsoleIO->ExitCode() != 0 || unwritten);
        if (failed)
            failedExtensions += ExtensionWithDot(sourceShort) + u',';
        // A placeholder that no encoder wrote to is no output: leave no 6-byte "video" behind.
        if (unwritten)
            QFile::remove(target);
    }

    // A stop during the last item ends the run like a stop anywhere else: the run did not
    // convert every file, so neither the "all converted" question nor the notice may claim so.
    const bool stopped = !keepRunning;
    ShowStatusReady();
    keepRunning = true;
    if (closingDown || stopped)
        return;

    if (!failedExtensions.isEmpty()) {
        failedExtensions.chop(1);
        frmUnSupportFormat->ShowFailedFormats(failedExtensions);
        return;
    }
    if (TMessageBox::Show(this, msgFolderView + QStringLiteral("\n\n") + msgFinishInfo,
                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Question) == QMessageBox::Yes)
        OpenOutputFolder(folderShort);
}

void TfrmMain::StopBatch()
{
    keepRunning = false;
    stopRequested = true;
    ShowStatusReady();
    try {
        ConsoleIO->SendLine(QStringLiteral("q"));
    } catch (const AppError&) {
        // The encoder is ending already and takes no more input; Stop still makes sure of it.
    }
    ConsoleIO->Stop();
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
    ActionConvertNow->setText(enabled ? StringStartCaption : StringStopCaption);
}

void TfrmMain::ShowStatusReady()
{
    labelCurrentInfo->setText(msgStatusReady);
    labelCurrentInfo->setToolTip(msgStatusReady);
    progressBarCurrent->setValue(0);
}

void TfrmMain::EnsureOutputFolder(const QString& folder)
{
    QString path = folder;
    while (path.size() > 1 && (path.endsWith(u'/') || path.endsWith(u'\\')))
        path.chop(1);
    if (!path.isEmpty() && !QFileInfo(path).isDir())
        QDir().mkpath(path);
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
    if (ConsoleIO && ConsoleIO->IsRunning()) {
        stopRequested = true;
        ConsoleIO->Stop();
    }
    QFile::remove(TJobSetup::ScriptPath(TempFolder()));
    WriteFormatIndex(ComboBoxFormatSelect->currentIndex());
}
