#pragma once
// The form body of the error report: six fields in a fixed order, each "name=value&", the values
// encoded byte by byte (UTF-8): space as "+", ASCII letters and digits as they are, every other
// byte as "%" and two upper-case hex digits.

#include <QByteArray>
#include <QString>

QByteArray EncodeFormValue(const QString& value);

// debugInfo travels with its lines separated by CR LF, whatever line ends the text box gave.
QByteArray BuildErrorReportBody(const QString& userName, const QString& userEmail, const QString& orderId,
                                const QString& debugInfo, const QString& regUserName,
                                const QString& productName);
