// SPDX-License-Identifier: MIT
#include "server/Service.h"

#include "server/AccountStore.h"
#include "server/ApiRouter.h"
#include "server/Crypto.h"
#include "server/Database.h"
#include "server/HttpFrontend.h"
#include "server/IdempotencyStore.h"
#include "server/Outbox.h"
#include "server/ServiceContext.h"
#include "server/TransferStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTcpServer>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Reads the reset secret kept in the data folder, creating it (owner-only) on first start.
QByteArray keptSecret(const QString &file, QString *error)
{
    QFile existing(file);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            *error = u"cannot read %1: %2"_qs.arg(file, existing.errorString());
            return {};
        }
        const QByteArray secret = existing.readAll().trimmed();
        if (secret.isEmpty())
            *error = u"%1 is empty; delete it to have a new secret made"_qs.arg(file);
        return secret;
    }
    const QByteArray secret = Crypto::randomText(18).toLatin1();
    const int fd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const QByteArray line = secret + '\n';
    const bool written = fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size();
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        *error = u"cannot write %1"_qs.arg(file);
        return {};
    }
    return secret;
}

} // namespace

struct Service::Private
{
    Database db;
    AccountStore accounts{db};
    TransferStore transfers{db};
    IdempotencyStore idempotency{db};
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<ServiceContext> context;
    std::unique_ptr<ApiRouter> router;
    std::unique_ptr<HttpFrontend> frontend;
    std::unique_ptr<QLockFile> lock;
    QTimer purgeTimer;
    quint16 port = 0;
};

Service::Service(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{}

Service::~Service() = default;

quint16 Service::port() const
{
    return d->port;
}

QString Service::resetSecret() const
{
    return d->context ? QString::fromUtf8(d->context->resetSecret) : QString();
}

QString Service::outboxFolder() const
{
    return d->outbox ? d->outbox->folder() : QString();
}

bool Service::start(const ServiceOptions &options, QString *error)
{
    if (!prepareDataFolder(options, error))
        return false;
    d->router = std::make_unique<ApiRouter>(*d->context);
    if (!listen(options, error))
        return false;
    connect(&d->purgeTimer, &QTimer::timeout, this, [this] {
        try {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            d->idempotency.purge(now);
            d->accounts.purgeTokens(now - d->context->tokenLifetimeMs);
        } catch (const DatabaseError &e) {
            qWarning("quorl-service: purging old Idempotency-Key replies and tokens failed: %s", e.what());
        }
    });
    d->purgeTimer.start(60 * 60 * 1000);
    return true;
}

bool Service::prepareDataFolder(const ServiceOptions &options, QString *error)
{
    const QDir data(options.dataDir);
    if (!data.mkpath(u"outbox"_qs)) {
        *error = u"cannot create the data folder %1"_qs.arg(data.filePath(u"outbox"_qs));
        return false;
    }
    QFile::setPermissions(data.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    d->lock = std::make_unique<QLockFile>(data.filePath(u"service.lock"_qs));
    d->lock->setStaleLockTime(0);
    if (!d->lock->tryLock(0)) {
        *error = u"another quorl-service is using the data folder %1"_qs.arg(data.path());
        return false;
    }

    QByteArray secret = options.resetSecret.toUtf8();
    if (secret.isEmpty()) {
        secret = keptSecret(data.filePath(u"reset-secret"_qs), error);
        if (secret.isEmpty())
            return false;
    }

    QString dbError;
    if (!d->db.open(data.filePath(u"quorl.db"_qs), &dbError)) {
        *error = u"cannot open the database: %1"_qs.arg(dbError);
        return false;
    }
    QByteArray serverKey;
    try {
        serverKey = d->db.meta(u"server_key"_qs);
        if (serverKey.isEmpty()) {
            serverKey = Crypto::randomBytes(32);
            d->db.setMeta(u"server_key"_qs, serverKey);
        }
        d->idempotency.purge(QDateTime::currentMSecsSinceEpoch());
        d->accounts.purgeTokens(QDateTime::currentMSecsSinceEpoch() - options.tokenLifetimeMs);
    } catch (const DatabaseError &e) {
        *error = u"cannot prepare the database: %1"_qs.arg(QString::fromUtf8(e.what()));
        return false;
    }

    d->outbox = std::make_unique<Outbox>(data.filePath(u"outbox"_qs));
    d->context.reset(new ServiceContext{d->db, d->accounts, d->transfers, d->idempotency, *d->outbox, secret,
                                        options.startingBalance, options.tokenLifetimeMs, serverKey, this});
    return true;
}

bool Service::listen(const ServiceOptions &options, QString *error)
{
    QFile certFile(options.certFile);
    QFile keyFile(options.keyFile);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *error = u"cannot read the TLS certificate %1 or key %2"_qs.arg(options.certFile, options.keyFile);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Ec, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *error = u"%1 holds no PEM certificate or %2 no PEM RSA or EC key"_qs.arg(options.certFile,
                                                                                  options.keyFile);
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);

    d->frontend = std::make_unique<HttpFrontend>(
        *d->router, TlsListener::Limits{options.idleTimeoutMs, options.maxConnectionsPerAddress});
    d->port = d->frontend->listenTls(QHostAddress::LocalHost, options.port, tls);
    if (d->port == 0) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, options.port);
        *error = u"cannot listen on 127.0.0.1 port %1: %2"_qs.arg(options.port)
                     .arg(probe.errorString().isEmpty() ? u"the port is taken"_qs : probe.errorString());
        return false;
    }
    // localhost may resolve to ::1 first; serve it too where the system has IPv6.
    d->frontend->listenTls(QHostAddress::LocalHostIPv6, d->port, tls);
    d->frontend->limitRequestSizes();
    return true;
}
