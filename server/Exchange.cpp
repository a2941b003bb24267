// SPDX-License-Identifier: MIT
#include "server/Exchange.h"

#include "server/Crypto.h"
#include "server/Database.h"
#include "server/IdempotencyStore.h"

#include <QDateTime>
#include <QJsonDocument>

namespace {

const QString tokenKey = QStringLiteral("token");

QString describeCurrentException()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

} // namespace

Exchange::Exchange(ServiceContext &ctx, ApiRequest request, Deliver deliver)
    : m_ctx(ctx)
    , m_request(std::move(request))
    , m_deliver(std::move(deliver))
{}

void Exchange::setIdempotency(QByteArray scope, QByteArray requestHash, QByteArray key)
{
    m_scope = std::move(scope);
    m_requestHash = std::move(requestHash);
    m_key = std::move(key);
}

QString Exchange::newToken()
{
    if (m_scope.isEmpty())
        return Crypto::randomText(32);
    if (m_tokenNonce.isEmpty())
        m_tokenNonce = Crypto::randomBytes(16);
    const QByteArray mac = Crypto::hmacSha256(m_ctx.serverKey, "token\n" + m_tokenNonce + '\n' + m_key);
    return QString::fromLatin1(mac.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

void Exchange::finish(const std::function<ApiReply()> &work)
{
    if (m_finished)
        return;
    m_finished = true;
    ApiReply reply;
    try {
        m_ctx.db.begin();
        try {
            reply = work();
            // A failure of the service's own is not repeated: a retry may well succeed.
            if (!m_scope.isEmpty() && reply.status < 500) {
                QJsonObject stored = reply.body;
                stored.remove(tokenKey);
                const bool hasToken = reply.body.contains(tokenKey);
                m_ctx.idempotency.save(m_scope,
                                       {m_requestHash, reply.status,
                                        QJsonDocument(stored).toJson(QJsonDocument::Compact),
                                        hasToken ? m_tokenNonce : QByteArray()},
                                       QDateTime::currentMSecsSinceEpoch());
            }
            m_ctx.db.commit();
        } catch (...) {
            m_ctx.db.rollback();
            throw;
        }
    } catch (...) {
        qWarning("quorl-service: %s %s failed: %s", m_request.method.constData(), qPrintable(m_request.path),
                 qPrintable(describeCurrentException()));
        reply = ApiReply::error(
            500, QStringLiteral("The service could not complete the request (storage error)."));
    }
    if (!m_scope.isEmpty())
        m_ctx.idempotency.end(m_scope);
    if (reply.afterCommit)
        reply.afterCommit();
    m_deliver(reply.status, reply.bytes());
}

void Exchange::replay(const QByteArray &tokenNonce, int status, const QByteArray &body)
{
    if (m_finished)
        return;
    m_finished = true;
    if (tokenNonce.isEmpty()) {
        m_deliver(status, body);
        return;
    }
    m_tokenNonce = tokenNonce;
    QJsonObject object = QJsonDocument::fromJson(body).object();
    object.insert(tokenKey, newToken());
    m_deliver(status, QJsonDocument(object).toJson(QJsonDocument::Compact));
}
