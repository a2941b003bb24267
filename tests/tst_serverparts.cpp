// SPDX-License-Identifier: MIT
// The rules inside quorl-service, without the network: exact amounts, input checks, reading request
// bodies, the search text's decoding, Idempotency-Key parsing and in-progress marks, the stores' guards
// (balances, tokens, search, the transfer list).
#include "server/AccountStore.h"
#include "server/Amount.h"
#include "server/ApiMessage.h"
#include "server/Crypto.h"
#include "server/Database.h"
#include "server/IdempotencyStore.h"
#include "server/InputRules.h"
#include "server/Outbox.h"
#include "server/TransferStore.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

class TestServerParts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(Crypto::initialize()); }

    void amountFromJson_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("micros"); // -1: refused
        QTest::newRow("six decimals") << 98.999999 << 98'999'999LL;
        QTest::newRow("seven decimals") << 0.0000001 << -1LL;
        QTest::newRow("float sum noise") << 0.1 + 0.2 << -1LL; // 0.30000000000000004
        QTest::newRow("zero") << 0.0 << -1LL;
        QTest::newRow("NaN") << std::nan("") << -1LL;
        QTest::newRow("largest") << 1e12 << 1'000'000'000'000'000'000LL;
        QTest::newRow("too large") << 1e12 + 1 << -1LL;
    }

    void amountFromJson()
    {
        QFETCH(double, value);
        QFETCH(qint64, micros);
        const Amount::Parsed parsed = Amount::fromJson(value);
        if (micros < 0) {
            QVERIFY(!parsed.micros);
            QVERIFY(!parsed.error.isEmpty());
        } else {
            QCOMPARE(parsed.micros.value_or(-1), micros);
            QCOMPARE(Amount::toJson(micros), value);
        }
    }

    void amountText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("micros");
        QTest::newRow("fraction") << u"0.25"_qs << 250'000LL;
        QTest::newRow("trailing zeros") << u"1.500000000"_qs << 1'500'000LL;
        QTest::newRow("zero") << u"0"_qs << 0LL;
        QTest::newRow("too precise") << u"1.0000001"_qs << -1LL;
        QTest::newRow("negative") << u"-1"_qs << -1LL;
    }

    void amountText()
    {
        QFETCH(QString, text);
        QFETCH(qint64, micros);
        QCOMPARE(Amount::fromText(text).value_or(-1), micros);
        if (micros >= 0)
            QCOMPARE(Amount::fromText(Amount::toText(micros)).value_or(-1), micros);
    }

    void inputRules_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("name plain") << u"user"_qs << u"ann.b_c-1"_qs << true;
        QTest::newRow("name 3") << u"user"_qs << u"abc"_qs << true;
        QTest::newRow("name 32") << u"user"_qs << QString(32, u'a') << true;
        QTest::newRow("name 33") << u"user"_qs << QString(33, u'a') << false;
        QTest::newRow("name accented") << u"user"_qs << u"josé"_qs << false;
        QTest::newRow("name final line feed") << u"user"_qs << u"alice\n"_qs << false;
        QTest::newRow("mail plain") << u"mail"_qs << u"a.b+c@example.co.uk"_qs << true;
        QTest::newRow("mail no domain dot") << u"mail"_qs << u"a@localhost"_qs << false;
        QTest::newRow("mail two ats") << u"mail"_qs << u"a@b@c.de"_qs << false;
        QTest::newRow("mail trailing dot") << u"mail"_qs << u"a@b.de."_qs << false;
        QTest::newRow("mail space") << u"mail"_qs << u"a b@c.de"_qs << false;
        QTest::newRow("mail C1 control") << u"mail"_qs << u"a\u0085b@c.de"_qs << false;
        QTest::newRow("password 6") << u"password"_qs << u"123456"_qs << true;
        QTest::newRow("password 5 emoji") << u"password"_qs << u"😀😀😀😀😀"_qs << false; // 10 UTF-16 units
        QTest::newRow("note 500 emoji") << u"note"_qs << QString(u"😀"_qs).repeated(500) << true;
        QTest::newRow("note 501") << u"note"_qs << QString(501, u'n') << false;
        QTest::newRow("note line feed") << u"note"_qs << u"one\ntwo"_qs << false;
        QTest::newRow("search NUL") << u"search"_qs << u"a"_qs + QChar(0) + u"b"_qs << false;
    }

    void inputRules()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(bool, accepted);
        QString problem;
        if (kind == u"user")
            problem = InputRules::checkUsername(value);
        else if (kind == u"mail")
            problem = InputRules::checkEmail(value);
        else if (kind == u"password")
            problem = InputRules::checkPassword(value);
        else if (kind == u"search")
            problem = InputRules::checkSearchText(value);
        else
            problem = InputRules::checkNote(value);
        QCOMPARE(problem.isEmpty(), accepted);
    }

    // What reaches the endpoints is what the body says, or the body is refused for its first problem.
    // Qt's own reader would join a lone surrogate with the next character or keep it as text it
    // cannot store.
    void bodyText_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("read"); // the note read, or a part of the refusal
        QTest::addColumn<bool>("ok");
        QTest::newRow("pair") << QByteArray(R"({"note":"a\ud83d\ude00b"})") << u"a😀b"_qs << true;
        QTest::newRow("escaped backslash") << QByteArray(R"({"note":"\\ud800"})") << u"\\ud800"_qs << true;
        const QString surrogate = u"surrogate"_qs;
        QTest::newRow("high then letter") << QByteArray(R"({"note":"a\ud800b"})") << surrogate << false;
        QTest::newRow("high at the end") << QByteArray(R"({"note":"hi \ud800"})") << surrogate << false;
        QTest::newRow("high then quote") << QByteArray("{\"note\":\"\\ud800\\\"\"}") << surrogate << false;
        QTest::newRow("high then high")
            << QByteArray(R"({"note":"\uD800\uD800\uDC00"})") << surrogate << false;
        QTest::newRow("low alone") << QByteArray(R"({"note":"\udc00x"})") << surrogate << false;
        QTest::newRow("in another field")
            << QByteArray(R"({"note":"x","password":"p\ud800w"})") << surrogate << false;
        QTest::newRow("blank") << QByteArray(" ") << u"is empty"_qs << false;
        QTest::newRow("malformed") << QByteArray(R"({"note":)") << u"not valid JSON"_qs << false;
        QTest::newRow("array") << QByteArray("[]") << u"must be a JSON object"_qs << false;
        QTest::newRow("missing") << QByteArray("{}") << u"\"note\" is missing"_qs << false;
        QTest::newRow("number") << QByteArray(R"({"note":1})") << u"\"note\" must be a string"_qs << false;
    }

    void bodyText()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, read);
        QFETCH(bool, ok);
        BodyReader reader(body);
        const QString note = reader.string("note");
        QCOMPARE(reader.ok(), ok);
        const QString error = reader.errorReply().body.value(u"error"_qs).toString();
        QVERIFY2(ok ? note == read : error.contains(read), qPrintable(ok ? note : error));
    }

    void outboxKeepsEachHeaderOnOneLine()
    {
        // An account made before control characters were refused may still hold a line feed.
        QTemporaryDir dir;
        FILE *announce = std::tmpfile();
        QVERIFY(announce);
        Outbox outbox(dir.path(), announce);
        QVERIFY(outbox.sendCode(u"eve\nBcc: x@y.zz"_qs, u"eve@example.com\n"_qs, u"123456"_qs));
        const QStringList names = QDir(dir.path()).entryList({u"*.eml"_qs});
        QCOMPARE(names.size(), 1);
        QFile mail(dir.filePath(names.first()));
        QVERIFY(mail.open(QIODevice::ReadOnly));
        const QByteArray text = mail.readAll();
        QVERIFY(!text.contains("\nBcc:"));
        QVERIFY(text.contains("\r\nTo: eve\xef\xbf\xbd"
                              "Bcc: x@y.zz <eve@example.com\xef\xbf\xbd>\r\n"));
        std::rewind(announce);
        char line[256] = {};
        QVERIFY(std::fgets(line, sizeof line, announce));
        QCOMPARE(QByteArray(line),
                 QByteArray("mail to eve@example.com\xef\xbf\xbd: verification code 123456\n"));
        QVERIFY(!std::fgets(line, sizeof line, announce));
        std::fclose(announce);
    }

    void searchText_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("text");
        QTest::newRow("space escaped once") << u"q=bo%20b"_qs << u"bo b"_qs;
        QTest::newRow("umlaut escaped twice") << u"q=%25C3%25BC"_qs << u"ü"_qs;
        QTest::newRow("absent") << u"x=1"_qs << u""_qs;
    }

    void searchText()
    {
        QFETCH(QString, query);
        QFETCH(QString, text);
        QCOMPARE(InputRules::searchText(QUrlQuery(query)), text);
    }

    void idempotencyKeys_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("bare") << QByteArray("abc-1") << QByteArray("abc-1");
        QTest::newRow("quoted") << QByteArray("\"abc-1\"") << QByteArray("abc-1");
        QTest::newRow("one quote") << QByteArray("\"abc") << QByteArray();
        QTest::newRow("control") << QByteArray("a\x01") << QByteArray();
        QTest::newRow("255") << QByteArray(255, 'k') << QByteArray(255, 'k');
        QTest::newRow("256") << QByteArray(256, 'k') << QByteArray();
        QTest::newRow("empty quotes") << QByteArray("\"\"") << QByteArray();
    }

    void idempotencyKeys()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, key);
        QCOMPARE(IdempotencyStore::parseKey(header), key);
    }

    void storesAndGuards()
    {
        QTemporaryDir dir;
        Database db;
        QString error;
        QVERIFY2(db.open(dir.filePath(u"t.db"_qs), &error), qPrintable(error));
        AccountStore accounts(db);
        TransferStore transfers(db);
        IdempotencyStore idempotency(db);

        const qint64 a = accounts.create(u"Ann"_qs, u"a@b.cd"_qs, "hash", 5);
        const qint64 b =
            accounts.create(u"bob"_qs, u"b@b.cd"_qs, "hash", std::numeric_limits<qint64>::max() - 3);
        const qint64 c = accounts.create(u"carl_b"_qs, u"c@b.cd"_qs, "hash", 0);
        QCOMPARE(accounts.byName(u"aNN"_qs)->id, a);
        QCOMPARE(accounts.byId(a)->accountNumber.size(), 10);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, accounts.create(u"ANN"_qs, u"x@y.zz"_qs, "hash", 0));

        Transfer made;
        QCOMPARE(transfers.transfer(a, b, 6, {}, &made), TransferStore::Outcome::InsufficientBalance);
        QCOMPARE(transfers.transfer(a, b, 4, {}, &made), TransferStore::Outcome::Overflow);
        QCOMPARE(transfers.transfer(a, b, 3, u"n"_qs, &made), TransferStore::Outcome::Done);
        QCOMPARE(made.fromUser, u"Ann"_qs);
        QCOMPARE(accounts.byId(a)->balance, 2);
        QCOMPARE(accounts.byId(b)->balance, std::numeric_limits<qint64>::max());
        // The whole balance can go, and then nothing more; the list is newest first.
        QCOMPARE(transfers.transfer(a, c, 2, u"all"_qs, &made), TransferStore::Outcome::Done);
        QCOMPARE(accounts.byId(a)->balance, 0);
        QCOMPARE(transfers.transfer(a, c, 1, {}, &made), TransferStore::Outcome::InsufficientBalance);
        QCOMPARE(transfers.recent(a, 100).size(), 2);
        QCOMPARE(transfers.recent(a, 1).first().toUser, u"carl_b"_qs);
        // The table itself refuses a negative balance.
        QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                 db.exec(u"UPDATE users SET balance = -1 WHERE id = ?"_qs, {a}));

        accounts.addToken(a, u"tok"_qs);
        QCOMPARE(accounts.userForToken(u"tok"_qs, 0).value_or(0), a);
        QVERIFY(!accounts.userForToken(u"tok"_qs, QDateTime::currentMSecsSinceEpoch() + 1)); // too old
        QVERIFY(!db.exec(u"SELECT 1 FROM tokens WHERE token_hash = ?"_qs, {QByteArray("tok")}).next());
        accounts.revokeTokens(a);
        QVERIFY(!accounts.userForToken(u"tok"_qs, 0));

        // Search matches the text as it is ('_' and '%' are no wildcards), without regard to case,
        // ordered by name.
        const auto found = [&accounts](const QString &text) {
            QStringList names;
            for (const Account &account : accounts.search(text, 20))
                names << account.username;
            return names;
        };
        QCOMPARE(found(u"B"_qs), (QStringList{u"bob"_qs, u"carl_b"_qs}));
        QCOMPARE(found(u"_"_qs), QStringList{u"carl_b"_qs});
        QCOMPARE(found(u"%"_qs), QStringList());

        // A key is in progress until its end; stored replies expire after 24 hours.
        QVERIFY(idempotency.begin("scope"));
        QVERIFY(!idempotency.begin("scope"));
        idempotency.end("scope");
        QVERIFY(idempotency.begin("scope"));
        idempotency.end("scope");
        idempotency.save("scope", {"hash", 200, "{}", {}}, 1'000);
        QCOMPARE(idempotency.find("scope", 2'000)->status, 200);
        QVERIFY(!idempotency.find("scope", 1'000 + IdempotencyStore::lifetimeMs));
        idempotency.purge(1'000 + IdempotencyStore::lifetimeMs);
        QVERIFY(!db.exec(u"SELECT 1 FROM idempotency"_qs).next());
    }
};

QTEST_GUILESS_MAIN(TestServerParts)
#include "tst_serverparts.moc"
