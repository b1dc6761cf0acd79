#pragma once
// The application's standard exception report: errors caught where a notice is handled
// (outside the event loop's own edge) are passed here. The program installs a reporter that
// shows a message box; until then the text goes to standard error.

#include <QString>
#include <functional>

using TExceptionReporter = std::function<void(const QString& text)>;

// Shows the text of a caught error through the installed reporter.
void ReportException(const QString& text);

// The text of the exception being handled; call only inside a catch block.
QString CurrentExceptionText();

// Reports the exception being handled; call only inside a catch block.
void ReportCurrentException();

// Installs the reporter and returns the previous one (an empty one restores the default).
TExceptionReporter SetExceptionReporter(TExceptionReporter reporter);
