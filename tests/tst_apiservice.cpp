// SPDX-License-Identifier: MIT
// Requests as they reach the service: methods, paths, headers, bodies and the search escaping,
// over real TLS against the fake; and what each operation hands back.
#include "service/APIService.h"
#include "service/BuildConfig.h"
#include "tests/support/Await.h"
#include "tests/support/FakeService.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <functional>

using namespace std::chrono_literals;

namespace {

const QByteArray userJson =
    R"({"username":"ann","email":"ann@example.com","account_number":"QB-0001","balance":100,"is_verified":true})";
const QByteArray transactionJson =
    R"({"id":"t1","from_user":"ann","to_user":"bob","amount":12.5,"note":"","created_at":"2025-03-01T10:15:30.123Z"})";

struct Operation
{
    const char *name;
    QByteArray method;
    QString path;
    QByteArray reply;
    bool hasToken;
    QStringList bodyKeys; // empty for GET
    std::function<QCoro::Task<void>(APIService &)> run;
};

QList<Operation> operations()
{
    const QByteArray auth = R"({"token":"tok","user":)" + userJson + "}";
    return {
        {"registerUser",
         "POST",
         "/api/register",
         auth,
         false,
         {"username", "email", "password"},
         [](APIService &s) -> QCoro::Task<void> { co_await s.registerUser("ann", "ann@example.com", "pw"); }},
        {"login",
         "POST",
         "/api/login",
         auth,
         false,
         {"username", "password"},
         [](APIService &s) -> QCoro::Task<void> { co_await s.login("ann", ""); }},
        {"verifyEmail",
         "POST",
         "/api/verify-email",
         R"({"message":"ok"})",
         true,
         {"code"},
         [](APIService &s) -> QCoro::Task<void> { co_await s.verifyEmail("012345", "tok"); }},
        {"resendVerification",
         "POST",
         "/api/resend-verification",
         R"({"message":"sent"})",
         true,
         {},
         [](APIService &s) -> QCoro::Task<void> { co_await s.resendVerification("tok"); }},
        {"me",
         "GET",
         "/api/me",
         R"({"user":)" + userJson + "}",
         true,
         {},
         [](APIService &s) -> QCoro::Task<void> { co_await s.me("tok"); }},
        {"send",
         "POST",
         "/api/send",
         R"({"user":)" + userJson + R"(,"transaction":)" + transactionJson + "}",
         true,
         {"to", "amount", "note"},
         [](APIService &s) -> QCoro::Task<void> { co_await s.send("bob", 12.5, "", "tok"); }},
        {"transactions",
         "GET",
         "/api/transactions",
         R"({"transactions":[]})",
         true,
         {},
         [](APIService &s) -> QCoro::Task<void> { co_await s.transactions("tok"); }},
        {"searchUsers",
         "GET",
         "/api/users/search",
         R"({"users":[]})",
         true,
         {},
         [](APIService &s) -> QCoro::Task<void> { co_await s.searchUsers("ann", "tok"); }},
        {"resetPassword",
         "POST",
         "/api/reset-password",
         R"({"message":"done"})",
         false,
         {"username", "resetSecret", "newPassword"},
         [](APIService &s) -> QCoro::Task<void> { co_await s.resetPassword("ann", "secret", "new"); }},
    };
}

int headerCount(const RecordedRequest &request, const QByteArray &name)
{
    int count = 0;
    for (const auto &[key, value] : request.rawHeaders)
        count += key.compare(name, Qt::CaseInsensitive) == 0;
    return count;
}

} // namespace

class TestApiService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestShape_data()
    {
        QTest::addColumn<int>("index");
        const QList<Operation> ops = operations();
        for (int i = 0; i < ops.size(); ++i)
            QTest::newRow(ops[i].name) << i;
    }

    void requestShape()
    {
        QFETCH(int, index);
        const Operation op = operations().at(index);
        FakeService fake;
        fake.enqueue(op.method, op.path, FakeReply::json(200, op.reply));
        APIService service(fake.options());

        const std::exception_ptr error = failureOf(op.run(service));
        QVERIFY2(!error, qPrintable(describe(error)));

        QCOMPARE(fake.requests().size(), 1);
        const RecordedRequest request = fake.requests().first();
        QCOMPARE(request.method, op.method);
        QCOMPARE(request.path, op.path);
        QCOMPARE(headerCount(request, "Authorization"), op.hasToken ? 1 : 0);
        if (op.hasToken)
            QCOMPARE(request.header("authorization"), QByteArray("Bearer tok"));

        const bool isPost = op.method == "POST";
        QCOMPARE(headerCount(request, "Content-Type"), isPost ? 1 : 0);
        QCOMPARE(headerCount(request, "Idempotency-Key"), isPost ? 1 : 0);
        if (isPost) {
            QCOMPARE(request.header("content-type"), QByteArray("application/json"));
            static const QRegularExpression uuidV4(
                R"(^"[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"$)");
            QVERIFY2(uuidV4.match(QString::fromLatin1(request.header("idempotency-key"))).hasMatch(),
                     request.header("idempotency-key").constData());
            QStringList keys = request.json().keys();
            QStringList expected = op.bodyKeys;
            keys.sort();
            expected.sort();
            QCOMPARE(keys, expected);
            QVERIFY(!request.body.contains('\n'));
        } else {
            QVERIFY(request.body.isEmpty());
        }
    }

    void bodyValues()
    {
        FakeService fake;
        fake.setFallback("POST", "/api/verify-email", FakeReply::json(200, R"({"message":"ok"})"));
        fake.setFallback(
            "POST", "/api/send",
            FakeReply::json(200, R"({"user":)" + userJson + R"(,"transaction":)" + transactionJson + "}"));
        fake.setFallback("POST", "/api/login",
                         FakeReply::json(200, R"({"token":"t","user":)" + userJson + "}"));
        APIService service(fake.options());

        QVERIFY(!failureOf(service.verifyEmail("012345", "tok")));
        const QJsonObject verify = fake.requests().last().json();
        QVERIFY(verify.value("code").isString());
        QCOMPARE(verify.value("code").toString(), QString("012345"));

        for (const double amount : {12.5, 100.0}) {
            QVERIFY(!failureOf(service.send("bob", amount, "for lunch", "tok")));
            const QJsonObject send = fake.requests().last().json();
            QVERIFY(send.value("amount").isDouble());
            QCOMPARE(send.value("amount").toDouble(), amount);
            QCOMPARE(send.value("to").toString(), QString("bob"));
            QCOMPARE(send.value("note").toString(), QString("for lunch"));
        }

        QVERIFY(!failureOf(service.login("ann", "")));
        const QJsonObject login = fake.requests().last().json();
        QVERIFY(login.value("password").isString());
        QCOMPARE(login.value("password").toString(), QString());
    }

    void searchEscaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("plain") << "ann" << QByteArray("q=ann");
        QTest::newRow("unreserved") << "a-b.c_d~e" << QByteArray("q=a-b.c_d~e");
        QTest::newRow("space") << "ann lee" << QByteArray("q=ann%2520lee");
        QTest::newRow("percent") << "50%" << QByteArray("q=50%2525");
        QTest::newRow("non-ascii") << QString::fromUtf8("zoë") << QByteArray("q=zo%25C3%25AB");
        QTest::newRow("query separators") << "a&b=c+d" << QByteArray("q=a%26b%3Dc%2Bd");
        QTest::newRow("hash") << "#1"
                              << QByteArray("q=%2523"
                                            "1");
        QTest::newRow("kept as is") << "x/y?z:@!$'()*,;" << QByteArray("q=x/y?z:@!$'()*,;");
        QTest::newRow("empty") << "" << QByteArray("q=");
    }

    void searchEscaping()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, query);
        FakeService fake;
        fake.setFallback("GET", "/api/users/search", FakeReply::json(200, R"({"users":[]})"));
        APIService service(fake.options());
        QVERIFY(!failureOf(service.searchUsers(text, "tok")));
        QCOMPARE(fake.requests().size(), 1);
        QCOMPARE(fake.requests().first().path, QString("/api/users/search"));
        QCOMPARE(fake.requests().first().query, query);
    }

    void results()
    {
        FakeService fake;
        fake.enqueue("GET", "/api/me", FakeReply::json(200, R"({"user":)" + userJson + "}"));
        fake.enqueue("GET", "/api/transactions",
                     FakeReply::json(200, R"({"transactions":[)" + transactionJson + "," +
                                              QByteArray(transactionJson).replace("\"t1\"", "\"t0\"") +
                                              "]}"));
        fake.enqueue("GET", "/api/users/search",
                     FakeReply::json(200, R"({"users":[{"username":"bob","account_number":"QB-2"}]})"));
        fake.enqueue("POST", "/api/login",
                     FakeReply::json(200, R"({"token":"abc","user":)" + userJson + "}"));
        APIService service(fake.options());

        const APIUser user = awaitTask(service.me("tok"));
        QCOMPARE(user.username, QString("ann"));
        QCOMPARE(user.accountNumber, QString("QB-0001"));
        QCOMPARE(user.balance, 100.0);
        QVERIFY(user.isVerified);

        const QList<APITransaction> list = awaitTask(service.transactions("tok"));
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[0].id, QString("t1")); // the service's order, not sorted
        QCOMPARE(list[1].id, QString("t0"));
        QCOMPARE(list[0].createdAt, QDateTime(QDate(2025, 3, 1), QTime(10, 15, 30, 123), Qt::UTC));

        const QList<UserResult> hits = awaitTask(service.searchUsers("bo", "tok"));
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits[0].accountNumber, QString("QB-2"));

        const AuthResponse auth = awaitTask(service.login("ann", "pw"));
        QCOMPARE(auth.token, QString("abc"));
        QCOMPARE(auth.user, user);
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
        FakeService fake;
        fake.enqueue("GET", "/api/transactions",
                     announced ? FakeReply::json(200, body)
                               : FakeReply::rawBytes("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                                                     "Connection: close\r\n\r\n" +
                                                     body));
        APIService service(fake.options());
        const QList<APITransaction> list = awaitTask(service.transactions("tok"));
        QCOMPARE(list.size(), count);
        for (int i : {0, 1, count / 2, count - 1})
            QCOMPARE(list[i].id, QStringLiteral("t%1").arg(i));
    }

    void sharedUsesBuiltInAddress()
    {
        QCOMPARE(APIService::shared().base(), QUrl(QString::fromUtf8(BuildConfig::apiBase)));
        QCOMPARE(&APIService::shared(), &APIService::shared());
    }
};

QTEST_GUILESS_MAIN(TestApiService)
#include "tst_apiservice.moc"
