// SPDX-License-Identifier: MIT
#include "ui/screens/VerifyEmailModel.h"

#include "session/TextRules.h"

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

void VerifyEmailModel::setStatus(const QString &status, bool isError)
{
    ScreenTask::assign(this, m_status, status, &VerifyEmailModel::statusChanged);
    ScreenTask::assign(this, m_isError, isError, &VerifyEmailModel::isErrorChanged);
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
    if (m_verify.busy())
        return;
    // Exactly six user-perceived characters, taken as typed: the service decides what is valid.
    if (TextRules::characterCount(m_code) != 6) {
        setStatus(QStringLiteral("Enter the 6-digit code."), true);
        return;
    }
    if (!m_auth)
        return;
    // The message goes; its colour stays until the outcome sets it.
    ScreenTask::assign(this, m_status, QString(), &VerifyEmailModel::statusChanged);
    AuthService *auth = m_auth;
    m_verify.run([auth, code = m_code] { return auth->verifyEmail(code); },
                 [this](const ScreenTask::Outcome &failure) {
                     setStatus(failure.value_or(QStringLiteral("Email verified!")), failure.has_value());
                 });
}

void VerifyEmailModel::doResend()
{
    if (!m_auth)
        return;
    AuthService *auth = m_auth;
    // The reason of a failure is not shown: the link only says whether it worked.
    m_resend.run([auth] { return auth->resendVerification(); },
                 [this](const ScreenTask::Outcome &failure) {
                     ScreenTask::assign(this, m_resendStatus,
                                        failure ? QStringLiteral("Failed to resend.")
                                                : QStringLiteral("Code sent!"),
                                        &VerifyEmailModel::resendStatusChanged);
                 });
}

void VerifyEmailModel::logout()
{
    if (m_auth)
        m_auth->logout();
}
