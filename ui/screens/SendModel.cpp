// SPDX-License-Identifier: MIT
#include "ui/screens/SendModel.h"

#include "service/APIService.h"
#include "session/AuthService.h"
#include "session/TextRules.h"
#include "ui/screens/TaskFailure.h"

namespace {

QVariantMap toVariant(const UserResult &user)
{
    return {{QStringLiteral("username"), user.username},
            {QStringLiteral("accountNumber"), user.accountNumber}};
}

// The amount that may be sent: one number, as strtod reads it, greater than 0. Infinity passes;
// the service client refuses to write it into a request.
std::optional<double> sendableAmount(const QString &text)
{
    const std::optional<double> amount = TextRules::parseAmount(text);
    if (!amount || !(*amount > 0))
        return std::nullopt;
    return amount;
}

} // namespace

SendModel::SendModel(QObject *parent)
    : QObject(parent)
{
    m_searchDelay.setSingleShot(true);
    m_searchDelay.setInterval(searchDelayMs);
    connect(&m_searchDelay, &QTimer::timeout, this, &SendModel::startSearch);
}

SendModel::~SendModel()
{
    // Aborts a search request in flight; its coroutine finds this object gone and ends.
    m_searchCancel.cancel();
}

void SendModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    m_auth = auth;
    Q_EMIT authChanged();
}

void SendModel::setRecipientQuery(const QString &query)
{
    if (m_recipientQuery == query)
        return;
    m_recipientQuery = query;
    Q_EMIT recipientQueryChanged();
    setSelectedUser(std::nullopt);
    scheduleSearch(query);
    updateDerived();
}

void SendModel::setAmountText(const QString &text)
{
    if (m_amountText == text)
        return;
    m_amountText = text;
    Q_EMIT amountTextChanged();
    updateDerived();
}

void SendModel::setNote(const QString &note)
{
    if (m_note == note)
        return;
    m_note = note;
    Q_EMIT noteChanged();
}

bool SendModel::canSend() const
{
    return m_selectedUser.has_value() && sendableAmount(m_amountText).has_value();
}

bool SendModel::showNoUsers() const
{
    return !m_selectedUser && !m_recipientQuery.isEmpty() && !m_isSearching && m_searchResults.isEmpty();
}

void SendModel::scheduleSearch(const QString &query)
{
    cancelSearch();
    if (query.isEmpty()) {
        setSearchResults({});
        return;
    }
    m_pendingQuery = query;
    m_searchDelay.start();
}

void SendModel::pickHit(int index)
{
    if (index < 0 || index >= m_searchResults.size())
        return;
    const UserResult hit = m_searchResults.at(index);
    // A search still waiting out its delay belongs to the text being replaced: drop it too.
    cancelSearch();
    setSelectedUser(hit);
    // The one write of the query that keeps the selection and schedules nothing.
    if (m_recipientQuery != hit.username) {
        m_recipientQuery = hit.username;
        Q_EMIT recipientQueryChanged();
    }
    setSearchResults({});
    updateDerived();
}

void SendModel::clearSearch()
{
    setRecipientQuery(QString());
    setSearchResults({});
    setSelectedUser(std::nullopt);
    updateDerived();
}

void SendModel::change()
{
    setSelectedUser(std::nullopt);
    setRecipientQuery(QString());
    setSearchResults({});
    updateDerived();
}

void SendModel::doSend()
{
    if (!m_selectedUser)
        return;
    const std::optional<double> amount = sendableAmount(m_amountText);
    if (!amount)
        return;
    setSending(true);
    setSendStatus(QString(), m_isSendError);
    runSend(this, m_auth, m_selectedUser->username, *amount, m_note);
}

QCoro::Task<> SendModel::runSend(QPointer<SendModel> self, QPointer<AuthService> auth, QString to,
                                 double amount, QString note)
{
    try {
        // Not inside a conditional expression: g++ 12 mishandles temporaries around a co_await there.
        std::optional<QString> failure = QStringLiteral("Not logged in.");
        if (auth)
            failure = co_await TaskFailure::of(auth->send(to, amount, note));
        if (!self)
            co_return; // the form was closed meanwhile; the session has the outcome
        if (failure) {
            self->setSendStatus(*failure, true);
            self->setSending(false);
            co_return;
        }
        const QString formatted = auth ? auth->formatted(amount) : QString::number(amount, 'f', 0);
        self->setSendStatus(QStringLiteral("Sent ") + formatted + QStringLiteral(" ◆ to ") + to + u'.',
                            false);
        self->setSelectedUser(std::nullopt);
        self->setRecipientQuery(QString());
        self->setAmountText(QString());
        self->setNote(QString());
        self->setSending(false);
        self->updateDerived();
    } catch (...) {
    }
}

void SendModel::cancelSearch()
{
    m_searchDelay.stop();
    m_searchCancel.cancel();
    m_searchCancel = CancelSource();
    setSearching(false);
}

void SendModel::startSearch()
{
    const std::optional<QString> token = m_auth ? m_auth->token() : std::nullopt;
    if (!token)
        return;
    setSearching(true);
    runSearch(this, &m_auth->api(), m_pendingQuery, *token, m_searchCancel.token());
}

QCoro::Task<> SendModel::runSearch(QPointer<SendModel> self, APIService *api, QString query, QString token,
                                   CancelToken cancel)
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

QVariantList SendModel::searchResultsVariant() const
{
    QVariantList list;
    list.reserve(m_searchResults.size());
    for (const UserResult &user : m_searchResults)
        list.append(toVariant(user));
    return list;
}

QVariant SendModel::selectedUserVariant() const
{
    return m_selectedUser ? QVariant(toVariant(*m_selectedUser)) : QVariant();
}

void SendModel::setSearchResults(QList<UserResult> results)
{
    if (m_searchResults == results)
        return;
    m_searchResults = std::move(results);
    Q_EMIT searchResultsChanged();
    updateDerived();
}

void SendModel::setSelectedUser(std::optional<UserResult> user)
{
    if (m_selectedUser == user)
        return;
    m_selectedUser = std::move(user);
    Q_EMIT selectedUserChanged();
    updateDerived();
}

void SendModel::setSearching(bool searching)
{
    if (m_isSearching == searching)
        return;
    m_isSearching = searching;
    Q_EMIT isSearchingChanged();
    updateDerived();
}

void SendModel::setSendStatus(const QString &status, bool isError)
{
    if (m_sendStatus != status) {
        m_sendStatus = status;
        Q_EMIT sendStatusChanged();
    }
    if (m_isSendError != isError) {
        m_isSendError = isError;
        Q_EMIT isSendErrorChanged();
    }
}

void SendModel::setSending(bool sending)
{
    if (m_isSending == sending)
        return;
    m_isSending = sending;
    Q_EMIT isSendingChanged();
}

void SendModel::updateDerived()
{
    const bool canSendNow = canSend();
    if (m_canSend != canSendNow) {
        m_canSend = canSendNow;
        Q_EMIT canSendChanged();
    }
    const bool showNoUsersNow = showNoUsers();
    if (m_showNoUsers != showNoUsersNow) {
        m_showNoUsers = showNoUsersNow;
        Q_EMIT showNoUsersChanged();
    }
}
