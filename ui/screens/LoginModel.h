// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

#include "session/AuthService.h"

// The state and actions of the sign-in and registration screen. Every check, message and busy
// flag lives here; LoginView.qml only lays it out. A new instance starts from the initial state.
class LoginModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(Mode mode READ mode WRITE setMode NOTIFY modeChanged)
    Q_PROPERTY(QString username READ username WRITE setUsername NOTIFY usernameChanged)
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool showReset READ showReset WRITE setShowReset NOTIFY showResetChanged)

public:
    enum class Mode { Login, Register };
    Q_ENUM(Mode)

    explicit LoginModel(QObject *parent = nullptr);

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);
    [[nodiscard]] Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    [[nodiscard]] QString username() const { return m_username; }
    void setUsername(const QString &username);
    [[nodiscard]] QString email() const { return m_email; }
    void setEmail(const QString &email);
    [[nodiscard]] QString password() const { return m_password; }
    void setPassword(const QString &password);
    [[nodiscard]] QString status() const { return m_status; }
    void setStatus(const QString &status);
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    void setLoading(bool loading);
    [[nodiscard]] bool showReset() const { return m_showReset; }
    void setShowReset(bool show);

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
    static QCoro::Task<void> runLogin(QPointer<LoginModel> self, QPointer<AuthService> auth, QString username,
                                      QString password);
    static QCoro::Task<void> runRegister(QPointer<LoginModel> self, QPointer<AuthService> auth,
                                         QString username, QString email, QString password);
    void finish(const std::optional<QString> &failure);

    QPointer<AuthService> m_auth;
    Mode m_mode = Mode::Login;
    QString m_username;
    QString m_email;
    QString m_password;
    QString m_status;
    bool m_isLoading = false;
    bool m_showReset = false;
};
