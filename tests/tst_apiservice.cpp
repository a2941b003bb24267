// SPDX-License-Identifier: MIT
// The service client over real TLS against the fake: requests as they reach the service (methods,
// paths, headers, bodies, the search escaping) and how they are carried out: status mapping, the
// one retry, time-outs, cancellation and unwritable requests.
#include "service/APIService.h"
#include "service/BuildConfig.h"
#include "service/Transport.h"
#include "testsupport/Await.h"
#include "testsupport/FakeService.h"
#include "testsupport/SessionFixtures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>

#include <dlfcn.h>
#include <netdb.h>

using namespace std::chrono_literals;

namespace {

// Name lookups of this host wait until the test lets them go on (and then find 127.0.0.1).
constexpr char heldHost[] = "held-lookup.test";
struct HeldLookups
{
    std::mutex mutex;
    std::condition_variable released;
    bool held = true;
    int started = 0;

    void release()
    {
        const std::lock_guard lock(mutex);
        held = false;
        released.notify_all();
    }
} heldLookups;

} // namespace

// Takes the place of the C library's for this program: libcurl resolves names through it.
extern "C" int getaddrinfo(const char *node, const char *service, const addrinfo *hints, addrinfo **result)
{
    using Lookup = int (*)(const char *, const char *, const addrinfo *, addrinfo **);
    static const auto next = reinterpret_cast<Lookup>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (node && std::strcmp(node, heldHost) == 0) {
        std::unique_lock lock(heldLookups.mutex);
        if (++heldLookups.started == 1) // the first one only
            heldLookups.released.wait(lock, [] { return !heldLookups.held; });
        node = "127.0.0.1";
    }
    return next(node, service, hints, result);
}

namespace {

const QByteArray meJson = SessionFixtures::meJson("ann");
const QByteArray authJson = SessionFixtures::authJson("tok", "ann");
const QByteArray sendJson = SessionFixtures::sendJson("ann", 100);

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

// A local port with nothing listening on it.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
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

// Where a redirect points; which way a reply passes the length limit.
enum class Target { Elsewhere, SameOrigin, Relative, WithCredentials };
enum class Past { Announced, Streamed, Compressed };

} // namespace

Q_DECLARE_METATYPE(Target)
Q_DECLARE_METATYPE(Past)

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
        QVERIFY(!failureOf(service.send("bob", 12.5, u"for lunch 😀"_qs, "tok")));
        const QJsonObject send = fake().requests().last().json();
        QCOMPARE(send.value("amount"), QJsonValue(12.5)); // a number
        QCOMPARE(send.value("to").toString(), u"bob"_qs);
        QCOMPARE(send.value("note").toString(), u"for lunch 😀"_qs);
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
            body += SessionFixtures::transactionJson("t" + QByteArray::number(i));
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

    // An operation puts at most two requests on the network, the second after the pause, however
    // the connection fails and whether it was fresh or a kept-alive one; the second failure is the
    // one reported.
    void attemptRule_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("okReply");
        QTest::addColumn<bool>("reused");
        for (bool reused : {false, true}) {
            const char *connection = reused ? "kept-alive connection" : "fresh connection";
            QTest::addRow("GET, %s", connection) << u"me"_qs << u"/api/me"_qs << meJson << reused;
            QTest::addRow("POST, %s", connection) << u"send"_qs << u"/api/send"_qs << sendJson << reused;
        }
    }

    void attemptRule()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QByteArray, okReply);
        QFETCH(bool, reused);
        const QByteArray method = operation == u"send" ? "POST" : "GET";
        APIService service(fake().options(300ms));
        if (reused) {
            fake().enqueue(method, path, FakeReply::json(200, okReply));
            QVERIFY(!failureOf(run(service, operation)));
            fake().clear();
        }
        const int connectionsBefore = fake().connectionCount();
        fake().enqueue(method, path, FakeReply::drop());
        fake().setFallback(method, path,
                           FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n{"));
        Arrivals arrivals(fake());
        const auto error = errorAs<TransportError>(failureOf(run(service, operation)));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::RemoteHostClosedError);
        QCOMPARE(error->description(),
                 u"The server closed the connection before the whole reply arrived."_qs);
        const QList<RecordedRequest> requests = fake().requests();
        QCOMPARE(requests.size(), 2);
        QVERIFY2(arrivals.times[1] - arrivals.times[0] >= 300,
                 qPrintable(QString::number(arrivals.times[1])));
        QCOMPARE(requests[1].header("idempotency-key"), requests[0].header("idempotency-key"));
        QCOMPARE(requests[1].body, requests[0].body);
        // Two new connections: a kept-alive one that failed is not used again (libcurl may open one
        // for its own resend, which is stopped before the request goes out).
        QCOMPARE(fake().connectionCount() - connectionsBefore, 2);
    }

    // A kept-alive connection that the server closed while it was idle is not an attempt: the next
    // request goes out once, on a new connection, with no failure and no pause.
    void closedIdleConnectionIsReplaced()
    {
        const QByteArray closedAfterReply =
            "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(meJson.size()) + "\r\n\r\n" + meJson;
        fake().setFallback("GET", "/api/me", FakeReply::rawBytes(closedAfterReply));
        APIService service(fake().options(10s));
        QVERIFY(!failureOf(service.me("tok")));
        QTRY_COMPARE(fake().closedCount(), 1); // the server's close has gone out
        QElapsedTimer clock;
        clock.start();
        const std::exception_ptr error = failureOf(service.me("tok"));
        QVERIFY2(!error, qPrintable(describe(error)));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(fake().requests().size(), 2);
        QCOMPARE(fake().connectionCount(), 2);
    }

    // Nothing listens: each attempt fails at its connection, the second one after the pause.
    void refusedConnection_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("GET") << u"me"_qs;
        QTest::newRow("POST") << u"send"_qs;
    }

    void refusedConnection()
    {
        QFETCH(QString, operation);
        APIService::Options options = fake().options(300ms);
        options.base.setPort(closedPort());
        APIService service(options);
        QElapsedTimer clock;
        clock.start();
        const auto error = errorAs<TransportError>(failureOf(run(service, operation)));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::ConnectionRefusedError);
        QVERIFY2(clock.elapsed() >= 300, qPrintable(QString::number(clock.elapsed())));
    }

    // A redirect is followed only within the service's origin and without credentials in its
    // address: any other 3xx is the attempt's (unreadable) reply, and the other server receives
    // nothing, not even the token.
    void redirects_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<Target>("target");
        for (const char *operation : {"me", "send"}) {
            for (int status : {302, 307}) {
                QTest::addRow("%s, %d elsewhere", operation, status)
                    << QString::fromLatin1(operation) << status << Target::Elsewhere;
                QTest::addRow("%s, %d same origin", operation, status)
                    << QString::fromLatin1(operation) << status << Target::SameOrigin;
            }
        }
        QTest::newRow("send, 301 same origin") << u"send"_qs << 301 << Target::SameOrigin;
        QTest::newRow("send, 303 relative") << u"send"_qs << 303 << Target::Relative;
        QTest::newRow("send, 308 relative") << u"send"_qs << 308 << Target::Relative;
        QTest::newRow("me, 302 with credentials") << u"me"_qs << 302 << Target::WithCredentials;
    }

    void redirects()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(Target, target);
        const bool isPost = operation == u"send";
        const QByteArray method = isPost ? "POST" : "GET";
        FakeService elsewhere;
        QUrl location =
            (target == Target::Elsewhere ? elsewhere : fake()).options().base.toString() + u"/moved"_qs;
        if (target == Target::WithCredentials)
            location.setUserInfo(u"ann:pw"_qs);
        const QByteArray locationText = target == Target::Relative ? "/api/moved" : location.toEncoded();
        fake().setFallback(method, isPost ? u"/api/send"_qs : u"/api/me"_qs,
                           FakeReply::rawBytes("HTTP/1.1 " + QByteArray::number(status) +
                                               " Moved\r\nLocation: " + locationText +
                                               "\r\nContent-Length: 0\r\n\r\n"));
        // 307 and 308 keep the method; the others turn a POST into a GET.
        const QByteArray followedMethod = status == 307 || status == 308 ? method : QByteArray("GET");
        for (FakeService *server : {&fake(), &elsewhere})
            server->setFallback(followedMethod, u"/api/moved"_qs,
                                FakeReply::json(200, isPost ? sendJson : meJson));
        APIService service(fake().options(20ms));
        const std::exception_ptr error = failureOf(run(service, operation));
        QCOMPARE(elsewhere.connectionCount(), 0);
        if (target == Target::Elsewhere || target == Target::WithCredentials) {
            QVERIFY2(errorAs<DecodingError>(error), qPrintable(describe(error)));
            QCOMPARE(fake().requests().size(), 2);
            return;
        }
        QVERIFY2(!error, qPrintable(describe(error)));
        const QList<RecordedRequest> moved = fake().requests(u"/api/moved"_qs);
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved[0].method, followedMethod);
        QCOMPARE(moved[0].header("authorization"), QByteArray("Bearer tok"));
        QCOMPARE(moved[0].body, followedMethod == "POST" ? fake().requests().first().body : QByteArray());
    }

    // A redirect loop ends after the limit and is not tried again; a chain of redirects shares the
    // attempt's one time-out.
    void redirectLimits()
    {
        const auto redirectTo = [](const QByteArray &path) {
            return FakeReply::rawBytes("HTTP/1.1 302 Found\r\nLocation: " + path +
                                       "\r\nContent-Length: 0\r\n\r\n");
        };
        fake().setFallback("GET", "/api/me", redirectTo("/api/me"));
        APIService looping(fake().options(20ms));
        auto error = errorAs<TransportError>(failureOf(looping.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::TooManyRedirectsError);
        QCOMPARE(fake().requests().size(), 1 + Transport::redirectLimit);

        fake().clear();
        fake().setFallback("GET", "/api/me", redirectTo("/api/a").after(200ms));
        fake().setFallback("GET", "/api/a", redirectTo("/api/b").after(200ms));
        fake().setFallback("GET", "/api/b", FakeReply::json(200, meJson));
        APIService::Options options = fake().options(20ms);
        options.exchangeTimeout = 300ms; // more than each step takes, less than the two
        APIService slow(options);
        error = errorAs<TransportError>(failureOf(slow.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::TimeoutError);
        QCOMPARE(fake().requests(u"/api/b"_qs).size(), 0);
    }

    // A reply body is read up to the limit and no further: one announcing more is refused before
    // its body, one that runs on is cut off there. Either is a transport failure, retried once.
    // The limit is on the body as read, after decompression.
    void replyLimit_data()
    {
        QTest::addColumn<Past>("past");
        QTest::newRow("Content-Length above the limit") << Past::Announced;
        QTest::newRow("streamed past the limit") << Past::Streamed;
        QTest::newRow("compressed, past the limit once inflated") << Past::Compressed;
    }

    void replyLimit()
    {
        QFETCH(Past, past);
        const QByteArray overLimit(Transport::replyLimit + 1024, ' ');
        QByteArray reply;
        if (past == Past::Announced) {
            reply = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(Transport::replyLimit + 1) +
                    "\r\n\r\n{";
        } else if (past == Past::Streamed) {
            reply = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + overLimit;
        } else {
            const QByteArray deflated = qCompress(overLimit, 9).mid(4); // without Qt's length prefix
            reply = "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: " +
                    QByteArray::number(deflated.size()) + "\r\n\r\n" + deflated;
        }
        fake().setFallback("GET", "/api/transactions", FakeReply::rawBytes(reply));
        APIService service(fake().options(20ms));
        const auto error = errorAs<TransportError>(failureOf(service.transactions("tok")));
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::ProtocolFailure);
        QVERIFY2(error->description().contains(u"64 MiB"_qs), qPrintable(error->description()));
        QCOMPARE(fake().requests().size(), 2);
    }

    // Only the system's CAs and the configured ones are trusted.
    // Replies that are not HTTP, or not within the limits, are named for what they are.
    void unreadableReplyTexts_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("text");
        QByteArray noise;
        for (int i = 0; i < 2560; ++i)
            noise += char(i);
        QTest::newRow("random bytes") << noise << u"The server's reply was not HTTP."_qs;
        QByteArray headers = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 3000; ++i)
            headers += "X-Pad-" + QByteArray::number(i) + ": " + QByteArray(100, 'a') + "\r\n";
        QTest::newRow("headers past the limit")
            << headers + "\r\n{}"
            << u"The reply's headers are larger than 256 KiB, the most that is read."_qs;
    }

    void unreadableReplyTexts()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, text);
        fake().setFallback("GET", "/api/me", FakeReply::rawBytes(raw));
        APIService service(fake().options(20ms));
        const auto error = errorAs<TransportError>(failureOf(service.me("tok")));
        QVERIFY(error);
        QCOMPARE(error->description(), text);
    }

    // The system's certificates are found by hash in their folder, beside the extra ones in PEM:
    // either trusts the fake's CA, and with it in neither (the system's own folder, no PEM) the
    // handshake fails and nothing is sent.
    void trust_data()
    {
        QTest::addColumn<bool>("caInFolder");
        QTest::addColumn<QString>("pem");
        QTest::newRow("folder") << true << u""_qs;
        QTest::newRow("folder, other CAs in the PEM") << true << u"other"_qs;
        QTest::newRow("system folder, PEM") << false << u"ca"_qs;
        QTest::newRow("neither") << false << u""_qs;
    }

    void trust()
    {
        QFETCH(bool, caInFolder);
        QFETCH(QString, pem);
        APIService::Options options = fake().options(20ms);
        const QByteArray ca = options.extraCaPem;
        QTemporaryDir folder;
        if (caInFolder) {
            QFile file(folder.filePath(u"ca.pem"_qs));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ca) == ca.size());
            file.close();
            QCOMPARE(QProcess::execute(u"openssl"_qs, {u"rehash"_qs, folder.path()}), 0);
            options.systemCaPath = QFile::encodeName(folder.path());
        }
        options.extraCaPem.clear();
        if (pem == u"ca")
            options.extraCaPem = ca;
        QFile system(u"/etc/ssl/certs/ca-certificates.crt"_qs);
        if (pem == u"other" && system.open(QIODevice::ReadOnly))
            options.extraCaPem = system.readAll();
        fake().setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        APIService service(options);
        const std::exception_ptr failure = failureOf(service.me("tok"));
        if (caInFolder || pem == u"ca") {
            QVERIFY2(!failure, qPrintable(describe(failure)));
            return;
        }
        const auto error = errorAs<TransportError>(failure);
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::SslHandshakeFailedError);
        QCOMPARE(fake().requests().size(), 0);
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
        // Nothing moves for this long. Room for the retry's own handshake on a loaded machine
        // under the sanitizers, which once took more than 300 ms.
        options.requestTimeout = 1s;
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
        QCOMPARE(fake().requests().size(), when == 0 ? 0 : 1);
    }

    // A name lookup takes as long as it takes; cancelling it does not hold up other exchanges.
    void cancellingDuringNameLookup()
    {
        APIService::Options options = fake().options(20ms);
        options.base.setHost(QString::fromLatin1(heldHost));
        APIService service(options);
        // Before the service's end, which waits for its thread: also when a check fails.
        const auto releaseLookup = qScopeGuard([] { heldLookups.release(); });
        struct Run
        {
            std::exception_ptr error;
            bool ended = false;
        } held, next;
        const auto start = [](APIService &service, CancelToken token, Run &run) -> QCoro::Task<> {
            try {
                co_await service.me(u"tok"_qs, token);
            } catch (...) {
                run.error = std::current_exception();
            }
            run.ended = true;
        };
        CancelSource source;
        start(service, source.token(), held);
        QTRY_VERIFY([] {
            const std::lock_guard lock(heldLookups.mutex);
            return heldLookups.started > 0;
        }());
        source.cancel();
        QTRY_VERIFY(held.ended);
        // Found at once, and refused: the certificate is not this name's.
        start(service, {}, next);
        QTRY_VERIFY(next.ended);
        QVERIFY2(errorAs<CancellationError>(held.error), qPrintable(describe(held.error)));
        const auto error = errorAs<TransportError>(next.error);
        QVERIFY2(error, qPrintable(describe(next.error)));
        QCOMPARE(error->code(), QNetworkReply::SslHandshakeFailedError);
    }

    // The process ends normally with a kept-alive connection in the pool of a function-static
    // instance, as the app's own is, and with an operation still running.
    void exitWithOperationsRunning()
    {
        fake().setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        fake().setFallback("GET", "/api/transactions", FakeReply::silence());
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--exit-while-running"_qs, fake().options().base.toString()});
        QTRY_COMPARE_WITH_TIMEOUT(child.state(), QProcess::NotRunning, 20000);
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(fake().requests().size(), 2);
    }

    // Numbers and text that a body or query could not carry unchanged: refused before any request,
    // naming the field.
    void unwritableRequestIsNeverSent_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        const QString high(QChar(0xd800));
        const QString low(QChar(0xdc00));
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("inf") << u"send"_qs << inf << QString() << u"amount"_qs;
        QTest::newRow("nan") << u"send"_qs << std::nan("") << QString() << u"amount"_qs;
        QTest::newRow("note, high half") << u"send"_qs << 1.0 << u"a"_qs + high + u"b"_qs << u"note"_qs;
        QTest::newRow("note, low half") << u"send"_qs << 1.0 << u"hi "_qs + low << u"note"_qs;
        QTest::newRow("password") << u"registerUser"_qs << 0.0 << u"pass"_qs + high + u"word"_qs
                                  << u"password"_qs;
        QTest::newRow("search") << u"searchUsers"_qs << 0.0 << high << u"q"_qs;
    }

    void unwritableRequestIsNeverSent()
    {
        QFETCH(QString, operation);
        QFETCH(double, amount);
        QFETCH(QString, text);
        QFETCH(QString, field);
        APIService service(fake().options(20ms));
        std::exception_ptr failure;
        if (operation == u"send")
            failure = failureOf(service.send("bob", amount, text, "tok"));
        else if (operation == u"registerUser")
            failure = failureOf(service.registerUser("ann", "ann@example.com", text));
        else
            failure = failureOf(service.searchUsers(text, "tok"));
        const auto error = errorAs<EncodingError>(failure);
        QVERIFY2(error, qPrintable(describe(failure)));
        QVERIFY2(error->description().contains(u'"' + field + u'"'), qPrintable(error->description()));
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
        QCOMPARE(fake().requests().size(), 0);
    }
};

// The child process of exitWithOperationsRunning: one request answered, one left running, then
// the end of main.
int exitWhileRunning(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    APIService::Options options;
    options.base = QUrl(QString::fromLocal8Bit(argv[2]));
    QFile ca(QStringLiteral(QUORL_DEV_CA_CERT));
    if (ca.open(QIODevice::ReadOnly))
        options.extraCaPem = ca.readAll();
    static APIService service(options);
    [](QCoreApplication &app) -> QCoro::Task<> {
        try {
            co_await service.me(u"tok"_qs);
        } catch (...) {
            app.exit(1);
            co_return;
        }
        []() -> QCoro::Task<> {
            try {
                co_await service.transactions(u"tok"_qs);
            } catch (...) {
            }
        }();
        QTimer::singleShot(200ms, &app, &QCoreApplication::quit);
    }(app);
    return app.exec();
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--exit-while-running") == 0)
        return exitWhileRunning(argc, argv);
    QCoreApplication app(argc, argv);
    TestApiService test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_apiservice.moc"
