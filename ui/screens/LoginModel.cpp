// SPDX-License-Identifier: MIT
#include "ui/screens/LoginModel.h"

#include "session/TextRules.h"

LoginModel::LoginModel(QObject *parent)
    : QObject(parent)
{}

void LoginModel::selectMode(Mode mode)
{
    ScreenTask::assign(this, m_mode, mode, &LoginModel::modeChanged);
    setStatus({});
}

std::optional<QString> LoginModel::problemWithFields() const
{
    // Empty means no characters at all: nothing is trimmed, and a name of spaces is sent as typed.
    if (m_mode == Mode::Login) {
        if (m_username.isEmpty() || m_password.isEmpty())
            return QStringLiteral("Please enter username and password.");
        return std::nullopt;
    }
    if (m_username.isEmpty() || m_email.isEmpty() || m_password.isEmpty())
        return QStringLiteral("All fields are required.");
    return TextRules::passwordProblem(m_password);
}

void LoginModel::doAction()
{
    if (m_task.busy())
        return;
    const std::optional<QString> problem = problemWithFields();
    setStatus(problem.value_or(QString()));
    if (problem || !m_auth)
        return;
    AuthService *auth = m_auth;
    m_task.run(
        [=, this] {
            return m_mode == Mode::Login ? auth->login(m_username, m_password)
                                         : auth->registerUser(m_username, m_email, m_password);
        },
        [this](const ScreenTask::Outcome &failure) {
            if (failure)
                setStatus(*failure);
        });
}
