// SPDX-License-Identifier: MIT
#pragma once

#include "server/TlsListener.h"

#include <QAbstractHttpServer>

class ApiRouter;
class QSslConfiguration;

// The HTTPS side: Qt's HTTP server parses each request; this copies it into an ApiRequest, hands
// it to the router, and writes the reply back on the same connection once it is ready (possibly
// after the connection is gone, in which case the reply is dropped).
class HttpFrontend : public QAbstractHttpServer
{
    Q_OBJECT
public:
    HttpFrontend(ApiRouter &router, const TlsListener::Limits &limits, QObject *parent = nullptr);

    // Serves HTTPS on the address through a TlsListener; returns the port, 0 if it cannot listen.
    quint16 listenTls(const QHostAddress &address, quint16 port, const QSslConfiguration &tls);

    // Qt's parser keeps a whole request in memory before anything sees it. Once listening, this
    // watches every new connection and answers 413 (and closes the connection) as soon as the
    // pending request passes the size limit, so that a huge body is never buffered.
    void limitRequestSizes();

    static constexpr qint64 maxRequestBytes = 96 * 1024; // body limit plus room for the headers

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    ApiRouter &m_router;
    TlsListener::Limits m_limits;
};
