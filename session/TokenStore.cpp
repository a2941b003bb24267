// SPDX-License-Identifier: MIT
#include "session/TokenStore.h"

#include <QCoroSignal>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <qt6keychain/keychain.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString tokenKey = QStringLiteral("qlx_token");
const QString keyringService = QStringLiteral("Quorl Bank");

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorl"),
                     QStringLiteral("Quorl Bank"));
}

// QSettings creates a missing file with the umask's mode (0644) and keeps the mode of an existing
// one on rewrite. So the file is made here first, empty and owner-only, before anything is written.
void prepareOwnerOnlyFile(const QString &fileName)
{
    const QString folder = QFileInfo(fileName).absolutePath();
    if (!QDir(folder).exists()) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0)
        ::close(fd);
    else if (errno == EEXIST)
        ::chmod(path.constData(), S_IRUSR | S_IWUSR);
}

void restrictMode(const QString &fileName)
{
    ::chmod(QFile::encodeName(fileName).constData(), S_IRUSR | S_IWUSR);
}

// Whether a D-Bus client would find a session bus: the address in the environment, or else the
// user bus in the runtime folder. Nothing is connected here.
bool sessionBusExists()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

namespace TokenFile {

std::optional<QString> read()
{
    const QSettings store = settings();
    const QVariant value = store.value(tokenKey);
    if (!value.isValid())
        return std::nullopt;
    // The ini reader turns an unquoted value with commas into a list; it was one string.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

void write(const std::optional<QString> &token)
{
    QSettings store = settings();
    const QString fileName = store.fileName();
    if (!token) {
        if (!QFileInfo::exists(fileName))
            return; // nothing stored, and removing must not create the file
        prepareOwnerOnlyFile(fileName);
        store.remove(tokenKey);
    } else {
        prepareOwnerOnlyFile(fileName);
        store.setValue(tokenKey, *token);
    }
    store.sync();
    restrictMode(fileName);
}

} // namespace TokenFile

TokenStore::TokenStore(QObject *parent, std::chrono::milliseconds keyringTimeLimit)
    : QObject(parent)
    , m_timeLimit(keyringTimeLimit)
    , m_useKeyring(sessionBusExists())
{}

TokenStore::~TokenStore() = default;

QCoro::Task<std::optional<QString>> TokenStore::load()
{
    QPointer<TokenStore> self(this);
    m_writing = true; // changes wait until the stores are read
    std::optional<QString> stored;
    try {
        if (m_useKeyring) {
            auto *job = new QKeychain::ReadPasswordJob(keyringService);
            const Answer answer = co_await runKeyringJob(job);
            if (!self)
                co_return std::nullopt;
            if (answer.outcome == Outcome::Failed)
                m_useKeyring = false;
            else if (answer.outcome == Outcome::Done)
                stored = answer.text;
        }
        // The file holds a token only when the keyring could not take it: it is the newer one.
        if (std::optional<QString> inFile = TokenFile::read()) {
            stored = inFile;
            if (m_useKeyring) {
                co_await persist(std::move(inFile));
                if (!self)
                    co_return std::nullopt;
            }
        }
    } catch (...) {
        // Nothing here throws by design; a store that does is treated as empty.
    }
    if (!m_changed)
        m_token = stored;
    m_writing = false;
    if (m_pending)
        writePending();
    else
        Q_EMIT wroteAll();
    co_return stored;
}

void TokenStore::setToken(const std::optional<QString> &token)
{
    m_token = token;
    m_changed = true;
    m_pending = token;
    if (!m_writing)
        writePending();
}

QCoro::Task<void> TokenStore::settled()
{
    if (m_writing)
        co_await qCoro(this, &TokenStore::wroteAll);
}

// Started by setToken() and load(), never awaited: nothing may escape it.
QCoro::Task<void> TokenStore::writePending()
{
    QPointer<TokenStore> self(this);
    m_writing = true;
    try {
        while (self && self->m_pending) {
            std::optional<QString> token = *std::exchange(self->m_pending, std::nullopt);
            co_await self->persist(std::move(token));
        }
    } catch (...) {
    }
    if (!self)
        co_return;
    m_writing = false;
    Q_EMIT wroteAll();
}

// Into the keyring, and then out of the file (a removal from both); into the file once the keyring
// has failed.
QCoro::Task<void> TokenStore::persist(std::optional<QString> token)
{
    if (m_useKeyring) {
        QPointer<TokenStore> self(this);
        QKeychain::Job *job = nullptr;
        if (token) {
            auto *write = new QKeychain::WritePasswordJob(keyringService);
            write->setTextData(*token);
            job = write;
        } else {
            job = new QKeychain::DeletePasswordJob(keyringService);
        }
        const Answer answer = co_await runKeyringJob(job);
        if (!self)
            co_return;
        if (answer.outcome != Outcome::Failed) {
            TokenFile::write(std::nullopt);
            co_return;
        }
        m_useKeyring = false;
    }
    TokenFile::write(token);
}

// One QtKeychain call within the time limit. A job that outlives it is left running, since its
// backend still refers to it, and deletes itself if it ever finishes.
QCoro::Task<TokenStore::Answer> TokenStore::runKeyringJob(QKeychain::Job *job)
{
    job->setAutoDelete(false);
    job->setKey(tokenKey);
    job->start();
    if (!co_await qCoro(job, &QKeychain::Job::finished, m_timeLimit)) {
        QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
        co_return Answer{Outcome::Failed, {}};
    }
    job->deleteLater();
    switch (job->error()) {
    case QKeychain::NoError:
        if (const auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(job))
            co_return Answer{Outcome::Done, read->textData()};
        co_return Answer{Outcome::Done, {}};
    case QKeychain::EntryNotFound:
        co_return Answer{Outcome::NotFound, {}};
    default:
        co_return Answer{Outcome::Failed, {}};
    }
}
