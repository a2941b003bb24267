// SPDX-License-Identifier: MIT
// The session's start: restoring a stored token, its late outcomes, and coroutines that outlive
// their session.
#include "session/TokenStore.h"
#include "tests/support/Await.h"
#include "tests/support/IsolatedSettings.h"
#include "tests/support/SessionFixtures.h"

#include <QCoroTask>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

using namespace SessionFixtures;

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

class TestSessionRestore : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<APIService> m_api;

private Q_SLOTS:
    void init()
    {
        TokenStore::write(std::nullopt);
        m_fake = std::make_unique<FakeService>();
        m_api = std::make_unique<APIService>(m_fake->options());
    }
    void cleanup()
    {
        m_api.reset();
        m_fake.reset();
    }

    void startWithoutTokenSendsNothing()
    {
        AuthService session(*m_api);
        QTest::qWait(200);
        QVERIFY(m_fake->requests().isEmpty());
        QVERIFY(!session.currentUser());
        QVERIFY(!session.property("currentUser").isValid());
    }

    void startWithRejectedTokenRemovesIt()
    {
        TokenStore::write(u"stale"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, errorReply(401, "Invalid token"));
        {
            AuthService session(*m_api);
            Recorder recorder(session);
            QTRY_COMPARE(TokenStore::read(), std::nullopt);
            QCOMPARE(paths(m_fake->requests()), QStringList{u"GET /api/me"_qs});
            QCOMPARE(m_fake->requests().first().header("Authorization"), QByteArray("Bearer stale"));
            QTest::qWait(100);
            QCOMPARE(recorder.events, QStringList());
        }
        AuthService next(*m_api);
        QTest::qWait(200);
        QCOMPARE(m_fake->requests().size(), 1);
    }

    void startWhileOfflineRemovesToken()
    {
        TokenStore::write(u"tok"_qs);
        m_api.reset();
        const APIService::Options options = m_fake->options();
        m_fake.reset(); // nothing listens on its port any more
        APIService offline(options);
        AuthService session(offline);
        QTRY_COMPARE(TokenStore::read(), std::nullopt);
        QVERIFY(!session.currentUser());
    }

    void startWithValidTokenAsksProfileThenTransfers()
    {
        TokenStore::write(u"tok"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, meReply("ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"t1", "t2"}));
        AuthService session(*m_api);
        Recorder recorder(session);
        QStringList requestsWhenUserArrived;
        connect(&session, &AuthService::currentUserChanged, this,
                [&] { requestsWhenUserArrived = paths(m_fake->requests()); });
        QTRY_COMPARE(recorder.events, (QStringList{u"user:ann"_qs, u"transactions:t1,t2"_qs}));
        QCOMPARE(requestsWhenUserArrived, QStringList{u"GET /api/me"_qs});
        QCOMPARE(paths(m_fake->requests()), (QStringList{u"GET /api/me"_qs, u"GET /api/transactions"_qs}));
        QCOMPARE(m_fake->requests().last().header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"tok"_qs));
        QCOMPARE(session.property("currentUser").value<APIUser>().username, u"ann"_qs);
    }

    void startWhoseTransfersFailStaysSignedIn()
    {
        TokenStore::write(u"tok"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, meReply("ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, errorReply(500, "down"));
        AuthService session(*m_api);
        QTRY_COMPARE(m_fake->requests(u"/api/transactions"_qs).size(), 1);
        QTest::qWait(100);
        QVERIFY(session.currentUser());
        QVERIFY(session.transactions().isEmpty());
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"tok"_qs));
    }

    // The restore's late outcome never touches the session that replaced it.
    void lateRestoreAfterLogin_data()
    {
        QTest::addColumn<bool>("restoreSucceeds");
        QTest::newRow("restore fails late") << false;
        QTest::newRow("restore succeeds late") << true;
    }
    void lateRestoreAfterLogin()
    {
        QFETCH(bool, restoreSucceeds);
        TokenStore::write(u"old"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs,
                        (restoreSucceeds ? meReply("olduser") : errorReply(401, "expired")).after(400ms));
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("new", "ann"));
        m_fake->setFallback("GET", u"/api/transactions"_qs, listReply({"t1"}));
        AuthService session(*m_api);
        awaitTask(session.login(u"ann"_qs, u"pw"_qs));
        QCOMPARE(session.currentUser()->username, u"ann"_qs);
        Recorder recorder(session);
        QTest::qWait(700);
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"new"_qs));
        QCOMPARE(session.currentUser()->username, u"ann"_qs);
        for (const RecordedRequest &r : m_fake->requests(u"/api/transactions"_qs))
            QCOMPARE(r.header("Authorization"), QByteArray("Bearer new"));
    }

    void lateRestoreAfterLogout()
    {
        TokenStore::write(u"old"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, meReply("olduser").after(300ms));
        AuthService session(*m_api);
        session.logout();
        QTest::qWait(600);
        QVERIFY(!session.currentUser());
        QCOMPARE(TokenStore::read(), std::nullopt);
        QVERIFY(m_fake->requests(u"/api/transactions"_qs).isEmpty());
    }

    // Coroutines whose session is deleted while they wait must end quietly.
    void restoreOutlivesSession()
    {
        TokenStore::write(u"tok"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, meReply("ann").after(200ms));
        auto session = std::make_unique<AuthService>(*m_api);
        QTRY_COMPARE(m_fake->requests().size(), 1);
        session.reset();
        QTest::qWait(400);
        QVERIFY(m_fake->requests(u"/api/transactions"_qs).isEmpty());
    }

    void operationsOutliveSession_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("throws");
        QTest::newRow("login") << u"login"_qs << false;
        QTest::newRow("login refused") << u"login-refused"_qs << true;
        QTest::newRow("register") << u"register"_qs << false;
        QTest::newRow("send") << u"send"_qs << false;
        QTest::newRow("verifyEmail") << u"verify"_qs << false;
        QTest::newRow("refreshTransactions") << u"refresh"_qs << false;
    }
    void operationsOutliveSession()
    {
        QFETCH(QString, operation);
        QFETCH(bool, throws);
        TokenStore::write(u"tok"_qs);
        m_fake->setFallback("GET", u"/api/me"_qs, meReply("ann").after(300ms));
        m_fake->setFallback(
            "POST", u"/api/login"_qs,
            (operation == u"login-refused"_qs ? errorReply(401, "no") : authReply("t2", "ann")).after(200ms));
        m_fake->setFallback("POST", u"/api/register"_qs, authReply("t2", "ann").after(200ms));
        m_fake->setFallback("POST", u"/api/verify-email"_qs,
                            FakeReply::json(200, R"({"message":"ok"})").after(200ms));
        m_fake->setFallback("POST", u"/api/send"_qs,
                            FakeReply::json(200, R"({"user":)" + userJson("ann", 95) + R"(,"transaction":)" +
                                                     transactionJson("t9") + "}")
                                .after(200ms));
        m_fake->setFallback("GET", u"/api/transactions"_qs, listReply({"t1"}).after(200ms));

        auto session = std::make_unique<AuthService>(*m_api);
        QCoro::Task<void> task = operation == u"register"_qs
                                     ? session->registerUser(u"a"_qs, u"b"_qs, u"c"_qs)
                                 : operation == u"send"_qs    ? session->send(u"bob"_qs, 5, QString())
                                 : operation == u"verify"_qs  ? session->verifyEmail(u"123456"_qs)
                                 : operation == u"refresh"_qs ? session->refreshTransactions()
                                                              : session->login(u"ann"_qs, u"pw"_qs);
        session.reset();
        QCOMPARE(errorAs<AppError>(failureOf(std::move(task))).has_value(), throws);
        QTest::qWait(400); // the restore started by the constructor ends too
    }

    // QML's AuthService singleton is the shared session, and the engine never deletes it.
    void qmlSingletonIsTheSharedSession()
    {
        {
            QQmlEngine engine;
            engine.addImportPath(u"qrc:/"_qs);
            QQmlComponent component(&engine);
            component.setData(
                "import QtQml\nimport QuorlBank\nQtObject { property var session: AuthService }", QUrl());
            std::unique_ptr<QObject> object(component.create());
            QVERIFY2(object, qPrintable(component.errorString()));
            QCOMPARE(object->property("session").value<QObject *>(), &AuthService::shared());
        }
        QCOMPARE(AuthService::shared().transactionModel()->rowCount(), 0); // still alive
        QVERIFY(!AuthService::shared().currentUser());
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestSessionRestore)
#include "tst_sessionrestore.moc"
