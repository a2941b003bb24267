// SPDX-License-Identifier: MIT
// The reading rules of success replies and error bodies: shapes, types, values and the errors' kinds
// and paths. Whether the bytes are JSON at all is judged by the fuzzer (fuzz/) on every input.
#include "service/ReplyReader.h"

#include <QTest>

#include <optional>

namespace {

using Kind = DecodingError::Kind;

// Reads the body as T; the error, if any.
template<class T> std::optional<DecodingError> failure(const QByteArray &body)
{
    try {
        ReplyReader::read<T>(body);
    } catch (const DecodingError &error) {
        return error;
    }
    return std::nullopt;
}

QByteArray me(const QByteArray &userFields)
{
    return R"({"user":{)" + userFields + "}}";
}

const QByteArray goodUser =
    R"("username":"ann","email":"a@example.com","account_number":"QB-1","balance":100,"is_verified":true)";

QByteArray transactions(const QByteArray &secondNote,
                        const QByteArray &secondDate = "\"2025-03-01T10:15:30.123Z\"")
{
    return R"({"transactions":[{"id":"t1","from_user":"a","to_user":"b","amount":1,"note":"x",)"
           R"("created_at":"2025-03-01T10:15:30.123Z"},{"id":"t2","from_user":"a","to_user":"b","amount":2,)"
           R"("note":)" +
           secondNote + R"(,"created_at":)" + secondDate + "}]}";
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestReplyReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row is a MeResponse, or a TransactionsResponse where it is a list; an empty path means
    // it reads.
    void rules_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("isList");
        QTest::addColumn<bool>("reads");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("path");
        const auto ok = [](const char *name, const QByteArray &body) {
            QTest::newRow(name) << body << false << true << Kind::DataCorrupted << QString();
        };
        const auto bad = [](const char *name, const QByteArray &body, Kind kind, const char *path) {
            QTest::newRow(name) << body << false << false << kind << QString::fromLatin1(path);
        };
        const auto badList = [](const char *name, const QByteArray &body, Kind kind, const char *path) {
            QTest::newRow(name) << body << true << false << kind << QString::fromLatin1(path);
        };
        ok("upper snake keys",
           me(R"("username":"ann","email":"e","ACCOUNT_NUMBER":"1","balance":1,"IS_VERIFIED":false)"));
        // The good user with one piece of its text replaced.
        const auto swap = [](const char *from, const char *to) {
            return me(QByteArray(goodUser).replace(from, to));
        };
        bad("one upper-case word stays as it is", swap("\"username\"", "\"USERNAME\""), Kind::KeyNotFound,
            "user.username");
        ok("key longer than 32 bytes", swap("account_number", "account" + QByteArray(30, '_') + "number"));
        ok("double underscore", swap("account_number", "account__number"));
        bad("outer underscores are kept", swap("\"is_verified\"", "\"_is_verified\""), Kind::KeyNotFound,
            "user.is_verified");
        ok("escaped key", swap("account_number", "account\\u005fnumber"));
        bad("balance as string", swap("100", "\"100\""), Kind::TypeMismatch, "user.balance");
        bad("balance too large", swap("100", "1e400"), Kind::DataCorrupted, "user.balance");
        bad("verified as 1", swap("true", "1"), Kind::TypeMismatch, "user.is_verified");
        bad("first field in order decides",
            me(R"("is_verified":"no","balance":"x","email":null,"account_number":"1","username":"a")"),
            Kind::ValueNotFound, "user.email");
        bad("missing beats a later bad value",
            me(R"("is_verified":"no","email":"e","account_number":"1","balance":1)"), Kind::KeyNotFound,
            "user.username");
        ok("extra keys everywhere", R"({"v":2,"user":{"x":{"y":[1,2.5e3,"s",true,false,null,{}]},)" +
                                        goodUser + R"(,"z":[]},"w":null})");
        ok("duplicate: last good wins",
           me(R"("balance":"bad","username":"a","email":"e","account_number":"1","balance":1,"is_verified":true)"));
        bad("user is a list", R"({"user":[]})", Kind::TypeMismatch, "user");
        bad("empty body", "", Kind::DataCorrupted, "");
        bad("top level is a list", "[]", Kind::TypeMismatch, "");
        badList("id as number", QByteArray(transactions(R"("")")).replace(R"("t2")", "2"), Kind::TypeMismatch,
                "transactions[1].id");
        badList("number for a record", R"({"transactions":[5]})", Kind::TypeMismatch, "transactions[0]");
        // An error in a list does not stop the reading of the object around it.
        badList("error, then more", R"({"transactions":[{"id":1}],"more":{"a":[1,2]}})", Kind::TypeMismatch,
                "transactions[0].id");
        badList("date without fraction", transactions(R"("")", R"("2025-03-01T10:15:30Z")"),
                Kind::DataCorrupted, "transactions[1].created_at");
    }

    void rules()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, isList);
        QFETCH(bool, reads);
        QFETCH(Kind, kind);
        QFETCH(QString, path);
        const std::optional<DecodingError> error =
            isList ? failure<TransactionsResponse>(body) : failure<MeResponse>(body);
        if (reads) {
            QVERIFY2(!error, error ? qPrintable(error->description()) : "");
            return;
        }
        QVERIFY(error);
        QCOMPARE(error->kind(), kind);
        QCOMPARE(error->codingPath(), path);
    }

    void values()
    {
        const APIUser snake = ReplyReader::read<MeResponse>(me(goodUser)).user;
        QCOMPARE(snake.username, QString("ann"));
        QCOMPARE(snake.email, QString("a@example.com"));
        QCOMPARE(snake.accountNumber, QString("QB-1"));
        QCOMPARE(snake.balance, 100.0);
        QCOMPARE(snake.isVerified, true);
        const APIUser camel = ReplyReader::read<MeResponse>(
                                  me(R"("username":"ann","email":"a@example.com","accountNumber":"QB-1",)"
                                     R"("balance":100.0,"isVerified":true)"))
                                  .user;
        QCOMPARE(camel, snake);
    }

    // Strings without escapes are read in place, others are unescaped: both ways, and the edges
    // between them, must give the same text and refuse the same errors.
    void strings_data()
    {
        QTest::addColumn<QByteArray>("json");  // the username's JSON, then a comma
        QTest::addColumn<QString>("expected"); // null: refused as corrupt
        QTest::newRow("plain") << QByteArray(R"("ann",)") << QString("ann");
        QTest::newRow("whitespace after it") << QByteArray("\"ann\" \t\r\n ,") << QString("ann");
        QTest::newRow("raw UTF-8") << QByteArray(R"("zöe",)") << QString::fromUtf8("zöe");
        QTest::newRow("only an escaped quote") << QByteArray("\"\\\"\",") << QString("\"");
        QTest::newRow("bad escape") << QByteArray("\"a\\x\",") << QString();
        // An unknown key's string is checked the same way.
        QTest::newRow("good extra string") << QByteArray("\"ann\",\"x\":\"\\u00e9\",") << QString("ann");
    }

    void strings()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, expected);
        const QByteArray body = me(R"("username":)" + json + QByteArray(goodUser).mid(17));
        const std::optional<DecodingError> error = failure<MeResponse>(body);
        if (expected.isNull()) {
            QVERIFY(error);
            QCOMPARE(error->kind(), Kind::DataCorrupted);
            return;
        }
        QVERIFY2(!error, error ? qPrintable(error->description()) : "");
        QCOMPARE(ReplyReader::read<MeResponse>(body).user.username, expected);
    }

    void lists()
    {
        const auto list = ReplyReader::read<TransactionsResponse>(transactions(R"("")")).transactions;
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[1].id, QString("t2"));
        QCOMPARE(list[1].amount, 2.0);
        QCOMPARE(list[1].note, QString());
        // A date written with an escaped digit is still the same date.
        const auto escapedDate = ReplyReader::read<TransactionsResponse>(
            transactions(R"("")", "\"\\u0032025-03-01T10:15:30.123Z\""));
        QCOMPARE(escapedDate.transactions[1].createdAt, list[0].createdAt);

        const auto users =
            ReplyReader::read<SearchResponse>(
                R"({"users":[{"username":"b","account_number":"2"},{"username":"a","accountNumber":"1","x":1}]})")
                .users;
        QCOMPARE(users.size(), 2);
        QCOMPARE(users[0].username, QString("b"));
        QCOMPARE(users[1].accountNumber, QString("1"));
    }

    void dates_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused
        const QDateTime instant(QDate(2025, 3, 1), QTime(10, 15, 30, 123), Qt::UTC);
        QTest::newRow("Z") << QByteArray("2025-03-01T10:15:30.123Z") << instant;
        QTest::newRow("negative offset") << QByteArray("2025-03-01T07:45:30.123-02:30") << instant;
        QTest::newRow("one digit") << QByteArray("2025-03-01T10:15:30.1Z") << instant.addMSecs(-23);
        QTest::newRow("nanos") << QByteArray("2025-03-01T10:15:30.123999999Z") << instant;
        QTest::newRow("day rolls") << QByteArray("2025-03-01T00:30:00.000+01:00")
                                   << QDateTime(QDate(2025, 2, 28), QTime(23, 30), Qt::UTC);
        QTest::newRow("leap day") << QByteArray("2024-02-29T00:00:00.000Z")
                                  << QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC);
        QTest::newRow("empty fraction") << QByteArray("2025-03-01T10:15:30.Z") << QDateTime();
        QTest::newRow("no zone") << QByteArray("2025-03-01T10:15:30.123") << QDateTime();
        QTest::newRow("space for T") << QByteArray("2025-03-01 10:15:30.123Z") << QDateTime();
        QTest::newRow("Feb 29 in 2025") << QByteArray("2025-02-29T10:15:30.123Z") << QDateTime();
    }

    void dates()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, expected);
        const QDateTime parsed = ReplyReader::parseDate(text);
        QCOMPARE(parsed.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(parsed, expected);
            QCOMPARE(parsed.timeSpec(), Qt::UTC);
        }
    }

    void descriptions()
    {
        auto error = failure<TransactionsResponse>(transactions(R"("")", R"("2025-03-01T10:15:30Z")"));
        QCOMPARE(error->description(), QString("Bad date: 2025-03-01T10:15:30Z"));
        error = failure<MeResponse>(me(R"("username":5)"));
        QCOMPARE(error->description(),
                 QString("The data couldn't be read because a string was expected but a number was found "
                         "(at user.username)."));
        error = failure<MeResponse>("nope");
        QCOMPARE(error->description(), QString("The data couldn't be read because it isn't valid JSON."));
    }

    void messages_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("reads");
        QTest::newRow("any text") << QByteArray(R"({"message":"Whatever the service says"})") << true;
        QTest::newRow("missing") << QByteArray(R"({"ok":true})") << false;
    }

    void messages()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, reads);
        QCOMPARE(!failure<VerifyResponse>(body), reads);
        QCOMPARE(!failure<ResendResponse>(body), reads);
        QCOMPARE(!failure<ResetResponse>(body), reads);
    }

    void errorBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message"); // null: unreadable
        QTest::newRow("error") << QByteArray(R"({"error":"Invalid credentials"})") << "Invalid credentials";
        QTest::newRow("extra keys") << QByteArray(R"({"code":7,"error":"x","more":[1]})") << "x";
        QTest::newRow("last of two") << QByteArray(R"({"error":"a","error":"b"})") << "b";
        QTest::newRow("Error") << QByteArray(R"({"Error":"x"})") << QString();
        QTest::newRow("not a string") << QByteArray(R"({"error":{"text":"x"}})") << QString();
    }

    void errorBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        const std::optional<QString> read = ReplyReader::readErrorMessage(body);
        QCOMPARE(read.has_value(), !message.isNull());
        if (read)
            QCOMPARE(*read, message);
    }

    void deepNesting()
    {
        // Ignored values are checked by recursion: nesting deep enough to overflow the stack is refused.
        const QByteArray deep = R"({"x":)" + QByteArray(200000, '[') + QByteArray(200000, ']') + "," +
                                QByteArray(me(goodUser)).mid(1);
        const auto error = failure<MeResponse>(deep);
        QVERIFY(error);
        QCOMPARE(error->kind(), Kind::DataCorrupted);
        const QByteArray nested =
            R"({"x":)" + QByteArray(900, '[') + QByteArray(900, ']') + "," + QByteArray(me(goodUser)).mid(1);
        QCOMPARE(ReplyReader::read<MeResponse>(nested).user.username, QString("ann"));
    }

    void sharedStrings()
    {
        // Short texts are shared between records; texts that differ only in one byte, or only in
        // length, must still come back as they were sent.
        const QByteArray letters = "abcdefghijklmnopqrstuvwxyz";
        QList<QByteArray> texts;
        for (qsizetype length = 1; length <= letters.size(); ++length) {
            texts << letters.left(length);
            for (qsizetype at = 0; at < length; ++at)
                texts << letters.left(length).replace(at, 1, "_");
        }
        QByteArray body = "{\"transactions\":[";
        for (const QByteArray &text : texts)
            body += "{\"id\":\"t\",\"from_user\":\"" + text + "\",\"to_user\":\"" + text +
                    "\",\"amount\":1,\"note\":\"\",\"created_at\":\"2025-03-01T10:15:30.123Z\"},";
        body.chop(1);
        const auto list = ReplyReader::read<TransactionsResponse>(body + "]}").transactions;
        QCOMPARE(list.size(), texts.size());
        for (qsizetype i = 0; i < texts.size(); ++i) {
            QCOMPARE(list[i].fromUser, QString::fromLatin1(texts[i]));
            QCOMPARE(list[i].toUser, list[i].fromUser);
            if (texts[i].size() <= 24)
                QCOMPARE(list[i].toUser.constData(), list[i].fromUser.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestReplyReader)
#include "tst_replyreader.moc"
