// SPDX-License-Identifier: MIT
#include "ui/screens/RecipientSearch.h"

#include "service/APIService.h"
#include "ui/screens/ScreenTask.h"

namespace {

QVariantMap toVariant(const UserResult &user)
{
    return {{QStringLiteral("username"), user.username},
            {QStringLiteral("accountNumber"), user.accountNumber}};
}

} // namespace

RecipientSearch::RecipientSearch(QObject *parent)
    : QObject(parent)
{
    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(searchDelayMs);
    connect(&m_searchDelay, &QTimer::timeout, this, &RecipientSearch::startSearch);
}

RecipientSearch::~RecipientSearch()
{
    // Aborts a search request in flight; its coroutine finds this object gone and ends.
    m_searchCancel.cancel();
}

void RecipientSearch::setRecipientQuery(const QString &query)
{
    if (!ScreenTask::assign(this, m_recipientQuery, query, &RecipientSearch::recipientQueryChanged))
        return;
    setSelectedUser(std::nullopt);
    scheduleSearch();
    updateShowNoUsers();
}

bool RecipientSearch::showNoUsers() const
{
    return !m_selectedUser && !m_recipientQuery.isEmpty() && !m_isSearching && m_searchResults.isEmpty();
}

void RecipientSearch::pickHit(int index)
{
    if (index < 0 || index >= m_searchResults.size())
        return;
    const UserResult hit = m_searchResults.at(index);
    // A search still waiting out its delay belongs to the text being replaced: drop it too.
    cancelSearch();
    setSelectedUser(hit);
    // The one write of the query that keeps the selection and schedules nothing.
    ScreenTask::assign(this, m_recipientQuery, hit.username, &RecipientSearch::recipientQueryChanged);
    setSearchResults({});
    updateShowNoUsers();
}

void RecipientSearch::clear()
{
    setRecipientQuery(QString());
    setSearchResults({});
    setSelectedUser(std::nullopt);
}

// An empty query empties the hits; any other starts the delay.
void RecipientSearch::scheduleSearch()
{
    cancelSearch();
    if (m_recipientQuery.isEmpty())
        setSearchResults({});
    else
        m_searchDelay.start();
}

void RecipientSearch::cancelSearch()
{
    m_searchDelay.stop();
    m_searchCancel.cancel();
    m_searchCancel = CancelSource();
    setSearching(false);
}

void RecipientSearch::startSearch()
{
    const std::optional<QString> token = m_auth ? m_auth->token() : std::nullopt;
    if (!token)
        return;
    setSearching(true);
    runSearch(this, &m_auth->api(), m_recipientQuery, *token, m_searchCancel.token());
}

QCoro::Task<> RecipientSearch::runSearch(QPointer<RecipientSearch> self, APIService *api, QString query,
                                         QString token, CancelToken cancel)
{
    try {
        std::optional<QList<UserResult>> hits;
        try {
            hits = co_await api->searchUsers(query, token, cancel);
        } catch (...) {
            // Failures are silent and keep the earlier hits.
        }
        // A cancelled search was replaced by a newer one (or the form closed): it touches nothing.
        if (!self || cancel.isCancelled())
            co_return;
        if (hits)
            self->setSearchResults(std::move(*hits));
        self->setSearching(false);
    } catch (...) {
    }
}

QVariantList RecipientSearch::searchResultsVariant() const
{
    QVariantList list;
    list.reserve(m_searchResults.size());
    for (const UserResult &user : m_searchResults)
        list.append(toVariant(user));
    return list;
}

QVariant RecipientSearch::selectedUserVariant() const
{
    return m_selectedUser ? QVariant(toVariant(*m_selectedUser)) : QVariant();
}

void RecipientSearch::setSearchResults(QList<UserResult> results)
{
    if (ScreenTask::assign(this, m_searchResults, std::move(results), &RecipientSearch::searchResultsChanged))
        updateShowNoUsers();
}

void RecipientSearch::setSelectedUser(std::optional<UserResult> user)
{
    if (ScreenTask::assign(this, m_selectedUser, std::move(user), &RecipientSearch::selectedUserChanged))
        updateShowNoUsers();
}

void RecipientSearch::setSearching(bool searching)
{
    if (ScreenTask::assign(this, m_isSearching, searching, &RecipientSearch::isSearchingChanged))
        updateShowNoUsers();
}

void RecipientSearch::updateShowNoUsers()
{
    ScreenTask::assign(this, m_showNoUsers, showNoUsers(), &RecipientSearch::showNoUsersChanged);
}
