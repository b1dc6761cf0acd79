#include "platform/SafeFormat.h"

#include "platform/AppError.h"

namespace {

[[noreturn]] void Refuse(const QString& format, const QString& reason)
{
    throw AppError(QStringLiteral("The message text \"%1\" cannot be shown: %2.").arg(format, reason));
}

} // namespace

QString SafeFormat(const QString& format, const QString& argument)
{
    QString result;
    result.reserve(format.size() + argument.size());
    bool argumentUsed = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%') {
            result += c;
            continue;
        }
        if (i + 1 >= format.size())
            Refuse(format, QStringLiteral("it ends in a lone \"%\" (write \"%%\" for a percent sign)"));
        const QChar directive = format.at(++i);
        if (directive == u'%') {
            result += u'%';
        } else if (directive == u's') {
            if (argumentUsed)
                Refuse(format, QStringLiteral("it holds more than one \"%s\""));
            argumentUsed = true;
            result += argument;
        } else {
            Refuse(format,
                   QStringLiteral("\"%%1\" is not allowed, only one \"%s\" and \"%%\"").arg(directive));
        }
    }
    return result;
}
