// SPDX-License-Identifier: MIT
#include "service/Transport.h"

#include "service/HttpWorker.h"

#include <QCoroFuture>
#include <QNetworkReply>
#include <QtConcurrent>

#include <curl/curl.h>

#include <algorithm>

namespace {

// libcurl and the TLS library, loaded once per process on a worker thread when the first request
// needs them: that takes longer than drawing the first frame, and a program that never sends
// anything never pays for it. Should loading fail, starting the worker says why.
QFuture<void> curlLoaded()
{
    static const QFuture<void> loading = QtConcurrent::run([] {
        try {
            HttpWorker::library();
        } catch (const std::exception &) {
        }
    });
    return loading;
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    // QUrl keeps scheme and host in lower case.
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(443) == b.port(443);
}

// What a user reads for an exchange that ended without a reply (other than by cancellation).
TransportError transportErrorOf(const HttpOutcome &outcome)
{
    using E = QNetworkReply::NetworkError;
    const auto fail = [](E code, const QString &text) { return TransportError(code, text); };
    switch (outcome.end) {
    case HttpOutcome::End::Cancelled:
    case HttpOutcome::End::Inactive:
    case HttpOutcome::End::TimedOut:
        return fail(E::TimeoutError, QStringLiteral("The request timed out."));
    case HttpOutcome::End::TooLarge:
        return fail(E::ProtocolFailure,
                    QStringLiteral("The reply is larger than %1 MiB, the most that is read.")
                        .arg(Transport::replyLimit / (1024 * 1024)));
    case HttpOutcome::End::HeadersTooLarge:
        return fail(E::ProtocolFailure,
                    QStringLiteral("The reply's headers are larger than %1 KiB, the most that is read.")
                        .arg(Transport::headerLimit / 1024));
    case HttpOutcome::End::WouldResend:
        return fail(E::RemoteHostClosedError,
                    QStringLiteral("The server closed the connection before replying."));
    case HttpOutcome::End::NotHttp:
    case HttpOutcome::End::Complete: // without a status: nothing that HTTP would call a reply
        return fail(E::ProtocolFailure, QStringLiteral("The server's reply was not HTTP."));
    case HttpOutcome::End::Failed:
        break;
    }
    const QString detail = outcome.curlText;
    switch (CURLcode(outcome.curlCode)) {
    case CURLE_OPERATION_TIMEDOUT:
        return fail(E::TimeoutError, QStringLiteral("The request timed out."));
    case CURLE_COULDNT_CONNECT:
        return fail(E::ConnectionRefusedError, QStringLiteral("Could not connect to the server."));
    case CURLE_COULDNT_RESOLVE_HOST:
        return fail(E::HostNotFoundError, QStringLiteral("The server's address could not be found."));
    case CURLE_COULDNT_RESOLVE_PROXY:
        return fail(E::ProxyNotFoundError, QStringLiteral("The proxy's address could not be found."));
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return fail(E::RemoteHostClosedError,
                    QStringLiteral("The server closed the connection before replying."));
    case CURLE_PARTIAL_FILE:
        return fail(E::RemoteHostClosedError,
                    QStringLiteral("The server closed the connection before the whole reply arrived."));
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return fail(E::SslHandshakeFailedError,
                    QStringLiteral("A secure connection to the server could not be "
                                   "made (%1).")
                        .arg(detail));
    case CURLE_UNSUPPORTED_PROTOCOL:
        return fail(E::ProtocolUnknownError,
                    QStringLiteral("The service's address is not an HTTPS address."));
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
        return fail(E::ProtocolFailure,
                    QStringLiteral("The server's reply was not valid HTTP (%1).").arg(detail));
    default:
        return fail(E::UnknownNetworkError, QStringLiteral("The request failed (%1).").arg(detail));
    }
}

} // namespace

void Transport::Request::setHeader(const QByteArray &name, const QByteArray &value)
{
    const auto it = std::find_if(headers.begin(), headers.end(), [&name](const auto &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (it != headers.end())
        it->second = value;
    else
        headers.append({name, value});
}

Transport::Transport(const ServiceOptions &options)
    : m_options(options)
{}

Transport::~Transport() = default;

void Transport::shutDown()
{
    m_shutDown = true;
    if (m_worker)
        m_worker->stop();
}

void Transport::preload()
{
    curlLoaded();
}

QCoro::Task<> Transport::ensureStarted()
{
    if (!m_worker)
        co_await curlLoaded();
    if (m_shutDown)
        throw CancellationError();
    if (m_worker) // started already, perhaps by another request meanwhile
        co_return;
    m_extraCaPem = std::make_shared<const QByteArray>(m_options.extraCaPem);
    try {
        m_worker = std::make_unique<HttpWorker>();
    } catch (const std::exception &error) { // no memory, no thread or no libcurl to be had
        throw TransportError(QNetworkReply::UnknownNetworkError,
                             QStringLiteral("The request could not be started (%1).")
                                 .arg(QString::fromLocal8Bit(error.what())));
    }
}

Transport::Request Transport::request(const QString &path, const std::optional<QString> &token,
                                      const Query &query) const
{
    Request request;
    request.url = m_options.base;
    request.url.setPath(m_options.base.path() + QLatin1Char('/') + path);
    QStringList pairs;
    for (const auto &[name, value] : query) {
        checkText(name, value);
        const QByteArray once = QUrl::toPercentEncoding(value, "!$&'()*+,;=:@/?");
        const QByteArray twice = QUrl::toPercentEncoding(QString::fromLatin1(once), "!$'()*,;:@/?");
        pairs.append(name + QLatin1Char('=') + QString::fromLatin1(twice));
    }
    if (!pairs.isEmpty())
        request.url.setQuery(pairs.join(QLatin1Char('&')), QUrl::StrictMode);
    if (token) {
        // Control characters would end the header line and let the rest pass for headers of its own.
        const bool headerSafe = std::none_of(token->cbegin(), token->cend(), [](QChar c) {
            return c.unicode() < 0x20 || c.unicode() == 0x7f;
        });
        if (!headerSafe)
            throw EncodingError(QStringLiteral("The request couldn't be written because the sign-in "
                                               "token holds a control character."));
        request.setHeader("Authorization", "Bearer " + token->toUtf8());
    }
    return request;
}

void Transport::checkText(const QString &field, const QString &text)
{
    if (!text.isValidUtf16())
        throw EncodingError(QStringLiteral("The request couldn't be written because \"%1\" holds a broken "
                                           "character (half of a UTF-16 surrogate pair).")
                                .arg(field));
}

std::optional<Transport::Request> Transport::redirected(const Request &request, int status,
                                                        const QByteArray &target) const
{
    if (target.isEmpty() ||
        !(status == 301 || status == 302 || status == 303 || status == 307 || status == 308))
        return std::nullopt;
    const QUrl url = QUrl(QString::fromUtf8(target), QUrl::StrictMode);
    // Credentials in the address would go out as an Authorization header of their own.
    if (!url.isValid() || !url.userInfo().isEmpty() || !sameOrigin(url, m_options.base))
        return std::nullopt;
    Request next = request;
    next.url = url;
    // As browsers do: 303 always, and 301 and 302 after a POST, continue as a GET without the body.
    if (status == 303 || (request.isPost && (status == 301 || status == 302))) {
        next.isPost = false;
        next.body.clear();
        next.headers.removeIf([](const auto &header) {
            return header.first.compare("Content-Type", Qt::CaseInsensitive) == 0;
        });
    }
    return next;
}

QCoro::Task<Transport::Reply> Transport::send(Request request, CancelToken cancel)
{
    if (cancel.isCancelled())
        throw CancellationError();
    co_await ensureStarted();
    // One deadline for the attempt, redirects and new connections included.
    const auto deadline = std::chrono::steady_clock::now() + m_options.exchangeTimeout;
    for (int redirects = 0;; ++redirects) {
        if (cancel.isCancelled())
            throw CancellationError();
        if (std::chrono::steady_clock::now() >= deadline)
            throw TransportError(QNetworkReply::TimeoutError, QStringLiteral("The request timed out."));
        auto exchange = std::make_shared<HttpExchange>();
        exchange->url = request.url.toEncoded();
        for (const auto &[name, value] : request.headers)
            exchange->headerLines.append(name + ": " + value);
        exchange->isPost = request.isPost;
        exchange->body = request.body;
        exchange->systemCaPath = m_options.systemCaPath;
        exchange->extraCaPem = m_extraCaPem;
        exchange->inactivityTimeout = m_options.requestTimeout;
        exchange->deadline = deadline;
        exchange->bodyLimit = replyLimit;
        exchange->headerLimit = headerLimit;

        HttpWorker *worker = m_worker.get();
        QObject watching; // ends the watch with this step
        cancel.onCancel(&watching, [worker, exchange] {
            exchange->cancelRequested = true;
            worker->wake();
        });
        HttpOutcome outcome = co_await worker->start(exchange);
        if (outcome.end == HttpOutcome::End::Cancelled)
            throw CancellationError();
        if (outcome.end != HttpOutcome::End::Complete || outcome.status <= 0)
            throw transportErrorOf(outcome);

        std::optional<Request> next = redirected(request, outcome.status, outcome.redirectUrl);
        if (!next)
            co_return Reply{outcome.status, std::move(outcome.body)};
        if (redirects == redirectLimit)
            throw TransportError(QNetworkReply::TooManyRedirectsError,
                                 QStringLiteral("The service redirected the request too many times."));
        request = std::move(*next);
    }
}
