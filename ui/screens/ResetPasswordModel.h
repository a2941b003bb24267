// SPDX-License-Identifier: MIT
#pragma once

#include "session/AuthService.h"
#include "ui/screens/ScreenTask.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The state and actions of the password reset sheet. The reset goes straight to the service
// client (auth->api()); it signs nobody in. Setting prefillUsername seeds the Username field;
// nothing typed here flows back to the sign-in screen.
class ResetPasswordModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth MEMBER m_auth NOTIFY authChanged)
    // Also sets the Username field to the given name.
    Q_PROPERTY(
        QString prefillUsername READ prefillUsername WRITE setPrefillUsername NOTIFY prefillUsernameChanged)
    Q_PROPERTY(QString username MEMBER m_username NOTIFY usernameChanged)
    Q_PROPERTY(QString resetSecret MEMBER m_resetSecret NOTIFY resetSecretChanged)
    Q_PROPERTY(QString newPassword MEMBER m_newPassword NOTIFY newPasswordChanged)
    Q_PROPERTY(QString confirm MEMBER m_confirm NOTIFY confirmChanged)
    Q_PROPERTY(QString status MEMBER m_status NOTIFY statusChanged)
    Q_PROPERTY(bool isSuccess MEMBER m_isSuccess NOTIFY isSuccessChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)

public:
    explicit ResetPasswordModel(QObject *parent = nullptr);

    [[nodiscard]] QString prefillUsername() const { return m_prefillUsername; }
    void setPrefillUsername(const QString &name);
    [[nodiscard]] QString username() const { return m_username; }
    [[nodiscard]] QString status() const { return m_status; }
    [[nodiscard]] bool isSuccess() const { return m_isSuccess; }
    [[nodiscard]] bool isLoading() const { return m_task.busy(); }

    // The "Reset Password" button: checks the fields, then asks the service in the background.
    Q_INVOKABLE void doReset();

Q_SIGNALS:
    void authChanged();
    void prefillUsernameChanged();
    void usernameChanged();
    void resetSecretChanged();
    void newPasswordChanged();
    void confirmChanged();
    void statusChanged();
    void isSuccessChanged();
    void isLoadingChanged();

private:
    void setStatus(const QString &status)
    {
        ScreenTask::assign(this, m_status, status, &ResetPasswordModel::statusChanged);
    }
    [[nodiscard]] std::optional<QString> problemWithFields() const;

    QPointer<AuthService> m_auth;
    QString m_prefillUsername;
    QString m_username;
    QString m_resetSecret;
    QString m_newPassword;
    QString m_confirm;
    QString m_status;
    bool m_isSuccess = false;
    ScreenTask m_task{this, [this] { Q_EMIT isLoadingChanged(); }};
};
