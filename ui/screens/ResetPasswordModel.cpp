// SPDX-License-Identifier: MIT
#include "ui/screens/ResetPasswordModel.h"

#include "service/APIService.h"
#include "session/AuthService.h"
#include "session/TextRules.h"
#include "ui/screens/TaskFailure.h"

ResetPasswordModel::ResetPasswordModel(QObject *parent)
    : QObject(parent)
{}

void ResetPasswordModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    m_auth = auth;
    Q_EMIT authChanged();
}

void ResetPasswordModel::setPrefillUsername(const QString &name)
{
    if (m_prefillUsername != name) {
        m_prefillUsername = name;
        Q_EMIT prefillUsernameChanged();
    }
    setUsername(name);
}

void ResetPasswordModel::setUsername(const QString &username)
{
    if (m_username == username)
        return;
    m_username = username;
    Q_EMIT usernameChanged();
}

void ResetPasswordModel::setResetSecret(const QString &secret)
{
    if (m_resetSecret == secret)
        return;
    m_resetSecret = secret;
    Q_EMIT resetSecretChanged();
}

void ResetPasswordModel::setNewPassword(const QString &password)
{
    if (m_newPassword == password)
        return;
    m_newPassword = password;
    Q_EMIT newPasswordChanged();
}

void ResetPasswordModel::setConfirm(const QString &confirm)
{
    if (m_confirm == confirm)
        return;
    m_confirm = confirm;
    Q_EMIT confirmChanged();
}

void ResetPasswordModel::setStatus(const QString &status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void ResetPasswordModel::setSuccess(bool success)
{
    if (m_isSuccess == success)
        return;
    m_isSuccess = success;
    Q_EMIT isSuccessChanged();
}

void ResetPasswordModel::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void ResetPasswordModel::doReset()
{
    // One reset per sheet: after success the button is gone, and a stray call changes nothing.
    if (m_isSuccess || m_isLoading)
        return;
    if (m_username.isEmpty() || m_resetSecret.isEmpty() || m_newPassword.isEmpty()) {
        setStatus(QStringLiteral("All fields are required."));
        return;
    }
    // Canonically equivalent texts (precomposed or combining accents) are the same password.
    if (!TextRules::canonicallyEqual(m_newPassword, m_confirm)) {
        setStatus(QStringLiteral("Passwords don't match."));
        return;
    }
    if (TextRules::characterCount(m_newPassword) < 6) {
        setStatus(QStringLiteral("Password must be at least 6 characters."));
        return;
    }
    if (!m_auth)
        return;
    setLoading(true);
    setStatus({});
    runReset(this, &m_auth->api(), m_username, m_resetSecret, m_newPassword);
}

void ResetPasswordModel::finish(const std::optional<QString> &failure)
{
    if (failure) {
        setStatus(*failure);
    } else {
        setStatus(QStringLiteral("Password reset! You can now log in."));
        setSuccess(true);
    }
    setLoading(false);
}

QCoro::Task<void> ResetPasswordModel::runReset(QPointer<ResetPasswordModel> self, APIService *api,
                                               QString username, QString resetSecret, QString newPassword)
{
    const std::optional<QString> failure = co_await TaskFailure::of(
        api->resetPassword(std::move(username), std::move(resetSecret), std::move(newPassword)));
    if (self)
        self->finish(failure);
}
