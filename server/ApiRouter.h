// SPDX-License-Identifier: MIT
#pragma once

#include "server/Exchange.h"

#include <QList>

// Picks the endpoint for a request and does what every endpoint shares: the body limit, the
// bearer token, and the Idempotency-Key (repeat the stored reply, refuse a reused key with another
// body, refuse a key whose first request is still being handled).
class ApiRouter
{
public:
    static constexpr qsizetype maxBodyBytes = 64 * 1024;

    using Handler = void (*)(ServiceContext &, const ExchangePtr &);

    explicit ApiRouter(ServiceContext &ctx);

    void handle(ApiRequest request, Exchange::Deliver deliver);

private:
    struct Route
    {
        QByteArray method;
        QString path;
        bool needsToken;
        Handler handler;
    };

    // Returns false after answering when the request cannot go on.
    bool authenticate(const ExchangePtr &exchange, const Exchange::Deliver &deliver);
    bool checkIdempotency(const ExchangePtr &exchange, const Exchange::Deliver &deliver);

    ServiceContext &m_ctx;
    QList<Route> m_routes;
};
