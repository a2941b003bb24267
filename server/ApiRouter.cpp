// SPDX-License-Identifier: MIT
#include "server/ApiRouter.h"

#include "server/AccountStore.h"
#include "server/AuthEndpoints.h"
#include "server/Crypto.h"
#include "server/Database.h"
#include "server/IdempotencyStore.h"
#include "server/MoneyEndpoints.h"

#include <QDateTime>
#include <QJsonDocument>

namespace {

void answer(const Exchange::Deliver &deliver, int status, const QString &message)
{
    deliver(status, ApiReply::error(status, message).bytes());
}

// The same JSON object written with other spacing or key order counts as the same request.
QByteArray canonicalBody(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    return doc.isObject() ? doc.toJson(QJsonDocument::Compact) : body;
}

} // namespace

ApiRouter::ApiRouter(ServiceContext &ctx)
    : m_ctx(ctx)
    , m_routes{
          {"POST", QStringLiteral("/api/register"), false, &AuthEndpoints::registerUser},
          {"POST", QStringLiteral("/api/login"), false, &AuthEndpoints::login},
          {"POST", QStringLiteral("/api/verify-email"), true, &AuthEndpoints::verifyEmail},
          {"POST", QStringLiteral("/api/resend-verification"), true, &AuthEndpoints::resendVerification},
          {"GET", QStringLiteral("/api/me"), true, &AuthEndpoints::me},
          {"POST", QStringLiteral("/api/reset-password"), false, &AuthEndpoints::resetPassword},
          {"GET", QStringLiteral("/api/transactions"), true, &MoneyEndpoints::transactions},
          {"POST", QStringLiteral("/api/send"), true, &MoneyEndpoints::send},
          {"GET", QStringLiteral("/api/users/search"), true, &MoneyEndpoints::searchUsers},
      }
{}

void ApiRouter::handle(ApiRequest request, Exchange::Deliver deliver)
{
    const Route *route = nullptr;
    bool pathKnown = false;
    for (const Route &r : std::as_const(m_routes)) {
        if (r.path != request.path)
            continue;
        pathKnown = true;
        if (r.method == request.method)
            route = &r;
    }
    if (!route) {
        if (pathKnown)
            answer(deliver, 405,
                   QStringLiteral("%1 does not take %2 requests.")
                       .arg(request.path, QString::fromLatin1(request.method)));
        else
            answer(deliver, 404, QStringLiteral("There is no endpoint %1.").arg(request.path));
        return;
    }
    if (request.body.size() > maxBodyBytes) {
        answer(deliver, 413, QStringLiteral("The request body is larger than 64 KiB."));
        return;
    }

    auto exchange = std::make_shared<Exchange>(m_ctx, std::move(request), deliver);
    try {
        if (route->needsToken && !authenticate(exchange, deliver))
            return;
        if (!checkIdempotency(exchange, deliver))
            return;
    } catch (const DatabaseError &e) {
        qWarning("quorl-service: %s", e.what());
        answer(deliver, 500, QStringLiteral("The service could not complete the request (storage error)."));
        return;
    }
    try {
        route->handler(m_ctx, exchange);
    } catch (const DatabaseError &e) {
        qWarning("quorl-service: %s", e.what());
        exchange->finish([] {
            return ApiReply::error(
                500, QStringLiteral("The service could not complete the request (storage error)."));
        });
    }
}

bool ApiRouter::authenticate(const ExchangePtr &exchange, const Exchange::Deliver &deliver)
{
    const QByteArray header = exchange->request().authorization;
    if (header.isEmpty()) {
        answer(deliver, 401,
               QStringLiteral("Sign in first: this request needs the header "
                              "\"Authorization: Bearer <token>\"."));
        return false;
    }
    const qsizetype space = header.indexOf(' ');
    const QByteArray token = space > 0 ? header.mid(space + 1).trimmed() : QByteArray();
    if (space <= 0 || header.left(space).compare("Bearer", Qt::CaseInsensitive) != 0 || token.isEmpty()) {
        answer(deliver, 401, QStringLiteral("The Authorization header must be \"Bearer <token>\"."));
        return false;
    }
    const auto userId = m_ctx.accounts.userForToken(
        QString::fromLatin1(token), QDateTime::currentMSecsSinceEpoch() - m_ctx.tokenLifetimeMs);
    if (!userId) {
        answer(deliver, 401,
               QStringLiteral("The sign-in token is not valid (it may have been revoked). "
                              "Please sign in again."));
        return false;
    }
    exchange->setCaller(*userId);
    return true;
}

bool ApiRouter::checkIdempotency(const ExchangePtr &exchange, const Exchange::Deliver &deliver)
{
    const ApiRequest &request = exchange->request();
    if (!request.hasIdempotencyKey || request.method != "POST")
        return true; // reading is repeatable by itself
    const QByteArray key = IdempotencyStore::parseKey(request.idempotencyKey);
    if (key.isEmpty()) {
        answer(deliver, 400,
               QStringLiteral("The Idempotency-Key header must be 1 to 255 visible ASCII "
                              "characters, bare or in double quotes."));
        return false;
    }
    // Per user, not per token: a second session of the same user that sends the same key (a
    // client that signed in again between two tries) gets the first reply.
    const QByteArray caller = exchange->userId() ? "user " + QByteArray::number(*exchange->userId()) : "";
    const QByteArray scope =
        Crypto::sha256(request.method + ' ' + request.path.toUtf8() + '\n' + caller + '\n' + key);
    const QByteArray requestHash = Crypto::hmacSha256(m_ctx.serverKey, canonicalBody(request.body));

    if (m_ctx.idempotency.inProgress(scope)) {
        answer(deliver, 409,
               QStringLiteral("A request with this Idempotency-Key is still being handled; "
                              "try again in a moment."));
        return false;
    }
    if (const auto stored = m_ctx.idempotency.find(scope, QDateTime::currentMSecsSinceEpoch())) {
        if (stored->requestHash != requestHash) {
            answer(deliver, 422,
                   QStringLiteral("This Idempotency-Key was already used with a different request."));
            return false;
        }
        exchange->setIdempotency(scope, requestHash, key);
        exchange->replay(stored->tokenNonce, stored->status, stored->body);
        return false;
    }
    m_ctx.idempotency.begin(scope);
    exchange->setIdempotency(scope, requestHash, key);
    return true;
}
