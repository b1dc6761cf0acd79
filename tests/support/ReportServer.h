#pragma once
// A small HTTP server on 127.0.0.1 for the error report tests: records each request as it
// arrived and answers it the way the test chose (a reply, a huge or a trickling one, silence,
// or a dropped connection).

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class ReportServer
{
public:
    enum class Mode
    {
        Reply,             // answer with rawReply once the whole request is in
        ReplyKeepOpen,     // answer with rawReply and leave the connection open
        Silent,            // read the request and never answer
        CloseAtOnce,       // close the connection as soon as it is accepted
        CloseAfterRequest, // read the request, then close without a word
        Huge,              // answer with rawReply, then hugeBytes more of body, then close
        Trickle,           // answer with rawReply, then one more byte of body every trickleMs
    };

    Mode mode = Mode::Reply;
    QByteArray rawReply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nThank you";
    QList<QByteArray> requests; // complete requests, as received
    qint64 hugeBytes = 100 * 1024 * 1024;
    int trickleMs = 100;
    // A huge reply is over: all of it was written, or the other side went away.
    bool hugeDone = false;
    qint64 hugeWritten = 0;

    ReportServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] { Accept(); });
    }

    ~ReportServer()
    {
        for (const QPointer<QTcpSocket>& socket : sockets) {
            if (socket) {
                QObject::disconnect(socket, nullptr, nullptr, nullptr);
                delete socket;
            }
        }
    }

    QString Url(const QString& path = QStringLiteral("/bug_report_submit.php")) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path);
    }

    quint16 Port() const { return server.serverPort(); }

    static QByteArray BodyOf(const QByteArray& request)
    {
        const qsizetype end = request.indexOf("\r\n\r\n");
        return end < 0 ? QByteArray() : request.mid(end + 4);
    }
    static QByteArray HeadOf(const QByteArray& request)
    {
        const qsizetype end = request.indexOf("\r\n\r\n");
        return end < 0 ? request : request.left(end + 2);
    }

private:
    // The body in pieces of a megabyte, each once the one before has gone out, so the reply
    // is never held in memory whole.
    void WriteHuge(QTcpSocket* socket)
    {
        const auto more = [this, socket] {
            if (hugeDone || socket->bytesToWrite() > 0)
                return;
            if (hugeWritten >= hugeBytes) {
                hugeDone = true;
                socket->disconnectFromHost();
                return;
            }
            const qint64 piece = qMin<qint64>(1024 * 1024, hugeBytes - hugeWritten);
            hugeWritten += piece;
            socket->write(QByteArray(piece, 'x'));
        };
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this] { hugeDone = true; });
        QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [this] { hugeDone = true; });
        more();
    }

    void Accept()
    {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            if (mode == Mode::CloseAtOnce) {
                socket->close();
                socket->deleteLater();
                continue;
            }
            sockets.append(socket);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                QByteArray& buffer = buffers[socket];
                buffer += socket->readAll();
                if (!IsComplete(buffer))
                    return;
                requests.append(buffer);
                buffer.clear();
                if (mode == Mode::Reply) {
                    socket->write(rawReply);
                    socket->disconnectFromHost();
                } else if (mode == Mode::ReplyKeepOpen) {
                    socket->write(rawReply);
                } else if (mode == Mode::CloseAfterRequest) {
                    socket->disconnectFromHost();
                } else if (mode == Mode::Huge) {
                    socket->write(rawReply);
                    WriteHuge(socket);
                } else if (mode == Mode::Trickle) {
                    socket->write(rawReply);
                    auto* timer = new QTimer(socket);
                    QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
                    timer->start(trickleMs);
                }
            });
        }
    }

    static bool IsComplete(const QByteArray& data)
    {
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        qsizetype length = 0;
        for (const QByteArray& line : data.left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        return data.size() - (end + 4) >= length;
    }

    QTcpServer server;
    QList<QPointer<QTcpSocket>> sockets;
    QHash<QTcpSocket*, QByteArray> buffers;
};
