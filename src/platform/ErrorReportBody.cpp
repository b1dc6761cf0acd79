#include "platform/ErrorReportBody.h"

namespace {

bool IsPlainByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void AppendField(QByteArray& body, const char* name, const QString& value)
{
    body += name;
    body += '=';
    body += EncodeFormValue(value);
    body += '&';
}

} // namespace

QByteArray EncodeFormValue(const QString& value)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    const QByteArray bytes = value.toUtf8();
    QByteArray encoded;
    encoded.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        if (c == ' ') {
            encoded += '+';
        } else if (IsPlainByte(c)) {
            encoded += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += hexDigits[b >> 4];
            encoded += hexDigits[b & 0x0F];
        }
    }
    return encoded;
}

QByteArray BuildErrorReportBody(const QString& userName, const QString& userEmail, const QString& orderId,
                                const QString& debugInfo, const QString& regUserName,
                                const QString& productName)
{
    QString lines = debugInfo;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QChar::ParagraphSeparator, u'\n');
    lines.replace(QChar::LineSeparator, u'\n');
    lines.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));

    QByteArray body;
    AppendField(body, "user_name", userName);
    AppendField(body, "user_email", userEmail);
    AppendField(body, "order_id", orderId);
    AppendField(body, "debug_info", lines);
    AppendField(body, "reg_user_name", regUserName);
    AppendField(body, "product_name", productName);
    return body;
}
