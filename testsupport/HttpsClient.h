// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPair>
#include <QUrl>

// Plain HTTPS requests for tests that need what the app's client never sends (raw bodies, chosen
// headers, many requests at once). Trusts the system CAs plus the development CA; verifies as usual.
struct HttpResult
{
    int status = 0; // 0: no HTTP reply (transport error)
    QByteArray body;
    QJsonObject json;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;

    [[nodiscard]] QString errorText() const { return json.value(u"error"_qs).toString(); }
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

class HttpsClient
{
public:
    HttpsClient();

    // Starts a request; the reply belongs to the caller.
    QNetworkReply *start(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                         const Headers &headers = {});

    // One request, waited for (up to 60 s).
    HttpResult send(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                    const Headers &headers = {});

    static HttpResult result(QNetworkReply *reply); // reads a finished reply and deletes it later
    static bool waitAll(const QList<QNetworkReply *> &replies, int timeoutMs = 120000);

private:
    QNetworkAccessManager m_nam;
};

// "Bearer <token>" as a header list, with an optional Idempotency-Key.
Headers bearer(const QString &token, const QByteArray &idempotencyKey = {});
