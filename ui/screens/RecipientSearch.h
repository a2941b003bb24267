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

// The send form's recipient: a debounced search by name, and the hit picked from it.
//
// Every change of recipientQuery (typing, clear(), a successful transfer; not picking a hit) drops
// the selection and reschedules the search. The request is sent 300 ms after the last change, for
// the text as it is then. Rescheduling cancels the pending search, aborting its request if it is
// already on its way, so an older reply never replaces newer hits. Search failures are silent.
// Destroying the search aborts its request.
class RecipientSearch : public QObject
{
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(
        QString recipientQuery READ recipientQuery WRITE setRecipientQuery NOTIFY recipientQueryChanged)
    // Each hit as {username, accountNumber}, in the service's order.
    Q_PROPERTY(QVariantList searchResults READ searchResultsVariant NOTIFY searchResultsChanged)
    // null, or the picked hit as {username, accountNumber}
    Q_PROPERTY(QVariant selectedUser READ selectedUserVariant NOTIFY selectedUserChanged)
    Q_PROPERTY(bool isSearching READ isSearching NOTIFY isSearchingChanged)
    Q_PROPERTY(bool showNoUsers READ showNoUsers NOTIFY showNoUsersChanged)

public:
    static constexpr int searchDelayMs = 300;

    explicit RecipientSearch(QObject *parent = nullptr);
    ~RecipientSearch() override;

    void setAuth(AuthService *auth) { m_auth = auth; }

    [[nodiscard]] QString recipientQuery() const { return m_recipientQuery; }
    void setRecipientQuery(const QString &query);
    [[nodiscard]] const QList<UserResult> &searchResults() const { return m_searchResults; }
    [[nodiscard]] const std::optional<UserResult> &selectedUser() const { return m_selectedUser; }
    [[nodiscard]] bool isSearching() const { return m_isSearching; }
    // "No users found": a query, no recipient, no search running and no hits.
    [[nodiscard]] bool showNoUsers() const;
    // A search is waiting out its delay or on its way: until then no hits change.
    [[nodiscard]] bool searchPending() const { return m_searchDelay.isActive() || m_isSearching; }

    // Picks a hit: it becomes the recipient and the query reads its name.
    Q_INVOKABLE void pickHit(int index);
    // The clear button and "Change": no query, no hits, no recipient.
    Q_INVOKABLE void clear();

Q_SIGNALS:
    void recipientQueryChanged();
    void searchResultsChanged();
    void selectedUserChanged();
    void isSearchingChanged();
    void showNoUsersChanged();

private:
    [[nodiscard]] QVariantList searchResultsVariant() const;
    [[nodiscard]] QVariant selectedUserVariant() const;
    void setSearchResults(QList<UserResult> results);
    void setSelectedUser(std::optional<UserResult> user);
    void setSearching(bool searching);
    void scheduleSearch();
    void cancelSearch();
    void startSearch();
    void updateShowNoUsers();

    static QCoro::Task<> runSearch(QPointer<RecipientSearch> self, APIService *api, QString query,
                                   QString token, CancelToken cancel);

    QPointer<AuthService> m_auth;
    QString m_recipientQuery;
    QList<UserResult> m_searchResults;
    std::optional<UserResult> m_selectedUser;
    bool m_isSearching = false;
    bool m_showNoUsers = false;
    QTimer m_searchDelay;
    CancelSource m_searchCancel;
};
