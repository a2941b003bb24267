// SPDX-License-Identifier: MIT
#include "ui/screens/VerifyEmailModel.h"

#include "session/AuthService.h"
#include "session/TextRules.h"
#include "ui/screens/TaskFailure.h"

VerifyEmailModel::VerifyEmailModel(QObject *parent)
    : QObject(parent)
{}

void VerifyEmailModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    QObject::disconnect(m_userConnection);
    m_auth = auth;
    if (auth)
        m_userConnection =
            connect(auth, &AuthService::currentUserChanged, this, &VerifyEmailModel::sentToTextChanged);
    Q_EMIT authChanged();
    Q_EMIT sentToTextChanged();
}

void VerifyEmailModel::setCode(const QString &code)
{
    if (m_code == code)
        return;
    m_code = code;
    Q_EMIT codeChanged();
}

void VerifyEmailModel::setStatus(const QString &status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void VerifyEmailModel::setError(bool error)
{
    if (m_isError == error)
        return;
    m_isError = error;
    Q_EMIT isErrorChanged();
}

void VerifyEmailModel::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void VerifyEmailModel::setResendStatus(const QString &status)
{
    if (m_resendStatus == status)
        return;
    m_resendStatus = status;
    Q_EMIT resendStatusChanged();
}

QString VerifyEmailModel::resendLabel() const
{
    return m_resendStatus.isEmpty() ? QStringLiteral("Resend Code") : m_resendStatus;
}

QString VerifyEmailModel::sentToText() const
{
    const auto &user = m_auth ? m_auth->currentUser() : std::nullopt;
    return QStringLiteral("A 6-digit code was sent to\n") +
           (user ? user->email : QStringLiteral("your email"));
}

void VerifyEmailModel::doVerify()
{
    // Exactly six user-perceived characters, taken as typed: the service decides what is valid.
    if (TextRules::characterCount(m_code) != 6) {
        setStatus(QStringLiteral("Enter the 6-digit code."));
        setError(true);
        return;
    }
    if (!m_auth)
        return;
    setLoading(true);
    setStatus({});
    runVerify(this, m_auth, m_code);
}

void VerifyEmailModel::doResend()
{
    if (!m_auth)
        return;
    runResend(this, m_auth);
}

void VerifyEmailModel::logout()
{
    if (m_auth)
        m_auth->logout();
}

void VerifyEmailModel::finishVerify(const std::optional<QString> &failure)
{
    if (failure) {
        setStatus(*failure);
        setError(true);
    } else {
        setStatus(QStringLiteral("Email verified!"));
        setError(false);
    }
    setLoading(false);
}

QCoro::Task<void> VerifyEmailModel::runVerify(QPointer<VerifyEmailModel> self, QPointer<AuthService> auth,
                                              QString code)
{
    const std::optional<QString> failure = co_await TaskFailure::of(auth->verifyEmail(std::move(code)));
    if (self)
        self->finishVerify(failure);
}

QCoro::Task<void> VerifyEmailModel::runResend(QPointer<VerifyEmailModel> self, QPointer<AuthService> auth)
{
    // The reason of a failure is not shown: the link only says whether it worked.
    const bool sent = !co_await TaskFailure::of(auth->resendVerification());
    if (self)
        self->setResendStatus(sent ? QStringLiteral("Code sent!") : QStringLiteral("Failed to resend."));
}
