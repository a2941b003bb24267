// SPDX-License-Identifier: MIT
#include "service/Transport.h"

#include <QCoroFuture>
#include <QCoroNetworkReply>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

namespace {

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
    // Deleted later: the coroutine may resume inside one of the reply's own signals.
    const auto release = qScopeGuard([reply] { reply->deleteLater(); });

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
    co_return Reply{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}
