// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"
#include "service/Cancellation.h"
#include "service/ServiceOptions.h"

#include <QCoroTask>

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>

class HttpWorker;

// The HTTP side of APIService: builds requests against the base address and runs one attempt of an
// exchange with its time-outs, reply limit and cancellation. Kept alive by every operation that
// uses it.
//
// An attempt puts its request on the network once: a connection that closes before the reply is
// a TransportError, never a silent second send (the operation's one retry is APIService's).
// Redirects are followed only within the base address's origin (scheme, host and port); a 3xx
// pointing anywhere else is the attempt's reply, and nothing is sent there.
class Transport
{
public:
    struct Request
    {
        QUrl url;
        QList<std::pair<QByteArray, QByteArray>> headers; // in order, each name once
        bool isPost = false;
        QByteArray body;

        void setHeader(const QByteArray &name, const QByteArray &value);
    };
    struct Reply
    {
        int status = 0;
        QByteArray body;
    };

    // The largest reply body an attempt takes. Past it the attempt fails at once with a
    // TransportError, reading no further; a reply that announces a longer body is not read at all.
    static constexpr qint64 replyLimit = 64 * 1024 * 1024;
    // The most header text an attempt takes, below libcurl's own limit so that the attempt says
    // which limit was passed.
    static constexpr qint64 headerLimit = 256 * 1024;
    // Same-origin redirects one attempt follows before it gives up.
    static constexpr int redirectLimit = 5;

    explicit Transport(const ServiceOptions &options);
    ~Transport();
    Transport(const Transport &) = delete;
    Transport &operator=(const Transport &) = delete;

    // Ends every exchange still running as cancelled and stops the worker thread; later requests
    // fail with CancellationError. For the end of the process, while the TLS library still works.
    void shutDown();

    // Starts loading libcurl and the TLS library (once per process) without waiting for it.
    static void preload();

    [[nodiscard]] QUrl base() const { return m_options.base; }
    [[nodiscard]] std::chrono::milliseconds retryPause() const { return m_options.retryPause; }

    // A GET of base + "/" + path (path may hold more slashes) with the query's name=value pairs,
    // and "Authorization: Bearer <token>" exactly when a token is given. Each value is escaped
    // twice, as the service reads it: first with the URL-query-allowed set, then that text as a
    // query value, where "%" and also "&", "=" and "+" are escaped so that it stays one value.
    // Throws EncodingError for a token holding a control character, and as checkText() for a value.
    using Query = QList<std::pair<QString, QString>>;
    [[nodiscard]] Request request(const QString &path, const std::optional<QString> &token,
                                  const Query &query = {}) const;

    // Throws EncodingError, naming the field, for text that holds a lone UTF-16 surrogate. Such text
    // cannot be written as UTF-8 without changing it, and a JSON escape of it (\ud800) is one that
    // readers treat as they please, ours by refusing the reply: it is never sent.
    static void checkText(const QString &field, const QString &text);

    // One attempt: the reply's status and body once it has been received in full. Throws
    // TransportError when no complete HTTP reply arrived (time-outs included; the exchange time-out
    // covers the redirects too), TooManyRedirectsError being final for the operation, and
    // CancellationError when the token was cancelled; nothing is sent when it already was.
    QCoro::Task<Reply> send(Request request, CancelToken cancel);

private:
    // Loads libcurl and starts the worker before the first exchange.
    QCoro::Task<> ensureStarted();
    [[nodiscard]] std::optional<Request> redirected(const Request &request, int status,
                                                    const QByteArray &target) const;

    ServiceOptions m_options;
    std::shared_ptr<const QByteArray> m_extraCaPem;
    std::unique_ptr<HttpWorker> m_worker;
    bool m_shutDown = false;
};
