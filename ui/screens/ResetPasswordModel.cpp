// SPDX-License-Identifier: MIT
#include "ui/screens/ResetPasswordModel.h"

#include "service/APIService.h"
#include "session/TextRules.h"

ResetPasswordModel::ResetPasswordModel(QObject *parent)
    : QObject(parent)
{}

void ResetPasswordModel::setPrefillUsername(const QString &name)
{
    ScreenTask::assign(this, m_prefillUsername, name, &ResetPasswordModel::prefillUsernameChanged);
    ScreenTask::assign(this, m_username, name, &ResetPasswordModel::usernameChanged);
}

std::optional<QString> ResetPasswordModel::problemWithFields() const
{
    if (m_username.isEmpty() || m_resetSecret.isEmpty() || m_newPassword.isEmpty())
        return QStringLiteral("All fields are required.");
    // Canonically equivalent texts (precomposed or combining accents) are the same password.
    if (!TextRules::canonicallyEqual(m_newPassword, m_confirm))
        return QStringLiteral("Passwords don't match.");
    return TextRules::passwordProblem(m_newPassword);
}

void ResetPasswordModel::doReset()
{
    // One reset per sheet: after success the button is gone, and a stray call changes nothing.
    if (m_isSuccess || m_task.busy())
        return;
    const std::optional<QString> problem = problemWithFields();
    if (problem) {
        setStatus(*problem);
        return;
    }
    if (!m_auth)
        return;
    setStatus({});
    APIService *api = &m_auth->api();
    m_task.run([=, this] { return api->resetPassword(m_username, m_resetSecret, m_newPassword); },
               [this](const ScreenTask::Outcome &failure) {
                   setStatus(failure.value_or(QStringLiteral("Password reset! You can now log in.")));
                   ScreenTask::assign(this, m_isSuccess, !failure, &ResetPasswordModel::isSuccessChanged);
               });
}
