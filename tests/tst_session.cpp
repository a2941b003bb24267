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

    // The start from a stored token: the profile first, only then the transfers. A token the service
    // refuses is removed (as after any failure to fetch the profile); a failed list keeps the session.
    void startFromStoredToken_data()
    {
        QTest::addColumn<FakeReply>("me");
        QTest::addColumn<FakeReply>("list");
        QTest::addColumn<QStringList>("events"); // none: signed out
        QTest::newRow("list arrives")
            << meReply("ann") << listReply({"t1", "t2"}) << QStringList{"user:ann", "transactions:t1,t2"};
        QTest::newRow("list fails") << meReply("ann") << errorReply(500, "down") << QStringList{"user:ann"};
        QTest::newRow("rejected") << errorReply(401, "Invalid token") << listReply({}) << QStringList{};
    }
    void startFromStoredToken()
    {
        QFETCH(FakeReply, me);
        QFETCH(FakeReply, list);
        QFETCH(QStringList, events);
        const bool signedIn = !events.isEmpty();
        TokenFile::write(u"tok"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs, me);
        m_fake->enqueue("GET", u"/api/transactions"_qs, list);
        AuthService session(*m_api);
        Recorder recorder(session);
        QStringList requestsWhenUserArrived;
        connect(&session, &AuthService::currentUserChanged, this,
                [&] { requestsWhenUserArrived = paths(m_fake->requests()); });
        QVERIFY(m_fake->waitUntilAnswered(signedIn ? 2 : 1));
        QTRY_COMPARE(TokenFile::read(), signedIn ? std::optional<QString>(u"tok"_qs) : std::nullopt);
        QCOMPARE(recorder.events, events);
        QCOMPARE(requestsWhenUserArrived, signedIn ? QStringList{u"GET /api/me"_qs} : QStringList());
        QCOMPARE(m_fake->requests().last().header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(session.property("currentUser").value<APIUser>().username, signedIn ? u"ann"_qs : QString());
    }

    // The restore's late outcome, a failure (which would remove the token) or a user, never
    // touches the session of the login that replaced it.
    void lateRestore_data()
    {
        QTest::addColumn<bool>("restoreSucceeds");
        QTest::newRow("fails late") << false;
        QTest::newRow("succeeds late") << true;
    }
    void lateRestore()
    {
        QFETCH(bool, restoreSucceeds);
        TokenFile::write(u"old"_qs);
        m_fake->enqueue("GET", u"/api/me"_qs,
                        (restoreSucceeds ? meReply("olduser") : errorReply(401, "expired")).after(400ms));
        m_fake->enqueue("POST", u"/api/login"_qs, authReply("new", "ann"));
        m_fake->setFallback("GET", u"/api/transactions"_qs, listReply({"t1"}));
        AuthService session(*m_api);
        awaitTask(session.login(u"ann"_qs, u"pw"_qs));
        Recorder recorder(session);
        QVERIFY(m_fake->waitUntilAnswered(3)); // the late restore's reply too
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"new"_qs));
        QCOMPARE(session.currentUser()->username, u"ann"_qs);
        QCOMPARE(m_fake->requests(u"/api/transactions"_qs).size(), 1);
        QCOMPARE(m_fake->requests(u"/api/transactions"_qs).first().header("Authorization"),
                 QByteArray("Bearer new"));
    }

    // Coroutines whose session is deleted while they wait (the start's restore among them) must
    // end quietly: checked under ASan.
    void operationsOutliveSession_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("throws");
        for (const char *operation : {"", "login", "send", "verify", "refresh"})
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

    // Each operation's effects in order: what is announced, what is sent with which token, and that
    // the token is stored before the user who owns it is announced. A refusal leaves user, token
    // and list as they were; only the busy bracket shows.
    void operations_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<FakeReply>("reply"); // to the operation's own request
        QTest::addColumn<QString>("message"); // empty: it succeeds
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>(
            "token"); // stored afterwards (empty: none), and sent after the first request
        const QString list = u"GET /api/transactions"_qs;
        const QStringList bracket{u"loading:1"_qs, u"loading:0"_qs};
        const auto row = [](const char *name, const char *operation, const FakeReply &reply,
                            const QString &message, const QStringList &events, const QStringList &requests,
                            const char *token = "tok") {
            QTest::newRow(name) << QString::fromLatin1(operation) << reply << message << events << requests
                                << QString::fromLatin1(token);
        };
        row("login", "login", authReply("new", "ann"), {},
            {"loading:1", "user:ann", "transactions:t2,t1", "loading:0"}, {u"POST /api/login"_qs, list},
            "new");
        row("register loads no list", "register", authReply("new", "zoe"), {},
            {"loading:1", "user:zoe", "loading:0"}, {u"POST /api/register"_qs}, "new");
        row("verify", "verify", okMessage, {}, {"user:ann2"},
            {u"POST /api/verify-email"_qs, u"GET /api/me"_qs});
        row("send", "send", sendReply("ann", 95, "t2"), {},
            {"loading:1", "user:ann", "transactions:t2,t1", "loading:0"}, {u"POST /api/send"_qs, list});
        row("login refused", "login", errorReply(401, "Wrong password."), u"Wrong password."_qs, bracket,
            {u"POST /api/login"_qs});
        row("send refused", "send", errorReply(400, "Insufficient funds."), u"Insufficient funds."_qs,
            bracket, {u"POST /api/send"_qs});
        row("verify, profile fails after the code", "verify", okMessage, u"Request failed (500)."_qs, {},
            {u"POST /api/verify-email"_qs, u"GET /api/me"_qs});
        // Without a token, the three operations that need one refuse at once and send nothing.
        for (const char *operation : {"verify", "resend", "send"})
            row(operation, operation, okMessage, u"Not logged in."_qs, {}, {}, "");
    }
    void operations()
    {
        QFETCH(QString, operation);
        QFETCH(FakeReply, reply);
        QFETCH(QString, message);
        QFETCH(QStringList, events);
        QFETCH(QStringList, requests);
        QFETCH(QString, token);
        const bool needsToken = operation != u"login" && operation != u"register" && !token.isEmpty();
        if (token == u"tok")
            signIn();
        else
            m_session = std::make_unique<AuthService>(*m_api);
        Recorder recorder(*m_session);
        QStringList tokenWhenUserArrived;
        connect(m_session.get(), &AuthService::currentUserChanged, this,
                [&] { tokenWhenUserArrived << TokenFile::read().value_or(u"none"_qs); });
        for (const char *path :
             {"/api/login", "/api/register", "/api/send", "/api/verify-email", "/api/resend-verification"})
            m_fake->setFallback("POST", QString::fromLatin1(path), reply);
        m_fake->setFallback("GET", u"/api/me"_qs,
                            message.isEmpty() ? meReply("ann2") : FakeReply::json(500, ""));
        m_fake->setFallback("GET", u"/api/transactions"_qs, listReply({"t2", "t1"}));
        QCOMPARE(outcome(start(*m_session, operation)), message);
        QCOMPARE(recorder.events, events);
        QCOMPARE(tokenWhenUserArrived, QStringList(events.filter(u"user:"_qs).size(), token));
        const QList<RecordedRequest> sent = m_fake->requests();
        QCOMPARE(paths(sent), requests);
        QCOMPARE(sent.value(0).header("Authorization"), needsToken ? QByteArray("Bearer tok") : QByteArray());
        for (const RecordedRequest &r : sent.mid(1))
            QCOMPARE(r.header("Authorization"), "Bearer " + token.toUtf8());
        QCOMPARE(TokenFile::read(), token.isEmpty() ? std::nullopt : std::optional<QString>(token));
    }

    // Without a token nothing is sent; an unchanged list or a failure keeps the list, unannounced.
    void refreshKeepsTheListOnFailure()
    {
        m_session = std::make_unique<AuthService>(*m_api);
        awaitTask(m_session->refreshTransactions());
        QVERIFY(m_fake->requests().isEmpty());
        signIn();
        Recorder recorder(*m_session);
        m_fake->enqueue("GET", u"/api/transactions"_qs, listReply({"t1"}));
        m_fake->enqueue("GET", u"/api/transactions"_qs, errorReply(500, "down"));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(outcome(m_session->refreshTransactions()), QString());
        QCOMPARE(recorder.events, QStringList());
        QCOMPARE(m_session->transactions().first().id, u"t1"_qs);
        QCOMPARE(m_fake->requests().size(), 2);
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
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestSession)
#include "tst_session.moc"
