// SPDX-License-Identifier: MIT
#pragma once

#include "session/AuthService.h"
#include "ui/screens/ScreenTask.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The state and actions of the sign-in and registration screen. Every check, message and busy
// flag lives here; LoginView.qml only lays it out. A new instance starts from the initial state.
class LoginModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth MEMBER m_auth NOTIFY authChanged)
    Q_PROPERTY(Mode mode MEMBER m_mode NOTIFY modeChanged)
    Q_PROPERTY(QString username MEMBER m_username NOTIFY usernameChanged)
    Q_PROPERTY(QString email MEMBER m_email NOTIFY emailChanged)
    Q_PROPERTY(QString password MEMBER m_password NOTIFY passwordChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool showReset MEMBER m_showReset NOTIFY showResetChanged)

public:
    enum class Mode { Login, Register };
    Q_ENUM(Mode)

    explicit LoginModel(QObject *parent = nullptr);

    [[nodiscard]] Mode mode() const { return m_mode; }
    [[nodiscard]] QString status() const { return m_status; }
    [[nodiscard]] bool isLoading() const { return m_task.busy(); }
    [[nodiscard]] bool showReset() const { return m_showReset; }

    // A click on a tab: selects its mode and clears the message; the fields keep their text.
    Q_INVOKABLE void selectMode(LoginModel::Mode mode);
    // The primary button: checks the fields, then signs in or registers in the background.
    Q_INVOKABLE void doAction();

Q_SIGNALS:
    void authChanged();
    void modeChanged();
    void usernameChanged();
    void emailChanged();
    void passwordChanged();
    void statusChanged();
    void isLoadingChanged();
    void showResetChanged();

private:
    void setStatus(const QString &status)
    {
        ScreenTask::assign(this, m_status, status, &LoginModel::statusChanged);
    }
    [[nodiscard]] std::optional<QString> problemWithFields() const;

    QPointer<AuthService> m_auth;
    Mode m_mode = Mode::Login;
    QString m_username;
    QString m_email;
    QString m_password;
    QString m_status;
    bool m_showReset = false;
    ScreenTask m_task{this, [this] { Q_EMIT isLoadingChanged(); }};
};
