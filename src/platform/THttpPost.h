#pragma once
// A synchronous HTTP/1.0 POST over a plain TCP socket: sends one request, reads the reply until
// the server closes the connection (or the announced length has arrived) and returns its body.
// While it waits, a local event loop keeps windows painted but takes no user input.

#include <QByteArray>
#include <QString>

class THttpPost
{
public:
    static constexpr int DefaultTimeoutMs = 30000;

    // Raises AppError with a readable text when the address is not an http address, the
    // connection fails, the whole exchange takes longer than timeoutMs, the connection closes
    // before a complete reply, or the reply's status is not 2xx ("HTTP/1.0 500 ...").
    static QByteArray Post(const QString& url, const QByteArray& contentType, const QByteArray& body,
                           int timeoutMs = DefaultTimeoutMs);

    // The request bytes Post sends (exposed for tests): request line, Host, Content-Type,
    // Content-Length, an empty line and the body.
    static QByteArray BuildRequest(const QString& url, const QByteArray& contentType, const QByteArray& body);

    // Parses a whole reply as received. complete is false while more bytes are needed (headers
    // unfinished, or fewer body bytes than Content-Length). Raises AppError for a malformed
    // reply or a status other than 2xx.
    static QByteArray ParseReply(const QByteArray& reply, bool connectionClosed, bool& complete);
};
