// SPDX-License-Identifier: MIT
#include "server/TlsListener.h"

#include <QPointer>
#include <QSslSocket>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// How long a connection that was told to close may take to finish its TLS goodbye (a peer that
// reads nothing would keep it open for ever) before it is cut.
constexpr int closingGraceMs = 2000;

} // namespace

// The idle clock of one connection, and its place in the count of its address: a child of its
// socket, so it goes when the socket goes, whoever deletes it. (QSslServer drops every connection
// from a socket to itself once the handshake is done, so the listener cannot watch the socket's
// signals itself.)
class ConnectionWatch : public QObject
{
    Q_OBJECT
public:
    ConnectionWatch(QSslSocket *socket, TlsListener *listener, QHostAddress peer)
        : QObject(socket)
        , m_socket(socket)
        , m_listener(listener)
        , m_peer(std::move(peer))
        , m_idleMs(listener->m_limits.idleMs)
    {
        ++m_listener->m_open[m_peer];
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &ConnectionWatch::expired);
        // Until then the handshake time-out of QSslServer applies (which also deletes the socket).
        connect(socket, &QSslSocket::encrypted, this, [this] { m_timer.start(m_idleMs); });
    }

    ~ConnectionWatch() override
    {
        if (m_listener && --m_listener->m_open[m_peer] <= 0)
            m_listener->m_open.remove(m_peer);
    }

    // The listener goes first (at shutdown, with its sockets still there).
    void detach() { m_listener = nullptr; }

    static ConnectionWatch *of(QObject *socket)
    {
        return socket ? socket->findChild<ConnectionWatch *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    }

    void requestArrived()
    {
        ++m_busy;
        if (!m_closing)
            m_timer.stop();
    }

    void replyWritten()
    {
        m_busy = std::max(0, m_busy - 1);
        if (m_busy == 0 && !m_closing)
            m_timer.start(m_idleMs);
    }

private:
    void expired()
    {
        if (m_closing) {
            m_socket->abort();
            return;
        }
        m_closing = true;
        m_socket->disconnectFromHost();
        m_timer.start(closingGraceMs);
    }

    QSslSocket *m_socket;
    QPointer<TlsListener> m_listener;
    QHostAddress m_peer;
    int m_idleMs;
    QTimer m_timer;
    int m_busy = 0; // requests being answered
    bool m_closing = false;
};

TlsListener::TlsListener(const Limits &limits, QObject *parent)
    : QSslServer(parent)
    , m_limits(limits)
{
    setHandshakeTimeout(std::min(handshakeTimeout(), m_limits.idleMs));
    connect(this, &QSslServer::startedEncryptionHandshake, this, &TlsListener::watch);
}

TlsListener::~TlsListener()
{
    for (ConnectionWatch *watch : findChildren<ConnectionWatch *>())
        watch->detach();
}

void TlsListener::requestArrived(QTcpSocket *socket)
{
    if (ConnectionWatch *watch = ConnectionWatch::of(socket))
        watch->requestArrived();
}

void TlsListener::replyWritten(QTcpSocket *socket)
{
    if (ConnectionWatch *watch = ConnectionWatch::of(socket))
        watch->replyWritten();
}

void TlsListener::incomingConnection(qintptr handle)
{
    sockaddr_storage peer = {};
    socklen_t size = sizeof peer;
    if (::getpeername(int(handle), reinterpret_cast<sockaddr *>(&peer), &size) != 0 ||
        m_open.value(QHostAddress(reinterpret_cast<const sockaddr *>(&peer))) >= m_limits.perAddress) {
        ::close(int(handle));
        return;
    }
    QSslServer::incomingConnection(handle);
    // The handshake starts only once the peer has sent something, but a peer that sends nothing
    // counts all the same. The new socket is a child of this server.
    for (QSslSocket *socket : findChildren<QSslSocket *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (socket->socketDescriptor() == handle)
            watch(socket);
    }
}

void TlsListener::watch(QSslSocket *socket)
{
    if (!ConnectionWatch::of(socket))
        new ConnectionWatch(socket, this, socket->peerAddress());
}

#include "TlsListener.moc"
