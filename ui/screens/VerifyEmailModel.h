// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

#include "session/AuthService.h"

// The state and actions of the e-mail verification screen: the code check, the verification and
// the request for a new code run here; VerifyEmailView.qml only lays them out.
class VerifyEmailModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(QString code READ code WRITE setCode NOTIFY codeChanged)
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged)
    Q_PROPERTY(bool isError READ isError WRITE setError NOTIFY isErrorChanged)
    Q_PROPERTY(bool isLoading READ isLoading WRITE setLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString resendStatus READ resendStatus WRITE setResendStatus NOTIFY resendStatusChanged)
    // "Resend Code" until the first answer, then that answer's outcome.
    Q_PROPERTY(QString resendLabel READ resendLabel NOTIFY resendStatusChanged)
    // "A 6-digit code was sent to" and, on the next line, the signed-in user's address.
    Q_PROPERTY(QString sentToText READ sentToText NOTIFY sentToTextChanged)

public:
    explicit VerifyEmailModel(QObject *parent = nullptr);

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);
    [[nodiscard]] QString code() const { return m_code; }
    void setCode(const QString &code);
    [[nodiscard]] QString status() const { return m_status; }
    void setStatus(const QString &status);
    [[nodiscard]] bool isError() const { return m_isError; }
    void setError(bool error);
    [[nodiscard]] bool isLoading() const { return m_isLoading; }
    void setLoading(bool loading);
    [[nodiscard]] QString resendStatus() const { return m_resendStatus; }
    void setResendStatus(const QString &status);
    [[nodiscard]] QString resendLabel() const;
    [[nodiscard]] QString sentToText() const;

    Q_INVOKABLE void doVerify();
    Q_INVOKABLE void doResend();
    // "Log Out": signs out at once; the window then shows the sign-in screen.
    Q_INVOKABLE void logout();

Q_SIGNALS:
    void authChanged();
    void codeChanged();
    void statusChanged();
    void isErrorChanged();
    void isLoadingChanged();
    void resendStatusChanged();
    void sentToTextChanged();

private:
    static QCoro::Task<void> runVerify(QPointer<VerifyEmailModel> self, QPointer<AuthService> auth,
                                       QString code);
    static QCoro::Task<void> runResend(QPointer<VerifyEmailModel> self, QPointer<AuthService> auth);
    void finishVerify(const std::optional<QString> &failure);

    QPointer<AuthService> m_auth;
    QMetaObject::Connection m_userConnection;
    QString m_code;
    QString m_status;
    bool m_isError = false;
    bool m_isLoading = false;
    QString m_resendStatus;
};
