// SPDX-License-Identifier: MIT
// Idempotency-Key handling of quorl-service, and many transfers at once: money is never created,
// lost or moved twice.
#include "support/HttpsClient.h"
#include "support/ServiceProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

#include <map>

class TestServiceIdempotency : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    HttpsClient m_http;

    QUrl url(const QString &path) const { return QUrl(m_service.base().toString() + path); }
    static QByteArray json(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }
    static QByteArray sendBody(const QString &to, double amount, const QString &note)
    {
        return json({{u"to"_qs, to}, {u"amount"_qs, amount}, {u"note"_qs, note}});
    }

    QString verifiedUser(const QString &name)
    {
        const HttpResult r = m_http.send("POST", url(u"/register"_qs),
                                         json({{u"username"_qs, name},
                                               {u"email"_qs, name + u"@example.com"_qs},
                                               {u"password"_qs, u"secret1"_qs}}));
        const QString token = r.json[u"token"_qs].toString();
        const QString code = m_service.latestCode(name + u"@example.com"_qs);
        m_http.send("POST", url(u"/verify-email"_qs), json({{u"code"_qs, code}}), bearer(token));
        return token;
    }
    qint64 balanceMicros(const QString &token)
    {
        const HttpResult r = m_http.send("GET", url(u"/me"_qs), {}, bearer(token));
        return qRound64(r.json[u"user"_qs][u"balance"_qs].toDouble() * 1e6);
    }
    QJsonArray transfers(const QString &token)
    {
        return m_http.send("GET", url(u"/transactions"_qs), {}, bearer(token))
            .json[u"transactions"_qs]
            .toArray();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_service.start()); }

    void repeatGetsTheFirstReplyWithoutNewWork()
    {
        const QString ann = verifiedUser(u"ann"_qs);
        verifiedUser(u"ben"_qs);
        const QByteArray body = sendBody(u"ben"_qs, 7, u"once"_qs);
        const HttpResult first = m_http.send("POST", url(u"/send"_qs), body, bearer(ann, "k-1"));
        QCOMPARE(first.status, 200);
        // Bare and quoted forms are the same key; other spacing of the same JSON is the same body.
        const HttpResult again = m_http.send("POST", url(u"/send"_qs), body, bearer(ann, "\"k-1\""));
        QCOMPARE(again.status, 200);
        QCOMPARE(again.body, first.body);
        const QByteArray spaced = R"({ "note": "once", "amount": 7.0, "to": "ben" })";
        QCOMPARE(m_http.send("POST", url(u"/send"_qs), spaced, bearer(ann, "k-1")).body, first.body);
        QCOMPARE(balanceMicros(ann), 993'000'000);
        QCOMPARE(transfers(ann).size(), 1);

        const HttpResult other =
            m_http.send("POST", url(u"/send"_qs), sendBody(u"ben"_qs, 8, u"once"_qs), bearer(ann, "k-1"));
        QCOMPARE(other.status, 422);
        QVERIFY(other.errorText().contains(u"different request"_qs));
        QCOMPARE(balanceMicros(ann), 993'000'000);
    }

    void keysAreScopedByEndpointAndToken()
    {
        const QString cat = verifiedUser(u"cat"_qs);
        const QString dan = verifiedUser(u"dan"_qs);
        QCOMPARE(
            m_http.send("POST", url(u"/send"_qs), sendBody(u"dan"_qs, 1, {}), bearer(cat, "shared")).status,
            200);
        QCOMPARE(
            m_http.send("POST", url(u"/send"_qs), sendBody(u"cat"_qs, 1, {}), bearer(dan, "shared")).status,
            200);
        QCOMPARE(m_http.send("POST", url(u"/resend-verification"_qs), "{}", bearer(cat, "shared")).status,
                 400);
        QCOMPARE(balanceMicros(cat), 1000'000'000);
        QCOMPARE(transfers(cat).size(), 2);
        // Reading ignores the header.
        QCOMPARE(m_http.send("GET", url(u"/me"_qs), {}, bearer(cat, "shared")).status, 200);
    }

    void errorRepliesAreRepeatedToo()
    {
        const QString eve = verifiedUser(u"eve"_qs);
        const QByteArray body = sendBody(u"fred"_qs, 1, {});
        QCOMPARE(m_http.send("POST", url(u"/send"_qs), body, bearer(eve, "k-404")).status, 404);
        verifiedUser(u"fred"_qs);
        QCOMPARE(m_http.send("POST", url(u"/send"_qs), body, bearer(eve, "k-404")).status, 404);
        QCOMPARE(m_http.send("POST", url(u"/send"_qs), body, bearer(eve, "k-new")).status, 200);
    }

    void unusableKeyIsRefused_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("empty quotes") << QByteArray("\"\"");
        QTest::newRow("too long") << QByteArray(256, 'k');
        QTest::newRow("inner space") << QByteArray("a b");
    }

    void unusableKeyIsRefused()
    {
        QFETCH(QByteArray, key);
        static const QString gus = verifiedUser(u"gus"_qs);
        const HttpResult r =
            m_http.send("POST", url(u"/send"_qs), sendBody(u"ann"_qs, 1, {}), bearer(gus, key));
        QCOMPARE(r.status, 400);
        QVERIFY(r.errorText().contains(u"Idempotency-Key"_qs));
    }

    void repeatedRegistrationGivesTheSameWorkingToken()
    {
        const QByteArray body = json({{u"username"_qs, u"hal"_qs},
                                      {u"email"_qs, u"hal@example.com"_qs},
                                      {u"password"_qs, u"secret1"_qs}});
        // Two at once on two connections: one does the work; the other is told to wait, or, if it
        // came late, gets the first reply.
        HttpsClient second;
        QNetworkReply *a = m_http.start("POST", url(u"/register"_qs), body, {{"Idempotency-Key", "reg-hal"}});
        QNetworkReply *b = second.start("POST", url(u"/register"_qs), body, {{"Idempotency-Key", "reg-hal"}});
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

        const HttpResult replay =
            m_http.send("POST", url(u"/register"_qs), body, {{"Idempotency-Key", "reg-hal"}});
        QCOMPARE(replay.status, 200);
        QCOMPARE(replay.body, ra.body);
        const QString token = replay.json[u"token"_qs].toString();
        QCOMPARE(m_http.send("GET", url(u"/me"_qs), {}, bearer(token)).status, 200);
        QCOMPARE(m_service.output().count(u"mail to hal@example.com"_qs), 1);
    }

    void replyOutlivesACrash()
    {
        const QString ivy = verifiedUser(u"ivy"_qs);
        verifiedUser(u"jay"_qs);
        const QByteArray body = sendBody(u"jay"_qs, 12.5, u"before the crash"_qs);
        const HttpResult first = m_http.send("POST", url(u"/send"_qs), body, bearer(ivy, "crash-key"));
        QCOMPARE(first.status, 200);
        m_service.kill();
        QVERIFY(m_service.start());
        const HttpResult again = m_http.send("POST", url(u"/send"_qs), body, bearer(ivy, "crash-key"));
        QCOMPARE(again.status, 200);
        QCOMPARE(again.body, first.body);
        QCOMPARE(balanceMicros(ivy), 987'500'000);
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

        struct Sent
        {
            QNetworkReply *reply;
            QByteArray key;
        };
        std::vector<Sent> sent;
        for (int i = 0; i < 80; ++i) {
            const QString from = names[random.bounded(4)];
            QString to = names[random.bounded(4)];
            if (to == from)
                to = names[(names.indexOf(from) + 1) % 4];
            // Some amounts are more than any balance can be: refused, never half done.
            const double amount =
                random.bounded(8) == 0 ? 900.0 + random.bounded(200) : (random.bounded(30000) + 1) / 100.0;
            const QByteArray key = i % 4 == 0 ? "key-" + QByteArray::number(i) : QByteArray();
            const QByteArray body = sendBody(to, amount, QString::fromLatin1(key.isEmpty() ? "plain" : key));
            const int copies = key.isEmpty() ? 1 : 3;
            for (int c = 0; c < copies; ++c) {
                HttpsClient &client = *clients[(i + c) % clients.size()];
                sent.push_back({client.start("POST", url(u"/send"_qs), body, bearer(token[from], key)), key});
            }
        }
        QList<QNetworkReply *> replies;
        for (const Sent &s : sent)
            replies << s.reply;
        QVERIFY(HttpsClient::waitAll(replies));

        std::map<QByteArray, QList<QByteArray>> okBodies;
        std::map<int, int> statuses;
        for (const Sent &s : sent) {
            const HttpResult r = HttpsClient::result(s.reply);
            ++statuses[r.status];
            QVERIFY2(r.status == 200 || r.status == 422 || r.status == 409, r.body.constData());
            if (!s.key.isEmpty() && r.status == 200)
                okBodies[s.key] << r.body;
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
            qint64 expected = 1000'000'000;
            for (const QJsonValue &v : transfers(token[n])) {
                const qint64 amount = qRound64(v[u"amount"_qs].toDouble() * 1e6);
                expected += v[u"to_user"_qs].toString() == n ? amount : -amount;
                if (v[u"from_user"_qs].toString() == n)
                    ++notes[v[u"note"_qs].toString()];
            }
            QCOMPARE(balance, expected);
        }
        QCOMPARE(sum, 4 * 1000'000'000LL);
        for (const auto &[note, count] : notes) {
            if (note.startsWith(u"key-"_qs))
                QVERIFY2(count == 1, qPrintable(note));
        }
        for (const auto &[key, bodies] : okBodies)
            QCOMPARE(notes[QString::fromLatin1(key)], 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceIdempotency)
#include "tst_serviceidempotency.moc"
