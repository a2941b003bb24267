// SPDX-License-Identifier: MIT
// Status mapping, the one retry, time-outs, cancellation and unwritable bodies, against the fake.
#include "service/APIService.h"
#include "tests/support/Await.h"
#include "tests/support/FakeService.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>

using namespace std::chrono_literals;

namespace {

const QByteArray meJson =
    R"({"user":{"username":"ann","email":"a@example.com","account_number":"1","balance":5,"is_verified":true}})";
const QByteArray sendJson =
    R"({"user":{"username":"ann","email":"a@example.com","account_number":"1","balance":5,"is_verified":true},)"
    R"("transaction":{"id":"t","from_user":"ann","to_user":"bob","amount":1,"note":"","created_at":"2025-03-01T10:15:30.123Z"}})";

// Milliseconds since the test began at which each request arrived.
class Arrivals : public QObject
{
public:
    explicit Arrivals(FakeService &fake)
    {
        m_clock.start();
        connect(&fake, &FakeService::requestReceived, this, [this] { times.append(m_clock.elapsed()); });
    }
    QList<qint64> times;

private:
    QElapsedTimer m_clock;
};

} // namespace

class TestRequestExecution : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void errorStatusIsFinal_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::newRow("401 with error")
            << 401 << QByteArray(R"({"error":"Invalid credentials"})") << "Invalid credentials";
        QTest::newRow("empty error text") << 409 << QByteArray(R"({"error":""})") << "";
        QTest::newRow("500 empty body") << 500 << QByteArray() << "Request failed (500).";
        QTest::newRow("key Error") << 400 << QByteArray(R"({"Error":"x"})") << "Request failed (400).";
        QTest::newRow("error not a string") << 422 << QByteArray(R"({"error":5})") << "Request failed (422).";
        QTest::newRow("not JSON") << 404 << QByteArray("<html>nope</html>") << "Request failed (404).";
        QTest::newRow("snake key not converted")
            << 403 << QByteArray(R"({"_error":"x"})") << "Request failed (403).";
    }

    void errorStatusIsFinal()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        FakeService fake;
        fake.setFallback("POST", "/api/login", FakeReply::json(status, body));
        APIService service(fake.options(20ms));
        const auto error = errorAs<AppError>(failureOf(service.login("ann", "pw")));
        QVERIFY(error);
        QCOMPARE(error->description(), message);
        QTest::qWait(100); // longer than the pause: no second request comes
        QCOMPARE(fake.requests().size(), 1);
    }

    void retriedOnceThenSucceeds_data()
    {
        QTest::addColumn<FakeReply>("first");
        QTest::newRow("missing key") << FakeReply::json(200, R"({"usr":{}})");
        QTest::newRow("empty 200") << FakeReply::json(200, "");
        QTest::newRow("204") << FakeReply::json(204, "");
        QTest::newRow("3xx reaching us") << FakeReply::json(300, R"({"message":"choose"})");
        QTest::newRow("cut off body")
            << FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"user\"");
    }

    void retriedOnceThenSucceeds()
    {
        QFETCH(FakeReply, first);
        FakeService fake;
        fake.enqueue("GET", "/api/me", first);
        fake.setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        Arrivals arrivals(fake);
        APIService service(fake.options(300ms));
        const std::exception_ptr error = failureOf(service.me("tok"));
        QVERIFY2(!error, qPrintable(describe(error)));
        QCOMPARE(arrivals.times.size(), 2);
        QVERIFY2(arrivals.times[1] - arrivals.times[0] >= 300,
                 qPrintable(QString::number(arrivals.times[1])));
        QCOMPARE(fake.requests()[0].header("authorization"), fake.requests()[1].header("authorization"));
    }

    void secondFailureIsReported()
    {
        FakeService fake;
        fake.enqueue("GET", "/api/me", FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n{"));
        fake.enqueue("GET", "/api/me", FakeReply::json(200, R"({"user":{"username":"ann"}})"));
        APIService service(fake.options(20ms));
        const auto error = errorAs<DecodingError>(failureOf(service.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->kind(), DecodingError::Kind::KeyNotFound);
        QCOMPARE(error->codingPath(), QString("user.email"));
        QTest::qWait(100);
        QCOMPARE(fake.requests().size(), 2);

        // An AppError on the second attempt ends it too, with the service's text.
        fake.clear();
        fake.enqueue("GET", "/api/me", FakeReply::json(200, "{}"));
        fake.enqueue("GET", "/api/me", FakeReply::json(503, R"({"error":"Down for maintenance"})"));
        const auto appError = errorAs<AppError>(failureOf(service.me("tok")));
        QVERIFY(appError);
        QCOMPARE(appError->message(), QString("Down for maintenance"));
    }

    void postRetrySendsSameIdempotencyKey()
    {
        FakeService fake;
        fake.enqueue("POST", "/api/send",
                     FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n{"));
        fake.setFallback("POST", "/api/send", FakeReply::json(200, sendJson));
        APIService service(fake.options(20ms));
        QVERIFY(!failureOf(service.send("bob", 5, "", "tok")));
        QCOMPARE(fake.requests().size(), 2);
        const QByteArray key = fake.requests()[0].header("idempotency-key");
        QVERIFY(!key.isEmpty());
        QCOMPARE(fake.requests()[1].header("idempotency-key"), key);
        QCOMPARE(fake.requests()[1].body, fake.requests()[0].body);

        // A new call is a new operation with a key of its own.
        QVERIFY(!failureOf(service.send("bob", 5, "", "tok")));
        QVERIFY(fake.requests()[2].header("idempotency-key") != key);
    }

    void droppedConnectionsShareOneKey()
    {
        // Qt itself sends a request again when the connection closes before any reply byte, so the
        // service may see a POST more than twice; every copy carries the operation's one key.
        FakeService fake;
        fake.setFallback("POST", "/api/send", FakeReply::drop());
        Arrivals arrivals(fake);
        APIService service(fake.options(300ms));
        const auto error = errorAs<TransportError>(failureOf(service.send("bob", 5, "", "tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::RemoteHostClosedError);
        const QList<RecordedRequest> requests = fake.requests();
        QVERIFY(requests.size() >= 2);
        for (const RecordedRequest &request : requests)
            QCOMPARE(request.header("idempotency-key"), requests[0].header("idempotency-key"));
        qint64 longestGap = 0;
        for (qsizetype i = 1; i < arrivals.times.size(); ++i)
            longestGap = std::max(longestGap, arrivals.times[i] - arrivals.times[i - 1]);
        QVERIFY(longestGap >= 300); // our own retry, after the pause
    }

    void unreachableServiceFailsAfterSecondAttempt()
    {
        quint16 port;
        {
            FakeService closed; // a port that was just free
            port = closed.port();
        }
        APIService::Options options = FakeService().options(300ms);
        options.base.setPort(port);
        APIService service(options);
        QElapsedTimer clock;
        clock.start();
        const auto error = errorAs<TransportError>(failureOf(service.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::ConnectionRefusedError);
        QVERIFY(clock.elapsed() >= 300);
    }

    void realPauseIsTwoSeconds()
    {
        FakeService fake;
        fake.enqueue("GET", "/api/transactions", FakeReply::json(200, R"({"transactions":null})"));
        fake.setFallback("GET", "/api/transactions", FakeReply::json(200, R"({"transactions":[]})"));
        Arrivals arrivals(fake);
        APIService::Options options = fake.options();
        options.retryPause = APIService::Options().retryPause; // the built-in 2 seconds
        APIService service(options);
        QVERIFY(!failureOf(service.transactions("tok")));
        QCOMPARE(arrivals.times.size(), 2);
        QVERIFY2(arrivals.times[1] - arrivals.times[0] >= 2000,
                 qPrintable(QString::number(arrivals.times[1])));
    }

    void timeouts()
    {
        FakeService fake;
        fake.setFallback("GET", "/api/me", FakeReply::silence());
        APIService::Options options = fake.options(20ms);
        options.requestTimeout = 300ms; // nothing moves for this long
        APIService inactive(options);
        auto error = errorAs<TransportError>(failureOf(inactive.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::TimeoutError);
        QCOMPARE(fake.requests().size(), 2); // a time-out is a transport failure: retried once

        fake.clear();
        fake.setFallback("GET", "/api/me", FakeReply::json(200, meJson).after(1500ms));
        options.requestTimeout = 60s;
        options.exchangeTimeout = 300ms; // the whole attempt may take no longer
        APIService slow(options);
        QElapsedTimer clock;
        clock.start();
        error = errorAs<TransportError>(failureOf(slow.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->description(), QString("The request timed out."));
        QVERIFY(clock.elapsed() < 1500);
    }

    void cancelDuringFirstAttempt()
    {
        FakeService fake;
        fake.setFallback("POST", "/api/send", FakeReply::silence());
        APIService service(fake.options(20ms));
        CancelSource source;
        connect(&fake, &FakeService::requestReceived, this, [&source] { source.cancel(); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(errorAs<CancellationError>(failureOf(service.send("bob", 1, "", "tok", source.token()))));
        QVERIFY(clock.elapsed() < 5000);
        QTest::qWait(200);
        QCOMPARE(fake.requests().size(), 1);
    }

    void cancelDuringPause()
    {
        FakeService fake;
        fake.setFallback("GET", "/api/me", FakeReply::json(200, "{}"));
        APIService service(fake.options(10s));
        CancelSource source;
        connect(&fake, &FakeService::requestReceived, this,
                [&source] { QTimer::singleShot(200ms, [&source] { source.cancel(); }); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(errorAs<CancellationError>(failureOf(service.me("tok", source.token()))));
        QVERIFY(clock.elapsed() < 3000);
        QCOMPARE(fake.requests().size(), 1);
    }

    void cancelledBeforeStartSendsNothing()
    {
        FakeService fake;
        APIService service(fake.options());
        CancelSource source;
        source.cancel();
        QVERIFY(errorAs<CancellationError>(failureOf(service.me("tok", source.token()))));
        QTest::qWait(50);
        QCOMPARE(fake.requests().size(), 0);
    }

    void nonFiniteAmountIsNeverSent_data()
    {
        QTest::addColumn<double>("amount");
        QTest::newRow("inf") << std::numeric_limits<double>::infinity();
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity();
        QTest::newRow("nan") << std::nan("");
    }

    void nonFiniteAmountIsNeverSent()
    {
        QFETCH(double, amount);
        FakeService fake;
        fake.setFallback("POST", "/api/send", FakeReply::json(200, sendJson));
        APIService service(fake.options(20ms));
        const auto error = errorAs<EncodingError>(failureOf(service.send("bob", amount, "", "tok")));
        QVERIFY(error);
        QVERIFY(!error->description().isEmpty());
        QTest::qWait(100);
        QCOMPARE(fake.requests().size(), 0);
    }

    // A stored token is sent as a header line: a line break in it would add headers of its own.
    void tokenThatWouldBreakTheHeaderIsNeverSent_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("CR LF") << QStringLiteral("tok\r\nX-Forged: 1");
        QTest::newRow("LF") << QStringLiteral("tok\nX-Forged: 1");
        QTest::newRow("NUL") << QStringLiteral("tok") + QChar(0) + QStringLiteral("x");
        QTest::newRow("DEL") << QStringLiteral("tok\x7f");
    }

    void tokenThatWouldBreakTheHeaderIsNeverSent()
    {
        QFETCH(QString, token);
        FakeService fake;
        fake.setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        APIService service(fake.options(20ms));
        QVERIFY(errorAs<EncodingError>(failureOf(service.me(token))));
        QVERIFY(errorAs<EncodingError>(failureOf(service.send("bob", 1, "", token))));
        QTest::qWait(100);
        QCOMPARE(fake.requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRequestExecution)
#include "tst_requestexecution.moc"
