// SPDX-License-Identifier: MIT
#pragma once

#include "service/APIService.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <optional>

// The HTTP side of APIService: builds requests against the base address and runs one attempt of an
// exchange with its time-outs and cancellation. Kept alive by every operation that uses it.
class Transport
{
public:
    struct Request
    {
        QNetworkRequest request;
        bool isPost = false;
        QByteArray body;
    };
    struct Reply
    {
        int status = 0;
        QByteArray body;
    };

    explicit Transport(const APIService::Options &options);

    // Starts reading the system's trust store (once per process) without waiting for it.
    static void preloadTrust();

    [[nodiscard]] QUrl base() const { return m_options.base; }
    [[nodiscard]] std::chrono::milliseconds retryPause() const { return m_options.retryPause; }

    // A request for base + "/" + path (path may hold more slashes and a query is set by the caller);
    // "Authorization: Bearer <token>" exactly when a token is given. Throws EncodingError for a token
    // holding a control character.
    [[nodiscard]] QNetworkRequest request(const QString &path, const std::optional<QString> &token) const;

    // One attempt: the reply's status and body once it has been received in full. Throws
    // TransportError when no complete HTTP reply arrived (time-outs included) and CancellationError
    // when the token was cancelled; nothing is sent when it already was.
    QCoro::Task<Reply> send(Request request, CancelToken cancel);

private:
    // Sets m_ssl (the trusted CAs) before the first exchange. Even a default QSslConfiguration
    // loads the TLS library, so none exists before then.
    QCoro::Task<> ensureTrust();

    APIService::Options m_options;
    std::optional<QSslConfiguration> m_ssl;
    QNetworkAccessManager m_manager;
};
