#include "platform/ExceptionReport.h"

#include "platform/AppError.h"

#include <cstdio>
#include <exception>

namespace {

TExceptionReporter& Reporter()
{
    static TExceptionReporter reporter;
    return reporter;
}

} // namespace

void ReportException(const QString& text)
{
    // Copied so a reporter that installs another one while it runs stays alive.
    const TExceptionReporter reporter = Reporter();
    if (reporter)
        reporter(text);
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const AppError& e) {
        return e.Text();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

void ReportCurrentException()
{
    ReportException(CurrentExceptionText());
}

TExceptionReporter SetExceptionReporter(TExceptionReporter reporter)
{
    TExceptionReporter previous = std::move(Reporter());
    Reporter() = std::move(reporter);
    return previous;
}
