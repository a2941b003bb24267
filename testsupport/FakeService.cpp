// SPDX-License-Identifier: MIT
#include "testsupport/FakeService.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QPointer>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>
#include <QtTest/QTest>

FakeReply FakeReply::json(int status, QByteArray body)
{
    return {.status = status, .body = std::move(body)};
}

FakeReply FakeReply::rawBytes(QByteArray bytes)
{
    return {.kind = Kind::Raw, .raw = std::move(bytes)};
}

FakeReply FakeReply::drop()
{
    return {.kind = Kind::Drop};
}

FakeReply FakeReply::silence()
{
    return {.kind = Kind::Silence};
}

FakeReply FakeReply::after(std::chrono::milliseconds d) const
{
    FakeReply reply = *this;
    reply.delay = d;
    return reply;
}

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

namespace {

QString routeKey(const QByteArray &method, const QString &path)
{
    return QString::fromLatin1(method) + QLatin1Char(' ') + path;
}

// One client connection: bytes not yet parsed, and whether an answer is still pending.
struct Connection
{
    QByteArray buffer;
    bool busy = false;
};

} // namespace

struct FakeService::Private
{
    FakeService *q = nullptr;
    QSslServer server;
    QHash<QString, QList<FakeReply>> queues;
    QHash<QString, FakeReply> fallbacks;
    QList<RecordedRequest> requests;
    int connections = 0;
    int closed = 0;
    int answered = 0;

    void accept()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            auto state = std::make_shared<Connection>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [this, socket, state] { serve(socket, state); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                ++closed;
                socket->deleteLater();
            });
            serve(socket, state);
        }
    }

    FakeReply take(const QByteArray &method, const QString &path)
    {
        const QString key = routeKey(method, path);
        auto it = queues.find(key);
        if (it != queues.end() && !it->isEmpty())
            return it->takeFirst();
        return fallbacks.value(key, FakeReply::json(404, R"({"error":"no script"})"));
    }

    // Parses every complete request in the buffer; answers them one at a time, in order.
    void serve(QTcpSocket *socket, const std::shared_ptr<Connection> &state)
    {
        state->buffer += socket->readAll();
        while (!state->busy) {
            const qsizetype headerEnd = state->buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QList<QByteArray> lines = state->buffer.left(headerEnd).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            RecordedRequest request;
            request.method = requestLine.value(0);
            const QByteArray target = requestLine.value(1);
            const qsizetype queryStart = target.indexOf('?');
            request.path = QString::fromLatin1(queryStart < 0 ? target : target.left(queryStart));
            request.query = queryStart < 0 ? QByteArray() : target.mid(queryStart + 1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0)
                    continue;
                const QByteArray name = line.left(colon).trimmed();
                const QByteArray value = line.mid(colon + 1).trimmed();
                request.headers.insert(name.toLower(), value);
            }
            const qsizetype length = request.header("content-length").toLongLong();
            if (state->buffer.size() < headerEnd + 4 + length)
                return;
            request.body = state->buffer.mid(headerEnd + 4, length);
            state->buffer.remove(0, headerEnd + 4 + length);

            const bool close = request.header("connection").toLower() == "close";
            requests.append(request);
            Q_EMIT q->requestReceived(request);
            const FakeReply reply = take(request.method, request.path);
            state->busy = true;
            QPointer<QTcpSocket> guard(socket);
            // Not the socket's context: a reply whose client has gone still counts as answered.
            QTimer::singleShot(reply.delay, q, [this, guard, state, reply, close] {
                if (reply.kind != FakeReply::Kind::Silence)
                    ++answered;
                if (guard)
                    answer(guard, state, reply, close);
            });
        }
    }

    void answer(QTcpSocket *socket, const std::shared_ptr<Connection> &state, const FakeReply &reply,
                bool close)
    {
        switch (reply.kind) {
        case FakeReply::Kind::Silence:
            return; // stays busy: this connection never answers again
        case FakeReply::Kind::Drop:
            socket->abort();
            return;
        case FakeReply::Kind::Raw:
            socket->write(reply.raw);
            socket->disconnectFromHost();
            return;
        case FakeReply::Kind::Http:
            break;
        }
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted" + // the client ignores the phrase
            "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
            "\r\n";
        head += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        socket->write(head + reply.body);
        if (close) {
            socket->disconnectFromHost();
            return;
        }
        state->busy = false;
        serve(socket, state);
    }
};

QSslConfiguration devServerTls()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(QSslCertificate::fromPath(QStringLiteral(QUORL_DEV_SERVER_CERT)));
    QFile keyFile(QStringLiteral(QUORL_DEV_SERVER_KEY));
    if (!keyFile.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", QUORL_DEV_SERVER_KEY);
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa, QSsl::Pem));
    return tls;
}

FakeService::FakeService(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    d->q = this;
    d->server.setSslConfiguration(devServerTls());
    connect(&d->server, &QSslServer::pendingConnectionAvailable, this, [this] { d->accept(); });
    if (!d->server.listen(QHostAddress::LocalHost, 0))
        qFatal("FakeService: cannot listen: %s", qPrintable(d->server.errorString()));
}

FakeService::~FakeService() = default;

APIService::Options FakeService::options(std::chrono::milliseconds retryPause) const
{
    return optionsFor(d->server.serverPort(), retryPause);
}

APIService::Options FakeService::optionsFor(quint16 port, std::chrono::milliseconds retryPause)
{
    APIService::Options options;
    // The loopback address itself, which the certificate names: the tests do not depend on how
    // this machine resolves "localhost" (IPv4 only, or ::1 as well as on a stock Debian).
    options.base = QUrl(QStringLiteral("https://127.0.0.1:%1/api").arg(port));
    QFile ca(QStringLiteral(QUORL_DEV_CA_CERT));
    if (ca.open(QIODevice::ReadOnly))
        options.extraCaPem = ca.readAll();
    options.retryPause = retryPause;
    return options;
}

void FakeService::enqueue(const QByteArray &method, const QString &path, FakeReply reply)
{
    d->queues[routeKey(method, path)].append(std::move(reply));
}

void FakeService::setFallback(const QByteArray &method, const QString &path, FakeReply reply)
{
    d->fallbacks.insert(routeKey(method, path), std::move(reply));
}

void FakeService::clear()
{
    d->queues.clear();
    d->fallbacks.clear();
    d->requests.clear();
}

int FakeService::connectionCount() const
{
    return d->connections;
}

int FakeService::closedCount() const
{
    return d->closed;
}

int FakeService::answeredCount() const
{
    return d->answered;
}

bool FakeService::waitUntilAnswered(int count, std::chrono::milliseconds grace)
{
    if (!QTest::qWaitFor([&] { return d->answered >= count; }, 5000))
        return false;
    QTest::qWait(int(grace.count()));
    return true;
}

QList<RecordedRequest> FakeService::requests() const
{
    return d->requests;
}

QList<RecordedRequest> FakeService::requests(const QString &path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest &request : d->requests) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}
