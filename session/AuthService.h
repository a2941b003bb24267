// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"
#include "service/Cancellation.h"
#include "session/TransactionModel.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

class APIService;
class TokenStore;
class QQmlEngine;
class QJSEngine;

// The session: who is signed in, that user's recent transfers, a busy flag, and the bearer token
// kept between runs (TokenStore, read once at start in the background). One instance per process (shared());
// QML reaches it as the singleton AuthService. Everything here is used on the UI thread only; every change of
// a property is notified once.
//
// The operations are coroutines that a screen may start and forget: each keeps the object alive
// only through a QPointer, so one finishing after its caller is gone is harmless. Failures are
// thrown as the service client's ServiceError types (AppError "Not logged in." when the three
// operations that need a token find none).
class AuthService : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // null or an APIUser
    Q_PROPERTY(QVariant currentUser READ currentUserVariant NOTIFY currentUserChanged)
    Q_PROPERTY(QList<APITransaction> transactions READ transactions NOTIFY transactionsChanged)
    Q_PROPERTY(TransactionModel *transactionModel READ transactionModel CONSTANT)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    static AuthService &shared();
    static AuthService *create(QQmlEngine *, QJSEngine *);

    // Starts reading the stored token and, if there is one, restoring that session beside the
    // caller. The app uses shared(); tests make their own against a fake service.
    explicit AuthService(APIService &api, QObject *parent = nullptr);
    ~AuthService() override;

    [[nodiscard]] const std::optional<APIUser> &currentUser() const { return m_currentUser; }
    [[nodiscard]] const QList<APITransaction> &transactions() const { return m_transactions->transactions(); }
    [[nodiscard]] TransactionModel *transactionModel() const { return m_transactions; }
    [[nodiscard]] bool isLoading() const { return m_isLoading; }

    // The current token; a change is written to the token store in the background.
    [[nodiscard]] std::optional<QString> token() const;
    void setToken(const std::optional<QString> &token);
    // Completes once every change of the token has reached its store.
    QCoro::Task<void> tokenStored();

    QCoro::Task<void> login(QString username, QString password);
    QCoro::Task<void> registerUser(QString username, QString email, QString password);
    QCoro::Task<void> verifyEmail(QString code);
    QCoro::Task<void> resendVerification();
    QCoro::Task<void> send(QString to, double amount, QString note);
    // Never throws; keeps the old list on any failure or on cancel. A list is applied only while
    // the token it was fetched with is still stored, and never over that of a later refresh.
    QCoro::Task<void> refreshTransactions(CancelToken cancel = {});

    Q_INVOKABLE void logout();
    // A whole number in the user's locale (ICU), half-even, grouped; no unit.
    Q_INVOKABLE [[nodiscard]] QString formatted(double amount) const;

    [[nodiscard]] APIService &api() const { return m_api; }

Q_SIGNALS:
    void currentUserChanged();
    void transactionsChanged();
    void isLoadingChanged();

private:
    [[nodiscard]] QVariant currentUserVariant() const;
    void setCurrentUser(std::optional<APIUser> user);
    void setTransactions(QList<APITransaction> transactions);
    void setLoading(bool loading);
    // Reads the stored token and restores its session (refreshMe) unless a sign-in or sign-out came
    // first. Never throws.
    QCoro::Task<void> restore();
    // The start-up restore: the profile, then the transfers. Never throws. Its outcome (the user
    // and transfers, or removing the token after any failure) is applied only while the stored
    // token is still the one it was started with.
    QCoro::Task<void> refreshMe(QString token);
    // Takes the session that a sign-in or registration answers with. isLoading, set by the caller,
    // stays on until then, and with loadTransactions until the transfers are loaded too.
    QCoro::Task<void> adopt(QCoro::Task<AuthResponse> request, bool loadTransactions);
    // The stored token, for an operation that needs a session; throws AppError without one.
    [[nodiscard]] QString requireToken() const;

    APIService &m_api;
    TokenStore *m_tokenStore;
    std::optional<APIUser> m_currentUser;
    TransactionModel *m_transactions;
    bool m_isLoading = false;
    // Transfer-list refreshes started, and the latest one whose result was applied: an older
    // reply arriving late never replaces a newer list.
    quint64 m_refreshesStarted = 0;
    quint64 m_latestRefreshApplied = 0;
};
