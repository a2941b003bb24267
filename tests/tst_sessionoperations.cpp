// SPDX-License-Identifier: MIT
// The session's operations: their effects in order, on success and failure.
#include "session/TokenStore.h"
#include "tests/support/Await.h"
#include "tests/support/IsolatedSettings.h"
#include "tests/support/SessionFixtures.h"

#include <QCoroTask>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QTest>

#include <limits>
#include <memory>

using namespace SessionFixtures;

namespace {

// Runs an operation to its end; the description of what it threw, or "" when it succeeded.
QString outcome(QCoro::Task<void> task)
{
    return describe(failureOf(std::move(task)));
}

} // namespace

class TestSessionOperations : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<APIService> m_api;
    std::unique_ptr<AuthService> m_session;

    // Signed in as ann with token "tok" and the transfer list [t1], then recording starts afresh.
    void signIn()
    {
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("tok", "ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"t1"}));
        QCOMPARE(outcome(m_session->login(u"ann"_qs, u"pw"_qs)), QString());
        m_fake->clear();
    }

private Q_SLOTS:
    void init()
    {
        TokenStore::write(std::nullopt);
        m_fake = std::make_unique<FakeService>();
        m_api = std::make_unique<APIService>(m_fake->options());
        m_session = std::make_unique<AuthService>(*m_api);
    }
    void cleanup()
    {
        m_session.reset();
        m_api.reset();
        m_fake.reset();
    }

    void login()
    {
        Recorder recorder(*m_session);
        QStringList tokenWhenUserArrived;
        connect(m_session.get(), &AuthService::currentUserChanged, this,
                [&] { tokenWhenUserArrived << TokenStore::read().value_or(u"none"_qs); });
        signIn();
        QCOMPARE(recorder.events,
                 (QStringList{u"loading:1"_qs, u"user:ann"_qs, u"transactions:t1"_qs, u"loading:0"_qs}));
        QCOMPARE(tokenWhenUserArrived, QStringList{u"tok"_qs});
    }

    void loginRequestsInOrder()
    {
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("tok", "ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({}));
        QCOMPARE(outcome(m_session->login(u"ann"_qs, u""_qs)), QString());
        const QList<RecordedRequest> sent = m_fake->requests();
        QCOMPARE(paths(sent), (QStringList{u"POST /api/login"_qs, u"GET /api/transactions"_qs}));
        QVERIFY(!sent[0].headers.contains("authorization"));
        QCOMPARE(sent[0].json().value(u"password"_qs).toString(u"missing"_qs), QString());
        QCOMPARE(sent[1].header("Authorization"), QByteArray("Bearer tok"));
    }

    void refusedLoginChangesNothing()
    {
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/login"_qs, errorReply(401, "Wrong password."));
        QCOMPARE(outcome(m_session->login(u"bob"_qs, u"x"_qs)), u"Wrong password."_qs);
        QCOMPARE(recorder.events, (QStringList{u"loading:1"_qs, u"loading:0"_qs}));
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"tok"_qs));
        QCOMPARE(m_session->currentUser()->username, u"ann"_qs);
        QCOMPARE(m_session->transactions().size(), 1);
    }

    void registerUser()
    {
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/register"_qs, authReply("new", "zoe"));
        QCOMPARE(outcome(m_session->registerUser(u"zoe"_qs, u"z@example.com"_qs, u"pw"_qs)), QString());
        QCOMPARE(recorder.events, (QStringList{u"loading:1"_qs, u"user:zoe"_qs, u"loading:0"_qs}));
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"new"_qs));
        QCOMPARE(paths(m_fake->requests()), QStringList{u"POST /api/register"_qs}); // no transfer list
        QVERIFY(!m_fake->requests().first().headers.contains("authorization"));
    }

    void refusedRegistrationChangesNothing()
    {
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/register"_qs, FakeReply::json(409, "{}"));
        QCOMPARE(outcome(m_session->registerUser(u"a"_qs, u"b"_qs, u"c"_qs)), u"Request failed (409)."_qs);
        QCOMPARE(recorder.events, (QStringList{u"loading:1"_qs, u"loading:0"_qs}));
        QCOMPARE(TokenStore::read(), std::nullopt);
    }

    // The three operations that need a token refuse at once without one, sending nothing.
    void notLoggedIn_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("verifyEmail") << 0;
        QTest::newRow("resendVerification") << 1;
        QTest::newRow("send") << 2;
    }
    void notLoggedIn()
    {
        QFETCH(int, operation);
        Recorder recorder(*m_session);
        QCoro::Task<void> task = operation == 0   ? m_session->verifyEmail(u"123456"_qs)
                                 : operation == 1 ? m_session->resendVerification()
                                                  : m_session->send(u"bob"_qs, 5, QString());
        QCOMPARE(outcome(std::move(task)), u"Not logged in."_qs);
        QCOMPARE(recorder.events, QStringList());
        QVERIFY(m_fake->requests().isEmpty());
    }

    void verifyEmail()
    {
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/verify-email"_qs, FakeReply::json(200, R"({"message":"Verified"})"));
        m_fake->enqueue("GET", u"/api/me"_qs, meReply("ann2"));
        QCOMPARE(outcome(m_session->verifyEmail(u"012345"_qs)), QString());
        QCOMPARE(recorder.events, QStringList{u"user:ann2"_qs});
        QCOMPARE(paths(m_fake->requests()), (QStringList{u"POST /api/verify-email"_qs, u"GET /api/me"_qs}));
        QCOMPARE(m_fake->requests().first().json().value(u"code"_qs).toString(), u"012345"_qs);
    }

    void verifyEmailFailures_data()
    {
        QTest::addColumn<bool>("verifyAccepted");
        QTest::addColumn<QString>("message");
        QTest::newRow("code refused") << false << u"Invalid code."_qs;
        QTest::newRow("profile fails after the code") << true << u"Request failed (500)."_qs;
    }
    void verifyEmailFailures()
    {
        QFETCH(bool, verifyAccepted);
        QFETCH(QString, message);
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/verify-email"_qs,
                        verifyAccepted ? FakeReply::json(200, R"({"message":"ok"})")
                                       : errorReply(400, "Invalid code."));
        m_fake->enqueue("GET", u"/api/me"_qs, FakeReply::json(500, ""));
        QCOMPARE(outcome(m_session->verifyEmail(u"000000"_qs)), message);
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(m_fake->requests(u"/api/me"_qs).size(), verifyAccepted ? 1 : 0);
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"tok"_qs));
    }

    void resendVerification()
    {
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/resend-verification"_qs,
                        FakeReply::json(200, R"({"message":"sent"})"));
        m_fake->enqueue("POST", u"/api/resend-verification"_qs, errorReply(429, "Slow down."));
        QCOMPARE(outcome(m_session->resendVerification()), QString());
        QCOMPARE(outcome(m_session->resendVerification()), u"Slow down."_qs);
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(m_fake->requests().first().header("Authorization"), QByteArray("Bearer tok"));
    }

    void send()
    {
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/send"_qs,
                        FakeReply::json(200, R"({"user":)" + userJson("ann", 95) + R"(,"transaction":)" +
                                                 transactionJson("t2") + "}"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"t2", "t1"}));
        QCOMPARE(outcome(m_session->send(u"bob"_qs, 5, u""_qs)), QString());
        QCOMPARE(recorder.events,
                 (QStringList{u"loading:1"_qs, u"user:ann"_qs, u"transactions:t2,t1"_qs, u"loading:0"_qs}));
        QCOMPARE(m_session->currentUser()->balance, 95.0);
        const QJsonObject body = m_fake->requests().first().json();
        QCOMPARE(body.value(u"to"_qs).toString(), u"bob"_qs);
        QCOMPARE(body.value(u"amount"_qs).toDouble(), 5.0);
        QCOMPARE(body.value(u"note"_qs).toString(u"missing"_qs), QString());
    }

    void sendWhoseListReloadFailsStillSucceeds()
    {
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/send"_qs,
                        FakeReply::json(200, R"({"user":)" + userJson("ann", 95) + R"(,"transaction":)" +
                                                 transactionJson("t2") + "}"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, errorReply(503, "busy"));
        QCOMPARE(outcome(m_session->send(u"bob"_qs, 5, u""_qs)), QString());
        QCOMPARE(recorder.events, (QStringList{u"loading:1"_qs, u"user:ann"_qs, u"loading:0"_qs}));
        QCOMPARE(m_session->transactions().first().id, u"t1"_qs);
    }

    void refusedSendChangesNothing_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<bool>("requestSent");
        QTest::newRow("service refuses") << 5.0 << true;
        QTest::newRow("infinite amount cannot be written")
            << std::numeric_limits<double>::infinity() << false;
    }
    void refusedSendChangesNothing()
    {
        QFETCH(double, amount);
        QFETCH(bool, requestSent);
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("POST", u"/api/send"_qs, errorReply(400, "Insufficient funds."));
        const QString message = outcome(m_session->send(u"bob"_qs, amount, u""_qs));
        QVERIFY(!message.isEmpty());
        if (requestSent)
            QCOMPARE(message, u"Insufficient funds."_qs);
        QCOMPARE(recorder.events, (QStringList{u"loading:1"_qs, u"loading:0"_qs}));
        QCOMPARE(m_session->currentUser()->balance, 100.0);
        QCOMPARE(m_fake->requests().size(), requestSent ? 1 : 0);
    }

    void refreshTransactions()
    {
        awaitTask(m_session->refreshTransactions()); // no token: nothing is sent
        QVERIFY(m_fake->requests().isEmpty());
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"t1"})); // unchanged: no signal
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::json(200, R"({"transactions":null})"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, errorReply(500, "down"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::drop());
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::drop());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(outcome(m_session->refreshTransactions()), QString());
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(m_session->transactions().first().id, u"t1"_qs);
        QCOMPARE(TokenStore::read(), std::optional<QString>(u"tok"_qs));
    }

    void cancelledRefreshKeepsList()
    {
        signIn();
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::silence());
        CancelSource cancel;
        QCoro::Task<void> task = m_session->refreshTransactions(cancel.token());
        QTRY_COMPARE(m_fake->requests().size(), 1);
        cancel.cancel();
        QCOMPARE(outcome(std::move(task)), QString());
        QCOMPARE(m_session->transactions().size(), 1);
    }

    void olderRefreshNeverReplacesNewer()
    {
        signIn();
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"old"}).after(300ms));
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"new"}));
        QCoro::Task<void> slow = m_session->refreshTransactions();
        QTRY_COMPARE(m_fake->requests().size(), 1);
        awaitTask(m_session->refreshTransactions());
        awaitTask(std::move(slow));
        QCOMPARE(m_session->transactions().first().id, u"new"_qs);
    }

    void logoutTwice()
    {
        signIn();
        Recorder recorder(*m_session);
        m_session->logout();
        QCOMPARE(recorder.events, (QStringList{u"user:none"_qs, u"transactions:"_qs}));
        QCOMPARE(TokenStore::read(), std::nullopt);
        m_session->logout();
        QCOMPARE(recorder.events.size(), 2);
        QVERIFY(m_fake->requests().isEmpty());
    }

    // QML reads the user's fields and the transfers through the model, without copying the list.
    void readableFromQml()
    {
        signIn();
        QQmlEngine engine;
        engine.rootContext()->setContextProperty(u"session"_qs, m_session.get());
        QQmlComponent component(&engine);
        component.setData("import QtQml\nQtObject {\n"
                          "  property string name: session.currentUser ? session.currentUser.username : ''\n"
                          "  property real balance: session.currentUser ? session.currentUser.balance : -1\n"
                          "  property int rows: session.transactionModel.count\n}",
                          QUrl());
        std::unique_ptr<QObject> object(component.create());
        QVERIFY2(object, qPrintable(component.errorString()));
        QCOMPARE(object->property("name").toString(), u"ann"_qs);
        QCOMPARE(object->property("balance").toDouble(), 100.0);
        QCOMPARE(object->property("rows").toInt(), 1);
        const TransactionModel *model = m_session->transactionModel();
        QCOMPARE(model->data(model->index(0), TransactionModel::IdRole).toString(), u"t1"_qs);
        QCOMPARE(model->data(model->index(0), TransactionModel::AmountRole).toDouble(), 5.0);
        m_session->logout();
        QCOMPARE(object->property("name").toString(), QString());
        QCOMPARE(object->property("rows").toInt(), 0);
    }

    void tokenNeverInMessages()
    {
        static QStringList messages;
        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &m) { messages << m; });
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("SeCrEt-T0k3n", "ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::drop());
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::rawBytes("garbage"));
        m_fake->enqueue("POST", u"/api/send"_qs, errorReply(401, "Bad token."));
        QString errors = outcome(m_session->login(u"ann"_qs, u"pw"_qs));
        errors += outcome(m_session->send(u"bob"_qs, 1, QString()));
        qInstallMessageHandler(previous);
        QVERIFY(!errors.contains(u"SeCrEt"_qs));
        for (const QString &m : messages)
            QVERIFY2(!m.contains(u"SeCrEt"_qs), qPrintable(m));
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestSessionOperations)
#include "tst_sessionoperations.moc"
