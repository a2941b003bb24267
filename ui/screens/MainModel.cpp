// SPDX-License-Identifier: MIT
#include "ui/screens/MainModel.h"

#include "session/AuthService.h"
#include "ui/DateFormatter.h"

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

MainModel::MainModel(QObject *parent)
    : QObject(parent)
{}

MainModel::~MainModel()
{
    m_reloads.cancel();
}

void MainModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    if (m_auth)
        disconnect(m_auth, nullptr, this, nullptr);
    m_auth = auth;
    if (auth) {
        connect(auth, &AuthService::currentUserChanged, this, &MainModel::userChanged);
        connect(auth->transactionModel(), &TransactionModel::countChanged, this, &MainModel::isEmptyChanged);
    }
    Q_EMIT authChanged();
    Q_EMIT userChanged();
    Q_EMIT isEmptyChanged();
    if (m_appeared && !m_appearReloadStarted)
        appear();
}

void MainModel::setShowSend(bool show)
{
    if (m_showSend == show)
        return;
    m_showSend = show;
    Q_EMIT showSendChanged();
}

bool MainModel::hasUser() const
{
    return m_auth && m_auth->currentUser().has_value();
}

QString MainModel::welcomeText() const
{
    return hasUser() ? QStringLiteral("Welcome back, ") + m_auth->currentUser()->username + u'!' : QString();
}

QString MainModel::accountText() const
{
    return hasUser() ? QStringLiteral("Account: ") + m_auth->currentUser()->accountNumber : QString();
}

QString MainModel::balanceText() const
{
    return amountText(hasUser() ? m_auth->currentUser()->balance : 0.0);
}

bool MainModel::isEmpty() const
{
    return !m_auth || m_auth->transactionModel()->rowCount() == 0;
}

void MainModel::appear()
{
    m_appeared = true;
    if (m_appearReloadStarted || !m_auth)
        return; // started already, or waits for the session to be set
    m_appearReloadStarted = true;
    startReload();
}

void MainModel::refresh()
{
    startReload();
}

void MainModel::logout()
{
    if (m_auth)
        m_auth->logout();
}

QString MainModel::amountText(double amount) const
{
    return (m_auth ? m_auth->formatted(amount) : QString::number(amount, 'f', 0)) + QStringLiteral(" ◆");
}

QString MainModel::dateText(const QDateTime &when) const
{
    return DateFormatter::forUser().format(when);
}

QString MainModel::transferSentence(const QString &fromUser, const QString &toUser, double amount,
                                    const QString &note, const QDateTime &when) const
{
    QStringList parts{fromUser + QStringLiteral(" to ") + toUser, amountText(amount)};
    if (!note.isEmpty())
        parts.append(note);
    parts.append(dateText(when));
    return parts.join(QStringLiteral(", "));
}

void MainModel::startReload()
{
    reload(m_auth, m_reloads.token());
}
