// Conversion side of the main window: progress and log, profile catalogue and settings panel,
// per-file job set-up and the batch run.

#include "shell/TfrmMain.h"

void TfrmMain::CreateConversionParts() {}

void TfrmMain::CreateConversionWindows() {}

void TfrmMain::LoadLanguageConversionWindows(const QString&) {}

void TfrmMain::RestoreFormatIndex() {}

void TfrmMain::FormCloseConversion() {}

void TfrmMain::DestroyConversionParts() {}

void TfrmMain::ConsoleIOReceiveOutput(QObject*, const QString&) {}

void TfrmMain::ConsoleIOReceiveError(QObject*, const QString&) {}

void TfrmMain::ConsoleIOProcessStatusChange(bool) {}

void TfrmMain::ParseEncoderOutput(const QString&) {}

void TfrmMain::AppendLog(const QString&) {}

void TfrmMain::ClearLog() {}

void TfrmMain::TimerRunTimeTimer() {}

void TfrmMain::ActionLoadProfileExecute() {}

void TfrmMain::ActionChangeProfileExecute() {}

void TfrmMain::ComboBoxFormatSelectChange(int) {}

void TfrmMain::FillChoiceBox(QComboBox*, const QString&, const QString&, bool) {}

int TfrmMain::ReadFormatIndex() const
{
    return 0;
}

void TfrmMain::WriteFormatIndex(int) const {}

QString TfrmMain::BuildJobCommandLine(const QString&, const QString&, const QString&, const QString&)
{
    return QString();
}

void TfrmMain::ActionConvertNowExecute() {}

void TfrmMain::RunBatch() {}

void TfrmMain::StopBatch() {}

void TfrmMain::SetRunControlsEnabled(bool) {}

void TfrmMain::ShowStatusReady() {}

void TfrmMain::EnsureOutputFolder(const QString&) {}

void TfrmMain::OpenOutputFolder(const QString&) {}

QString TfrmMain::ResolveOutputName(const QString& outputPath)
{
    return outputPath;
}
