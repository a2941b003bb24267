// SPDX-License-Identifier: MIT
// quorl-service over HTTPS with raw requests: routing, status codes and headers, that each input
// rule is applied (the rules themselves are tst_serverparts' tables), the time limits of codes and
// tokens, the connection guards, and Idempotency-Key handling (also across a crash).
#include "server/AccountStore.h"
#include "server/Crypto.h"
#include "server/Database.h"
#include "testsupport/ServiceProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTest>

// One reply of the service.
struct Reply
{
    int status = 0; // 0: no HTTP reply
    QByteArray body;
    QJsonObject json;

    [[nodiscard]] QString errorText() const { return json.value(u"error"_qs).toString(); }
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

// "Bearer <token>" as a header list, with an Idempotency-Key unless the key is null.
static Headers bearer(const QString &token, const QByteArray &idempotencyKey = {})
{
    Headers headers{{"Authorization", "Bearer " + token.toUtf8()}};
    if (!idempotencyKey.isNull())
        headers.append({"Idempotency-Key", idempotencyKey});
    return headers;
}

class TestService : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    QNetworkAccessManager m_nam;
    QSslConfiguration m_tls; // trusts the development CA
    QString m_verified;      // token of "vera", verified, 100 ◆
    QString m_unverified;    // token of "uma", not verified
    const QStringList m_arguments{u"--starting-balance"_qs, u"100"_qs};

    QUrl url(const QString &path) const { return QUrl(m_service.base().toString() + path); }
    static QByteArray json(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
    static QByteArray sendBody(const QString &to, double amount, const QString &note = {})
    {
        return json({{u"to"_qs, to}, {u"amount"_qs, amount}, {u"note"_qs, note}});
    }

    // Starts a request; result() waits for its reply (up to 60 s) and reads it.
    QNetworkReply *start(const QByteArray &method, const QString &path, const QByteArray &body,
                         const Headers &headers)
    {
        QNetworkRequest request(url(path));
        request.setSslConfiguration(m_tls);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        for (const auto &[name, value] : headers)
            request.setRawHeader(name, value);
        return m_nam.sendCustomRequest(request, method, body);
    }
    static Reply result(QNetworkReply *reply)
    {
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 60000))
            reply->abort(); // status 0
        Reply r{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), {}};
        r.json = QJsonDocument::fromJson(r.body).object();
        reply->deleteLater();
        return r;
    }
    Reply request(const QByteArray &method, const QString &path, const QByteArray &body = {},
                  const Headers &headers = {})
    {
        return result(start(method, path, body, headers));
    }
    Reply post(const QString &path, const QByteArray &body, const Headers &headers = {})
    {
        return request("POST", path, body, headers);
    }
    Reply get(const QString &path, const QString &token) { return request("GET", path, {}, bearer(token)); }
    Reply send(const QString &token, const QString &to, double amount, const QByteArray &key = {})
    {
        return post(u"/send"_qs, sendBody(to, amount), bearer(token, key));
    }
    Reply login(const QString &name, const QString &password)
    {
        return post(u"/login"_qs, json({{u"username"_qs, name}, {u"password"_qs, password}}));
    }

    QString registerUser(const QString &name, const QString &password = u"secret1"_qs)
    {
        const Reply r = post(u"/register"_qs, json({{u"username"_qs, name},
                                                    {u"email"_qs, name + u"@example.com"_qs},
                                                    {u"password"_qs, password}}));
        return r.status == 200 ? r.json.value(u"token"_qs).toString() : QString();
    }
    QString verify(const QString &token, const QString &code)
    {
        return post(u"/verify-email"_qs, json({{u"code"_qs, code}}), bearer(token)).errorText();
    }
    QString verifiedUser(const QString &name)
    {
        const QString token = registerUser(name);
        return verify(token, m_service.latestCode(name + u"@example.com"_qs)).isEmpty() ? token : QString();
    }
    qint64 balanceMicros(const QString &token)
    {
        return qRound64(get(u"/me"_qs, token).json[u"user"_qs][u"balance"_qs].toDouble() * 1e6);
    }
    // One statement on the database of the stopped service: the number of rows changed.
    int database(const QString &sql, const QVariantList &args = {})
    {
        Database db;
        QString error;
        if (!db.open(m_service.dataDir() + u"/quorl.db"_qs, &error))
            return -1;
        return db.exec(sql, args).numRowsAffected();
    }
    bool connectTls(QSslSocket &socket, quint16 port)
    {
        socket.setSslConfiguration(m_tls);
        socket.connectToHostEncrypted(u"localhost"_qs, port);
        return socket.waitForEncrypted(5000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Crypto::initialize()); // for AccountStore::tokenHash, as the service's main does
        m_tls = QSslConfiguration::defaultConfiguration();
        m_tls.setCaCertificates(QSslCertificate::fromData(ServiceProcess::devCaPem()));
        QVERIFY(m_service.start(m_arguments));
        m_verified = verifiedUser(u"vera"_qs);
        m_unverified = registerUser(u"uma"_qs);
        QVERIFY(!m_verified.isEmpty() && !m_unverified.isEmpty());
        QVERIFY(!registerUser(u"rex"_qs).isEmpty());
    }

    // One row for each check an endpoint makes; the variants of each rule are tst_serverparts' rows.
    void errorReplies_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("who"); // "", "verified", "unverified", "bogus"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        auto row = [](const char *name, const char *method, const char *path, const char *body,
                      const char *who, int status, const char *message) {
            QTest::newRow(name) << QByteArray(method) << QString::fromLatin1(path) << QByteArray(body)
                                << QString::fromLatin1(who) << status << QString::fromUtf8(message);
        };
        row("missing field", "POST", "/login", R"({"username":"vera"})", "", 400, "\"password\" is missing");
        row("short user name", "POST", "/register",
            R"({"username":"ab","email":"a@b.cd","password":"secret1"})", "", 400, "3 to 32 characters");
        row("e-mail with line break", "POST", "/register",
            R"({"username":"newbie","email":"a@b.cd\r\nBcc: x@y.zz","password":"secret1"})", "", 400,
            "e-mail");
        row("short password", "POST", "/register",
            R"({"username":"newbie","email":"a@b.cd","password":"12345"})", "", 400, "at least 6 characters");
        row("taken, other case", "POST", "/register",
            R"({"username":"VERA","email":"a@b.cd","password":"secret1"})", "", 409, "already taken");
        row("wrong password", "POST", "/login", R"({"username":"vera","password":"secret2"})", "", 401,
            "Wrong user name or password.");
        row("unknown user", "POST", "/login", R"({"username":"nobody","password":"secret1"})", "", 401,
            "Wrong user name or password.");
        row("no token", "GET", "/me", "", "", 401, "Sign in first");
        row("unknown token", "GET", "/me", "", "bogus", 401, "not valid");
        row("unverified sender", "POST", "/send", R"({"to":"vera","amount":1,"note":""})", "unverified", 403,
            "Verify your e-mail");
        row("unknown recipient", "POST", "/send", R"({"to":"nobody","amount":1,"note":""})", "verified", 404,
            "no user named");
        row("amount as text", "POST", "/send", R"({"to":"rex","amount":"5","note":""})", "verified", 400,
            "\"amount\" must be a number");
        row("amount too precise", "POST", "/send", R"({"to":"rex","amount":0.0000001,"note":""})", "verified",
            400, "6 decimal places");
        row("note with line feed", "POST", "/send", R"({"to":"rex","amount":1,"note":"a\nb"})", "verified",
            400, "The note must not contain line breaks");
        row("over the balance", "POST", "/send", R"({"to":"rex","amount":100.000001,"note":""})", "verified",
            422, "Insufficient balance: you have 100 ◆.");
        row("to oneself", "POST", "/send", R"({"to":"Vera","amount":1,"note":""})", "verified", 400,
            "yourself");
        row("search text with a tab", "GET", "/users/search?q=a%09b", "", "verified", 400,
            "The search text must not contain");
        row("wrong reset secret", "POST", "/reset-password",
            R"({"username":"vera","resetSecret":"guess","newPassword":"secret9"})", "", 403, "reset secret");
        row("unknown endpoint", "GET", "/nothing", "", "", 404, "no endpoint");
        row("wrong method", "GET", "/send", "", "verified", 405, "does not take GET");
    }

    void errorReplies()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, who);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString token = who == u"verified" ? m_verified : who == u"unverified" ? m_unverified : who;
        const qint64 before = balanceMicros(m_verified);
        const Reply r = request(method, path, body, token.isEmpty() ? Headers{} : bearer(token));
        QCOMPARE(r.status, status);
        QVERIFY2(r.errorText().contains(message), r.body.constData());
        QCOMPARE(balanceMicros(m_verified), before);
    }

    void searchWithoutTextFindsNobody()
    {
        // The text's decoding and the match are tested in-process, the hits end to end.
        QCOMPARE(get(u"/users/search?q="_qs, m_verified).json[u"users"_qs].toArray().size(), 0);
    }

    void bodyLimit()
    {
        // Exactly 64 KiB is read (and refused for its content); one byte more is too large, and a far
        // larger body is refused while it arrives, not kept in memory first.
        QByteArray body = R"({"username":"vera","password":"wrong!"})";
        body += QByteArray(64 * 1024 - body.size(), ' ');
        QCOMPARE(post(u"/login"_qs, body).status, 401);
        QCOMPARE(post(u"/login"_qs, body + ' ').status, 413);
        QCOMPARE(post(u"/login"_qs, QByteArray(4 * 1024 * 1024, ' ')).status, 413);
    }

    void verificationCodeIsVoidAfterFiveWrongOnes()
    {
        const QString token = registerUser(u"wendy"_qs);
        const QString code = m_service.latestCode(u"wendy@example.com"_qs);
        const QString wrong = code == u"000000" ? u"111111"_qs : u"000000"_qs;
        QCOMPARE(verify(token, wrong), u"Wrong code; 4 more tries left."_qs);
        for (int i = 2; i <= 5; ++i)
            QVERIFY(verify(token, wrong).startsWith(u"Wrong code"_qs));
        QVERIFY(verify(token, code).contains(u"ask for a new one"_qs));
        QCOMPARE(post(u"/resend-verification"_qs, "{}", bearer(token)).status, 200);
        QCOMPARE(verify(token, m_service.latestCode(u"wendy@example.com"_qs)), QString());
    }

    void codesExpireAfter15MinutesAndTokensAfter30Days()
    {
        const QString older = registerUser(u"ezra"_qs);
        const QString code = m_service.latestCode(u"ezra@example.com"_qs);
        const QString newer = login(u"ezra"_qs, u"secret1"_qs).json[u"token"_qs].toString();
        // Let the clock pass in the database: the code's expiry, set 15 minutes ahead, moves back by
        // 15 minutes and one second; one token is aged by 30 days and a minute, the other by 29 days.
        m_service.stop();
        QCOMPARE(
            database(u"UPDATE users SET code_expires = code_expires - 901000 WHERE username = 'ezra'"_qs), 1);
        const auto age = [this](const QString &token, qint64 ms) {
            return database(u"UPDATE tokens SET created_at = created_at - ? WHERE token_hash = ?"_qs,
                            {ms, AccountStore::tokenHash(token)});
        };
        QCOMPARE(age(older, 30 * 86'400'000LL + 60'000), 1);
        QCOMPARE(age(newer, 29 * 86'400'000LL), 1);
        QVERIFY(m_service.start(m_arguments));
        QCOMPARE(get(u"/me"_qs, older).status, 401);
        const QString error = verify(newer, code);
        QVERIFY2(error.contains(u"expired"_qs), qPrintable(error));
    }

    void resetPasswordRevokesEveryToken()
    {
        const QString old = registerUser(u"rita"_qs, u"oldpass"_qs);
        const QString other = login(u"rita"_qs, u"oldpass"_qs).json[u"token"_qs].toString();
        const auto reset = [this](const QString &name) {
            return post(u"/reset-password"_qs, json({{u"username"_qs, name},
                                                     {u"resetSecret"_qs, m_service.resetSecret()},
                                                     {u"newPassword"_qs, u"newpass"_qs}}));
        };
        QCOMPARE(reset(u"nobody"_qs).status, 404);
        QCOMPARE(reset(u"RITA"_qs).status, 200);
        QCOMPARE(get(u"/me"_qs, old).status, 401);
        QCOMPARE(get(u"/me"_qs, other).status, 401);
        QCOMPARE(login(u"rita"_qs, u"newpass"_qs).status, 200);
    }

    void idleAndSurplusConnectionsAreClosed()
    {
        ServiceProcess service;
        QVERIFY(service.start({u"--idle-timeout"_qs, u"3"_qs, u"--max-connections-per-address"_qs, u"3"_qs}));
        QSslSocket silent;
        QVERIFY(connectTls(silent, service.port()));
        QTcpSocket plain; // never starts TLS
        plain.connectToHost(u"localhost"_qs, service.port());
        QVERIFY(plain.waitForConnected(5000));
        // The service answers others meanwhile, on a third connection that it keeps open.
        QSslSocket answered;
        QVERIFY(connectTls(answered, service.port()));
        answered.write("GET /api/me HTTP/1.1\r\nHost: localhost\r\n\r\n");
        QVERIFY(answered.waitForReadyRead(5000));
        QVERIFY(answered.readAll().startsWith("HTTP/1.1 401 "));
        // A fourth is closed before its handshake.
        QSslSocket surplus;
        QVERIFY(!connectTls(surplus, service.port()));

        const auto closed = [](const QAbstractSocket &s) {
            return s.state() == QAbstractSocket::UnconnectedState;
        };
        QTRY_VERIFY_WITH_TIMEOUT(closed(silent) && closed(plain) && closed(answered), 20000);
        // Closed connections give their places back (as soon as the service has seen them close).
        QVERIFY(QTest::qWaitFor(
            [&] {
                surplus.abort();
                return connectTls(surplus, service.port());
            },
            5000));
    }

    void repeatGetsTheFirstReplyWithoutNewWork()
    {
        const QString ann = verifiedUser(u"ann"_qs);
        // An error reply is repeated too, even once the request would succeed.
        QCOMPARE(send(ann, u"ben"_qs, 1, "k-404").status, 404);
        verifiedUser(u"ben"_qs);
        QCOMPARE(send(ann, u"ben"_qs, 1, "k-404").status, 404);
        QCOMPARE(send(ann, u"ben"_qs, 1, "k-new").status, 200);

        const QByteArray body = sendBody(u"ben"_qs, 7, u"once"_qs);
        const Reply first = post(u"/send"_qs, body, bearer(ann, "k-1"));
        QCOMPARE(first.status, 200);
        // Bare and quoted forms are the same key; other spacing of the same JSON is the same body.
        const Reply again = post(u"/send"_qs, body, bearer(ann, "\"k-1\""));
        QCOMPARE(again.status, 200);
        QCOMPARE(again.body, first.body);
        const QByteArray spaced = R"({ "note": "once", "amount": 7.0, "to": "ben" })";
        QCOMPARE(post(u"/send"_qs, spaced, bearer(ann, "k-1")).body, first.body);
        QCOMPARE(balanceMicros(ann), 92'000'000);

        const Reply other = post(u"/send"_qs, sendBody(u"ben"_qs, 8, u"once"_qs), bearer(ann, "k-1"));
        QCOMPARE(other.status, 422);
        QVERIFY(other.errorText().contains(u"different request"_qs));
        QCOMPARE(balanceMicros(ann), 92'000'000);
    }

    void keysAreScopedByEndpointAndUser()
    {
        const QString cat = verifiedUser(u"cat"_qs);
        const QString dan = verifiedUser(u"dan"_qs);
        const Reply first = send(cat, u"dan"_qs, 1, "shared");
        QCOMPARE(first.status, 200);
        QCOMPARE(send(dan, u"cat"_qs, 1, "shared").status, 200);
        QCOMPARE(post(u"/resend-verification"_qs, "{}", bearer(cat, "shared")).status, 400); // verified
        // Another session of the same user is the same caller.
        const QString again = login(u"cat"_qs, u"secret1"_qs).json[u"token"_qs].toString();
        QCOMPARE(send(again, u"dan"_qs, 1, "shared").body, first.body);
        QCOMPARE(balanceMicros(cat), 100'000'000);
        // Reading ignores the header; a present but empty one is refused (the key's other rules are
        // tested in-process).
        QCOMPARE(request("GET", u"/me"_qs, {}, bearer(cat, "shared")).status, 200);
        QCOMPARE(send(cat, u"dan"_qs, 1, "").status, 400);
    }

    void repeatedRegistrationGivesTheSameWorkingToken()
    {
        const QByteArray body = json({{u"username"_qs, u"hal"_qs},
                                      {u"email"_qs, u"hal@example.com"_qs},
                                      {u"password"_qs, u"secret1"_qs}});
        const Headers key{{"Idempotency-Key", "reg-hal"}};
        // Two at once (on two connections): one does the work; the other is told to wait, or, if it
        // came late, gets the first reply.
        QNetworkReply *a = start("POST", u"/register"_qs, body, key);
        QNetworkReply *b = start("POST", u"/register"_qs, body, key);
        Reply ra = result(a);
        Reply rb = result(b);
        if (ra.status == 409)
            std::swap(ra, rb);
        QCOMPARE(ra.status, 200);
        if (rb.status == 409)
            QVERIFY(rb.errorText().contains(u"still being handled"_qs));
        else
            QCOMPARE(rb.body, ra.body);

        const Reply replay = post(u"/register"_qs, body, key);
        QCOMPARE(replay.status, 200);
        QCOMPARE(replay.body, ra.body);
        QCOMPARE(get(u"/me"_qs, replay.json[u"token"_qs].toString()).status, 200);
        QCOMPARE(m_service.output().count(u"mail to hal@example.com"_qs), 1);
    }

    void replyOutlivesACrash()
    {
        const QString ivy = verifiedUser(u"ivy"_qs);
        verifiedUser(u"jay"_qs);
        const QByteArray body = sendBody(u"jay"_qs, 12.5, u"before the crash"_qs);
        const Reply first = post(u"/send"_qs, body, bearer(ivy, "crash-key"));
        QCOMPARE(first.status, 200);
        m_service.kill();
        QVERIFY(m_service.start(m_arguments));
        const Reply again = post(u"/send"_qs, body, bearer(ivy, "crash-key"));
        QCOMPARE(again.status, 200);
        QCOMPARE(again.body, first.body);
        QCOMPARE(balanceMicros(ivy), 87'500'000);
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
