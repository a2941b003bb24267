// SPDX-License-Identifier: MIT
#include "ui/screens/DashboardModel.h"

#include "session/AmountFormat.h"
#include "session/AuthService.h"
#include "session/DateFormatter.h"

#include <QCoroTask>
#include <QStringList>

namespace {

// Fire-and-forget: refreshTransactions never throws and guards the session itself; the catch
// keeps anything unexpected from escaping a discarded task.
QCoro::Task<> reload(QPointer<AuthService> auth, CancelToken cancel)
{
    try {
        if (auth)
            co_await auth->refreshTransactions(cancel);
    } catch (...) {
    }
}

} // namespace

DashboardModel::DashboardModel(QObject *parent)
    : QObject(parent)
{}

DashboardModel::~DashboardModel()
{
    m_reloads.cancel();
}

void DashboardModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    if (m_auth)
        disconnect(m_auth, nullptr, this, nullptr);
    m_auth = auth;
    if (auth) {
        connect(auth, &AuthService::currentUserChanged, this, &DashboardModel::userChanged);
        connect(auth->transactionModel(), &TransactionModel::countChanged, this,
                &DashboardModel::isEmptyChanged);
    }
    Q_EMIT authChanged();
    Q_EMIT userChanged();
    Q_EMIT isEmptyChanged();
    if (m_appeared && !m_appearReloadStarted)
        appear();
}

void DashboardModel::toggleSend()
{
    m_showSend = !m_showSend;
    Q_EMIT showSendChanged();
}

bool DashboardModel::hasUser() const
{
    return m_auth && m_auth->currentUser().has_value();
}

QString DashboardModel::welcomeText() const
{
    return hasUser() ? QStringLiteral("Welcome back, ") + m_auth->currentUser()->username + u'!' : QString();
}

QString DashboardModel::accountText() const
{
    return hasUser() ? QStringLiteral("Account: ") + m_auth->currentUser()->accountNumber : QString();
}

QString DashboardModel::balanceText() const
{
    return amountText(hasUser() ? m_auth->currentUser()->balance : 0.0);
}

bool DashboardModel::isEmpty() const
{
    return !m_auth || m_auth->transactionModel()->rowCount() == 0;
}

void DashboardModel::appear()
{
    m_appeared = true;
    if (m_appearReloadStarted || !m_auth)
        return; // started already, or waits for the session to be set
    m_appearReloadStarted = true;
    startReload();
}

void DashboardModel::refresh()
{
    startReload();
}

void DashboardModel::logout()
{
    if (m_auth)
        m_auth->logout();
}

QString DashboardModel::amountText(double amount) const
{
    return AmountFormat::withUnit(amount);
}

QString DashboardModel::dateText(const QDateTime &when) const
{
    return DateFormatter::forUser().format(when);
}

QString DashboardModel::transferSentence(const QString &fromUser, const QString &toUser, double amount,
                                         const QString &note, const QDateTime &when) const
{
    QStringList parts{fromUser + QStringLiteral(" to ") + toUser, amountText(amount)};
    if (!note.isEmpty())
        parts.append(note);
    parts.append(dateText(when));
    return parts.join(QStringLiteral(", "));
}

void DashboardModel::startReload()
{
    reload(m_auth, m_reloads.token());
}
