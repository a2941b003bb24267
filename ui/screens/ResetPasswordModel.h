// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

class APIService;
#include "session/AuthService.h"

// The state and actions of the password reset sheet. The reset goes straight to the service
// client (auth->api()); it signs nobody in. Setting prefillUsername seeds the Username field;
// nothing typed here flows back to the sign-in screen.
class ResetPasswordModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(
        QString prefillUsername READ prefillUsername WRITE setPrefillUsername NOTIFY prefillUsernameChanged)
    Q_PROPERTY(QString username READ username WRITE setUsername NOTIFY usernameChanged)
    Q_PROPERTY(QString resetSecret READ resetSecret WRITE setResetSecret NOTIFY resetSecretChanged)
    Q_PROPERTY(QString newPassword READ newPassword WRITE setNewPassword NOTIFY newPasswordChanged)
    Q_PROPERTY(QString confirm READ confirm WRITE setConfirm NOTIFY confirmChanged)
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool isSuccess READ isSuccess WRITE setSuccess NOTIFY isSuccessChanged)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setLoading NOTIFY isLoadingChanged)

public:
    explicit ResetPasswordModel(QObject *parent = nullptr);

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);
    [[nodiscard]] QString prefillUsername() const { return m_prefillUsername; }
    // Also sets the Username field to the given name.
    void setPrefillUsername(const QString &name);
    [[nodiscard]] QString username() const { return m_username; }
    void setUsername(const QString &username);
    [[nodiscard]] QString resetSecret() const { return m_resetSecret; }
    void setResetSecret(const QString &secret);
    [[nodiscard]] QString newPassword() const { return m_newPassword; }
    void setNewPassword(const QString &password);
    [[nodiscard]] QString confirm() const { return m_confirm; }
    void setConfirm(const QString &confirm);
    [[nodiscard]] QString status() const { return m_status; }
    void setStatus(const QString &status);
    [[nodiscard]] bool isSuccess() const { return m_isSuccess; }
    void setSuccess(bool success);
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    void setLoading(bool loading);

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
    static QCoro::Task<void> runReset(QPointer<ResetPasswordModel> self, APIService *api, QString username,
                                      QString resetSecret, QString newPassword);
    void finish(const std::optional<QString> &failure);

    QPointer<AuthService> m_auth;
    QString m_prefillUsername;
    QString m_username;
    QString m_resetSecret;
    QString m_newPassword;
    QString m_confirm;
    QString m_status;
    bool m_isSuccess = false;
    bool m_isLoading = false;
};
