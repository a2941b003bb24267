// SPDX-License-Identifier: MIT
#include "testsupport/HttpsClient.h"

#include "testsupport/ServiceProcess.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTest>

HttpsClient::HttpsClient()
{
    m_nam.setAutoDeleteReplies(false);
}

QNetworkReply *HttpsClient::start(const QByteArray &method, const QUrl &url, const QByteArray &body,
                                  const Headers &headers)
{
    // Reading the system's CA bundle is slow: once for all requests.
    static const QSslConfiguration tls = [] {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.setCaCertificates(QSslConfiguration::systemCaCertificates() + ServiceProcess::devCa());
        return c;
    }();
    QNetworkRequest request(url);
    request.setSslConfiguration(tls);
    if (method == "POST")
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (method == "GET")
        return m_nam.get(request);
    return m_nam.sendCustomRequest(request, method, body);
}

HttpResult HttpsClient::send(const QByteArray &method, const QUrl &url, const QByteArray &body,
                             const Headers &headers)
{
    QNetworkReply *reply = start(method, url, body, headers);
    waitAll({reply}, 60000);
    return result(reply);
}

HttpResult HttpsClient::result(QNetworkReply *reply)
{
    HttpResult r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    r.json = QJsonDocument::fromJson(r.body).object();
    r.error = reply->error();
    reply->deleteLater();
    return r;
}

bool HttpsClient::waitAll(const QList<QNetworkReply *> &replies, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (QNetworkReply *reply : replies) {
        while (!reply->isFinished() && !deadline.hasExpired())
            QTest::qWait(5);
        if (!reply->isFinished())
            return false;
    }
    return true;
}

Headers bearer(const QString &token, const QByteArray &idempotencyKey)
{
    Headers headers{{"Authorization", "Bearer " + token.toUtf8()}};
    if (!idempotencyKey.isNull())
        headers.append({"Idempotency-Key", idempotencyKey});
    return headers;
}
