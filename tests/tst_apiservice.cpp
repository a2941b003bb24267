// SPDX-License-Identifier: MIT
// The service client over real TLS against the fake: requests as they reach the service (methods,
// paths, headers, bodies, the search escaping) and how they are carried out: status mapping, the
// one retry, time-outs, cancellation and unwritable requests.
#include "service/APIService.h"
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
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <limits>
#include <optional>

using namespace std::chrono_literals;

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
        co_await s.send(u"bob"_qs, 12.5, u"for lunch 😀"_qs, u"tok"_qs);
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

// Where a redirect points; which limit an attempt runs into; the replies of the fake's routes.
enum class Target { Elsewhere, SameOrigin, Relative, WithCredentials };
enum class Limit { None, Inactivity, Exchange, ClosedPort };
using Script = QList<std::pair<QString, FakeReply>>;

} // namespace

Q_DECLARE_METATYPE(Target)
Q_DECLARE_METATYPE(Limit)
Q_DECLARE_METATYPE(Script)

class TestApiService : public QObject
{
    Q_OBJECT
    std::optional<FakeService> m_fake; // a fresh one for each test (and each row)
    FakeService &fake() { return *m_fake; }

private Q_SLOTS:
    void init() { m_fake.emplace(); }
    void cleanup() { m_fake.reset(); }

    // Each operation's request as it reaches the service; a POST carries a fresh Idempotency-Key
    // with each call.
    void requestShape_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("hasToken");
        QTest::addColumn<QJsonObject>("body"); // empty for GET
        const auto row = [](const char *name, const char *method, const char *path, const QByteArray &reply,
                            bool hasToken, const QJsonObject &body) {
            QTest::newRow(name) << QByteArray(method) << QString::fromLatin1(path) << reply << hasToken
                                << body;
        };
        const QByteArray message = R"({"message":"ok"})";
        row("registerUser", "POST", "/api/register", authJson, false,
            {{"username", "ann"}, {"email", "ann@example.com"}, {"password", "pw"}});
        row("login", "POST", "/api/login", authJson, false, {{"username", "ann"}, {"password", ""}});
        row("verifyEmail", "POST", "/api/verify-email", message, true, {{"code", "012345"}});
        row("resendVerification", "POST", "/api/resend-verification", message, true, {});
        row("me", "GET", "/api/me", meJson, true, {});
        row("send", "POST", "/api/send", sendJson, true,
            {{"to", "bob"}, {"amount", 12.5}, {"note", u"for lunch 😀"_qs}});
        row("transactions", "GET", "/api/transactions", R"({"transactions":[]})", true, {});
        row("searchUsers", "GET", "/api/users/search", R"({"users":[]})", true, {});
        row("resetPassword", "POST", "/api/reset-password", message, false,
            {{"username", "ann"}, {"resetSecret", "secret"}, {"newPassword", "new"}});
    }

    void requestShape()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QByteArray, reply);
        QFETCH(bool, hasToken);
        QFETCH(QJsonObject, body);
        fake().setFallback(method, path, FakeReply::json(200, reply));
        APIService service(fake().options());
        for (int call = 0; call < 2; ++call) {
            const std::exception_ptr error =
                failureOf(run(service, QString::fromLatin1(QTest::currentDataTag())));
            QVERIFY2(!error, qPrintable(describe(error)));
        }

        QCOMPARE(fake().requests().size(), 2);
        const RecordedRequest request = fake().requests().first();
        QCOMPARE(request.method, method);
        QCOMPARE(request.path, path);
        QCOMPARE(request.header("authorization"), hasToken ? QByteArray("Bearer tok") : QByteArray());
        const bool isPost = method == "POST";
        QCOMPARE(request.header("content-type"), isPost ? QByteArray("application/json") : QByteArray());
        QCOMPARE(request.headers.contains("idempotency-key"), isPost);
        if (!isPost) {
            QVERIFY(request.body.isEmpty());
            return;
        }
        static const QRegularExpression uuidV4(
            R"(^"[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"$)");
        QVERIFY2(uuidV4.match(QString::fromLatin1(request.header("idempotency-key"))).hasMatch(),
                 request.header("idempotency-key").constData());
        QVERIFY(fake().requests()[1].header("idempotency-key") != request.header("idempotency-key"));
        QCOMPARE(request.json(), body);
        QVERIFY(!request.body.contains('\n'));
    }

    void searchEscaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("non-ascii") << QString::fromUtf8("zoë") << QByteArray("q=zo%25C3%25AB");
        QTest::newRow("query separators") << "a&b=c+d" << QByteArray("q=a%26b%3Dc%2Bd");
        QTest::newRow("kept as is") << "x/y?z:@!$'()*,;" << QByteArray("q=x/y?z:@!$'()*,;");
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
    // come out whole and in order, also when only the connection's end tells where it ends.
    void longReplyArrivesWhole()
    {
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
                       FakeReply::rawBytes("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body));
        APIService service(fake().options());
        const QList<APITransaction> list = awaitTask(service.transactions("tok"));
        QCOMPARE(list.size(), count);
        for (int i : {0, 1, count / 2, count - 1})
            QCOMPARE(list[i].id, QStringLiteral("t%1").arg(i));
    }

    // At most two requests per operation: the service's own answer is final; a failure on the way
    // or an unreadable reply is tried once more after the pause, with the same request (the same
    // Idempotency-Key), and then the second outcome counts. A kept-alive connection that failed is
    // not used again.
    void attempts_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("reused"); // the connection has served a request before
        QTest::addColumn<FakeReply>("first");
        QTest::addColumn<FakeReply>("second");
        QTest::addColumn<QString>("outcome"); // the error's description, or "ok"
        QTest::addColumn<int>("requests");
        const FakeReply meOk = FakeReply::json(200, meJson);
        const FakeReply cutOff = FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n{");
        const FakeReply unreadable = FakeReply::json(200, R"({"user":{"username":"ann"}})");
        QTest::newRow("401 with error")
            << u"me"_qs << false << FakeReply::json(401, R"({"error":"Invalid credentials"})") << meOk
            << u"Invalid credentials"_qs << 1;
        QTest::newRow("empty error text")
            << u"send"_qs << false << FakeReply::json(409, R"({"error":""})") << meOk << QString() << 1;
        QTest::newRow("500 empty body")
            << u"me"_qs << false << FakeReply::json(500, "") << meOk << u"Request failed (500)."_qs << 1;
        QTest::newRow("missing key, then read")
            << u"me"_qs << false << FakeReply::json(200, R"({"usr":{}})") << meOk << u"ok"_qs << 2;
        QTest::newRow("POST cut off, then read")
            << u"send"_qs << false << cutOff << FakeReply::json(200, sendJson) << u"ok"_qs << 2;
        QTest::newRow("cut off, then unreadable")
            << u"me"_qs << false << cutOff << unreadable
            << u"The data couldn't be read because the key \"email\" is missing (at user.email)."_qs << 2;
        const QString closed = u"The server closed the connection before the whole reply arrived."_qs;
        for (bool reused : {false, true}) {
            QTest::addRow("POST dropped, %s", reused ? "kept-alive connection" : "fresh connection")
                << u"send"_qs << reused << FakeReply::drop() << cutOff << closed << 2;
        }
    }

    void attempts()
    {
        QFETCH(QString, operation);
        QFETCH(bool, reused);
        QFETCH(FakeReply, first);
        QFETCH(FakeReply, second);
        QFETCH(QString, outcome);
        QFETCH(int, requests);
        const bool isPost = operation == u"send";
        const QByteArray method = isPost ? "POST" : "GET";
        const QString path = isPost ? u"/api/send"_qs : u"/api/me"_qs;
        APIService service(fake().options(300ms));
        if (reused) {
            fake().enqueue(method, path, FakeReply::json(200, isPost ? sendJson : meJson));
            QVERIFY(!failureOf(run(service, operation)));
            fake().clear();
        }
        const int connectionsBefore = fake().connectionCount();
        fake().enqueue(method, path, first);
        fake().setFallback(method, path, second);
        QElapsedTimer clock;
        clock.start();
        const std::exception_ptr error = failureOf(run(service, operation));
        QCOMPARE(error ? describe(error) : u"ok"_qs, outcome);
        const QList<RecordedRequest> sent = fake().requests();
        QCOMPARE(sent.size(), requests);
        if (requests == 2) {
            QVERIFY(clock.elapsed() >= 300); // the pause
            QCOMPARE(sent[1].headers, sent[0].headers);
            QCOMPARE(sent[1].body, sent[0].body);
        }
        // Two new connections after a drop (libcurl may open one for its own resend, which is
        // stopped before the request goes out).
        if (first.kind == FakeReply::Kind::Drop)
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

    // A redirect is followed only within the service's origin and without credentials in its
    // address: any other 3xx is the attempt's (unreadable) reply, and the other server receives
    // nothing, not even the token.
    void redirects_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<Target>("target");
        QTest::newRow("send, 307 elsewhere") << u"send"_qs << 307 << Target::Elsewhere;
        QTest::newRow("send, 307 same origin") << u"send"_qs << 307 << Target::SameOrigin;
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

    // Failures on the way, each a TransportError: a redirect loop (not tried again); a reply past
    // the 64 MiB limit however it comes (the limit is on the body as read, after decompression);
    // nothing moving for the inactivity time-out; an attempt longer than its whole allowance, a
    // chain of redirects sharing it; a reply that is not HTTP, or whose headers pass their limit;
    // nothing listening. All but the loop are tried again after the pause.
    void transportFailures_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<Limit>("limit");
        QTest::addColumn<int>("code");     // a QNetworkReply::NetworkError; -1: any
        QTest::addColumn<QString>("text"); // in the description
        QTest::addColumn<int>("requests"); // -1: any number
        const auto redirectTo = [](const QByteArray &path) {
            return FakeReply::rawBytes("HTTP/1.1 302 Found\r\nLocation: " + path +
                                       "\r\nContent-Length: 0\r\n\r\n");
        };
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        const QByteArray overLimit(Transport::replyLimit + 1024, ' ');
        const QByteArray deflated = qCompress(overLimit, 9).mid(4); // without Qt's length prefix
        const FakeReply meOk = FakeReply::json(200, meJson);
        QTest::newRow("redirect loop")
            << Script{{"/api/me", redirectTo("/api/me")}} << Limit::None
            << int(QNetworkReply::TooManyRedirectsError) << QString() << 1 + Transport::redirectLimit;
        QTest::newRow("Content-Length above the limit")
            << Script{{"/api/me",
                       FakeReply::rawBytes(ok + "Content-Length: " +
                                           QByteArray::number(Transport::replyLimit + 1) + "\r\n\r\n{")}}
            << Limit::None << int(QNetworkReply::ProtocolFailure) << u"64 MiB"_qs << 2;
        QTest::newRow("compressed, past the limit once inflated")
            << Script{{"/api/me",
                       FakeReply::rawBytes(ok + "Content-Encoding: deflate\r\nContent-Length: " +
                                           QByteArray::number(deflated.size()) + "\r\n\r\n" + deflated)}}
            << Limit::None << int(QNetworkReply::ProtocolFailure) << u"64 MiB"_qs << 2;
        QTest::newRow("nothing moves") << Script{{"/api/me", FakeReply::silence()}} << Limit::Inactivity
                                       << int(QNetworkReply::TimeoutError) << QString() << 2;
        QTest::newRow("slow reply") << Script{{"/api/me", meOk.after(1500ms)}} << Limit::Exchange
                                    << int(QNetworkReply::TimeoutError) << u"The request timed out."_qs << 2;
        QTest::newRow("slow redirect chain")
            << Script{{"/api/me", redirectTo("/api/a").after(200ms)},
                      {"/api/a", redirectTo("/api/b").after(200ms)},
                      {"/api/b", meOk}}
            << Limit::Exchange << int(QNetworkReply::TimeoutError) << QString() << -1;
        QByteArray noise;
        for (int i = 0; i < 2560; ++i)
            noise += char(i);
        QTest::newRow("not HTTP") << Script{{"/api/me", FakeReply::rawBytes(noise)}} << Limit::None << -1
                                  << u"The server's reply was not HTTP."_qs << -1;
        QByteArray headers = ok;
        for (int i = 0; i < 3000; ++i)
            headers += "X-Pad-" + QByteArray::number(i) + ": " + QByteArray(100, 'a') + "\r\n";
        QTest::newRow("headers past the limit")
            << Script{{"/api/me", FakeReply::rawBytes(headers + "\r\n{}")}} << Limit::None << -1
            << u"The reply's headers are larger than 256 KiB, the most that is read."_qs << -1;
        QTest::newRow("nothing listens")
            << Script{} << Limit::ClosedPort << int(QNetworkReply::ConnectionRefusedError) << QString() << 0;
    }

    void transportFailures()
    {
        QFETCH(Script, script);
        QFETCH(Limit, limit);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(int, requests);
        for (const auto &[path, reply] : script)
            fake().setFallback("GET", path, reply);
        APIService::Options options = fake().options(300ms);
        if (limit == Limit::Inactivity)
            options.requestTimeout = 1s; // room for the retry's handshake on a loaded machine under ASan
        if (limit == Limit::Exchange)
            options.exchangeTimeout = 300ms; // more than each step takes, less than two
        if (limit == Limit::ClosedPort)
            options.base.setPort(closedPort());
        APIService service(options);
        QElapsedTimer clock;
        clock.start();
        const std::exception_ptr failure = failureOf(service.me("tok"));
        const auto error = errorAs<TransportError>(failure);
        QVERIFY2(error, qPrintable(describe(failure)));
        QVERIFY(code < 0 || int(error->code()) == code);
        QVERIFY2(error->description().contains(text), qPrintable(error->description()));
        QVERIFY(requests < 0 || fake().requests().size() == requests);
        QVERIFY(code == QNetworkReply::TooManyRedirectsError || clock.elapsed() >= 300);
    }

    // The system's certificates are found by hash in their folder, beside the extra ones in PEM:
    // the fake's CA in the folder is trusted while the PEM holds other CAs, and with it in neither
    // (the system's own folder, no PEM) the handshake fails and nothing is sent. (The other tests
    // trust it through the PEM.)
    void trust_data()
    {
        QTest::addColumn<bool>("caInFolder");
        QTest::newRow("folder, other CAs in the PEM") << true;
        QTest::newRow("neither") << false;
    }

    void trust()
    {
        QFETCH(bool, caInFolder);
        APIService::Options options = fake().options(20ms);
        const QByteArray ca = options.extraCaPem;
        options.extraCaPem.clear();
        QTemporaryDir folder;
        if (caInFolder) {
            QFile file(folder.filePath(u"ca.pem"_qs));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ca) == ca.size());
            file.close();
            QCOMPARE(QProcess::execute(u"openssl"_qs, {u"rehash"_qs, folder.path()}), 0);
            options.systemCaPath = QFile::encodeName(folder.path());
            QFile system(u"/etc/ssl/certs/ca-certificates.crt"_qs);
            if (system.open(QIODevice::ReadOnly))
                options.extraCaPem = system.readAll();
        }
        fake().setFallback("GET", "/api/me", FakeReply::json(200, meJson));
        APIService service(options);
        const std::exception_ptr failure = failureOf(service.me("tok"));
        if (caInFolder) {
            QVERIFY2(!failure, qPrintable(describe(failure)));
            return;
        }
        const auto error = errorAs<TransportError>(failure);
        QVERIFY(error);
        QCOMPARE(error->code(), QNetworkReply::SslHandshakeFailedError);
        QCOMPARE(fake().requests().size(), 0);
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

    // Numbers and text that a body, query or header could not carry unchanged: refused before any
    // request, naming what could not be written.
    void unwritableRequestIsNeverSent_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text"); // the note, or the search
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("named"); // in the error's description
        const QString high(QChar(0xd800));
        const QString tok = u"tok"_qs;
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("inf") << u"send"_qs << inf << QString() << tok << u"\"amount\""_qs;
        QTest::newRow("note, high half")
            << u"send"_qs << 1.0 << u"a"_qs + high + u"b"_qs << tok << u"\"note\""_qs;
        QTest::newRow("search") << u"searchUsers"_qs << 0.0 << high << tok << u"\"q\""_qs;
        // A stored token is sent as a header line: a line break in it would add headers of its own.
        QTest::newRow("token, CR LF")
            << u"me"_qs << 0.0 << QString() << u"tok\r\nX-Forged: 1"_qs << u"token"_qs;
        QTest::newRow("token, DEL") << u"send"_qs << 1.0 << QString() << u"tok\x7f"_qs << u"token"_qs;
    }

    void unwritableRequestIsNeverSent()
    {
        QFETCH(QString, operation);
        QFETCH(double, amount);
        QFETCH(QString, text);
        QFETCH(QString, token);
        QFETCH(QString, named);
        APIService service(fake().options(20ms));
        std::exception_ptr failure;
        if (operation == u"send")
            failure = failureOf(service.send("bob", amount, text, token));
        else if (operation == u"me")
            failure = failureOf(service.me(token));
        else
            failure = failureOf(service.searchUsers(text, token));
        const auto error = errorAs<EncodingError>(failure);
        QVERIFY2(error, qPrintable(describe(failure)));
        QVERIFY2(error->description().contains(named), qPrintable(error->description()));
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
