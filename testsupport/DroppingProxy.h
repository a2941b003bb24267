// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QSslServer>
#include <QUrl>

// A TLS proxy on 127.0.0.1 in front of a real service: clients reach it with the development
// certificate as if it were the service, and every request goes on to the service over a
// connection of its own. The replies to the first `dropReplies` requests are thrown away: the
// service has done the work, and the client's connection closes without a byte of the reply, as
// when a connection breaks on the way back.
class DroppingProxy : public QObject
{
    Q_OBJECT
public:
    DroppingProxy(QUrl service, int dropReplies, QObject *parent = nullptr);

    [[nodiscard]] QUrl base() const; // https://127.0.0.1:<port>/api
    [[nodiscard]] int requestCount() const { return m_requests; }
    [[nodiscard]] int connectionCount() const { return m_connections; }

private:
    void accept();

    QUrl m_service;
    int m_dropReplies;
    int m_requests = 0;
    int m_connections = 0;
    QSslServer m_server;
};
