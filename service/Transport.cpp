// SPDX-License-Identifier: MIT
#include "service/Transport.h"

#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QCoroTimer>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

namespace {

using namespace std::chrono_literals;

// The system's trust store, read once per process on a worker thread when the first request needs
// it: parsing a few hundred certificates takes longer than drawing the first frame, and a program
// that never sends anything never pays for it.
QFuture<QList<QSslCertificate>> systemCaCertificates()
{
    static const QFuture<QList<QSslCertificate>> loading =
        QtConcurrent::run([] { return QSslConfiguration::systemCaCertificates(); });
    return loading;
}

} // namespace

Transport::Transport(const APIService::Options &options)
    : m_options(options)
{}

void Transport::preloadTrust()
{
    systemCaCertificates();
}

QCoro::Task<> Transport::ensureTrust()
{
    if (m_ssl)
        co_return;
    const QList<QSslCertificate> system = co_await systemCaCertificates();
    // The system's CAs plus ours; addCaCertificates() would drop the system's. Set alike on every
    // request, since a pooled connection is reused whatever configuration the next request carries.
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    ssl.setCaCertificates(system + QSslCertificate::fromData(m_options.extraCaPem, QSsl::Pem));
    m_ssl = std::move(ssl);
}

QNetworkRequest Transport::request(const QString &path, const std::optional<QString> &token) const
{
    QUrl url = m_options.base;
    url.setPath(m_options.base.path() + QLatin1Char('/') + path);
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_options.requestTimeout.count()));
    if (token) {
        // Control characters would end the header line and let the rest pass for headers of its own.
        const bool headerSafe = std::none_of(token->cbegin(), token->cend(), [](QChar c) {
            return c.unicode() < 0x20 || c.unicode() == 0x7f;
        });
        if (!headerSafe)
            throw EncodingError(QStringLiteral("The request couldn't be written because the sign-in "
                                               "token holds a control character."));
        request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    }
    return request;
}

namespace {

bool isTransportFailure(const QNetworkReply &reply)
{
    if (!reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return true;
    const QNetworkReply::NetworkError error = reply.error();
    // Codes below 200 are connection, TLS and proxy failures; the others stand for an HTTP status
    // that did arrive, except for a broken or unknown protocol.
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
}

// Moves up to one slice of what the reply has received to the end of body. Called as the data
// arrives and then until none is left, with a turn of the event loop between slices: copying a
// long reply into fresh memory in one pass would hold up the UI thread for many frames.
constexpr qint64 takeSlice = 1024 * 1024;

void takeAvailable(QNetworkReply &reply, QByteArray &body)
{
    if (body.capacity() == 0) {
        // The announced length, within reason: a false one only costs a reallocation later.
        constexpr qint64 reserveCap = 256 * 1024 * 1024;
        const qint64 announced = reply.header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > 0)
            body.reserve(qsizetype(std::min(announced, reserveCap)));
    }
    const qint64 available = std::min(reply.bytesAvailable(), takeSlice);
    if (available <= 0)
        return;
    const qsizetype start = body.size();
    const qsizetype needed = start + qsizetype(available);
    if (needed > body.capacity()) // resize() alone would grow to the exact size every time
        body.reserve(std::max(needed, 2 * body.capacity()));
    body.resize(needed);
    const qint64 got = reply.read(body.data() + start, available);
    body.resize(start + qsizetype(std::max<qint64>(got, 0)));
}

} // namespace

QCoro::Task<Transport::Reply> Transport::send(Request request, CancelToken cancel)
{
    if (cancel.isCancelled())
        throw CancellationError();
    co_await ensureTrust();
    if (cancel.isCancelled())
        throw CancellationError();
    request.request.setSslConfiguration(*m_ssl);
    QNetworkReply *reply =
        request.isPost ? m_manager.post(request.request, request.body) : m_manager.get(request.request);
    QByteArray body;
    QMetaObject::Connection onData;
    // Deleted later: the coroutine may resume inside one of the reply's own signals.
    const auto release = qScopeGuard([reply, &onData] {
        QObject::disconnect(onData);
        reply->deleteLater();
    });
    onData = QObject::connect(reply, &QIODevice::readyRead, reply,
                              [reply, &body] { takeAvailable(*reply, body); });

    bool cancelled = false;
    bool timedOut = false;
    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, &timedOut] {
        timedOut = true;
        reply->abort();
    });
    deadline->start(m_options.exchangeTimeout);
    const QMetaObject::Connection onCancel = cancel.onCancel(reply, [reply, &cancelled] {
        cancelled = true;
        QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    });

    co_await reply;

    deadline->stop();
    QObject::disconnect(onCancel);
    if (cancelled)
        throw CancellationError();
    if (isTransportFailure(*reply)) {
        const QNetworkReply::NetworkError error = reply->error();
        // Our own deadline and Qt's inactivity time-out both end in OperationCanceledError.
        if (timedOut || error == QNetworkReply::OperationCanceledError ||
            error == QNetworkReply::TimeoutError)
            throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
        throw TransportError(error, reply->errorString());
    }
    while (reply->bytesAvailable() > 0) {
        takeAvailable(*reply, body);
        if (reply->bytesAvailable() > 0)
            co_await QCoro::sleepFor(0ms);
    }
    co_return Reply{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), std::move(body)};
}
