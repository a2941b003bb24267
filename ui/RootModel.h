// SPDX-License-Identifier: MIT
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include "session/AuthService.h"

// Which screen fills the window, from the session's signed-in user alone: none gives the sign-in
// screen, an unverified user the verification screen, a verified one the dashboard.
// screenChanged fires only when the choice changes, so a new user of the same kind (a balance
// update) keeps the screen that is showing.
class RootModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(Screen screen READ screen NOTIFY screenChanged)

public:
    enum class Screen { Login, VerifyEmail, Dashboard };
    Q_ENUM(Screen)

    explicit RootModel(QObject *parent = nullptr);

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);
    [[nodiscard]] Screen screen() const { return m_screen; }

Q_SIGNALS:
    void authChanged();
    void screenChanged();

private:
    void update();

    QPointer<AuthService> m_auth;
    QMetaObject::Connection m_userConnection;
    Screen m_screen = Screen::Login;
};
