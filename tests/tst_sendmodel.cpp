// SPDX-License-Identifier: MIT
// The send form's state against the local HTTPS fake: debounced search, picking, the amount rule,
// and the outcomes of a transfer.
#include "service/APIService.h"
#include "session/AuthService.h"
#include "tests/support/FakeService.h"
#include "tests/support/IsolatedSettings.h"
#include "ui/screens/SendModel.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <unicode/locid.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QByteArray get = "GET";
const QByteArray post = "POST";
const QString searchPath = QStringLiteral("/api/users/search");
const QString sendPath = QStringLiteral("/api/send");

QByteArray usersJson(const QStringList &names)
{
    QJsonArray users;
    for (const QString &name : names)
        users.append(QJsonObject{{"username", name}, {"account_number", "QB-" + name.toUpper()}});
    return QJsonDocument(QJsonObject{{"users", users}}).toJson(QJsonDocument::Compact);
}

QByteArray sendReplyJson(double balance)
{
    const QJsonObject user{{"username", "alice"},
                           {"email", "alice@example.com"},
                           {"account_number", "QB-ALICE"},
                           {"balance", balance},
                           {"is_verified", true}};
    const QJsonObject transfer{{"id", "t1"},       {"from_user", "alice"},
                               {"to_user", "bob"}, {"amount", 5},
                               {"note", ""},       {"created_at", "2025-03-01T10:15:30.123Z"}};
    return QJsonDocument(QJsonObject{{"user", user}, {"transaction", transfer}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

class TestSendModel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeService> m_fake;
    std::unique_ptr<APIService> m_api;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<SendModel> m_form;

    [[nodiscard]] qsizetype searches() const { return m_fake->requests(searchPath).size(); }

    // Finds the user by a search and picks the first hit.
    void pickRecipient(const QString &name)
    {
        m_fake->setFallback(get, searchPath, FakeReply::json(200, usersJson({name})));
        m_form->setRecipientQuery(name);
        QTRY_COMPARE(m_form->searchResults().size(), 1);
        m_form->pickHit(0);
        QVERIFY(m_form->selectedUser().has_value());
    }

private Q_SLOTS:
    void initTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        QVERIFY(U_SUCCESS(status));
    }

    void init()
    {
        m_fake = std::make_unique<FakeService>();
        m_api = std::make_unique<APIService>(m_fake->options());
        m_auth = std::make_unique<AuthService>(*m_api);
        m_auth->setToken(QStringLiteral("tok"));
        m_fake->setFallback(get, QStringLiteral("/api/transactions"),
                            FakeReply::json(200, R"({"transactions":[]})"));
        m_form = std::make_unique<SendModel>();
        m_form->setAuth(m_auth.get());
    }

    void cleanup()
    {
        m_form.reset();
        m_auth->setToken(std::nullopt);
        m_auth.reset();
        m_api.reset();
        m_fake.reset();
    }

    void burstSendsOneRequestForTheLastText()
    {
        m_fake->setFallback(get, searchPath, FakeReply::json(200, usersJson({"alice"})));
        m_form->setRecipientQuery(QStringLiteral("a"));
        // Right after the first keystroke: a query, nothing running, no hits.
        QVERIFY(m_form->showNoUsers());
        QVERIFY(!m_form->isSearching());
        QTest::qWait(100);
        m_form->setRecipientQuery(QStringLiteral("al"));
        QTest::qWait(100);
        m_form->setRecipientQuery(QStringLiteral("ali"));
        QTRY_COMPARE(m_form->searchResults().size(), 1);
        QVERIFY(!m_form->isSearching());
        QVERIFY(!m_form->showNoUsers());
        QTest::qWait(SendModel::searchDelayMs + 100);
        const QList<RecordedRequest> requests = m_fake->requests(searchPath);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().query, QByteArray("q=ali"));
        QCOMPARE(requests.first().header("Authorization"), QByteArray("Bearer tok"));
    }

    void emptyingTheQueryHidesHitsAndCancelsTheSearch_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("typing") << 0;
        QTest::newRow("clear button") << 1;
        QTest::newRow("Change") << 2;
    }
    void emptyingTheQueryHidesHitsAndCancelsTheSearch()
    {
        QFETCH(int, how);
        m_fake->setFallback(get, searchPath, FakeReply::json(200, usersJson({"bob", "bobby"})));
        m_form->setRecipientQuery(QStringLiteral("bo"));
        QTRY_COMPARE(m_form->searchResults().size(), 2);
        m_form->setRecipientQuery(QStringLiteral("bob")); // a search waiting out its delay
        if (how == 0)
            m_form->setRecipientQuery(QString());
        else if (how == 1)
            m_form->clearSearch();
        else
            m_form->change();
        QVERIFY(m_form->recipientQuery().isEmpty());
        QVERIFY(m_form->searchResults().isEmpty());
        QVERIFY(!m_form->selectedUser());
        QVERIFY(!m_form->showNoUsers());
        QTest::qWait(SendModel::searchDelayMs + 200);
        QCOMPARE(searches(), 1);
        QVERIFY(m_form->searchResults().isEmpty());
    }

    void pickingAHitShowsTheChipAndSearchesNoMore()
    {
        m_fake->setFallback(get, searchPath, FakeReply::json(200, usersJson({"bob", "bobby"})));
        m_form->setRecipientQuery(QStringLiteral("bo"));
        QTRY_COMPARE(m_form->searchResults().size(), 2);
        QVERIFY(!m_form->canSend());
        m_form->pickHit(1);
        QCOMPARE(m_form->selectedUser()->username, QStringLiteral("bobby"));
        QCOMPARE(m_form->selectedUser()->accountNumber, QStringLiteral("QB-BOBBY"));
        QCOMPARE(m_form->recipientQuery(), QStringLiteral("bobby"));
        QVERIFY(m_form->searchResults().isEmpty());
        QVERIFY(!m_form->showNoUsers());
        QTest::qWait(SendModel::searchDelayMs + 200);
        QCOMPARE(searches(), 1);
        // Typing again drops the recipient.
        m_form->setRecipientQuery(QStringLiteral("bobb"));
        QVERIFY(!m_form->selectedUser());
    }

    void staleReplyNeverReplacesNewerHits()
    {
        // The first search answers late; the second is typed while it is on its way.
        m_fake->enqueue(get, searchPath, FakeReply::json(200, usersJson({"albert"})).after(800ms));
        m_fake->setFallback(get, searchPath, FakeReply::json(200, usersJson({"alice"})));
        m_form->setRecipientQuery(QStringLiteral("al"));
        QTRY_COMPARE(searches(), 1);
        QTRY_VERIFY(m_form->isSearching());
        m_form->setRecipientQuery(QStringLiteral("ali"));
        QVERIFY(!m_form->isSearching());
        QTRY_COMPARE(m_form->searchResults().size(), 1);
        QCOMPARE(m_form->searchResults().first().username, QStringLiteral("alice"));
        QTest::qWait(1000);
        QCOMPARE(m_form->searchResults().first().username, QStringLiteral("alice"));
        QCOMPARE(searches(), 2);
    }

    void searchFailureKeepsTheEarlierHits()
    {
        m_fake->enqueue(get, searchPath, FakeReply::json(200, usersJson({"bob"})));
        m_fake->setFallback(get, searchPath, FakeReply::json(500, R"({"error":"down"})"));
        m_form->setRecipientQuery(QStringLiteral("bo"));
        QTRY_COMPARE(m_form->searchResults().size(), 1);
        m_form->setRecipientQuery(QStringLiteral("bob"));
        QTRY_COMPARE(searches(), 2);
        QTRY_VERIFY(!m_form->isSearching());
        QCOMPARE(m_form->searchResults().size(), 1);
        QVERIFY(m_form->sendStatus().isEmpty());
    }

    void canSend_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("12") << "12" << true;
        QTest::newRow("1e2") << "1e2" << true;
        QTest::newRow("0.5") << "0.5" << true;
        QTest::newRow("hex") << "0x10" << true;
        QTest::newRow("inf") << "inf" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("-5") << "-5" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank before") << " 5" << false;
        QTest::newRow("blank after") << "5 " << false;
        QTest::newRow("comma") << "1,5" << false;
        QTest::newRow("abc") << "abc" << false;
        QTest::newRow("nan") << "nan" << false;
    }
    void canSend()
    {
        QFETCH(QString, amount);
        QFETCH(bool, enabled);
        m_form->setAmountText(amount);
        QVERIFY(!m_form->canSend()); // no recipient yet
        pickRecipient(QStringLiteral("bob"));
        QCOMPARE(m_form->canSend(), enabled);
        if (!enabled) {
            m_form->doSend(); // called anyway: no change, no message, no request
            QVERIFY(!m_form->isSending());
            QVERIFY(m_form->sendStatus().isEmpty());
            QTest::qWait(100);
            QCOMPARE(m_fake->requests(sendPath).size(), 0);
        }
    }

    void exponentAmountSendsItsValue()
    {
        m_fake->enqueue(post, sendPath, FakeReply::json(200, sendReplyJson(900)));
        pickRecipient(QStringLiteral("bob"));
        m_form->setAmountText(QStringLiteral("1e2"));
        m_form->doSend();
        QTRY_VERIFY(!m_form->isSending());
        const QList<RecordedRequest> sent = m_fake->requests(sendPath);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().json().value("amount").toDouble(), 100.0);
        QCOMPARE(m_form->sendStatus(), QStringLiteral("Sent 100 ◆ to bob."));
    }

    void successShowsTheMessageAndEmptiesTheForm()
    {
        m_fake->enqueue(post, sendPath, FakeReply::json(200, sendReplyJson(95)).after(100ms));
        pickRecipient(QStringLiteral("bob"));
        m_form->setAmountText(QStringLiteral("5"));
        m_form->setNote(QStringLiteral("for lunch"));
        m_form->doSend();
        QVERIFY(m_form->isSending());
        QVERIFY(m_form->sendStatus().isEmpty());
        QTRY_VERIFY(!m_form->isSending());
        QCOMPARE(m_form->sendStatus(), QStringLiteral("Sent 5 ◆ to bob."));
        QVERIFY(!m_form->isSendError());
        QVERIFY(!m_form->selectedUser());
        QVERIFY(m_form->recipientQuery().isEmpty());
        QVERIFY(m_form->amountText().isEmpty());
        QVERIFY(m_form->note().isEmpty());
        QVERIFY(!m_form->canSend());
        const QJsonObject body = m_fake->requests(sendPath).first().json();
        QCOMPARE(body.value("to").toString(), QStringLiteral("bob"));
        QCOMPARE(body.value("amount").toDouble(), 5.0);
        QCOMPARE(body.value("note").toString(), QStringLiteral("for lunch"));
        QCOMPARE(m_auth->currentUser()->balance, 95.0);
    }

    void failureKeepsRecipientAmountAndNote()
    {
        m_fake->enqueue(post, sendPath, FakeReply::json(400, R"({"error":"Insufficient funds."})"));
        pickRecipient(QStringLiteral("bob"));
        m_form->setAmountText(QStringLiteral("5"));
        m_form->setNote(QStringLiteral("rent"));
        m_form->doSend();
        QTRY_VERIFY(!m_form->isSending());
        QCOMPARE(m_form->sendStatus(), QStringLiteral("Insufficient funds."));
        QVERIFY(m_form->isSendError());
        QCOMPARE(m_form->selectedUser()->username, QStringLiteral("bob"));
        QCOMPARE(m_form->amountText(), QStringLiteral("5"));
        QCOMPARE(m_form->note(), QStringLiteral("rent"));
        QVERIFY(m_form->canSend());
    }

    void infiniteAmountIsRefusedWithoutARequest()
    {
        pickRecipient(QStringLiteral("bob"));
        m_form->setAmountText(QStringLiteral("inf"));
        QVERIFY(m_form->canSend());
        m_form->doSend();
        QTRY_VERIFY(!m_form->isSending());
        QVERIFY(m_form->isSendError());
        QVERIFY(!m_form->sendStatus().isEmpty());
        QCOMPARE(m_fake->requests(sendPath).size(), 0);
        QCOMPARE(m_form->amountText(), QStringLiteral("inf"));
    }

    void withoutATokenNothingIsSearchedAndSendingFails()
    {
        pickRecipient(QStringLiteral("bob"));
        m_form->setAmountText(QStringLiteral("5"));
        m_auth->setToken(std::nullopt);
        m_form->doSend();
        QTRY_VERIFY(!m_form->isSending());
        QCOMPARE(m_form->sendStatus(), QStringLiteral("Not logged in."));
        QVERIFY(m_form->isSendError());

        m_form->setRecipientQuery(QStringLiteral("bobby"));
        QTest::qWait(SendModel::searchDelayMs + 200);
        QCOMPARE(searches(), 1); // only the one made while signed in
        QVERIFY(!m_form->isSearching());
        QCOMPARE(m_fake->requests(sendPath).size(), 0);
    }

    void closingTheFormDuringASearchOrTransferIsHarmless()
    {
        m_fake->enqueue(post, sendPath, FakeReply::json(200, sendReplyJson(42)).after(300ms));
        pickRecipient(QStringLiteral("bob"));
        m_form->setAmountText(QStringLiteral("5"));
        m_form->doSend();
        m_form.reset(); // closed while the transfer is on its way
        QTRY_VERIFY(m_auth->currentUser().has_value());
        QCOMPARE(m_auth->currentUser()->balance, 42.0); // it still completed in the session

        m_form = std::make_unique<SendModel>();
        m_form->setAuth(m_auth.get());
        m_fake->setFallback(get, searchPath, FakeReply::silence());
        m_form->setRecipientQuery(QStringLiteral("al"));
        QTRY_VERIFY(m_form->isSearching());
        m_form.reset(); // closed while the search is on its way: the request is aborted
        QTest::qWait(200);
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestSendModel)
#include "tst_sendmodel.moc"
