// SPDX-License-Identifier: MIT
#include "session/AuthService.h"

#include "service/APIService.h"
#include "session/AmountFormat.h"
#include "session/TokenStore.h"

#include <QJSEngine>

namespace {

const QString notLoggedIn = QStringLiteral("Not logged in.");

} // namespace

AuthService &AuthService::shared()
{
    static AuthService instance(APIService::shared());
    return instance;
}

AuthService *AuthService::create(QQmlEngine *, QJSEngine *)
{
    AuthService *session = &shared();
    QJSEngine::setObjectOwnership(session, QJSEngine::CppOwnership);
    return session;
}

AuthService::AuthService(APIService &api, QObject *parent)
    : QObject(parent)
    , m_api(api)
    , m_tokenStore(new TokenStore(this))
    , m_transactions(new TransactionModel(this))
{
    restore();
}

AuthService::~AuthService() = default;

std::optional<QString> AuthService::token() const
{
    return m_tokenStore->token();
}

void AuthService::setToken(const std::optional<QString> &token)
{
    m_tokenStore->setToken(token);
}

QCoro::Task<void> AuthService::tokenStored()
{
    return m_tokenStore->settled();
}

QVariant AuthService::currentUserVariant() const
{
    return m_currentUser ? QVariant::fromValue(*m_currentUser) : QVariant();
}

void AuthService::setCurrentUser(std::optional<APIUser> user)
{
    if (m_currentUser == user)
        return;
    m_currentUser = std::move(user);
    Q_EMIT currentUserChanged();
}

void AuthService::setTransactions(QList<APITransaction> transactions)
{
    if (m_transactions->transactions() == transactions)
        return;
    m_transactions->reset(std::move(transactions));
    Q_EMIT transactionsChanged();
}

void AuthService::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void AuthService::logout()
{
    setToken(std::nullopt);
    setCurrentUser(std::nullopt);
    setTransactions({});
}

QString AuthService::formatted(double amount) const
{
    return AmountFormat::formatted(amount);
}

// Started by the constructor and never awaited: nothing may escape it. Without a keyring the token
// is read at once, and the restore's request leaves before the constructor returns.
QCoro::Task<void> AuthService::restore()
{
    try {
        QPointer<AuthService> self(this);
        const std::optional<QString> stored = co_await m_tokenStore->load();
        // A sign-in or sign-out while the store was read has replaced the stored session.
        if (!self || !stored || self->token() != stored)
            co_return;
        co_await self->refreshMe(*stored);
    } catch (...) {
    }
}

QCoro::Task<void> AuthService::refreshMe(QString token)
{
    try {
        QPointer<AuthService> self(this);
        std::optional<APIUser> user;
        try {
            user = co_await m_api.me(token);
        } catch (...) {
            // Whatever went wrong (rejected token, no connection, unreadable reply) ends the session.
        }
        // A sign-in, registration or sign-out during the request has replaced the stored token: the
        // outcome belongs to a session that no longer exists and must not touch the newer one.
        if (!self || self->token() != token)
            co_return;
        if (!user) {
            self->setToken(std::nullopt);
            co_return;
        }
        self->setCurrentUser(std::move(user));
        co_await self->refreshTransactions();
    } catch (...) {
    }
}

QCoro::Task<void> AuthService::refreshTransactions(CancelToken cancel)
{
    try {
        const std::optional<QString> stored = token();
        if (!stored)
            co_return;
        QPointer<AuthService> self(this);
        const quint64 generation = ++m_refreshesStarted;
        QList<APITransaction> list = co_await m_api.transactions(*stored, cancel);
        // Applied only for the session that asked, when not cancelled meanwhile, and never over
        // the result of a refresh that started later.
        if (!self || cancel.isCancelled() || self->token() != stored ||
            generation < self->m_latestRefreshApplied)
            co_return;
        self->m_latestRefreshApplied = generation;
        self->setTransactions(std::move(list));
    } catch (...) {
        // The earlier list stays; nobody is told.
    }
}

QString AuthService::requireToken() const
{
    std::optional<QString> stored = token();
    if (!stored)
        throw AppError(notLoggedIn);
    return std::move(*stored);
}

QCoro::Task<void> AuthService::adopt(QCoro::Task<AuthResponse> request, bool loadTransactions)
{
    QPointer<AuthService> self(this);
    std::optional<AuthResponse> response;
    try {
        response = co_await std::move(request);
    } catch (...) {
        if (self)
            self->setLoading(false);
        throw;
    }
    if (!self)
        co_return;
    self->setToken(response->token);
    self->setCurrentUser(std::move(response->user));
    if (loadTransactions) {
        co_await self->refreshTransactions();
        if (!self)
            co_return;
    }
    self->setLoading(false);
}

QCoro::Task<void> AuthService::login(QString username, QString password)
{
    setLoading(true);
    co_await adopt(m_api.login(std::move(username), std::move(password)), true);
}

QCoro::Task<void> AuthService::registerUser(QString username, QString email, QString password)
{
    setLoading(true);
    co_await adopt(m_api.registerUser(std::move(username), std::move(email), std::move(password)), false);
}

QCoro::Task<void> AuthService::verifyEmail(QString code)
{
    const QString stored = requireToken();
    QPointer<AuthService> self(this);
    co_await m_api.verifyEmail(std::move(code), stored);
    if (!self)
        co_return;
    APIUser user = co_await self->m_api.me(stored);
    // The fresh profile belongs to the token that fetched it; after a sign-out it is dropped.
    if (!self || self->token() != stored)
        co_return;
    self->setCurrentUser(std::move(user));
}

QCoro::Task<void> AuthService::resendVerification()
{
    co_await m_api.resendVerification(requireToken());
}

QCoro::Task<void> AuthService::send(QString to, double amount, QString note)
{
    const QString stored = requireToken();
    QPointer<AuthService> self(this);
    setLoading(true);
    std::optional<SendResponse> response;
    try {
        response = co_await m_api.send(std::move(to), amount, std::move(note), stored);
    } catch (...) {
        if (self)
            self->setLoading(false);
        throw;
    }
    if (!self)
        co_return;
    // The sender's account is shown only while the session that sent is the current one.
    if (self->token() == stored) {
        self->setCurrentUser(std::move(response->user));
        co_await self->refreshTransactions();
    }
    if (self)
        self->setLoading(false);
}
