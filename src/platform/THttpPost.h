#pragma once
// An HTTP/1.0 POST over a plain TCP socket: sends one request, reads the reply until the server
// closes the connection (or the announced length has arrived) and reports its body. It runs on
// the caller's event loop and never blocks it; the time limit holds for the whole exchange, and
// no more than MaxReplyBytes of a reply are ever read, so no server can keep the program busy.

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

class THttpPost : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 30000;
    // Head and body together; a longer reply is cut here and the connection dropped.
    static constexpr qsizetype MaxReplyBytes = 64 * 1024;

    explicit THttpPost(QObject* parent = nullptr);
    // Drops a connection still open; Finished does not come then.
    ~THttpPost() override;

    // Sends the request; Finished comes once, from the event loop, never from inside Start.
    // Raises AppError at once when the address is not an http address.
    void Start(const QString& url, const QByteArray& contentType, const QByteArray& body,
               int timeoutMs = DefaultTimeoutMs);
    bool IsRunning() const { return running; }

    // Starts a POST and waits for it in a local event loop that takes no user input; returns
    // the body or raises AppError with the error Finished would give.
    static QByteArray Post(const QString& url, const QByteArray& contentType, const QByteArray& body,
                           int timeoutMs = DefaultTimeoutMs);

    // The request bytes Post sends (exposed for tests): request line, Host, Content-Type,
    // Content-Length, an empty line and the body.
    static QByteArray BuildRequest(const QString& url, const QByteArray& contentType, const QByteArray& body);

    // Parses a whole reply as received. complete is false while more bytes are needed (headers
    // unfinished, or fewer body bytes than Content-Length). Raises AppError for a malformed
    // reply or a status other than 2xx.
    static QByteArray ParseReply(const QByteArray& reply, bool connectionClosed, bool& complete);

signals:
    // error is empty when the reply was a 2xx one, else a readable text: the connection failed,
    // the whole exchange took longer than the time limit, the connection closed before a
    // complete reply, or the reply's status ("HTTP/1.0 500 ..."). A reply longer than
    // MaxReplyBytes gives its first part.
    void Finished(const QByteArray& reply, const QString& error);

private:
    void ReadReply();
    void End();

    QTcpSocket* socket = nullptr;
    QTimer* timer = nullptr;
    QByteArray request;
    QByteArray received;
    QString host;
    int timeoutMs = DefaultTimeoutMs;
    bool running = false;
    bool closed = false;
    bool timedOut = false;
    bool cut = false; // the reply reached MaxReplyBytes
    QString failure;
};
