// SPDX-License-Identifier: MIT
// The service client over real TLS against the fake: requests as they reach the service (methods,
// paths, headers, bodies, the search escaping) and how they are carried out: status mapping, the
// one retry, time-outs, cancellation and unwritable requests.
#include "service/APIService.h"
#include "service/BuildConfig.h"
#include "tests/support/Await.h"
#include "tests/support/FakeService.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>
#include <optional>

using namespace std::chrono_literals;

namespace {

const QByteArray userJson =
    R"({"username":"ann","email":"ann@example.com","account_number":"QB-0001","balance":100,"is_verified":true})";
const QByteArray transactionJson =
    R"({"id":"t1","from_user":"ann","to_user":"bob","amount":12.5,"note":"","created_at":"2025-03-01T10:15:30.123Z"})";
const QByteArray meJson = R"({"user":)" + userJson + "}";
const QByteArray authJson = R"({"token":"tok","user":)" + userJson + "}";
const QByteArray sendJson = R"({"user":)" + userJson + R"(,"transaction":)" + transactionJson + "}";

// Runs the operation of that name with fixed arguments (token "tok").
QCoro::Task<void> run(APIService &s, QString operation)
{
    if (operation == u"registerUser")
        co_await s.registerUser(u"ann"_qs, u"ann@example.com"_qs, u"pw"_qs);
    else if (operation == u"login")
        co_await s.login(u"ann"_qs, QString());
    else if (operation == u"verifyEmail")
        co_await s.verifyEmail(u"012345"_qs, u"tok"_qs);
    else if (operation == u"resendVerification")
        co_await s.resendVerification(u"tok"_qs);
    else if (operation == u"me")
        co_await s.me(u"tok"_qs);
    else if (operation == u"send")
        co_await s.send(u"bob"_qs, 12.5, QString(), u"tok"_qs);
    else if (operation == u"transactions")
        co_await s.transactions(u"tok"_qs);
    else if (operation == u"searchUsers")
        co_await s.searchUsers(u"ann"_qs, u"tok"_qs);
    else
        co_await s.resetPassword(u"ann"_qs, u"secret"_qs, u"new"_qs);
}

int headerCount(const RecordedRequest &request, const QByteArray &name)
{
    int count = 0;
    for (const auto &[key, value] : request.rawHeaders)
        count += key.compare(name, Qt::CaseInsensitive) == 0;
    return count;
}

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

class TestApiService : public QObject
{
    Q_OBJECT
    std::optional<FakeService> m_fake; // a fresh one for each test (and each row)
    FakeService &fake() { return *m_fake; }

private Q_SLOTS:
    void init() { m_fake.emplace(); }
    void cleanup() { m_fake.reset(); }

    void requestShape_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("hasToken");
        QTest::addColumn<QStringList>("bodyKeys"); // empty for GET
        const auto row = [](const char *name, const char *method, const char *path, const QByteArray &reply,
                            bool hasToken, const QStringList &keys) {
            QTest::newRow(name) << QByteArray(method) << QString::fromLatin1(path) << reply << hasToken
                                << keys;
        };
        const QByteArray message = R"({"message":"ok"})";
        row("registerUser", "POST", "/api/register", authJson, false, {"username", "email", "password"});
        row("login", "POST", "/api/login", authJson, false, {"username", "password"});
        row("verifyEmail", "POST", "/api/verify-email", message, true, {"code"});
        row("resendVerification", "POST", "/api/resend-verification", message, true, {});
        row("me", "GET", "/api/me", meJson, true, {});
        row("send", "POST", "/api/send", sendJson, true, {"to", "amount", "note"});
        row("transactions", "GET", "/api/transactions", R"({"transactions":[]})", true, {});
        row("searchUsers", "GET", "/api/users/search", R"({"users":[]})", true, {});
        row("resetPassword", "POST", "/api/reset-password", message, false,
            {"username", "resetSecret", "newPassword"});
    }

    void requestShape()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, reply);
        QFETCH(bool, hasToken);
        QFETCH(QStringList, bodyKeys);
        fake().enqueue(method, path, FakeReply::json(200, reply));
        APIService service(fake().options());
        const std::exception_ptr error =
            failureOf(run(service, QString::fromLatin1(QTest::currentDataTag())));
        QVERIFY2(!error, qPrintable(describe(error)));

        QCOMPARE(fake().requests().size(), 1);
        const RecordedRequest request = fake().requests().first();
        QCOMPARE(request.method, method);
        QCOMPARE(request.path, path);
        QCOMPARE(headerCount(request, "Authorization"), hasToken ? 1 : 0);
        QVERIFY(!hasToken || request.header("authorization") == "Bearer tok");
        const bool isPost = method == "POST";
        QCOMPARE(headerCount(request, "Content-Type"), isPost ? 1 : 0);
        QCOMPARE(headerCount(request, "Idempotency-Key"), isPost ? 1 : 0);
        if (!isPost) {
            QVERIFY(request.body.isEmpty());
            return;
        }
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
        static const QRegularExpression uuidV4(
            R"(^"[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"$)");
        QVERIFY2(uuidV4.match(QString::fromLatin1(request.header("idempotency-key"))).hasMatch(),
                 request.header("idempotency-key").constData());
        QStringList keys = request.json().keys();
        keys.sort();
        bodyKeys.sort();
        QCOMPARE(keys, bodyKeys);
        QVERIFY(!request.body.contains('\n'));
    }

    void bodyValues()
    {
        fake().setFallback("POST", "/api/verify-email", FakeReply::json(200, R"({"message":"ok"})"));
        fake().setFallback("POST", "/api/send", FakeReply::json(200, sendJson));
        fake().setFallback("POST", "/api/login", FakeReply::json(200, authJson));
        APIService service(fake().options());

        QVERIFY(!failureOf(service.verifyEmail("012345", "tok")));
        QCOMPARE(fake().requests().last().json().value("code"), QJsonValue(u"012345"_qs)); // a string
        QVERIFY(!failureOf(service.send("bob", 12.5, "for lunch", "tok")));
        const QJsonObject send = fake().requests().last().json();
        QCOMPARE(send.value("amount"), QJsonValue(12.5)); // a number
        QCOMPARE(send.value("to").toString(), u"bob"_qs);
        QCOMPARE(send.value("note").toString(), u"for lunch"_qs);
        QVERIFY(!failureOf(service.login("ann", "")));
        QCOMPARE(fake().requests().last().json().value("password"), QJsonValue(QString()));

        // The process-wide instance: one, at the built-in address.
        QCOMPARE(APIService::shared().base(), QUrl(QString::fromUtf8(BuildConfig::apiBase)));
        QCOMPARE(&APIService::shared(), &APIService::shared());
    }

    void searchEscaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("percent") << "50%" << QByteArray("q=50%2525");
        QTest::newRow("non-ascii") << QString::fromUtf8("zoë") << QByteArray("q=zo%25C3%25AB");
        QTest::newRow("query separators") << "a&b=c+d" << QByteArray("q=a%26b%3Dc%2Bd");
        QTest::newRow("kept as is") << "x/y?z:@!$'()*,;" << QByteArray("q=x/y?z:@!$'()*,;");
        QTest::newRow("empty") << "" << QByteArray("q=");
    }

    void searchEscaping()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, query);
        fake().setFallback("GET", "/api/users/search", FakeReply::json(200, R"({"users":[]})"));
        APIService service(fake().options());
        QVERIFY(!failureOf(service.searchUsers(text, "tok")));
        QCOMPARE(fake().requests().size(), 1);
        QCOMPARE(fake().requests().first().path, u"/api/users/search"_qs);
        QCOMPARE(fake().requests().first().query, query);
    }

    // A reply of several megabytes is taken from the connection in pieces as it arrives; it must
    // come out whole and in order, whether its length is announced or only its end tells.
    void longReplyArrivesWhole_data()
    {
        QTest::addColumn<bool>("announced");
        QTest::newRow("Content-Length") << true;
        QTest::newRow("until the connection closes") << false;
    }

    void longReplyArrivesWhole()
    {
        QFETCH(bool, announced);
        constexpr int count = 20000;
        QByteArray body = R"({"transactions":[)";
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                body += ',';
            body += QByteArray(transactionJson).replace("\"t1\"", "\"t" + QByteArray::number(i) + '"');
        }
        body += "]}";
        QVERIFY(body.size() > 2 * 1024 * 1024);
        fake().enqueue("GET", "/api/transactions",
                       announced ? FakeReply::json(200, body)
                                 : FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                                       "Connection: close\r\n\r\n" +
                                                       body));
        APIService service(fake().options());
        const QList<APITransaction> list = awaitTask(service.transactions("tok"));
        QCOMPARE(list.size(), count);
        for (int i : {0, 1, count / 2, count - 1})
            QCOMPARE(list[i].id, QStringLiteral("t%1").arg(i));
    }

    void errorStatusIsFinal_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        const QString fallback = u"Request failed (%1)."_qs;
        QTest::newRow("401 with error")
            << 401 << QByteArray(R"({"error":"Invalid credentials"})") << "Invalid credentials";
        QTest::newRow("empty error text") << 409 << QByteArray(R"({"error":""})") << "";
        QTest::newRow("500 empty body") << 500 << QByteArray() << fallback.arg(500);
    }

    void errorStatusIsFinal()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        fake().setFallback("POST", "/api/login", FakeReply::json(status, body));
        APIService service(fake().options(20ms));
        const auto error = errorAs<AppError>(failureOf(service.login("ann", "pw")));
        QVERIFY(error);
        QCOMPARE(error->description(), message);
        QTest::qWait(100); // longer than the pause: no second request comes
        QCOMPARE(fake().requests().size(), 1);
    }

    void retriedOnceThenSucceeds_data()
    {
        QTest::addColumn<FakeReply>("first");
        QTest::newRow("missing key") << FakeReply::json(200, R"({"usr":{}})");
        QTest::newRow("204") << FakeReply::json(204, "");
        QTest::newRow("3xx reaching us") << FakeReply::json(300, R"({"message":"choose"})");
        QTest::newRow("cut off body")
            << FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"user\"");
    }

    void retriedOnceThenSucceeds()
    {
        QFETCH(FakeReply, first);
        fake().enqueue("GET", "/api/me", first);
        fake().setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        Arrivals arrivals(fake());
        APIService service(fake().options(300ms));
        const std::exception_ptr error = failureOf(service.me("tok"));
        QVERIFY2(!error, qPrintable(describe(error)));
        QCOMPARE(arrivals.times.size(), 2);
        QVERIFY2(arrivals.times[1] - arrivals.times[0] >= 300,
                 qPrintable(QString::number(arrivals.times[1])));
        QCOMPARE(fake().requests()[0].header("authorization"), fake().requests()[1].header("authorization"));
    }

    void secondFailureIsReported()
    {
        fake().enqueue("GET", "/api/me",
                       FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n{"));
        fake().enqueue("GET", "/api/me", FakeReply::json(200, R"({"user":{"username":"ann"}})"));
        APIService service(fake().options(20ms));
        const auto error = errorAs<DecodingError>(failureOf(service.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->kind(), DecodingError::Kind::KeyNotFound);
        QCOMPARE(error->codingPath(), u"user.email"_qs);
        QTest::qWait(100);
        QCOMPARE(fake().requests().size(), 2);

        // An AppError on the second attempt ends it too, with the service's text.
        fake().clear();
        fake().enqueue("GET", "/api/me", FakeReply::json(200, "{}"));
        fake().enqueue("GET", "/api/me", FakeReply::json(503, R"({"error":"Down for maintenance"})"));
        const auto appError = errorAs<AppError>(failureOf(service.me("tok")));
        QVERIFY(appError);
        QCOMPARE(appError->message(), u"Down for maintenance"_qs);
    }

    void postRetrySendsSameIdempotencyKey()
    {
        fake().enqueue("POST", "/api/send",
                       FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n{"));
        fake().setFallback("POST", "/api/send", FakeReply::json(200, sendJson));
        APIService service(fake().options(20ms));
        QVERIFY(!failureOf(service.send("bob", 5, "", "tok")));
        QCOMPARE(fake().requests().size(), 2);
        const QByteArray key = fake().requests()[0].header("idempotency-key");
        QVERIFY(!key.isEmpty());
        QCOMPARE(fake().requests()[1].header("idempotency-key"), key);
        QCOMPARE(fake().requests()[1].body, fake().requests()[0].body);

        // A new call is a new operation with a key of its own.
        QVERIFY(!failureOf(service.send("bob", 5, "", "tok")));
        QVERIFY(fake().requests()[2].header("idempotency-key") != key);
    }

    void droppedConnectionsShareOneKey()
    {
        // Qt itself sends a request again when the connection closes before any reply byte, so the
        // service may see a POST more than twice; every copy carries the operation's one key.
        fake().setFallback("POST", "/api/send", FakeReply::drop());
        Arrivals arrivals(fake());
        APIService service(fake().options(300ms));
        const auto error = errorAs<TransportError>(failureOf(service.send("bob", 5, "", "tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::RemoteHostClosedError);
        const QList<RecordedRequest> requests = fake().requests();
        QVERIFY(requests.size() >= 2);
        for (const RecordedRequest &request : requests)
            QCOMPARE(request.header("idempotency-key"), requests[0].header("idempotency-key"));
        qint64 longestGap = 0;
        for (qsizetype i = 1; i < arrivals.times.size(); ++i)
            longestGap = std::max(longestGap, arrivals.times[i] - arrivals.times[i - 1]);
        QVERIFY(longestGap >= 300); // our own retry, after the pause
    }

    void realPauseIsTwoSeconds()
    {
        fake().enqueue("GET", "/api/transactions", FakeReply::json(200, R"({"transactions":null})"));
        fake().setFallback("GET", "/api/transactions", FakeReply::json(200, R"({"transactions":[]})"));
        Arrivals arrivals(fake());
        APIService::Options options = fake().options();
        options.retryPause = APIService::Options().retryPause; // the built-in 2 seconds
        APIService service(options);
        QVERIFY(!failureOf(service.transactions("tok")));
        QCOMPARE(arrivals.times.size(), 2);
        QVERIFY2(arrivals.times[1] - arrivals.times[0] >= 2000,
                 qPrintable(QString::number(arrivals.times[1])));
    }

    void timeouts()
    {
        fake().setFallback("GET", "/api/me", FakeReply::silence());
        APIService::Options options = fake().options(20ms);
        options.requestTimeout = 300ms; // nothing moves for this long
        APIService inactive(options);
        auto error = errorAs<TransportError>(failureOf(inactive.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::TimeoutError);
        QCOMPARE(fake().requests().size(), 2); // a time-out is a transport failure: retried once

        fake().clear();
        fake().setFallback("GET", "/api/me", FakeReply::json(200, meJson).after(1500ms));
        options.requestTimeout = 60s;
        options.exchangeTimeout = 300ms; // the whole attempt may take no longer
        APIService slow(options);
        error = errorAs<TransportError>(failureOf(slow.me("tok"))); // waiting for the reply would succeed
        QVERIFY(error);
        QCOMPARE(error->description(), u"The request timed out."_qs);
    }

    // Cancelled before the start, during the first attempt or during the pause before the second:
    // the operation fails with the cancellation error at once and sends nothing more.
    void cancellation_data()
    {
        QTest::addColumn<int>("when"); // 0: before the start, 1: first attempt, 2: pause
        QTest::newRow("before the start") << 0;
        QTest::newRow("during the first attempt") << 1;
        QTest::newRow("during the pause") << 2;
    }

    void cancellation()
    {
        QFETCH(int, when);
        fake().setFallback("POST", "/api/send",
                           when == 1 ? FakeReply::silence() : FakeReply::json(200, "{}"));
        APIService service(fake().options(10s));
        CancelSource source;
        if (when == 0)
            source.cancel();
        connect(&fake(), &FakeService::requestReceived, this, [&source, when] {
            QTimer::singleShot(when == 2 ? 200ms : 0ms, [&source] { source.cancel(); });
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(errorAs<CancellationError>(failureOf(service.send("bob", 1, "", "tok", source.token()))));
        QVERIFY(clock.elapsed() < 8000); // the pause is 10 s
        QTest::qWait(200);
        QCOMPARE(fake().requests().size(), when == 0 ? 0 : 1);
    }

    void nonFiniteAmountIsNeverSent_data()
    {
        QTest::addColumn<double>("amount");
        QTest::newRow("inf") << std::numeric_limits<double>::infinity();
        QTest::newRow("nan") << std::nan("");
    }

    void nonFiniteAmountIsNeverSent()
    {
        QFETCH(double, amount);
        fake().setFallback("POST", "/api/send", FakeReply::json(200, sendJson));
        APIService service(fake().options(20ms));
        const auto error = errorAs<EncodingError>(failureOf(service.send("bob", amount, "", "tok")));
        QVERIFY(error);
        QVERIFY(!error->description().isEmpty());
        QTest::qWait(100);
        QCOMPARE(fake().requests().size(), 0);
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
        fake().setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        APIService service(fake().options(20ms));
        QVERIFY(errorAs<EncodingError>(failureOf(service.me(token))));
        QVERIFY(errorAs<EncodingError>(failureOf(service.send("bob", 1, "", token))));
        QTest::qWait(100);
        QCOMPARE(fake().requests().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestApiService)
#include "tst_apiservice.moc"
