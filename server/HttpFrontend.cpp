// SPDX-License-Identifier: MIT
#include "server/HttpFrontend.h"

#include "server/ApiRouter.h"

#include <QHttpServerRequest>
#include <QMetaEnum>
#include <QPointer>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 413:
        return "Content Too Large";
    case 422:
        return "Unprocessable Content";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

enum class After { KeepOpen, Close, CloseLater };

void writeReply(QTcpSocket *socket, int status, const QByteArray &body, After after)
{
    const bool close = after != After::KeepOpen;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                      "\r\n"
                      "Content-Type: application/json\r\n"
                      "Cache-Control: no-store\r\n"
                      "Content-Length: " +
                      QByteArray::number(body.size()) + "\r\n";
    if (close)
        head += "Connection: close\r\n";
    socket->write(head + "\r\n" + body);
    if (after == After::Close)
        socket->disconnectFromHost();
}

QByteArray methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QByteArray(key).toUpper() : QByteArray("UNKNOWN");
}

} // namespace

HttpFrontend::HttpFrontend(ApiRouter &router, const TlsListener::Limits &limits, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_router(router)
    , m_limits(limits)
{}

quint16 HttpFrontend::listenTls(const QHostAddress &address, quint16 port, const QSslConfiguration &tls)
{
    auto *listener = new TlsListener(m_limits, this);
    listener->setSslConfiguration(tls);
    if (!listener->listen(address, port)) {
        delete listener;
        return 0;
    }
    bind(listener);
    return listener->serverPort();
}

bool HttpFrontend::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    ApiRequest api;
    api.method = methodName(request.method());
    api.path = request.url().path();
    api.query = request.query();
    api.body = request.body();
    bool close = false;
    for (const auto &[name, value] : request.headers()) {
        if (name.compare("authorization", Qt::CaseInsensitive) == 0) {
            api.authorization = value;
        } else if (name.compare("idempotency-key", Qt::CaseInsensitive) == 0) {
            api.idempotencyKey = value;
            api.hasIdempotencyKey = true;
        } else if (name.compare("connection", Qt::CaseInsensitive) == 0) {
            close = value.trimmed().compare("close", Qt::CaseInsensitive) == 0;
        }
    }
    TlsListener::requestArrived(socket);
    QPointer<QTcpSocket> connection(socket);
    m_router.handle(std::move(api), [connection, close](int status, const QByteArray &body) {
        if (connection && connection->state() == QAbstractSocket::ConnectedState) {
            writeReply(connection, status, body, close ? After::Close : After::KeepOpen);
            TlsListener::replyWritten(connection);
        }
    });
    return true;
}

void HttpFrontend::limitRequestSizes()
{
    for (QTcpServer *server : servers()) {
        auto *tls = qobject_cast<QSslServer *>(server);
        if (!tls)
            continue;
        // Connected before the handshake, so this slot runs ahead of the parser's on every readyRead.
        connect(tls, &QSslServer::startedEncryptionHandshake, this, [](QSslSocket *socket) {
            auto pending = std::make_shared<qint64>(0);
            connect(socket, &QIODevice::readyRead, socket, [socket, pending] {
                // The parser holds a read transaction open until a request is complete.
                *pending = (socket->isTransactionStarted() ? *pending : 0) + socket->bytesAvailable();
                if (*pending <= maxRequestBytes)
                    return;
                QObject::disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
                if (socket->isTransactionStarted())
                    socket->commitTransaction();
                socket->readAll();
                writeReply(socket, 413, R"({"error":"The request body is larger than 64 KiB."})",
                           After::CloseLater);
                // Read and drop what the client still sends, so that it gets to read the reply;
                // close once it has been quiet for 2 seconds, or has sent far too much.
                auto *quiet = new QTimer(socket);
                quiet->setSingleShot(true);
                connect(quiet, &QTimer::timeout, socket, [socket] { socket->disconnectFromHost(); });
                quiet->start(2000);
                auto dropped = std::make_shared<qint64>(0);
                connect(socket, &QIODevice::readyRead, socket, [socket, dropped, quiet] {
                    *dropped += socket->readAll().size();
                    quiet->start(2000);
                    if (*dropped > 64 * 1024 * 1024)
                        socket->abort();
                });
            });
        });
    }
}

void HttpFrontend::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    TlsListener::requestArrived(socket);
    writeReply(socket, 404, R"({"error":"There is no such endpoint."})", After::KeepOpen);
    TlsListener::replyWritten(socket);
}
