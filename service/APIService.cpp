// SPDX-License-Identifier: MIT
#include "service/APIService.h"

#include "service/BuildConfig.h"
#include "service/ReplyReader.h"
#include "service/Transport.h"

#include <QCoroFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>
#include <QtConcurrent>

#include <cmath>
#include <malloc.h>
#include <variant>

namespace {

using namespace std::chrono_literals;

// What a worker thread makes of a reply: the record, or the error to throw on the caller's thread.
template<class T> using Outcome = std::variant<T, AppError, DecodingError>;

template<class T> Outcome<T> readRecord(int status, const QByteArray &body)
{
    if (status >= 400) {
        std::optional<QString> message = ReplyReader::readErrorMessage(body);
        return AppError(message ? *message : QStringLiteral("Request failed (%1).").arg(status));
    }
    try {
        return ReplyReader::read<T>(body);
    } catch (DecodingError &error) {
        return std::move(error);
    }
}

// Reads on a worker thread. A long reply's body and the reader's scratch memory are freed there,
// and the C library keeps freed memory for the thread's next use; a long one is handed back to the
// system at once, leaving only the records.
template<class T> Outcome<T> readOutcome(int status, QByteArray body)
{
    constexpr qsizetype returnAfter = 4 * 1024 * 1024;
    const bool returnMemory = body.size() >= returnAfter;
    Outcome<T> outcome = readRecord<T>(status, body);
    body = QByteArray();
    if (returnMemory) {
        ReplyReader::releaseMemory();
        malloc_trim(0);
    }
    return outcome;
}

// One attempt: send, then read the reply off the UI thread.
template<class T>
QCoro::Task<T> execute(std::shared_ptr<Transport> transport, Transport::Request request, CancelToken cancel)
{
    Transport::Reply reply = co_await transport->send(std::move(request), cancel);
    Outcome<T> outcome = co_await QtConcurrent::run(&readOutcome<T>, reply.status, std::move(reply.body));
    if (cancel.isCancelled())
        throw CancellationError();
    if (auto *error = std::get_if<AppError>(&outcome))
        throw std::move(*error);
    if (auto *error = std::get_if<DecodingError>(&outcome))
        throw std::move(*error);
    co_return std::get<T>(std::move(outcome));
}

// At most two attempts. The service's own answer (AppError) is final; a transport failure or an
// unreadable success reply is tried once more after the pause, and then the second error counts.
template<class T>
QCoro::Task<T> executeWithRetry(std::shared_ptr<Transport> transport, Transport::Request request,
                                CancelToken cancel)
{
    for (int attempt = 1;; ++attempt) {
        try {
            co_return co_await execute<T>(transport, request, cancel);
        } catch (const TransportError &error) {
            // A redirect loop would only loop again.
            if (attempt > 1 || error.code() == QNetworkReply::TooManyRedirectsError)
                throw;
        } catch (const DecodingError &) {
            if (attempt > 1)
                throw;
        }
        co_await cancellableSleep(transport->retryPause(), cancel);
    }
}

QByteArray writeBody(const QJsonObject &body)
{
    for (auto it = body.begin(); it != body.end(); ++it) {
        if (it->isString())
            Transport::checkText(it.key(), it->toString());
        if (it->isDouble() && !std::isfinite(it->toDouble()))
            throw EncodingError(QStringLiteral("The request couldn't be written because \"%1\" is not a "
                                               "finite number.")
                                    .arg(it.key()));
    }
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

} // namespace

struct APIService::Private
{
    std::shared_ptr<Transport> transport;

    // POST with a JSON body and one Idempotency-Key for both attempts.
    template<class T>
    QCoro::Task<T> post(QString path, QJsonObject body, std::optional<QString> token, CancelToken cancel)
    {
        Transport::Request request = transport->request(path, token);
        request.isPost = true;
        request.body = writeBody(body);
        request.setHeader("Content-Type", "application/json");
        request.setHeader("Idempotency-Key",
                          '"' + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '"');
        return executeWithRetry<T>(transport, std::move(request), std::move(cancel));
    }

    template<class T>
    QCoro::Task<T> get(QString path, QString token, CancelToken cancel, Transport::Query query = {})
    {
        return executeWithRetry<T>(transport, transport->request(path, token, query), std::move(cancel));
    }
};

APIService &APIService::shared()
{
    static APIService instance(
        Options{QUrl(QString::fromUtf8(BuildConfig::apiBase)), QByteArray(BuildConfig::extraCaPem)});
    return instance;
}

APIService::APIService(Options options)
    : d(std::make_unique<Private>(Private{std::make_shared<Transport>(options)}))
{}

// Coroutines still running may hold the transport beyond this; its thread stops here all the same,
// before the process's exit handlers tear down the TLS library under it.
APIService::~APIService()
{
    d->transport->shutDown();
}

QUrl APIService::base() const
{
    return d->transport->base();
}

void APIService::preload()
{
    Transport::preload();
}

void APIService::returnLargeBlocksWhenFreed()
{
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}

QCoro::Task<AuthResponse> APIService::registerUser(QString username, QString email, QString password,
                                                   CancelToken cancel)
{
    QJsonObject body{{"username", username}, {"email", email}, {"password", password}};
    co_return co_await d->post<AuthResponse>(QStringLiteral("register"), body, std::nullopt, cancel);
}

QCoro::Task<AuthResponse> APIService::login(QString username, QString password, CancelToken cancel)
{
    QJsonObject body{{"username", username}, {"password", password}};
    co_return co_await d->post<AuthResponse>(QStringLiteral("login"), body, std::nullopt, cancel);
}

QCoro::Task<void> APIService::verifyEmail(QString code, QString token, CancelToken cancel)
{
    const QJsonObject body{{"code", code}};
    co_await d->post<VerifyResponse>(QStringLiteral("verify-email"), body, token, cancel);
}

QCoro::Task<void> APIService::resendVerification(QString token, CancelToken cancel)
{
    co_await d->post<ResendResponse>(QStringLiteral("resend-verification"), QJsonObject(), token, cancel);
}

QCoro::Task<APIUser> APIService::me(QString token, CancelToken cancel)
{
    co_return (co_await d->get<MeResponse>(QStringLiteral("me"), token, cancel)).user;
}

QCoro::Task<SendResponse> APIService::send(QString to, double amount, QString note, QString token,
                                           CancelToken cancel)
{
    QJsonObject body{{"to", to}, {"amount", amount}, {"note", note}};
    co_return co_await d->post<SendResponse>(QStringLiteral("send"), body, token, cancel);
}

QCoro::Task<QList<APITransaction>> APIService::transactions(QString token, CancelToken cancel)
{
    co_return (co_await d->get<TransactionsResponse>(QStringLiteral("transactions"), token, cancel))
        .transactions;
}

QCoro::Task<QList<UserResult>> APIService::searchUsers(QString query, QString token, CancelToken cancel)
{
    Transport::Query parameters;
    parameters.append({QString(u'q'), std::move(query)});
    co_return (co_await d->get<SearchResponse>(QStringLiteral("users/search"), token, cancel, parameters))
        .users;
}

QCoro::Task<void> APIService::resetPassword(QString username, QString resetSecret, QString newPassword,
                                            CancelToken cancel)
{
    QJsonObject body{{"username", username}, {"resetSecret", resetSecret}, {"newPassword", newPassword}};
    co_await d->post<ResetResponse>(QStringLiteral("reset-password"), body, std::nullopt, cancel);
}
