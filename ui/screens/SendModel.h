// SPDX-License-Identifier: MIT
#pragma once

#include "session/AuthService.h"
#include "ui/screens/RecipientSearch.h"
#include "ui/screens/ScreenTask.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// State and actions of the send form (SendView): a recipient found with its search, an amount
// and an optional note, sent through the session.
//
// Destroying the model (closing the form) aborts a search; a transfer still completes in the
// session, but its outcome is no longer shown anywhere.
class SendModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(RecipientSearch *search READ search CONSTANT)
    Q_PROPERTY(QString amountText READ amountText WRITE setAmountText NOTIFY amountTextChanged)
    Q_PROPERTY(QString note MEMBER m_note NOTIFY noteChanged)
    Q_PROPERTY(QString sendStatus READ sendStatus NOTIFY sendStatusChanged)
    Q_PROPERTY(bool isSendError READ isSendError NOTIFY isSendErrorChanged)
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)

public:
    explicit SendModel(QObject *parent = nullptr);

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);
    [[nodiscard]] RecipientSearch *search() { return &m_search; }
    [[nodiscard]] QString amountText() const { return m_amountText; }
    void setAmountText(const QString &text);
    [[nodiscard]] QString note() const { return m_note; }
    [[nodiscard]] QString sendStatus() const { return m_sendStatus; }
    [[nodiscard]] bool isSendError() const { return m_isSendError; }
    [[nodiscard]] bool isSending() const { return m_task.busy(); }
    // A recipient is picked and the amount text is one number greater than 0 (TextRules).
    [[nodiscard]] bool canSend() const;

    Q_INVOKABLE void doSend();

Q_SIGNALS:
    void authChanged();
    void amountTextChanged();
    void noteChanged();
    void sendStatusChanged();
    void isSendErrorChanged();
    void isSendingChanged();
    void canSendChanged();

private:
    void setSendStatus(const QString &status, bool isError);
    void updateCanSend();

    QPointer<AuthService> m_auth;
    RecipientSearch m_search;
    QString m_amountText;
    QString m_note;
    QString m_sendStatus;
    bool m_isSendError = false;
    bool m_canSend = false;
    ScreenTask m_task{this, [this] { Q_EMIT isSendingChanged(); }};
};
