// SPDX-License-Identifier: MIT
// quorl-service over HTTPS with raw requests: the error replies, the rules of codes, amounts, lists
// and search, Idempotency-Key handling (also across a crash), and inputs that must not harm it.
#include "support/HttpsClient.h"
#include "support/ServiceProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSslSocket>
#include <QTest>

class TestServiceHttp : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    HttpsClient m_http;
    QString m_verified;   // token of "vera", verified, 100 ◆
    QString m_unverified; // token of "uma", not verified

    QUrl url(const QString &path) const { return QUrl(m_service.base().toString() + path); }

    HttpResult post(const QString &path, const QJsonObject &body, const Headers &headers = {})
    {
        return m_http.send("POST", url(path), QJsonDocument(body).toJson(QJsonDocument::Compact), headers);
    }
    HttpResult get(const QString &path, const QString &token)
    {
        return m_http.send("GET", url(path), {}, bearer(token));
    }

    QString registerUser(const QString &name, const QString &password = u"secret1"_qs)
    {
        const HttpResult r = post(
            u"/register"_qs,
            {{u"username"_qs, name}, {u"email"_qs, name + u"@example.com"_qs}, {u"password"_qs, password}});
        return r.status == 200 ? r.json.value(u"token"_qs).toString() : QString();
    }
    QString verifiedUser(const QString &name)
    {
        const QString token = registerUser(name);
        const QString code = m_service.latestCode(name + u"@example.com"_qs);
        const HttpResult r = post(u"/verify-email"_qs, {{u"code"_qs, code}}, bearer(token));
        return r.status == 200 ? token : QString();
    }
    qint64 balanceMicros(const QString &token)
    {
        return qRound64(get(u"/me"_qs, token).json[u"user"_qs][u"balance"_qs].toDouble() * 1e6);
    }
    HttpResult sendQuorls(const QString &token, const QString &to, double amount, const QByteArray &key = {})
    {
        return post(u"/send"_qs, {{u"to"_qs, to}, {u"amount"_qs, amount}, {u"note"_qs, u""_qs}},
                    bearer(token, key));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_service.start({u"--starting-balance"_qs, u"100"_qs}));
        m_verified = verifiedUser(u"vera"_qs);
        m_unverified = registerUser(u"uma"_qs);
        QVERIFY(!m_verified.isEmpty());
        QVERIFY(!m_unverified.isEmpty());
        QVERIFY(!registerUser(u"rex"_qs).isEmpty());
        QVERIFY(!registerUser(u"x_1"_qs).isEmpty());
    }

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
        row("malformed JSON", "POST", "/login", "{\"username\":", "", 400, "not valid JSON");
        row("empty body", "POST", "/login", "", "", 400, "body is empty");
        row("array body", "POST", "/login", "[]", "", 400, "must be a JSON object");
        row("missing field", "POST", "/login", R"({"username":"vera"})", "", 400, "\"password\" is missing");
        row("wrong type", "POST", "/login", R"({"username":"vera","password":123456})", "", 400,
            "\"password\" must be a string");
        row("null field", "POST", "/register", R"({"username":null,"email":"a@b.cd","password":"secret1"})",
            "", 400, "\"username\" must be a string");
        row("short user name", "POST", "/register",
            R"({"username":"ab","email":"a@b.cd","password":"secret1"})", "", 400, "3 to 32 characters");
        row("user name with space", "POST", "/register",
            R"({"username":"a b c","email":"a@b.cd","password":"secret1"})", "", 400, "3 to 32 characters");
        row("bad e-mail", "POST", "/register", R"({"username":"newbie","email":"a@b","password":"secret1"})",
            "", 400, "e-mail address");
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
            "Verify your e-mail address");
        row("unknown recipient", "POST", "/send", R"({"to":"nobody","amount":1,"note":""})", "verified", 404,
            "no user named \"nobody\"");
        row("amount zero", "POST", "/send", R"({"to":"rex","amount":0,"note":""})", "verified", 400,
            "greater than 0");
        row("amount negative", "POST", "/send", R"({"to":"rex","amount":-5,"note":""})", "verified", 400,
            "greater than 0");
        row("amount as text", "POST", "/send", R"({"to":"rex","amount":"5","note":""})", "verified", 400,
            "\"amount\" must be a number");
        row("amount too precise", "POST", "/send", R"({"to":"rex","amount":0.0000001,"note":""})", "verified",
            400, "6 decimal places");
        row("amount overflowing", "POST", "/send", R"({"to":"rex","amount":1e400,"note":""})", "verified",
            400, "");
        row("over the balance", "POST", "/send", R"({"to":"rex","amount":100.000001,"note":""})", "verified",
            422, "Insufficient balance");
        row("to oneself", "POST", "/send", R"({"to":"Vera","amount":1,"note":""})", "verified", 400,
            "yourself");
        row("note missing", "POST", "/send", R"({"to":"rex","amount":1})", "verified", 400,
            "\"note\" is missing");
        row("wrong reset secret", "POST", "/reset-password",
            R"({"username":"vera","resetSecret":"guess","newPassword":"secret9"})", "", 403,
            "reset secret is wrong");
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
        Headers headers;
        if (who == u"verified")
            headers = bearer(m_verified);
        else if (who == u"unverified")
            headers = bearer(m_unverified);
        else if (who == u"bogus")
            headers = bearer(u"bogus"_qs);
        const qint64 before = balanceMicros(m_verified);
        const HttpResult r = m_http.send(method, url(path), body, headers);
        QCOMPARE(r.status, status);
        QVERIFY2(r.json.value(u"error"_qs).isString(), r.body.constData());
        QVERIFY2(r.errorText().contains(message), qPrintable(r.errorText()));
        QCOMPARE(balanceMicros(m_verified), before);
    }

    void bodyLimit()
    {
        // Exactly 64 KiB is read (and refused for its content); one byte more is too large.
        QByteArray body = R"({"username":"vera","password":"wrong!"})";
        body += QByteArray(64 * 1024 - body.size(), ' ');
        QCOMPARE(m_http.send("POST", url(u"/login"_qs), body).status, 401);
        body += ' ';
        const HttpResult r = m_http.send("POST", url(u"/login"_qs), body);
        QCOMPARE(r.status, 413);
        QVERIFY(r.errorText().contains(u"64 KiB"_qs));
        // A far larger one is refused while it arrives, not kept in memory first.
        const HttpResult huge = m_http.send("POST", url(u"/login"_qs), QByteArray(4 * 1024 * 1024, ' '));
        QVERIFY2(huge.status == 413, qPrintable(u"status %1, error %2"_qs.arg(huge.status).arg(huge.error)));
        QCOMPARE(get(u"/me"_qs, m_verified).status, 200);
    }

    void verificationCodeIsVoidAfterFiveWrongOnes()
    {
        const QString token = registerUser(u"wendy"_qs);
        const QString code = m_service.latestCode(u"wendy@example.com"_qs);
        const QString wrong = code == u"000000" ? u"111111"_qs : u"000000"_qs;
        for (int i = 1; i <= 5; ++i) {
            const HttpResult r = post(u"/verify-email"_qs, {{u"code"_qs, wrong}}, bearer(token));
            QCOMPARE(r.status, 400);
            QVERIFY2(r.errorText().contains(u"Wrong code"_qs), qPrintable(r.errorText()));
        }
        HttpResult r = post(u"/verify-email"_qs, {{u"code"_qs, code}}, bearer(token));
        QCOMPARE(r.status, 400);
        QVERIFY(r.errorText().contains(u"ask for a new one"_qs));

        QCOMPARE(post(u"/resend-verification"_qs, {}, bearer(token)).status, 200);
        const QString fresh = m_service.latestCode(u"wendy@example.com"_qs);
        r = post(u"/verify-email"_qs, {{u"code"_qs, fresh}}, bearer(token));
        QCOMPARE(r.status, 200);
        QVERIFY(r.json.value(u"message"_qs).isString());
        QCOMPARE(get(u"/me"_qs, token).json[u"user"_qs][u"is_verified"_qs].toBool(), true);
        QCOMPARE(post(u"/resend-verification"_qs, {}, bearer(token)).status, 400);
    }

    void codeExpiresAfter15Minutes()
    {
        const QString token = registerUser(u"ezra"_qs);
        const QString code = m_service.latestCode(u"ezra@example.com"_qs);
        // Let the clock pass in the database: the code's expiry, set 15 minutes ahead, moves back
        // by 15 minutes and one second.
        m_service.stop();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"expiry"_qs);
            db.setDatabaseName(m_service.dataDir() + u"/quorl.db"_qs);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(
                q.exec(u"UPDATE users SET code_expires = code_expires - 901000 WHERE username = 'ezra'"_qs));
            QCOMPARE(q.numRowsAffected(), 1);
            db.close();
        }
        QSqlDatabase::removeDatabase(u"expiry"_qs);
        QVERIFY(m_service.start({u"--starting-balance"_qs, u"100"_qs}));
        const HttpResult r = post(u"/verify-email"_qs, {{u"code"_qs, code}}, bearer(token));
        QCOMPARE(r.status, 400);
        QVERIFY2(r.errorText().contains(u"expired"_qs), qPrintable(r.errorText()));
        QCOMPARE(post(u"/verify-email"_qs, {{u"code"_qs, code}}, bearer(token)).status, 400);
    }

    void outboxHoldsOneMessagePerCode()
    {
        QVERIFY(!registerUser(u"olga"_qs).isEmpty());
        const QString code = m_service.codeFromOutbox(u"olga@example.com"_qs);
        QVERIFY(QRegularExpression(u"^\\d{6}$"_qs).match(code).hasMatch());
        QCOMPARE(code, m_service.latestCode(u"olga@example.com"_qs));
    }

    void amountsStayExact()
    {
        const QString giver = verifiedUser(u"gina"_qs);
        const QString taker = verifiedUser(u"theo"_qs);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(sendQuorls(giver, u"theo"_qs, 0.1).status, 200);
        const HttpResult last = sendQuorls(giver, u"theo"_qs, 0.000001);
        QCOMPARE(last.status, 200);
        QCOMPARE(last.json[u"user"_qs][u"balance"_qs].toDouble(), 98.999999);
        QCOMPARE(last.json[u"transaction"_qs][u"amount"_qs].toDouble(), 0.000001);
        QCOMPARE(balanceMicros(taker), 101'000'001);
        // The whole balance can go, and then nothing more.
        QCOMPARE(sendQuorls(giver, u"theo"_qs, 98.999999).status, 200);
        QCOMPARE(balanceMicros(giver), 0);
        QCOMPARE(sendQuorls(giver, u"theo"_qs, 0.000001).status, 422);
    }

    void transactionsNewestFirstAndAtMost100()
    {
        const QString a = verifiedUser(u"lister"_qs);
        const QString b = verifiedUser(u"listee"_qs);
        for (int i = 0; i < 52; ++i) {
            QCOMPARE(sendQuorls(a, u"listee"_qs, 0.5).status, 200);
            QCOMPARE(sendQuorls(b, u"lister"_qs, 0.25).status, 200);
        }
        const QJsonArray list = get(u"/transactions"_qs, a).json[u"transactions"_qs].toArray();
        QCOMPARE(list.size(), 100);
        static const QRegularExpression iso(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"_qs);
        qint64 previous = std::numeric_limits<qint64>::max();
        for (const QJsonValue &v : list) {
            const QJsonObject t = v.toObject();
            QVERIFY(t[u"id"_qs].isString());
            QVERIFY(t[u"note"_qs].isString());
            QVERIFY(iso.match(t[u"created_at"_qs].toString()).hasMatch());
            const qint64 id = t[u"id"_qs].toString().toLongLong();
            QVERIFY(id < previous);
            previous = id;
        }
        QCOMPARE(list.first()[u"from_user"_qs].toString(), u"listee"_qs);
        QCOMPARE(list.first()[u"to_user"_qs].toString(), u"lister"_qs);
    }

    void search_data()
    {
        QTest::addColumn<QByteArray>("query"); // raw, as it appears after "q="
        QTest::addColumn<QStringList>("names");
        QTest::newRow("empty") << QByteArray("") << QStringList{};
        QTest::newRow("case-insensitive, ordered")
            << QByteArray("ER") << QStringList{u"lister"_qs, u"vera"_qs};
        QTest::newRow("underscore is no wildcard") << QByteArray("_") << QStringList{u"x_1"_qs};
        QTest::newRow("percent is no wildcard") << QByteArray("%2525") << QStringList{};
        QTest::newRow("escaped twice") << QByteArray("x%255F") << QStringList{u"x_1"_qs};
        QTest::newRow("nobody") << QByteArray("zzz") << QStringList{};
    }

    void search()
    {
        QFETCH(QByteArray, query);
        QFETCH(QStringList, names);
        QUrl u = url(u"/users/search"_qs);
        u.setQuery("q=" + query, QUrl::StrictMode);
        const HttpResult r = m_http.send("GET", u, {}, bearer(m_verified));
        QCOMPARE(r.status, 200);
        QStringList found;
        for (const QJsonValue &v : r.json[u"users"_qs].toArray()) {
            found << v[u"username"_qs].toString();
            QVERIFY(v[u"account_number"_qs].toString().size() == 10);
        }
        QCOMPARE(found, names);
    }

    void searchFindsAtMost20()
    {
        for (int i = 0; i < 22; ++i)
            QVERIFY(!registerUser(u"many%1"_qs.arg(i, 2, 10, QChar(u'0'))).isEmpty());
        QUrl u = url(u"/users/search"_qs);
        u.setQuery(u"q=MANY"_qs);
        const QJsonArray users = m_http.send("GET", u, {}, bearer(m_verified)).json[u"users"_qs].toArray();
        QCOMPARE(users.size(), 20);
        QCOMPARE(users.first()[u"username"_qs].toString(), u"many00"_qs);
        QCOMPARE(users.last()[u"username"_qs].toString(), u"many19"_qs);
    }

    void resetPasswordRevokesTokens()
    {
        const QString old = registerUser(u"rita"_qs, u"oldpass"_qs);
        const QString other =
            post(u"/login"_qs, {{u"username"_qs, u"rita"_qs}, {u"password"_qs, u"oldpass"_qs}})
                .json[u"token"_qs]
                .toString();
        QCOMPARE(get(u"/me"_qs, other).status, 200);
        QCOMPARE(post(u"/reset-password"_qs, {{u"username"_qs, u"nobody"_qs},
                                              {u"resetSecret"_qs, m_service.resetSecret()},
                                              {u"newPassword"_qs, u"newpass"_qs}})
                     .status,
                 404);
        const HttpResult r = post(u"/reset-password"_qs, {{u"username"_qs, u"RITA"_qs},
                                                          {u"resetSecret"_qs, m_service.resetSecret()},
                                                          {u"newPassword"_qs, u"newpass"_qs}});
        QCOMPARE(r.status, 200);
        QVERIFY(r.json[u"message"_qs].isString());
        QCOMPARE(get(u"/me"_qs, old).status, 401);
        QCOMPARE(get(u"/me"_qs, other).status, 401);
        QCOMPARE(post(u"/login"_qs, {{u"username"_qs, u"rita"_qs}, {u"password"_qs, u"oldpass"_qs}}).status,
                 401);
        QCOMPARE(post(u"/login"_qs, {{u"username"_qs, u"rita"_qs}, {u"password"_qs, u"newpass"_qs}}).status,
                 200);
    }

    void badBytesDoNotHarmIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("garbage") << QByteArray("\x01\x02 not http at all\r\n\r\n");
        QTest::newRow("bad request line") << QByteArray("GET\r\n\r\n");
        QTest::newRow("lying length")
            << QByteArray("POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: 99\r\n\r\n{}");
        QTest::newRow("invalid UTF-8")
            << QByteArray("POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n\r\n\"\xff\xfe\"");
        QTest::newRow("nested deep")
            << QByteArray("POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: 6000\r\n\r\n") +
                   QByteArray(6000, '[');
    }

    void badBytesDoNotHarmIt()
    {
        QFETCH(QByteArray, bytes);
        QSslSocket socket;
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + ServiceProcess::devCa());
        socket.setSslConfiguration(tls);
        socket.connectToHostEncrypted(u"localhost"_qs, m_service.port());
        QVERIFY(socket.waitForEncrypted(10000));
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
        socket.waitForReadyRead(500);
        socket.disconnectFromHost();
        QCOMPARE(get(u"/me"_qs, m_verified).status, 200);
    }
};

QTEST_GUILESS_MAIN(TestServiceHttp)
#include "tst_servicehttp.moc"
