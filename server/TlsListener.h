// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QSslServer>

class ConnectionWatch;
class QTcpSocket;

// The service's TLS listener, with two guards that Qt's HTTP server does not have:
// - a connection from a peer address that already has the maximum number open is closed at once,
//   before any TLS work;
// - a connection is closed when a whole request has not arrived within the idle time. The clock
//   runs from the start of the handshake and again from each reply; bytes that trickle in do not
//   reset it, and it stands still while a request is being answered.
class TlsListener : public QSslServer
{
    Q_OBJECT
public:
    struct Limits
    {
        int idleMs = 30'000;
        int perAddress = 64;
    };

    explicit TlsListener(const Limits &limits, QObject *parent = nullptr);
    ~TlsListener() override;

    // For the HTTP side, on a connection of any TlsListener (others are left alone).
    static void requestArrived(QTcpSocket *socket);
    static void replyWritten(QTcpSocket *socket);

protected:
    void incomingConnection(qintptr handle) override;

private:
    friend class ConnectionWatch;
    void watch(QSslSocket *socket);

    Limits m_limits;
    QHash<QHostAddress, int> m_open; // connections per peer address, until their socket is deleted
};
