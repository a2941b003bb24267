// SPDX-License-Identifier: MIT
#pragma once

#include "service/Cancellation.h"
#include "session/AuthService.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QtQml/qqmlregistration.h>

// State and actions of the dashboard (DashboardView). Everything shown comes from the session; the
// only state of its own is whether the send form is open.
//
// The dashboard reloads the transfer list once when it appears (componentComplete, or appear()
// when made from C++), and each press of the refresh button starts another reload. Those reloads
// belong to the screen: destroying the model cancels every one still running, so a list that
// arrives after the dashboard went away (after logging out, say) is never applied.
class DashboardModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    Q_PROPERTY(AuthService *auth READ auth WRITE setAuth NOTIFY authChanged)
    Q_PROPERTY(bool showSend MEMBER m_showSend NOTIFY showSendChanged)
    Q_PROPERTY(bool hasUser READ hasUser NOTIFY userChanged)
    Q_PROPERTY(QString welcomeText READ welcomeText NOTIFY userChanged)
    Q_PROPERTY(QString accountText READ accountText NOTIFY userChanged)
    Q_PROPERTY(QString balanceText READ balanceText NOTIFY userChanged)
    Q_PROPERTY(bool isEmpty READ isEmpty NOTIFY isEmptyChanged)

public:
    explicit DashboardModel(QObject *parent = nullptr);
    ~DashboardModel() override;

    [[nodiscard]] AuthService *auth() const { return m_auth; }
    void setAuth(AuthService *auth);
    [[nodiscard]] bool showSend() const { return m_showSend; }

    [[nodiscard]] bool hasUser() const;
    [[nodiscard]] QString welcomeText() const;
    [[nodiscard]] QString accountText() const;
    [[nodiscard]] QString balanceText() const;
    // True while the session holds no transfers ("No transactions yet.").
    [[nodiscard]] bool isEmpty() const;

    // Starts the reload that goes with the dashboard's appearing; once per model.
    Q_INVOKABLE void appear();
    // Starts another reload; the button is never disabled, each press reloads.
    Q_INVOKABLE void refresh();
    Q_INVOKABLE void toggleSend();
    Q_INVOKABLE void logout();

    // For the transfer rows: the amount as "1,234 ◆" and the date line in the user's locale.
    Q_INVOKABLE [[nodiscard]] QString amountText(double amount) const;
    Q_INVOKABLE [[nodiscard]] QString dateText(const QDateTime &when) const;
    // A row as assistive tools read it, in the row's order: "bob to alice, 1,200 ◆, Rent for
    // March, Mar 1, 2025, 9:30 AM" (the note only when there is one).
    Q_INVOKABLE [[nodiscard]] QString transferSentence(const QString &fromUser, const QString &toUser,
                                                       double amount, const QString &note,
                                                       const QDateTime &when) const;

    void classBegin() override {}
    void componentComplete() override { appear(); }

Q_SIGNALS:
    void authChanged();
    void showSendChanged();
    void userChanged();
    void isEmptyChanged();

private:
    void startReload();

    QPointer<AuthService> m_auth;
    bool m_showSend = false;
    bool m_appeared = false;
    bool m_appearReloadStarted = false;
    CancelSource m_reloads;
};
