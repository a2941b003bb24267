// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractHttpServer>

class ApiRouter;

// The HTTPS side: Qt's HTTP server parses each request; this copies it into an ApiRequest, hands
// it to the router, and writes the reply back on the same connection once it is ready (possibly
// after the connection is gone, in which case the reply is dropped).
class HttpFrontend : public QAbstractHttpServer
{
    Q_OBJECT
public:
    explicit HttpFrontend(ApiRouter &router, QObject *parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    ApiRouter &m_router;
};
