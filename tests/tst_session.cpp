// SPDX-License-Identifier: MIT
// The session (AuthService) against the HTTPS fake, through the real token store in a private
// config folder: its start from a stored token and that restore's late outcomes, each operation's
// effects in order on success and failure, and coroutines that outlive their session.
#include "session/TokenStore.h"
#include "testsupport/Await.h"
#include "testsupport/IsolatedSettings.h"
#include "testsupport/SessionFixtures.h"

#include <QCoroTask>
#include <QTest>

#include <memory>

using namespace SessionFixtures;

namespace {

// Runs an operation to its end; the description of what it threw, or "" when it succeeded.
QString outcome(QCoro::Task<void> task)
{
    return describe(failureOf(std::move(task)));
}

// Starts one of the session's operations by name.
QCoro::Task<void> start(AuthService &session, const QString &operation)
{
    if (operation == u"register")
        return session.registerUser(u"zoe"_qs, u"z@example.com"_qs, u"pw"_qs);
    if (operation == u"verify")
        return session.verifyEmail(u"012345"_qs);
    if (operation == u"resend")
        return session.resendVerification();
    if (operation == u"send")
        return session.send(u"bob"_qs, 5, QString());
    if (operation == u"refresh")
        return session.refreshTransactions();
    return session.login(u"ann"_qs, u"pw"_qs);
}

const FakeReply okMessage = FakeReply::json(200, R"({"message":"ok"})");

} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<APIService> m_api;
    std::unique_ptr<AuthService> m_session;

    // Signed in as ann with token "tok" and the transfer list [t1], then recording starts afresh.
    void signIn()
    {
        m_session = std::make_unique<AuthService>(*m_api);
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("tok", "ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"t1"}));
        QCOMPARE(outcome(m_session->login(u"ann"_qs, u"pw"_qs)), QString());
        m_fake->clear();
    }

private Q_SLOTS:
    void init()
    {
        TokenFile::write(std::nullopt);
        m_fake = std::make_unique<FakeService>();
        m_api = std::make_unique<APIService>(m_fake->options());
    }
    void cleanup()
    {
        m_session.reset();
        m_api.reset();
        m_fake.reset();
    }

    // A token the service refuses, or cannot be asked about, is removed; the next start sends nothing.
    void startWithUnusableTokenRemovesIt_data()
    {
        QTest::addColumn<bool>("offline");
        QTest::newRow("rejected") << false;
        QTest::newRow("service unreachable") << true;
    }
    void startWithUnusableTokenRemovesIt()
    {
        QFETCH(bool, offline);
        TokenFile::write(u"stale"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, errorReply(401, "Invalid token"));
        if (offline) {
            const APIService::Options options = m_fake->options();
            m_fake.reset(); // nothing listens on its port any more
            m_api = std::make_unique<APIService>(options);
        }
        {
            AuthService session(*m_api);
            Recorder recorder(session);
            QTRY_COMPARE(TokenFile::read(), std::nullopt);
            QVERIFY(!m_fake || m_fake->waitUntilAnswered(1));
            QCOMPARE(recorder.events, QStringList());
            QVERIFY(!session.currentUser());
        }
        if (offline)
            return;
        QCOMPARE(paths(m_fake->requests()), QStringList{u"GET /api/me"_qs});
        QCOMPARE(m_fake->requests().first().header("Authorization"), QByteArray("Bearer stale"));
        AuthService next(*m_api);
        QTest::qWait(200);
        QCOMPARE(m_fake->requests().size(), 1);
    }

    // A valid token: the profile first, only then the transfers; a failed list keeps the session.
    void startWithValidToken_data()
    {
        QTest::addColumn<bool>("listArrives");
        QTest::newRow("list arrives") << true;
        QTest::newRow("list fails") << false;
    }
    void startWithValidToken()
    {
        QFETCH(bool, listArrives);
        TokenFile::write(u"tok"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, meReply("ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs,
                        listArrives ? listReply({"t1", "t2"}) : errorReply(500, "down"));
        AuthService session(*m_api);
        Recorder recorder(session);
        QStringList requestsWhenUserArrived;
        connect(&session, &AuthService::currentUserChanged, this,
                [&] { requestsWhenUserArrived = paths(m_fake->requests()); });
        QVERIFY(m_fake->waitUntilAnswered(2));
        QCOMPARE(recorder.events, (listArrives ? QStringList{u"user:ann"_qs, u"transactions:t1,t2"_qs}
                                               : QStringList{u"user:ann"_qs}));
        QCOMPARE(requestsWhenUserArrived, QStringList{u"GET /api/me"_qs});
        QCOMPARE(m_fake->requests().last().header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"tok"_qs));
        QCOMPARE(session.property("currentUser").value<APIUser>().username, u"ann"_qs);
    }

    // The restore's late outcome never touches the session that replaced it.
    void lateRestore_data()
    {
        QTest::addColumn<bool>("restoreSucceeds");
        QTest::addColumn<bool>("thenLogin"); // else a logout
        QTest::newRow("fails late after a login") << false << true;
        QTest::newRow("succeeds late after a login") << true << true;
        QTest::newRow("succeeds late after a logout") << true << false;
    }
    void lateRestore()
    {
        QFETCH(bool, restoreSucceeds);
        QFETCH(bool, thenLogin);
        TokenFile::write(u"old"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs,
                        (restoreSucceeds ? meReply("olduser") : errorReply(401, "expired")).after(400ms));
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("new", "ann"));
        m_fake->setFallback("GET", u"/api/transactions"_qs, listReply({"t1"}));
        AuthService session(*m_api);
        if (thenLogin)
            awaitTask(session.login(u"ann"_qs, u"pw"_qs));
        else
            session.logout();
        Recorder recorder(session);
        QVERIFY(m_fake->waitUntilAnswered(thenLogin ? 3 : 1)); // the late restore's reply too
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(TokenFile::read(), thenLogin ? std::optional<QString>(u"new"_qs) : std::nullopt);
        QCOMPARE(session.currentUser().has_value(), thenLogin);
        QVERIFY(!thenLogin || session.currentUser()->username == u"ann");
        QCOMPARE(m_fake->requests(u"/api/transactions"_qs).size(), thenLogin ? 1 : 0);
        for (const RecordedRequest &r : m_fake->requests(u"/api/transactions"_qs))
            QCOMPARE(r.header("Authorization"), QByteArray("Bearer new"));
    }

    // Coroutines whose session is deleted while they wait (the start's restore among them) must
    // end quietly: checked under ASan.
    void operationsOutliveSession_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("throws");
        for (const char *operation : {"", "login", "register", "send", "verify", "refresh"})
            QTest::newRow(*operation ? operation : "restore only") << QString::fromLatin1(operation) << false;
        QTest::newRow("login refused") << u"login"_qs << true;
    }
    void operationsOutliveSession()
    {
        QFETCH(QString, operation);
        QFETCH(bool, throws);
        TokenFile::write(u"tok"_qs);
        m_fake->setFallback("GET", u"/api/me"_qs, meReply("ann").after(300ms));
        m_fake->setFallback("POST", u"/api/login"_qs,
                            (throws ? errorReply(401, "no") : authReply("t2", "ann")).after(200ms));
        m_fake->setFallback("POST", u"/api/register"_qs, authReply("t2", "ann").after(200ms));
        m_fake->setFallback("POST", u"/api/verify-email"_qs, okMessage.after(200ms));
        m_fake->setFallback("POST", u"/api/send"_qs, sendReply("ann", 95, "t9").after(200ms));
        m_fake->setFallback("GET", u"/api/transactions"_qs, listReply({"t1"}).after(200ms));
        auto session = std::make_unique<AuthService>(*m_api);
        if (operation.isEmpty()) {
            QTRY_COMPARE(m_fake->requests().size(), 1);
            session.reset();
        } else {
            QCoro::Task<void> task = start(*session, operation);
            session.reset();
            QCOMPARE(errorAs<AppError>(failureOf(std::move(task))).has_value(), throws);
        }
        // Every reply, the restore's among them, has reached its ended coroutine.
        QVERIFY(m_fake->waitUntilAnswered(int(m_fake->requests().size())));
        QVERIFY(!operation.isEmpty() || m_fake->requests(u"/api/transactions"_qs).isEmpty());
    }

    // Each operation's effects on success, in order: what is announced, what is sent with which
    // token, and that the token is stored before the user who owns it is announced.
    void success_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("listFails");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>("token"); // stored afterwards, and the one sent
        const QString list = u"GET /api/transactions"_qs;
        QTest::newRow("login") << u"login"_qs << false
                               << QStringList{"loading:1", "user:ann", "transactions:t2,t1", "loading:0"}
                               << QStringList{u"POST /api/login"_qs, list} << u"new"_qs;
        QTest::newRow("register loads no list")
            << u"register"_qs << false << QStringList{"loading:1", "user:zoe", "loading:0"}
            << QStringList{u"POST /api/register"_qs} << u"new"_qs;
        QTest::newRow("verify") << u"verify"_qs << false << QStringList{"user:ann2"}
                                << QStringList{u"POST /api/verify-email"_qs, u"GET /api/me"_qs} << u"tok"_qs;
        QTest::newRow("resend") << u"resend"_qs << false << QStringList{}
                                << QStringList{u"POST /api/resend-verification"_qs} << u"tok"_qs;
        QTest::newRow("send") << u"send"_qs << false
                              << QStringList{"loading:1", "user:ann", "transactions:t2,t1", "loading:0"}
                              << QStringList{u"POST /api/send"_qs, list} << u"tok"_qs;
        QTest::newRow("send, reload fails")
            << u"send"_qs << true << QStringList{"loading:1", "user:ann", "loading:0"}
            << QStringList{u"POST /api/send"_qs, list} << u"tok"_qs;
    }
    void success()
    {
        QFETCH(QString, operation);
        QFETCH(bool, listFails);
        QFETCH(QStringList, events);
        QFETCH(QStringList, requests);
        QFETCH(QString, token);
        const bool signedIn = token == u"tok";
        if (signedIn)
            signIn();
        else
            m_session = std::make_unique<AuthService>(*m_api);
        Recorder recorder(*m_session);
        QStringList tokenWhenUserArrived;
        connect(m_session.get(), &AuthService::currentUserChanged, this,
                [&] { tokenWhenUserArrived << TokenFile::read().value_or(u"none"_qs); });
        m_fake->setFallback("POST", u"/api/login"_qs, authReply("new", "ann"));
        m_fake->setFallback("POST", u"/api/register"_qs, authReply("new", "zoe"));
        m_fake->setFallback("POST", u"/api/verify-email"_qs, okMessage);
        m_fake->setFallback("GET", u"/api/me"_qs, meReply("ann2"));
        m_fake->setFallback("POST", u"/api/resend-verification"_qs, okMessage);
        m_fake->setFallback("POST", u"/api/send"_qs, sendReply("ann", 95, "t2"));
        m_fake->setFallback("GET", u"/api/transactions"_qs,
                            listFails ? errorReply(503, "busy") : listReply({"t2", "t1"}));
        QCOMPARE(outcome(start(*m_session, operation)), QString());
        QCOMPARE(recorder.events, events);
        QCOMPARE(tokenWhenUserArrived, QStringList(events.filter(u"user:"_qs).size(), token));
        const QList<RecordedRequest> sent = m_fake->requests();
        QCOMPARE(paths(sent), requests);
        QCOMPARE(sent.first().headers.contains("authorization"), signedIn);
        QVERIFY((!signedIn && sent.size() == 1) ||
                sent.last().header("Authorization") == "Bearer " + token.toUtf8());
        QCOMPARE(TokenFile::read(), std::optional<QString>(token));
    }

    // A refusal leaves user, token and list as they were; only the busy bracket shows.
    void refusalChangesNothing_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("login") << u"login"_qs << errorReply(401, "Wrong password.") << u"Wrong password."_qs
                               << QStringList{u"POST /api/login"_qs};
        QTest::newRow("register, no error text")
            << u"register"_qs << FakeReply::json(409, "{}") << u"Request failed (409)."_qs
            << QStringList{u"POST /api/register"_qs};
        QTest::newRow("send") << u"send"_qs << errorReply(400, "Insufficient funds.")
                              << u"Insufficient funds."_qs << QStringList{u"POST /api/send"_qs};
        QTest::newRow("verify, code refused")
            << u"verify"_qs << errorReply(400, "Invalid code.") << u"Invalid code."_qs
            << QStringList{u"POST /api/verify-email"_qs};
        QTest::newRow("verify, profile fails after the code")
            << u"verify"_qs << okMessage << u"Request failed (500)."_qs
            << QStringList{u"POST /api/verify-email"_qs, u"GET /api/me"_qs};
        QTest::newRow("resend") << u"resend"_qs << errorReply(429, "Slow down.") << u"Slow down."_qs
                                << QStringList{u"POST /api/resend-verification"_qs};
    }
    void refusalChangesNothing()
    {
        QFETCH(QString, operation);
        QFETCH(FakeReply, reply);
        QFETCH(QString, message);
        QFETCH(QStringList, requests);
        signIn();
        Recorder recorder(*m_session);
        for (const char *path :
             {"/api/login", "/api/register", "/api/send", "/api/verify-email", "/api/resend-verification"})
            m_fake->enqueue("POST", QString::fromLatin1(path), reply);
        m_fake->enqueue("GET", u"/api/me"_qs, FakeReply::json(500, ""));
        QCOMPARE(outcome(start(*m_session, operation)), message);
        const bool bracketed = operation == u"login" || operation == u"register" || operation == u"send";
        QCOMPARE(recorder.events,
                 (bracketed ? QStringList{u"loading:1"_qs, u"loading:0"_qs} : QStringList()));
        QCOMPARE(paths(m_fake->requests()), requests);
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"tok"_qs));
        QCOMPARE(m_session->currentUser()->username, u"ann"_qs);
        QCOMPARE(m_session->currentUser()->balance, 100.0);
        QCOMPARE(m_session->transactions().size(), 1);
    }

    // The three operations that need a token refuse at once without one, sending nothing.
    void notLoggedIn_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *operation : {"verify", "resend", "send"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }
    void notLoggedIn()
    {
        QFETCH(QString, operation);
        AuthService session(*m_api);
        Recorder recorder(session);
        QCOMPARE(outcome(start(session, operation)), u"Not logged in."_qs);
        QCOMPARE(recorder.events, QStringList());
        QVERIFY(m_fake->requests().isEmpty());
    }

    void refreshTransactionsKeepsTheListOnFailure()
    {
        m_session = std::make_unique<AuthService>(*m_api);
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
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"tok"_qs));

        // Cancelled: the list stays too.
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::silence());
        CancelSource cancel;
        QCoro::Task<void> task = m_session->refreshTransactions(cancel.token());
        QTRY_COMPARE(m_fake->requests().size(), 6);
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
        m_session->logout();
        QCOMPARE(recorder.events, (QStringList{u"user:none"_qs, u"transactions:"_qs}));
        QCOMPARE(TokenFile::read(), std::nullopt);
        QVERIFY(m_fake->requests().isEmpty());
    }

    void tokenNeverInMessages()
    {
        static QStringList messages;
        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &m) { messages << m; });
        m_session = std::make_unique<AuthService>(*m_api);
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("SeCrEt-T0k3n", "ann"));
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::drop());
        m_fake->enqueue("GET", u"/api/transactions"_qs, FakeReply::rawBytes("garbage"));
        m_fake->enqueue("POST", u"/api/send"_qs, errorReply(401, "Bad token."));
        QString errors = outcome(m_session->login(u"ann"_qs, u"pw"_qs));
        errors += outcome(start(*m_session, u"send"_qs));
        qInstallMessageHandler(previous);
        QVERIFY(!errors.contains(u"SeCrEt"_qs));
        for (const QString &m : messages)
            QVERIFY2(!m.contains(u"SeCrEt"_qs), qPrintable(m));
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestSession)
#include "tst_session.moc"
