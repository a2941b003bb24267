// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"
#include "service/Cancellation.h"
#include "session/AuthService.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

class APIService;

// State and actions of the send form (SendView): find a recipient by a debounced name search,
// pick one, and send an amount with an optional note through the session.
//
// Search: every change of recipientQuery (typing, the clear button, "Change", a successful
// transfer; not picking a hit) drops the selection and reschedules the search. The request is
// sent 300 ms after the last change, for the text as it is then. Rescheduling cancels the
// pending search, aborting its request if it is already on its way, so an older reply never
// replaces newer hits. Search failures are silent.
//
// Destroying the model (closing the form) aborts a search; a transfer still completes in the
// session, but its outcome is no longer shown anywhere.
class SendModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(
        QString recipientQuery READ recipientQuery WRITE setRecipientQuery NOTIFY recipientQueryChanged)
    // Each hit as {username, accountNumber}, in the service's order.
    Q_PROPERTY(QVariantList searchResults READ searchResultsVariant NOTIFY searchResultsChanged)
    // null, or the picked hit as {username, accountNumber}
    Q_PROPERTY(QVariant selectedUser READ selectedUserVariant NOTIFY selectedUserChanged)
    Q_PROPERTY(bool isSearching READ isSearching NOTIFY isSearchingChanged)
    Q_PROPERTY(QString amountText READ amountText WRITE setAmountText NOTIFY amountTextChanged)
    Q_PROPERTY(QString note READ note WRITE setNote NOTIFY noteChanged)
    Q_PROPERTY(QString sendStatus READ sendStatus NOTIFY sendStatusChanged)
    Q_PROPERTY(bool isSendError READ isSendError NOTIFY isSendErrorChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)
    Q_PROPERTY(bool showNoUsers READ showNoUsers NOTIFY showNoUsersChanged)

public:
    static constexpr int searchDelayMs = 300;

    explicit SendModel(QObject *parent = nullptr);
    ~SendModel() override;

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);

    [[nodiscard]] QString recipientQuery() const { return m_recipientQuery; }
    // A change runs the reaction: the selection goes and the search is rescheduled.
    void setRecipientQuery(const QString &query);
    [[nodiscard]] const QList<UserResult> &searchResults() const { return m_searchResults; }
    [[nodiscard]] const std::optional<UserResult> &selectedUser() const { return m_selectedUser; }
    [[nodiscard]] bool isSearching() const { return m_isSearching; }
    [[nodiscard]] QString amountText() const { return m_amountText; }
    void setAmountText(const QString &text);
    [[nodiscard]] QString note() const { return m_note; }
    void setNote(const QString &note);
    [[nodiscard]] QString sendStatus() const { return m_sendStatus; }
    [[nodiscard]] bool isSendError() const { return m_isSendError; }
    [[nodiscard]] bool isSending() const { return m_isSending; }

    // A recipient is picked and the amount text is one number greater than 0 (TextRules).
    [[nodiscard]] bool canSend() const;
    // "No users found": a query, no recipient, no search running and no hits.
    [[nodiscard]] bool showNoUsers() const;

    // Cancels the pending search; an empty query empties the hits, any other starts the delay.
    void scheduleSearch(const QString &query);

    Q_INVOKABLE void pickHit(int index);
    Q_INVOKABLE void clearSearch();
    Q_INVOKABLE void change();
    Q_INVOKABLE void doSend();

Q_SIGNALS:
    void authChanged();
    void recipientQueryChanged();
    void searchResultsChanged();
    void selectedUserChanged();
    void isSearchingChanged();
    void amountTextChanged();
    void noteChanged();
    void sendStatusChanged();
    void isSendErrorChanged();
    void isSendingChanged();
    void canSendChanged();
    void showNoUsersChanged();

private:
    [[nodiscard]] QVariantList searchResultsVariant() const;
    [[nodiscard]] QVariant selectedUserVariant() const;
    void setSearchResults(QList<UserResult> results);
    void setSelectedUser(std::optional<UserResult> user);
    void setSearching(bool searching);
    void setSendStatus(const QString &status, bool isError);
    void setSending(bool sending);
    void cancelSearch();
    void startSearch();
    // Re-evaluates canSend and showNoUsers and notifies their changes.
    void updateDerived();

    static QCoro::Task<> runSearch(QPointer<SendModel> self, APIService *api, QString query, QString token,
                                   CancelToken cancel);
    static QCoro::Task<> runSend(QPointer<SendModel> self, QPointer<AuthService> auth, QString to,
                                 double amount, QString note);

    QPointer<AuthService> m_auth;
    QString m_recipientQuery;
    QList<UserResult> m_searchResults;
    std::optional<UserResult> m_selectedUser;
    bool m_isSearching = false;
    QString m_amountText;
    QString m_note;
    QString m_sendStatus;
    bool m_isSendError = false;
    bool m_isSending = false;

    bool m_canSend = false;
    bool m_showNoUsers = false;

    QTimer m_searchDelay;
    QString m_pendingQuery;
    CancelSource m_searchCancel;
};
