#pragma once
// The encoder log (logFile.txt beside config.ini, TfrmCommon::logFile, unless the program names
// another file): the command line and everything each encoder of the latest batch wrote, one
// CR LF line per line it wrote.

#include <QString>
#include <QStringList>

class TfrmCommon;

class TEncoderLog
{
public:
    explicit TEncoderLog(const TfrmCommon& common) : common(common) {}

    QString FileName() const;

    // Logging is on while [setting] logfile is 1 (or the program switched it); asked anew for
    // every line.
    bool Enabled() const;

    // One line, opened and closed each time; raises AppError with the cause when it fails.
    void AppendLog(const QString& text) const;
    // Several lines in one write, so that nothing another writer appends lands among them.
    void AppendLines(const QStringList& lines) const;

    // Deletes the log; a log that cannot be deleted stays and grows on.
    void ClearLog() const;

private:
    const TfrmCommon& common;
};
