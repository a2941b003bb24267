// SPDX-License-Identifier: MIT
#pragma once

#include "session/AuthService.h"
#include "ui/screens/ScreenTask.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The state and actions of the e-mail verification screen: the code check, the verification and
// the request for a new code run here; VerifyEmailView.qml only lays them out.
class VerifyEmailModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(QString code MEMBER m_code NOTIFY codeChanged)
    Q_PROPERTY(QString status MEMBER m_status NOTIFY statusChanged)
    Q_PROPERTY(bool isError MEMBER m_isError NOTIFY isErrorChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(QString resendStatus MEMBER m_resendStatus NOTIFY resendStatusChanged)
    // "Resend Code" until the first answer, then that answer's outcome.
    Q_PROPERTY(QString resendLabel READ resendLabel NOTIFY resendStatusChanged)
    // "A 6-digit code was sent to" and, on the next line, the signed-in user's address.
    Q_PROPERTY(QString sentToText READ sentToText NOTIFY sentToTextChanged)

public:
    explicit VerifyEmailModel(QObject *parent = nullptr);

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    // Also follows the session's user, for sentToText.
    void setAuth(AuthService *auth);
    [[nodiscard]] QString status() const { return m_status; }
    [[nodiscard]] bool isError() const { return m_isError; }
    [[nodiscard]] bool isLoading() const { return m_verify.busy(); }
    [[nodiscard]] QString resendStatus() const { return m_resendStatus; }
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
    void setStatus(const QString &status, bool isError);

    QPointer<AuthService> m_auth;
    QMetaObject::Connection m_userConnection;
    QString m_code;
    QString m_status;
    bool m_isError = false;
    QString m_resendStatus;
    ScreenTask m_verify{this, [this] { Q_EMIT isLoadingChanged(); }};
    ScreenTask m_resend{this, [] {}};
};
