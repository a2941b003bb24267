// SPDX-License-Identifier: MIT
// The app against a real quorl-service: two accounts registered and verified with the codes from the
// service's outbox, one sending to the other through the dashboard's form with both dashboards
// showing it; then the app's service client (APIService) with a refusal, a password reset and a
// lost reply.
#include "testsupport/Await.h"
#include "testsupport/DroppingProxy.h"
#include "testsupport/IsolatedSettings.h"
#include "testsupport/ServiceProcess.h"

#include "service/APIService.h"
#include "session/AuthService.h"
#include "ui/screens/DashboardModel.h"
#include "ui/screens/SendModel.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <unicode/locid.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

class TestEndToEnd : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    std::unique_ptr<APIService> m_api;
    std::unique_ptr<AuthService> m_auth;
    QQmlEngine m_engine;
    QQuickWindow m_window;

    APIService &api() { return *m_api; }

    // The AppError's message, or a note on what else happened.
    template<class T> QString appErrorOf(QCoro::Task<T> task)
    {
        const std::exception_ptr error = failureOf(std::move(task));
        if (const auto app = errorAs<AppError>(error))
            return app->message();
        return u"(no AppError: %1)"_qs.arg(error ? describe(error) : u"success"_qs);
    }

    void registerAndVerify(const QString &name)
    {
        const QString email = name + u"@example.com"_qs;
        QCOMPARE(describe(failureOf(m_auth->registerUser(name, email, u"secret1"_qs))), QString());
        const APIUser user = *m_auth->currentUser();
        QCOMPARE(user.email, email);
        QCOMPARE(user.balance, 1000.0);
        QVERIFY(!user.isVerified);
        const QString code = m_service.codeFromOutbox(email);
        QCOMPARE(code.size(), 6);
        QCOMPARE(describe(failureOf(m_auth->verifyEmail(code))), QString());
        QVERIFY(m_auth->currentUser()->isVerified);
        m_auth->logout();
    }

    // Signs in and shows the dashboard, as the window does for a verified user.
    std::unique_ptr<QQuickItem> dashboardOf(const QString &name)
    {
        if (failureOf(m_auth->login(name, u"secret1"_qs)))
            return nullptr;
        QQmlComponent component(&m_engine, QUrl(u"qrc:/QuorlBank/ui/screens/DashboardView.qml"_qs));
        std::unique_ptr<QQuickItem> view(qobject_cast<QQuickItem *>(
            component.createWithInitialProperties({{"auth", QVariant::fromValue(m_auth.get())}})));
        if (view) {
            view->setParentItem(m_window.contentItem());
            view->setSize(QSizeF(900, 700));
        }
        return view;
    }

    static QQuickItem *firstRow(QQuickItem *view)
    {
        auto *list = view->findChild<QQuickItem *>(u"transfers"_qs);
        QQuickItem *slot = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, slot), Q_ARG(int, 0));
        return slot ? slot->findChild<QQuickItem *>(u"transferRow"_qs) : nullptr;
    }

    static void compareFirstRow(QQuickItem *view, const QStringList &expected)
    {
        QTRY_VERIFY(firstRow(view));
        QStringList shown;
        for (const char *property : {"fromUser", "toUser", "amountLine", "note"})
            shown << firstRow(view)->property(property).toString();
        QCOMPARE(shown, expected);
    }

private Q_SLOTS:
    void initTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        m_engine.addImportPath(u"qrc:/"_qs);
        m_window.resize(900, 700);
        m_window.show();
        QVERIFY(m_service.start());
        m_api = std::make_unique<APIService>(
            APIService::Options{m_service.base(), ServiceProcess::devCaPem(), std::chrono::milliseconds(50)});
        m_auth = std::make_unique<AuthService>(*m_api);
    }

    void cleanupTestCase()
    {
        if (m_auth)
            m_auth->logout();
    }

    void sendFromOneDashboardSeeOnBoth()
    {
        registerAndVerify(u"alice"_qs);
        registerAndVerify(u"bob"_qs);

        // alice sends 25 to bob through the form.
        std::unique_ptr<QQuickItem> view = dashboardOf(u"alice"_qs);
        QVERIFY(view);
        auto *dashboard = view->findChild<DashboardModel *>();
        QCOMPARE(dashboard->balanceText(), u"1,000 ◆"_qs);
        QVERIFY(dashboard->isEmpty());
        dashboard->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        SendModel *form = view->findChild<SendModel *>();
        form->search()->setRecipientQuery(u"bo"_qs);
        QTRY_COMPARE(form->search()->searchResults().size(), 1);
        QCOMPARE(form->search()->searchResults().first().username, u"bob"_qs);
        form->search()->pickHit(0);
        form->setAmountText(u"25"_qs);
        form->setProperty("note", u"lunch"_qs);
        form->doSend();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isSending(), 20000);
        QCOMPARE(form->sendStatus(), u"Sent 25 ◆ to bob."_qs);
        QCOMPARE(dashboard->balanceText(), u"975 ◆"_qs);
        compareFirstRow(view.get(), {u"alice"_qs, u"bob"_qs, u"25 ◆"_qs, u"lunch"_qs});

        // Log out from the dashboard; bob signs in and sees the same transfer.
        QMetaObject::invokeMethod(view->findChild<QQuickItem *>(u"logoutButton"_qs), "clicked");
        QVERIFY(!m_auth->currentUser());
        view = dashboardOf(u"bob"_qs);
        QVERIFY(view);
        QCOMPARE(view->findChild<DashboardModel *>()->balanceText(), u"1,025 ◆"_qs);
        compareFirstRow(view.get(), {u"alice"_qs, u"bob"_qs, u"25 ◆"_qs, u"lunch"_qs});
        QCOMPARE(m_auth->transactionModel()->rowCount(), 1);
        m_auth->logout();
    }

    // The service's refusals reach the app in the service's own words (its tests cover each rule),
    // and a new password works at once.
    void refusalAndReset()
    {
        const QString bob = awaitTask(api().login(u"bob"_qs, u"secret1"_qs)).token;
        QCOMPARE(appErrorOf(api().send(u"alice"_qs, 5000, {}, bob)),
                 u"Insufficient balance: you have 1025 ◆."_qs);
        awaitTask(api().resetPassword(u"alice"_qs, m_service.resetSecret(), u"newpass1"_qs));
        QCOMPARE(appErrorOf(api().login(u"alice"_qs, u"secret1"_qs)), u"Wrong user name or password."_qs);
        QCOMPARE(awaitTask(api().login(u"alice"_qs, u"newpass1"_qs)).user.balance, 975.0);
    }

    // The service carries out a transfer but its reply is lost on the way: the client sends the
    // request exactly once more, after the pause, and the service's Idempotency-Key check makes
    // that a repeat. The money moves once.
    void lostReplyMovesMoneyOnce()
    {
        DroppingProxy proxy(m_service.base(), 1);
        APIService viaProxy(
            APIService::Options{proxy.base(), ServiceProcess::devCaPem(), std::chrono::milliseconds(300)});
        const QString bob = awaitTask(api().login(u"bob"_qs, u"secret1"_qs)).token;
        const SendResponse sent = awaitTask(viaProxy.send(u"alice"_qs, 0.75, QString(), bob));
        QCOMPARE(proxy.requestCount(), 2);
        QCOMPARE(proxy.connectionCount(), 2);
        QCOMPARE(sent.user.balance, 1024.25);
        QCOMPARE(awaitTask(api().me(bob)).balance, 1024.25);
        QCOMPARE(awaitTask(api().transactions(bob)).first().id, sent.transaction.id);
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestEndToEnd)
#include "tst_endtoend.moc"
