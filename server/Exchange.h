// SPDX-License-Identifier: MIT
#pragma once

#include "server/ApiMessage.h"
#include "server/ServiceContext.h"

#include <functional>
#include <memory>
#include <optional>

// One request on its way through an endpoint. The endpoint ends it exactly once with finish(),
// at once or after background work; finish() runs the endpoint's database work in one
// transaction, stores the reply for its Idempotency-Key in that same transaction, and hands the
// reply to the connection.
class Exchange
{
public:
    using Deliver = std::function<void(int status, const QByteArray &body)>;

    Exchange(ServiceContext &ctx, ApiRequest request, Deliver deliver);

    [[nodiscard]] const ApiRequest &request() const { return m_request; }
    [[nodiscard]] std::optional<qint64> userId() const { return m_userId; }
    void setCaller(qint64 userId) { m_userId = userId; }

    // Makes this exchange idempotent under the given scope (see IdempotencyStore).
    void setIdempotency(QByteArray scope, QByteArray requestHash, QByteArray key);

    // A new sign-in token. Under an Idempotency-Key it is derived from the key and a stored nonce,
    // so that the repeated reply can carry the same token without the token being stored.
    [[nodiscard]] QString newToken();

    void finish(const std::function<ApiReply()> &work);

    // Answers from a stored reply instead (nothing is run).
    void replay(const QByteArray &tokenNonce, int status, const QByteArray &body);

private:
    ServiceContext &m_ctx;
    ApiRequest m_request;
    Deliver m_deliver;
    std::optional<qint64> m_userId;
    QByteArray m_scope; // empty: no Idempotency-Key
    QByteArray m_requestHash;
    QByteArray m_key;
    QByteArray m_tokenNonce;
    bool m_finished = false;
};

using ExchangePtr = std::shared_ptr<Exchange>;
