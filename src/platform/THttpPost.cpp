#include "platform/THttpPost.h"

#include "platform/AppError.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {

QUrl CheckedUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0 ||
        parsed.host().isEmpty())
        throw AppError(QStringLiteral("Cannot send to \"%1\": only http addresses are supported.").arg(url));
    return parsed;
}

struct ReplyHead
{
    qsizetype bodyStart = -1; // -1 while the header lines are incomplete
    QByteArray statusLine;
    qint64 contentLength = -1;
    bool chunked = false;
};

ReplyHead ParseHead(const QByteArray& reply)
{
    ReplyHead head;
    qsizetype end = reply.indexOf("\r\n\r\n");
    qsizetype separatorLength = 4;
    const qsizetype bareEnd = reply.indexOf("\n\n");
    if (bareEnd >= 0 && (end < 0 || bareEnd < end)) {
        end = bareEnd;
        separatorLength = 2;
    }
    if (end < 0)
        return head;
    head.bodyStart = end + separatorLength;

    const QList<QByteArray> lines = reply.left(end).split('\n');
    head.statusLine = lines.first().trimmed();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            if (ok && length >= 0)
                head.contentLength = length;
        } else if (name == "transfer-encoding") {
            head.chunked = value.toLower().contains("chunked");
        }
    }
    return head;
}

// Decodes a chunked body; false while the final chunk has not arrived.
bool DecodeChunked(const QByteArray& data, QByteArray& body)
{
    body.clear();
    qsizetype pos = 0;
    for (;;) {
        const qsizetype lineEnd = data.indexOf('\n', pos);
        if (lineEnd < 0)
            return false;
        QByteArray sizeText = data.mid(pos, lineEnd - pos).trimmed();
        const qsizetype extension = sizeText.indexOf(';');
        if (extension >= 0)
            sizeText.truncate(extension);
        bool ok = false;
        const qint64 size = sizeText.toLongLong(&ok, 16);
        if (!ok || size < 0)
            throw AppError(QStringLiteral("The server sent a malformed reply."));
        pos = lineEnd + 1;
        if (size == 0)
            return true;
        // What has come of a chunk still counts for a reply cut short.
        if (data.size() - pos < size) {
            body += data.mid(pos);
            return false;
        }
        body += data.mid(pos, size);
        pos += size;
        // The line end after the chunk's data.
        if (pos < data.size() && data[pos] == '\r')
            ++pos;
        if (pos >= data.size())
            return false;
        if (data[pos] == '\n')
            ++pos;
    }
}

} // namespace

QByteArray THttpPost::BuildRequest(const QString& url, const QByteArray& contentType, const QByteArray& body)
{
    const QUrl target = CheckedUrl(url);
    QByteArray path = target.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty())
        path = "/";
    if (target.hasQuery())
        path += '?' + target.query(QUrl::FullyEncoded).toLatin1();

    QByteArray host = target.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int port = target.port(80);
    if (port != 80)
        host += ':' + QByteArray::number(port);

    QByteArray request;
    request += "POST " + path + " HTTP/1.0\r\n";
    request += "Host: " + host + "\r\n";
    request += "Content-Type: " + contentType + "\r\n";
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Accept: text/html, */*\r\n";
    request += "User-Agent: Velmora\r\n";
    request += "\r\n";
    request += body;
    return request;
}

QByteArray THttpPost::ParseReply(const QByteArray& reply, bool connectionClosed, bool& complete)
{
    complete = false;
    const ReplyHead head = ParseHead(reply);
    if (head.bodyStart < 0)
        return QByteArray();

    const QList<QByteArray> status = head.statusLine.split(' ');
    bool codeOk = false;
    const int code = status.size() >= 2 ? status[1].toInt(&codeOk) : 0;
    if (!head.statusLine.startsWith("HTTP/") || !codeOk)
        throw AppError(QStringLiteral("The server sent a reply that is not HTTP."));
    if (code < 200 || code > 299)
        throw AppError(QString::fromLatin1(head.statusLine));

    const QByteArray rest = reply.mid(head.bodyStart);
    if (head.chunked) {
        QByteArray body;
        complete = DecodeChunked(rest, body);
        return body;
    }
    if (head.contentLength >= 0) {
        complete = rest.size() >= head.contentLength;
        return rest.left(head.contentLength);
    }
    complete = connectionClosed;
    return rest;
}

THttpPost::THttpPost(QObject* parent) : QObject(parent) {}

THttpPost::~THttpPost()
{
    if (socket) {
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }
}

void THttpPost::Start(const QString& url, const QByteArray& contentType, const QByteArray& body, int limitMs)
{
    if (running)
        throw AppError(QStringLiteral("A report is being sent already."));
    const QUrl target = CheckedUrl(url);
    request = BuildRequest(url, contentType, body);
    host = target.host();
    timeoutMs = limitMs > 0 ? limitMs : DefaultTimeoutMs;
    received.clear();
    closed = false;
    timedOut = false;
    cut = false;
    failure.clear();

    delete socket;
    socket = new QTcpSocket(this);
    // Qt reads ahead no further than what is taken from it.
    socket->setReadBufferSize(MaxReplyBytes);
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this] {
            timedOut = true;
            End();
        });
    }
    connect(socket, &QTcpSocket::connected, this, [this] { socket->write(request); });
    connect(socket, &QTcpSocket::readyRead, this, &THttpPost::ReadReply);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        closed = true;
        End();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            closed = true;
        else if (failure.isEmpty())
            failure = socket->errorString();
        End();
    });
    running = true;
    // One limit for the whole exchange: a server that trickles its reply gains nothing.
    timer->start(timeoutMs);
    socket->connectToHost(host, quint16(target.port(80)));
}

void THttpPost::ReadReply()
{
    if (!running)
        return;
    received += socket->read(MaxReplyBytes - received.size());
    if (received.size() >= MaxReplyBytes) {
        cut = true;
        End();
        return;
    }
    try {
        bool complete = false;
        ParseReply(received, false, complete);
        if (complete)
            End();
    } catch (const AppError&) {
        // An error status or a malformed reply: no need to wait for the rest.
        End();
    }
}

void THttpPost::End()
{
    if (!running)
        return;
    running = false;
    timer->stop();
    if (!cut && socket->bytesAvailable() > 0) {
        received += socket->read(MaxReplyBytes - received.size());
        cut = received.size() >= MaxReplyBytes;
    }
    if (socket->state() == QAbstractSocket::UnconnectedState && failure.isEmpty())
        closed = true;
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->abort();

    QByteArray reply;
    QString error;
    try {
        bool complete = false;
        reply = ParseReply(received, closed || cut, complete);
        // What fits is the reply: the rest is never read.
        if (!complete && cut && ParseHead(received).bodyStart >= 0)
            complete = true;
        if (!complete) {
            reply.clear();
            if (timedOut) {
                const int seconds = (timeoutMs + 999) / 1000;
                error = QStringLiteral("The server %1 did not answer within %2.")
                            .arg(host, seconds == 1 ? QStringLiteral("1 second")
                                                    : QStringLiteral("%1 seconds").arg(seconds));
            } else if (!failure.isEmpty()) {
                error = QStringLiteral("Cannot reach the server %1: %2").arg(host, failure);
            } else if (received.isEmpty()) {
                error = QStringLiteral("The server %1 closed the connection without a reply.").arg(host);
            } else if (cut) {
                error = QStringLiteral("The server %1 sent a reply whose head does not end.").arg(host);
            } else {
                error = QStringLiteral("The server %1 closed the connection before the whole reply arrived.")
                            .arg(host);
            }
        }
    } catch (const AppError& parseError) {
        reply.clear();
        error = parseError.Text();
    }
    // From the event loop: the receiver may delete this object, and the socket's own signal
    // that led here is not over yet.
    QMetaObject::invokeMethod(
        this, [this, reply, error] { emit Finished(reply, error); }, Qt::QueuedConnection);
}

QByteArray THttpPost::Post(const QString& url, const QByteArray& contentType, const QByteArray& body,
                           int timeoutMs)
{
    THttpPost post;
    QEventLoop loop;
    QByteArray reply;
    QString error;
    bool done = false;
    QObject::connect(&post, &THttpPost::Finished, &loop,
                     [&](const QByteArray& replyBody, const QString& text) {
                         reply = replyBody;
                         error = text;
                         done = true;
                         loop.quit();
                     });
    post.Start(url, contentType, body, timeoutMs);
    // Windows keep painting meanwhile, but take no clicks or keys.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done)
        throw AppError(QStringLiteral("The program is ending: nothing more is sent."));
    if (!error.isEmpty())
        throw AppError(error);
    return reply;
}
