// SPDX-License-Identifier: MIT
#include "ui/screens/SendModel.h"

#include "session/AmountFormat.h"
#include "session/TextRules.h"

namespace {

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
    connect(&m_search, &RecipientSearch::selectedUserChanged, this, &SendModel::updateCanSend);
}

void SendModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    m_auth = auth;
    m_search.setAuth(auth);
    Q_EMIT authChanged();
}

void SendModel::setAmountText(const QString &text)
{
    if (ScreenTask::assign(this, m_amountText, text, &SendModel::amountTextChanged))
        updateCanSend();
}

bool SendModel::canSend() const
{
    return m_search.selectedUser().has_value() && sendableAmount(m_amountText).has_value();
}

void SendModel::doSend()
{
    const std::optional<UserResult> &recipient = m_search.selectedUser();
    const std::optional<double> amount = sendableAmount(m_amountText);
    if (!recipient || !amount || !m_auth || m_task.busy())
        return;
    setSendStatus(QString(), m_isSendError);
    AuthService *auth = m_auth;
    const QString to = recipient->username;
    m_task.run([=, this] { return auth->send(to, *amount, m_note); },
               [this, to, amount = *amount](const ScreenTask::Outcome &failure) {
                   if (failure) {
                       setSendStatus(*failure, true);
                       return;
                   }
                   setSendStatus(QStringLiteral("Sent ") + AmountFormat::withUnit(amount) +
                                     QStringLiteral(" to ") + to + u'.',
                                 false);
                   m_search.clear();
                   setAmountText(QString());
                   ScreenTask::assign(this, m_note, QString(), &SendModel::noteChanged);
               });
}

void SendModel::setSendStatus(const QString &status, bool isError)
{
    ScreenTask::assign(this, m_sendStatus, status, &SendModel::sendStatusChanged);
    ScreenTask::assign(this, m_isSendError, isError, &SendModel::isSendErrorChanged);
}

void SendModel::updateCanSend()
{
    ScreenTask::assign(this, m_canSend, canSend(), &SendModel::canSendChanged);
}
