// SPDX-License-Identifier: MIT
#include "ui/screens/LoginModel.h"

#include "service/ApiTypes.h"
#include "session/AuthService.h"
#include "session/TextRules.h"
#include "ui/screens/TaskFailure.h"

LoginModel::LoginModel(QObject *parent)
    : QObject(parent)
{}

void LoginModel::setAuth(AuthService *auth)
{
    if (m_auth == auth)
        return;
    m_auth = auth;
    Q_EMIT authChanged();
}

void LoginModel::setMode(Mode mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    Q_EMIT modeChanged();
}

void LoginModel::setUsername(const QString &username)
{
    if (m_username == username)
        return;
    m_username = username;
    Q_EMIT usernameChanged();
}

void LoginModel::setEmail(const QString &email)
{
    if (m_email == email)
        return;
    m_email = email;
    Q_EMIT emailChanged();
}

void LoginModel::setPassword(const QString &password)
{
    if (m_password == password)
        return;
    m_password = password;
    Q_EMIT passwordChanged();
}

void LoginModel::setStatus(const QString &status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void LoginModel::setLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void LoginModel::setShowReset(bool show)
{
    if (m_showReset == show)
        return;
    m_showReset = show;
    Q_EMIT showResetChanged();
}

void LoginModel::selectMode(Mode mode)
{
    setMode(mode);
    setStatus({});
}

void LoginModel::doAction()
{
    setStatus({});
    // Empty means no characters at all: nothing is trimmed, and a name of spaces is sent as typed.
    if (m_mode == Mode::Login) {
        if (m_username.isEmpty() || m_password.isEmpty()) {
            setStatus(QStringLiteral("Please enter username and password."));
            return;
        }
    } else {
        if (m_username.isEmpty() || m_email.isEmpty() || m_password.isEmpty()) {
            setStatus(QStringLiteral("All fields are required."));
            return;
        }
        if (TextRules::characterCount(m_password) < 6) {
            setStatus(QStringLiteral("Password must be at least 6 characters."));
            return;
        }
    }
    if (!m_auth)
        return;
    setLoading(true);
    if (m_mode == Mode::Login)
        runLogin(this, m_auth, m_username, m_password);
    else
        runRegister(this, m_auth, m_username, m_email, m_password);
}

void LoginModel::finish(const std::optional<QString> &failure)
{
    if (failure)
        setStatus(*failure);
    setLoading(false);
}

QCoro::Task<void> LoginModel::runLogin(QPointer<LoginModel> self, QPointer<AuthService> auth,
                                       QString username, QString password)
{
    const std::optional<QString> failure =
        co_await TaskFailure::of(auth->login(std::move(username), std::move(password)));
    if (self)
        self->finish(failure);
}

QCoro::Task<void> LoginModel::runRegister(QPointer<LoginModel> self, QPointer<AuthService> auth,
                                          QString username, QString email, QString password)
{
    const std::optional<QString> failure = co_await TaskFailure::of(
        auth->registerUser(std::move(username), std::move(email), std::move(password)));
    if (self)
        self->finish(failure);
}
