// SPDX-License-Identifier: MIT
// quorl-service over HTTPS with raw requests: the error replies, the rules of codes, amounts, lists
// and search, inputs that must not harm it, and Idempotency-Key handling (also across a crash and
// under many transfers at once: money is never created, lost or moved twice).
#include "testsupport/HttpsClient.h"
#include "testsupport/ServiceProcess.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

#include <map>

class TestService : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    HttpsClient m_http;
    QString m_verified;   // token of "vera", verified, 100 ◆
    QString m_unverified; // token of "uma", not verified
    const QStringList m_arguments{u"--starting-balance"_qs, u"100"_qs};

    QUrl url(const QString &path) const { return QUrl(m_service.base().toString() + path); }
    static QByteArray json(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
    static QByteArray sendBody(const QString &to, double amount, const QString &note = {})
    {
        return json({{u"to"_qs, to}, {u"amount"_qs, amount}, {u"note"_qs, note}});
    }

    HttpResult post(const QString &path, const QByteArray &body, const Headers &headers = {})
    {
        return m_http.send("POST", url(path), body, headers);
    }
    HttpResult get(const QString &path, const QString &token)
    {
        return m_http.send("GET", url(path), {}, bearer(token));
    }
    HttpResult send(const QString &token, const QString &to, double amount, const QByteArray &key = {})
    {
        return post(u"/send"_qs, sendBody(to, amount), bearer(token, key));
    }
    HttpResult login(const QString &name, const QString &password)
    {
        return post(u"/login"_qs, json({{u"username"_qs, name}, {u"password"_qs, password}}));
    }

    QString registerUser(const QString &name, const QString &password = u"secret1"_qs)
    {
        const HttpResult r = post(u"/register"_qs, json({{u"username"_qs, name},
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
    QJsonArray transfers(const QString &token)
    {
        return get(u"/transactions"_qs, token).json[u"transactions"_qs].toArray();
    }
    // One statement on the service's database (beside the running service, or while it is stopped):
    // the first value of a query, or the number of rows changed.
    QVariant database(const QString &sql, const QVariantList &args = {})
    {
        QVariant result;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_qs, u"peek"_qs);
            db.setDatabaseName(m_service.dataDir() + u"/quorl.db"_qs);
            if (!db.open())
                return {};
            QSqlQuery q(db);
            q.prepare(sql);
            for (const QVariant &arg : args)
                q.addBindValue(arg);
            if (q.exec())
                result = q.isSelect() ? (q.next() ? q.value(0) : QVariant()) : QVariant(q.numRowsAffected());
        }
        QSqlDatabase::removeDatabase(u"peek"_qs);
        return result;
    }
    static bool connectTls(QSslSocket &socket, quint16 port)
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + ServiceProcess::devCa());
        socket.setSslConfiguration(tls);
        socket.connectToHostEncrypted(u"localhost"_qs, port);
        return socket.waitForEncrypted(5000);
    }
    QStringList search(const QByteArray &query)
    {
        QUrl u = url(u"/users/search"_qs);
        u.setQuery("q=" + query, QUrl::StrictMode);
        const HttpResult r = m_http.send("GET", u, {}, bearer(m_verified));
        if (r.status != 200)
            return {u"status %1"_qs.arg(r.status)};
        QStringList found;
        for (const QJsonValue &v : r.json[u"users"_qs].toArray()) {
            if (v[u"account_number"_qs].toString().size() == 10) // else the name is missing
                found << v[u"username"_qs].toString();
        }
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_service.start(m_arguments));
        m_verified = verifiedUser(u"vera"_qs);
        m_unverified = registerUser(u"uma"_qs);
        QVERIFY(!m_verified.isEmpty() && !m_unverified.isEmpty());
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
        row("short user name", "POST", "/register",
            R"({"username":"ab","email":"a@b.cd","password":"secret1"})", "", 400, "3 to 32 characters");
        row("e-mail with line break", "POST", "/register",
            R"({"username":"newbie","email":"a@b.cd\r\nBcc: x@y.zz","password":"secret1"})", "", 400,
            "e-mail");
        row("short password", "POST", "/register",
            R"({"username":"newbie","email":"a@b.cd","password":"12345"})", "", 400,
            "The password must have at least 6 characters.");
        row("taken, other case", "POST", "/register",
            R"({"username":"VERA","email":"a@b.cd","password":"secret1"})", "", 409,
            "The user name \"VERA\" is already taken.");
        row("wrong password", "POST", "/login", R"({"username":"vera","password":"secret2"})", "", 401,
            "Wrong user name or password.");
        row("unknown user", "POST", "/login", R"({"username":"nobody","password":"secret1"})", "", 401,
            "Wrong user name or password.");
        row("no token", "GET", "/me", "", "", 401, "Sign in first");
        row("unknown token", "GET", "/me", "", "bogus", 401,
            "The sign-in token is not valid (it may have been revoked). Please sign in again.");
        row("unverified sender", "POST", "/send", R"({"to":"vera","amount":1,"note":""})", "unverified", 403,
            "Verify your e-mail address before sending Quorls.");
        row("unknown recipient", "POST", "/send", R"({"to":"nobody","amount":1,"note":""})", "verified", 404,
            "There is no user named \"nobody\".");
        row("amount as text", "POST", "/send", R"({"to":"rex","amount":"5","note":""})", "verified", 400,
            "\"amount\" must be a number");
        row("amount too precise", "POST", "/send", R"({"to":"rex","amount":0.0000001,"note":""})", "verified",
            400, "The amount can have at most 6 decimal places.");
        row("note with line feed", "POST", "/send", R"({"to":"rex","amount":1,"note":"a\nb"})", "verified",
            400, "The note must not contain line breaks");
        row("over the balance", "POST", "/send", R"({"to":"rex","amount":100.000001,"note":""})", "verified",
            422, "Insufficient balance: you have 100 ◆.");
        row("to oneself", "POST", "/send", R"({"to":"Vera","amount":1,"note":""})", "verified", 400,
            "yourself");
        row("wrong reset secret", "POST", "/reset-password",
            R"({"username":"vera","resetSecret":"guess","newPassword":"secret9"})", "", 403,
            "The reset secret is wrong.");
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
        const HttpResult r =
            m_http.send(method, url(path), body, token.isEmpty() ? Headers{} : bearer(token));
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
        QCOMPARE(post(u"/login"_qs, body).status, 401);
        body += ' ';
        const HttpResult r = post(u"/login"_qs, body);
        QCOMPARE(r.status, 413);
        QCOMPARE(r.errorText(), u"The request body is larger than 64 KiB."_qs);
        // A far larger one is refused while it arrives, not kept in memory first.
        const HttpResult huge = post(u"/login"_qs, QByteArray(4 * 1024 * 1024, ' '));
        QVERIFY2(huge.status == 413, qPrintable(u"status %1, error %2"_qs.arg(huge.status).arg(huge.error)));
        QCOMPARE(get(u"/me"_qs, m_verified).status, 200);
    }

    void verificationCodeIsVoidAfterFiveWrongOnes()
    {
        const QString token = registerUser(u"wendy"_qs);
        const QString code = m_service.latestCode(u"wendy@example.com"_qs);
        // Kept only as an argon2id hash, like the password.
        const QString stored =
            database(u"SELECT code_hash FROM users WHERE username = 'wendy'"_qs).toString();
        QVERIFY2(stored.startsWith(u"$argon2id$"_qs) && !stored.contains(code), qPrintable(stored));
        const QString wrong = code == u"000000" ? u"111111"_qs : u"000000"_qs;
        QCOMPARE(verify(token, wrong), u"Wrong code; 4 more tries left."_qs);
        for (int i = 2; i <= 5; ++i)
            QVERIFY(verify(token, wrong).startsWith(u"Wrong code"_qs));
        QVERIFY(verify(token, code).contains(u"ask for a new one"_qs));
        QCOMPARE(post(u"/resend-verification"_qs, "{}", bearer(token)).status, 200);
        QCOMPARE(verify(token, m_service.latestCode(u"wendy@example.com"_qs)), QString());
        QCOMPARE(get(u"/me"_qs, token).json[u"user"_qs][u"is_verified"_qs].toBool(), true);
        QCOMPARE(post(u"/resend-verification"_qs, "{}", bearer(token)).status, 400);
    }

    void codeExpiresAfter15Minutes()
    {
        const QString token = registerUser(u"ezra"_qs);
        const QString code = m_service.latestCode(u"ezra@example.com"_qs);
        // Let the clock pass in the database: the code's expiry, set 15 minutes ahead, moves back
        // by 15 minutes and one second.
        m_service.stop();
        QCOMPARE(
            database(u"UPDATE users SET code_expires = code_expires - 901000 WHERE username = 'ezra'"_qs), 1);
        QVERIFY(m_service.start(m_arguments));
        const QString error = verify(token, code);
        QVERIFY2(error.contains(u"expired"_qs), qPrintable(error));
    }

    void tokensExpireAfter30Days()
    {
        const QString older = registerUser(u"tia"_qs);
        const QString newer = login(u"tia"_qs, u"secret1"_qs).json[u"token"_qs].toString();
        m_service.stop();
        const auto age = [this](const QString &token, qint64 days, qint64 ms) {
            const QByteArray hash = QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256);
            return database(u"UPDATE tokens SET created_at = created_at - ? WHERE token_hash = ?"_qs,
                            {days * 86'400'000 + ms, hash});
        };
        QCOMPARE(age(older, 30, 60'000), 1);
        QCOMPARE(age(newer, 29, 0), 1);
        QVERIFY(m_service.start(m_arguments));
        QCOMPARE(get(u"/me"_qs, older).status, 401);
        QCOMPARE(get(u"/me"_qs, newer).status, 200);
    }

    void amountsStayExact()
    {
        const QString giver = verifiedUser(u"gina"_qs);
        const QString taker = verifiedUser(u"theo"_qs);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(send(giver, u"theo"_qs, 0.1).status, 200);
        const HttpResult last = send(giver, u"theo"_qs, 0.000001);
        QCOMPARE(last.status, 200);
        QCOMPARE(last.json[u"user"_qs][u"balance"_qs].toDouble(), 98.999999);
        QCOMPARE(last.json[u"transaction"_qs][u"amount"_qs].toDouble(), 0.000001);
        QCOMPARE(balanceMicros(taker), 101'000'001);
        // The whole balance can go, and then nothing more.
        QCOMPARE(send(giver, u"theo"_qs, 98.999999).status, 200);
        QCOMPARE(balanceMicros(giver), 0);
        QCOMPARE(send(giver, u"theo"_qs, 0.000001).status, 422);
    }

    void transactionsNewestFirstAndAtMost100()
    {
        const QString a = verifiedUser(u"lister"_qs);
        const QString b = verifiedUser(u"listee"_qs);
        for (int i = 0; i < 52; ++i) {
            QCOMPARE(send(a, u"listee"_qs, 0.5).status, 200);
            QCOMPARE(send(b, u"lister"_qs, 0.25).status, 200);
        }
        const QJsonArray list = transfers(a);
        QCOMPARE(list.size(), 100);
        static const QRegularExpression iso(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"_qs);
        qint64 previous = std::numeric_limits<qint64>::max();
        for (const QJsonValue &v : list) {
            QVERIFY(v[u"id"_qs].isString() && v[u"note"_qs].isString());
            QVERIFY(iso.match(v[u"created_at"_qs].toString()).hasMatch());
            QVERIFY(v[u"id"_qs].toString().toLongLong() < previous);
            previous = v[u"id"_qs].toString().toLongLong();
        }
        QCOMPARE(list.first()[u"from_user"_qs].toString(), u"listee"_qs);
        QCOMPARE(list.first()[u"to_user"_qs].toString(), u"lister"_qs);
    }

    void search_data()
    {
        QTest::addColumn<QByteArray>("query"); // raw, as it appears after "q="
        QTest::addColumn<QStringList>("names");
        QTest::newRow("empty") << QByteArray("") << QStringList{};
        QTest::newRow("case-insensitive, ordered") << QByteArray("ER") << QStringList{"lister", "vera"};
        QTest::newRow("underscore is no wildcard") << QByteArray("_") << QStringList{u"x_1"_qs};
        QTest::newRow("percent is no wildcard") << QByteArray("%2525") << QStringList{};
    }

    void search()
    {
        QFETCH(QByteArray, query);
        QFETCH(QStringList, names);
        QCOMPARE(search(query), names);
    }

    void searchFindsAtMost20()
    {
        for (int i = 0; i < 22; ++i)
            QVERIFY(!registerUser(u"many%1"_qs.arg(i, 2, 10, QChar(u'0'))).isEmpty());
        const QStringList found = search("MANY");
        QCOMPARE(found.size(), 20);
        QCOMPARE(found.first(), u"many00"_qs);
        QCOMPARE(found.last(), u"many19"_qs);
    }

    void resetPasswordRevokesEveryToken()
    {
        const QString old = registerUser(u"rita"_qs, u"oldpass"_qs);
        const QString other = login(u"rita"_qs, u"oldpass"_qs).json[u"token"_qs].toString();
        QCOMPARE(get(u"/me"_qs, other).status, 200);
        const auto reset = [this](const QString &name) {
            return post(u"/reset-password"_qs, json({{u"username"_qs, name},
                                                     {u"resetSecret"_qs, m_service.resetSecret()},
                                                     {u"newPassword"_qs, u"newpass"_qs}}));
        };
        QCOMPARE(reset(u"nobody"_qs).status, 404);
        const HttpResult r = reset(u"RITA"_qs);
        QCOMPARE(r.status, 200);
        QVERIFY(r.json[u"message"_qs].isString());
        QCOMPARE(get(u"/me"_qs, old).status, 401);
        QCOMPARE(get(u"/me"_qs, other).status, 401);
        QCOMPARE(login(u"rita"_qs, u"oldpass"_qs).status, 401);
        QCOMPARE(login(u"rita"_qs, u"newpass"_qs).status, 200);
    }

    void badBytesDoNotHarmIt_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray head = "POST /api/login HTTP/1.1\r\nHost: x\r\nContent-Length: ";
        QTest::newRow("garbage") << QByteArray("\x01\x02 not http at all\r\n\r\n");
        QTest::newRow("lying length") << head + "99\r\n\r\n{}";
        QTest::newRow("invalid UTF-8") << head + "4\r\n\r\n\"\xff\xfe\"";
        QTest::newRow("nested deep") << head + "6000\r\n\r\n" + QByteArray(6000, '[');
    }

    void badBytesDoNotHarmIt()
    {
        QFETCH(QByteArray, bytes);
        QSslSocket socket;
        QVERIFY(connectTls(socket, m_service.port()));
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
        socket.waitForReadyRead(500);
        socket.disconnectFromHost();
        QCOMPARE(get(u"/me"_qs, m_verified).status, 200);
    }

    void idleAndSurplusConnectionsAreClosed()
    {
        ServiceProcess service;
        QVERIFY(service.start({u"--idle-timeout"_qs, u"3"_qs, u"--max-connections-per-address"_qs, u"4"_qs}));
        QSslSocket silent;
        QVERIFY(connectTls(silent, service.port()));
        QTcpSocket plain; // never starts TLS
        plain.connectToHost(u"localhost"_qs, service.port());
        QVERIFY(plain.waitForConnected(5000));
        QSslSocket trickling; // one header line after another, never the end of the request
        QVERIFY(connectTls(trickling, service.port()));
        trickling.write("GET /api/me HTTP/1.1\r\nHost: localhost\r\n");
        QTimer drip;
        connect(&drip, &QTimer::timeout, &trickling, [&trickling] { trickling.write("X-Drip: 1\r\n"); });
        drip.start(200);
        // Meanwhile the service answers others, on a fourth connection that it keeps open.
        QSslSocket answered;
        QVERIFY(connectTls(answered, service.port()));
        answered.write("GET /api/me HTTP/1.1\r\nHost: localhost\r\n\r\n");
        QVERIFY(answered.waitForReadyRead(5000));
        QVERIFY(answered.readAll().startsWith("HTTP/1.1 401 "));
        // A fifth is closed before its handshake.
        QSslSocket surplus;
        QVERIFY(!connectTls(surplus, service.port()));

        const auto closed = [](const QAbstractSocket &s) {
            return s.state() == QAbstractSocket::UnconnectedState;
        };
        QTRY_VERIFY_WITH_TIMEOUT(closed(silent) && closed(plain) && closed(trickling) && closed(answered),
                                 20000);
        // Closed connections give their places back (as soon as the service has seen them close),
        // and the count goes on.
        QSslSocket again[4];
        const auto reconnect = [&](QSslSocket &socket) {
            socket.abort();
            return connectTls(socket, service.port());
        };
        for (QSslSocket &socket : again)
            QVERIFY(QTest::qWaitFor([&] { return reconnect(socket); }, 5000));
        QVERIFY(!connectTls(surplus, service.port()));
    }

    void repeatGetsTheFirstReplyWithoutNewWork()
    {
        const QString ann = verifiedUser(u"ann"_qs);
        verifiedUser(u"ben"_qs);
        const QByteArray body = sendBody(u"ben"_qs, 7, u"once"_qs);
        const HttpResult first = post(u"/send"_qs, body, bearer(ann, "k-1"));
        QCOMPARE(first.status, 200);
        // Bare and quoted forms are the same key; other spacing of the same JSON is the same body.
        const HttpResult again = post(u"/send"_qs, body, bearer(ann, "\"k-1\""));
        QCOMPARE(again.status, 200);
        QCOMPARE(again.body, first.body);
        const QByteArray spaced = R"({ "note": "once", "amount": 7.0, "to": "ben" })";
        QCOMPARE(post(u"/send"_qs, spaced, bearer(ann, "k-1")).body, first.body);
        QCOMPARE(balanceMicros(ann), 93'000'000);
        QCOMPARE(transfers(ann).size(), 1);

        const HttpResult other = post(u"/send"_qs, sendBody(u"ben"_qs, 8, u"once"_qs), bearer(ann, "k-1"));
        QCOMPARE(other.status, 422);
        QVERIFY(other.errorText().contains(u"different request"_qs));
        QCOMPARE(balanceMicros(ann), 93'000'000);
    }

    void keysAreScopedByEndpointAndUser()
    {
        const QString cat = verifiedUser(u"cat"_qs);
        const QString dan = verifiedUser(u"dan"_qs);
        const HttpResult first = send(cat, u"dan"_qs, 1, "shared");
        QCOMPARE(first.status, 200);
        QCOMPARE(send(dan, u"cat"_qs, 1, "shared").status, 200);
        QCOMPARE(post(u"/resend-verification"_qs, "{}", bearer(cat, "shared")).status, 400);
        // Another session of the same user is the same caller.
        const QString again = login(u"cat"_qs, u"secret1"_qs).json[u"token"_qs].toString();
        QCOMPARE(send(again, u"dan"_qs, 1, "shared").body, first.body);
        QCOMPARE(balanceMicros(cat), 100'000'000);
        QCOMPARE(transfers(cat).size(), 2);
        // Reading ignores the header.
        QCOMPARE(m_http.send("GET", url(u"/me"_qs), {}, bearer(cat, "shared")).status, 200);
    }

    void errorRepliesAreRepeatedToo()
    {
        const QString eve = verifiedUser(u"eve"_qs);
        QCOMPARE(send(eve, u"fred"_qs, 1, "k-404").status, 404);
        verifiedUser(u"fred"_qs);
        QCOMPARE(send(eve, u"fred"_qs, 1, "k-404").status, 404);
        QCOMPARE(send(eve, u"fred"_qs, 1, "k-new").status, 200);
    }

    void unusableKeyIsRefused()
    {
        // Present but empty is not the same as absent (serverparts tables the key's other rules).
        const HttpResult r = send(m_verified, u"rex"_qs, 1, "");
        QCOMPARE(r.status, 400);
        QVERIFY(r.errorText().contains(u"Idempotency-Key"_qs));
    }

    void repeatedRegistrationGivesTheSameWorkingToken()
    {
        const QByteArray body = json({{u"username"_qs, u"hal"_qs},
                                      {u"email"_qs, u"hal@example.com"_qs},
                                      {u"password"_qs, u"secret1"_qs}});
        const Headers key{{"Idempotency-Key", "reg-hal"}};
        // Two at once on two connections: one does the work; the other is told to wait, or, if it
        // came late, gets the first reply.
        HttpsClient second;
        QNetworkReply *a = m_http.start("POST", url(u"/register"_qs), body, key);
        QNetworkReply *b = second.start("POST", url(u"/register"_qs), body, key);
        QVERIFY(HttpsClient::waitAll({a, b}));
        HttpResult ra = HttpsClient::result(a);
        HttpResult rb = HttpsClient::result(b);
        if (ra.status == 409)
            std::swap(ra, rb);
        QCOMPARE(ra.status, 200);
        qInfo("the second of two simultaneous registrations got %d", rb.status);
        if (rb.status == 409)
            QVERIFY(rb.errorText().contains(u"still being handled"_qs));
        else
            QCOMPARE(rb.body, ra.body);

        const HttpResult replay = post(u"/register"_qs, body, key);
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
        const HttpResult first = post(u"/send"_qs, body, bearer(ivy, "crash-key"));
        QCOMPARE(first.status, 200);
        m_service.kill();
        QVERIFY(m_service.start(m_arguments));
        const HttpResult again = post(u"/send"_qs, body, bearer(ivy, "crash-key"));
        QCOMPARE(again.status, 200);
        QCOMPARE(again.body, first.body);
        QCOMPARE(balanceMicros(ivy), 87'500'000);
    }

    void concurrentTransfersKeepTheSum()
    {
        const QStringList names{u"pay1"_qs, u"pay2"_qs, u"pay3"_qs, u"pay4"_qs};
        std::map<QString, QString> token;
        for (const QString &n : names)
            token[n] = verifiedUser(n);
        QRandomGenerator random(20261206);
        std::vector<std::unique_ptr<HttpsClient>> clients;
        for (int i = 0; i < 4; ++i)
            clients.push_back(std::make_unique<HttpsClient>());

        std::vector<std::pair<QNetworkReply *, QByteArray>> sent; // reply, key
        for (int i = 0; i < 80; ++i) {
            const QString from = names[random.bounded(4)];
            QString to = names[random.bounded(4)];
            if (to == from)
                to = names[(names.indexOf(from) + 1) % 4];
            // Some amounts are more than any balance can be: refused, never half done.
            const double amount =
                random.bounded(8) == 0 ? 500.0 + random.bounded(100) : (random.bounded(3000) + 1) / 100.0;
            const QByteArray key = i % 4 == 0 ? "key-" + QByteArray::number(i) : QByteArray();
            const QByteArray body = sendBody(to, amount, QString::fromLatin1(key.isEmpty() ? "plain" : key));
            for (int c = 0; c < (key.isEmpty() ? 1 : 3); ++c) {
                HttpsClient &client = *clients[(i + c) % clients.size()];
                sent.emplace_back(client.start("POST", url(u"/send"_qs), body, bearer(token[from], key)),
                                  key);
            }
        }
        QList<QNetworkReply *> replies;
        for (const auto &s : sent)
            replies << s.first;
        QVERIFY(HttpsClient::waitAll(replies));

        std::map<QByteArray, QList<QByteArray>> okBodies;
        std::map<int, int> statuses;
        for (const auto &[reply, key] : sent) {
            const HttpResult r = HttpsClient::result(reply);
            ++statuses[r.status];
            QVERIFY2(r.status == 200 || r.status == 422 || r.status == 409, r.body.constData());
            if (!key.isEmpty() && r.status == 200)
                okBodies[key] << r.body;
        }
        for (const auto &[key, bodies] : okBodies)
            QVERIFY2(bodies.count(bodies.first()) == bodies.size(), key.constData());
        qInfo("%zu requests: %d done, %d refused for the balance, %d told to wait", sent.size(),
              statuses[200], statuses[422], statuses[409]);

        qint64 sum = 0;
        std::map<QString, int> notes;
        for (const QString &n : names) {
            const qint64 balance = balanceMicros(token[n]);
            QVERIFY(balance >= 0);
            sum += balance;
            // Each balance is the start plus what the list says came in, minus what went out.
            qint64 expected = 100'000'000;
            for (const QJsonValue &v : transfers(token[n])) {
                const qint64 amount = qRound64(v[u"amount"_qs].toDouble() * 1e6);
                expected += v[u"to_user"_qs].toString() == n ? amount : -amount;
                if (v[u"from_user"_qs].toString() == n)
                    ++notes[v[u"note"_qs].toString()];
            }
            QCOMPARE(balance, expected);
        }
        QCOMPARE(sum, 4 * 100'000'000LL);
        for (const auto &[note, count] : notes)
            QVERIFY2(!note.startsWith(u"key-"_qs) || count == 1, qPrintable(note));
        for (const auto &[key, bodies] : okBodies)
            QCOMPARE(notes[QString::fromLatin1(key)], 1);
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
