// SPDX-License-Identifier: MIT
#include "testsupport/DroppingProxy.h"

#include "testsupport/FakeService.h"

#include <QSslSocket>

DroppingProxy::DroppingProxy(QUrl service, int dropReplies, QObject *parent)
    : QObject(parent)
    , m_service(std::move(service))
    , m_dropReplies(dropReplies)
{
    m_server.setSslConfiguration(devServerTls());
    connect(&m_server, &QSslServer::pendingConnectionAvailable, this, &DroppingProxy::accept);
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("DroppingProxy: cannot listen: %s", qPrintable(m_server.errorString()));
}

QUrl DroppingProxy::base() const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1/api").arg(m_server.serverPort()));
}

void DroppingProxy::accept()
{
    while (auto *client = qobject_cast<QSslSocket *>(m_server.nextPendingConnection())) {
        ++m_connections;
        auto *upstream = new QSslSocket(client);
        QSslConfiguration trust = upstream->sslConfiguration();
        trust.setCaCertificates(QSslCertificate::fromPath(QStringLiteral(QUORL_DEV_CA_CERT)));
        upstream->setSslConfiguration(trust);
        upstream->connectToHostEncrypted(m_service.host(), quint16(m_service.port()));

        // Requests are counted by their header ends; each one's reply is passed on or dropped.
        auto pending = std::make_shared<QByteArray>();
        auto dropping = std::make_shared<bool>(false);
        connect(client, &QSslSocket::readyRead, upstream, [this, client, upstream, pending, dropping] {
            const QByteArray bytes = client->readAll();
            *pending += bytes;
            for (qsizetype end; (end = pending->indexOf("\r\n\r\n")) >= 0; pending->remove(0, end + 4)) {
                ++m_requests;
                *dropping = m_requests <= m_dropReplies;
            }
            upstream->write(bytes); // buffered until the service's handshake is done
        });
        connect(upstream, &QSslSocket::readyRead, client, [client, upstream, dropping] {
            if (*dropping) {
                upstream->readAll();
                client->abort();
                return;
            }
            client->write(upstream->readAll());
        });
        connect(upstream, &QSslSocket::disconnected, client, &QSslSocket::disconnectFromHost);
        connect(client, &QSslSocket::disconnected, client, &QObject::deleteLater);
    }
}
