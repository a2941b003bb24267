// SPDX-License-Identifier: MIT
// The dashboard and send form against a real quorl-service: two accounts registered and verified
// with the codes from the service's outbox; one sends to the other through the form; both
// dashboards show the new balances and the transfer.
#include "support/ServiceProcess.h"
#include "tests/support/IsolatedSettings.h"

#include "service/APIService.h"
#include "session/AuthService.h"
#include "ui/screens/MainModel.h"
#include "ui/screens/SendModel.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <unicode/locid.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

namespace {

// Runs a session operation to its end; the failure's description, or an empty text.
template<class Start> QString run(Start start)
{
    QString failure;
    bool done = false;
    [](Start start, QString *failure, bool *done) -> QCoro::Task<> {
        try {
            co_await start();
        } catch (const std::exception &error) {
            *failure = errorDescription(error);
        } catch (...) {
            *failure = QStringLiteral("unknown failure");
        }
        *done = true;
    }(start, &failure, &done);
    if (!QTest::qWaitFor([&] { return done; }, 20000))
        return QStringLiteral("timed out");
    return failure;
}

} // namespace

class TestDashboardEndToEnd : public QObject
{
    Q_OBJECT

private:
    ServiceProcess m_service;
    std::unique_ptr<APIService> m_api;
    std::unique_ptr<AuthService> m_auth;
    QQmlEngine m_engine;
    QQuickWindow m_window;

    void registerAndVerify(const QString &name)
    {
        const QString email = name + QStringLiteral("@example.com");
        QCOMPARE(run([=, this] { return m_auth->registerUser(name, email, QStringLiteral("secret1")); }),
                 QString());
        QVERIFY(!m_auth->currentUser()->isVerified);
        const QString code = m_service.codeFromOutbox(email);
        QCOMPARE(code.size(), 6);
        QCOMPARE(run([=, this] { return m_auth->verifyEmail(code); }), QString());
        QVERIFY(m_auth->currentUser()->isVerified);
        m_auth->logout();
    }

    std::unique_ptr<QQuickItem> openDashboard()
    {
        QQmlComponent component(&m_engine, QUrl(QStringLiteral("qrc:/QuorlBank/ui/screens/MainView.qml")));
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
        auto *list = view->findChild<QQuickItem *>(QStringLiteral("transfers"));
        QQuickItem *slot = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, slot), Q_ARG(int, 0));
        return slot ? slot->findChild<QQuickItem *>(QStringLiteral("transferRow")) : nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        m_engine.addImportPath(QStringLiteral("qrc:/"));
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
        registerAndVerify(QStringLiteral("alice"));
        registerAndVerify(QStringLiteral("bob"));

        // alice sends 25 to bob through the form.
        QCOMPARE(run([this] { return m_auth->login(QStringLiteral("alice"), QStringLiteral("secret1")); }),
                 QString());
        std::unique_ptr<QQuickItem> view = openDashboard();
        QVERIFY(view);
        auto *dashboard = view->findChild<MainModel *>();
        QCOMPARE(dashboard->balanceText(), QStringLiteral("1,000 ◆"));
        QVERIFY(dashboard->isEmpty());
        dashboard->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        SendModel *form = view->findChild<SendModel *>();
        form->setRecipientQuery(QStringLiteral("bo"));
        QTRY_COMPARE(form->searchResults().size(), 1);
        QCOMPARE(form->searchResults().first().username, QStringLiteral("bob"));
        form->pickHit(0);
        form->setAmountText(QStringLiteral("25"));
        form->setNote(QStringLiteral("lunch"));
        form->doSend();
        QTRY_VERIFY_WITH_TIMEOUT(!form->isSending(), 20000);
        QCOMPARE(form->sendStatus(), QStringLiteral("Sent 25 ◆ to bob."));
        QCOMPARE(dashboard->balanceText(), QStringLiteral("975 ◆"));
        QTRY_VERIFY(firstRow(view.get()));
        QCOMPARE(firstRow(view.get())->property("fromUser").toString(), QStringLiteral("alice"));
        QCOMPARE(firstRow(view.get())->property("toUser").toString(), QStringLiteral("bob"));
        QCOMPARE(firstRow(view.get())->property("amountLine").toString(), QStringLiteral("25 ◆"));

        // Log out from the dashboard; bob signs in and sees the same transfer.
        QMetaObject::invokeMethod(view->findChild<QQuickItem *>(QStringLiteral("logoutButton")), "clicked");
        QVERIFY(!m_auth->currentUser());
        view.reset();
        QCOMPARE(run([this] { return m_auth->login(QStringLiteral("bob"), QStringLiteral("secret1")); }),
                 QString());
        view = openDashboard();
        dashboard = view->findChild<MainModel *>();
        QCOMPARE(dashboard->balanceText(), QStringLiteral("1,025 ◆"));
        QTRY_VERIFY(firstRow(view.get()));
        QCOMPARE(m_auth->transactionModel()->rowCount(), 1);
        QCOMPARE(firstRow(view.get())->property("fromUser").toString(), QStringLiteral("alice"));
        QCOMPARE(firstRow(view.get())->property("toUser").toString(), QStringLiteral("bob"));
        QCOMPARE(firstRow(view.get())->property("note").toString(), QStringLiteral("lunch"));
        QCOMPARE(firstRow(view.get())->property("amountLine").toString(), QStringLiteral("25 ◆"));
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestDashboardEndToEnd)
#include "tst_dashboard_e2e.moc"
