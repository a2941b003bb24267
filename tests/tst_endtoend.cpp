// SPDX-License-Identifier: MIT
// The app against a real quorl-service: two accounts registered and verified with the codes the
// service mailed, one sending to the other through the dashboard's form with both dashboards
// showing it. The service's rules and refusals are tst_service's; the client's retries and its
// reading of refusals are tst_apiservice's.
#include "testsupport/Await.h"
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

    void registerAndVerify(const QString &name)
    {
        const QString email = name + u"@example.com"_qs;
        QCOMPARE(describe(failureOf(m_auth->registerUser(name, email, u"secret1"_qs))), QString());
        QCOMPARE(describe(failureOf(m_auth->verifyEmail(m_service.latestCode(email)))), QString());
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

    // The newest transfer in the list the dashboard shows (its rows are tst_dashboard's).
    QStringList newestTransfer() const
    {
        const QList<APITransaction> &list = m_auth->transactionModel()->transactions();
        if (list.isEmpty())
            return {};
        return {list.first().fromUser, list.first().toUser, QString::number(list.first().amount),
                list.first().note};
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
        QTRY_COMPARE(newestTransfer(), (QStringList{u"alice"_qs, u"bob"_qs, u"25"_qs, u"lunch"_qs}));

        // bob signs in and sees the same transfer.
        m_auth->logout();
        view = dashboardOf(u"bob"_qs);
        QVERIFY(view);
        QCOMPARE(view->findChild<DashboardModel *>()->balanceText(), u"1,025 ◆"_qs);
        QTRY_COMPARE(newestTransfer(), (QStringList{u"alice"_qs, u"bob"_qs, u"25"_qs, u"lunch"_qs}));
        QCOMPARE(m_auth->transactionModel()->rowCount(), 1);
        m_auth->logout();
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestEndToEnd)
#include "tst_endtoend.moc"
