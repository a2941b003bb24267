// SPDX-License-Identifier: MIT
// The send form's state for a signed-in session against the local fake: the debounced search,
// picking a hit, the amount rule and the outcomes of a transfer.
#include "testsupport/DashboardFixture.h"
#include "testsupport/IsolatedSettings.h"
#include "ui/screens/SendModel.h"

#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

using namespace std::chrono_literals;
using SessionFixtures::sendReply;
using SessionFixtures::usersReply;

namespace {

const QString searchPath = u"/api/users/search"_qs;
const QString sendPath = u"/api/send"_qs;

} // namespace

class TestSendForm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DashboardFixture> m_f;
    std::unique_ptr<SendModel> m_form;

    [[nodiscard]] qsizetype requests(const QString &path) const { return m_f->fake->requests(path).size(); }

    // Signed in as alice with an open send form (for the form's tests).
    void openForm()
    {
        QVERIFY(m_f->signIn(u"alice"_qs, 100, {}));
        m_form = std::make_unique<SendModel>();
        m_form->setAuth(m_f->auth.get());
    }

    // Finds the user by a search and picks the first hit.
    void pickRecipient(const QString &name)
    {
        m_f->fake->setFallback("GET", searchPath, usersReply({name}));
        m_form->search()->setRecipientQuery(name);
        QTRY_COMPARE(m_form->search()->searchResults().size(), 1);
        m_form->search()->pickHit(0);
        QVERIFY(m_form->search()->selectedUser().has_value());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(DashboardFixture::useUsEnglish()); }
    void init() { m_f = std::make_unique<DashboardFixture>(); }
    void cleanup()
    {
        m_form.reset();
        m_f.reset();
    }

    void burstSendsOneRequestForTheLastText()
    {
        openForm();
        m_f->fake->setFallback("GET", searchPath, usersReply({"alice"}));
        m_form->search()->setRecipientQuery(u"a"_qs);
        // Right after the first keystroke: a query, nothing running, no hits.
        QVERIFY(m_form->search()->showNoUsers());
        QVERIFY(!m_form->search()->isSearching());
        // Keystrokes 100 ms apart: each one within the pause that lets a search start.
        QTest::qWait(100);
        m_form->search()->setRecipientQuery(u"al"_qs);
        QTest::qWait(100);
        m_form->search()->setRecipientQuery(u"ali"_qs);
        QTRY_COMPARE(m_form->search()->searchResults().size(), 1);
        QVERIFY(!m_form->search()->isSearching() && !m_form->search()->showNoUsers());
        QVERIFY(!m_form->search()->searchPending());
        QCOMPARE(requests(searchPath), 1);
        QCOMPARE(m_f->fake->requests(searchPath).first().query, QByteArray("q=ali"));
        QCOMPARE(m_f->fake->requests(searchPath).first().header("Authorization"),
                 QByteArray("Bearer tok-alice"));
    }

    void emptyingTheQueryHidesHitsAndCancelsTheSearch_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("typing") << 0;
        QTest::newRow("clear button or Change") << 1;
    }
    void emptyingTheQueryHidesHitsAndCancelsTheSearch()
    {
        QFETCH(int, how);
        openForm();
        m_f->fake->setFallback("GET", searchPath, usersReply({"bob", "bobby"}));
        m_form->search()->setRecipientQuery(u"bo"_qs);
        QTRY_COMPARE(m_form->search()->searchResults().size(), 2);
        m_form->search()->setRecipientQuery(u"bob"_qs); // a search waiting out its delay
        if (how == 0)
            m_form->search()->setRecipientQuery(QString());
        else
            m_form->search()->clear();
        QVERIFY(m_form->search()->recipientQuery().isEmpty() && m_form->search()->searchResults().isEmpty());
        QVERIFY(!m_form->search()->selectedUser() && !m_form->search()->showNoUsers());
        QVERIFY(!m_form->search()->searchPending());
        QCOMPARE(requests(searchPath), 1);
        QVERIFY(m_form->search()->searchResults().isEmpty());
    }

    void pickingAHitShowsTheChipAndSearchesNoMore()
    {
        openForm();
        m_f->fake->setFallback("GET", searchPath, usersReply({"bob", "bobby"}));
        m_form->search()->setRecipientQuery(u"bo"_qs);
        QTRY_COMPARE(m_form->search()->searchResults().size(), 2);
        QVERIFY(!m_form->canSend());
        m_form->search()->pickHit(1);
        QCOMPARE(m_form->search()->selectedUser()->username, u"bobby"_qs);
        QCOMPARE(m_form->search()->selectedUser()->accountNumber, u"QB-BOBBY"_qs);
        QCOMPARE(m_form->search()->recipientQuery(), u"bobby"_qs);
        QVERIFY(m_form->search()->searchResults().isEmpty() && !m_form->search()->showNoUsers());
        QVERIFY(!m_form->search()->searchPending());
        QCOMPARE(requests(searchPath), 1);
        // Typing again drops the recipient.
        m_form->search()->setRecipientQuery(u"bobb"_qs);
        QVERIFY(!m_form->search()->selectedUser());
    }

    void staleOrFailedSearchKeepsTheNewestHits()
    {
        openForm();
        // The first search answers late; the second is typed while it is on its way.
        m_f->fake->enqueue("GET", searchPath, usersReply({"albert"}).after(800ms));
        m_f->fake->enqueue("GET", searchPath, usersReply({"alice"}));
        m_f->fake->setFallback("GET", searchPath, FakeReply::json(500, R"({"error":"down"})"));
        m_form->search()->setRecipientQuery(u"al"_qs);
        QTRY_COMPARE(requests(searchPath), 1);
        QTRY_VERIFY(m_form->search()->isSearching());
        m_form->search()->setRecipientQuery(u"ali"_qs);
        QVERIFY(!m_form->search()->isSearching());
        QTRY_COMPARE(m_form->search()->searchResults().size(), 1);
        QVERIFY(m_f->fake->waitUntilAnswered(m_f->fake->answeredCount() + 1)); // the late one
        QCOMPARE(m_form->search()->searchResults().first().username, u"alice"_qs);
        // A failed search keeps the earlier hits and shows no message.
        m_form->search()->setRecipientQuery(u"alic"_qs);
        QTRY_COMPARE(requests(searchPath), 3);
        QTRY_VERIFY(!m_form->search()->isSearching());
        QCOMPARE(m_form->search()->searchResults().first().username, u"alice"_qs);
        QVERIFY(m_form->sendStatus().isEmpty());
    }

    void canSend_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("enabled");
        // The amount reader's own rules are tested with it; these are the form's: more than 0, NaN
        // refused, infinity let through (the session refuses it).
        for (const char *text : {"12", "inf"})
            QTest::newRow(text) << QString::fromLatin1(text) << true;
        for (const char *text : {"0", "-5", "abc", "nan"})
            QTest::newRow(text) << QString::fromLatin1(text) << false;
    }
    void canSend()
    {
        QFETCH(QString, amount);
        QFETCH(bool, enabled);
        openForm();
        m_form->setAmountText(amount);
        QVERIFY(!m_form->canSend()); // no recipient yet
        pickRecipient(u"bob"_qs);
        QCOMPARE(m_form->canSend(), enabled);
        if (!enabled) {
            m_form->doSend(); // called anyway: no change, no message, no request
            QVERIFY(!m_form->isSending() && m_form->sendStatus().isEmpty());
            QCOMPARE(requests(sendPath), 0);
        }
    }

    // A success shows the message and empties the form (which stays open); a failure keeps
    // recipient, amount and note.
    void sendOutcomes_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("message"); // empty: any failure text
        QTest::addColumn<int>("sentAmount");  // 0: nothing sent
        const FakeReply refused = FakeReply::json(400, R"({"error":"Insufficient funds."})");
        QTest::newRow("5") << u"5"_qs << sendReply("alice", 95).after(100ms) << u"Sent 5 ◆ to bob."_qs << 5;
        QTest::newRow("1e2 sends 100")
            << u"1e2"_qs << sendReply("alice", 95) << u"Sent 100 ◆ to bob."_qs << 100;
        QTest::newRow("refused") << u"5"_qs << refused << u"Insufficient funds."_qs << 5;
        QTest::newRow("inf is never sent") << u"inf"_qs << refused << QString() << 0;
    }
    void sendOutcomes()
    {
        QFETCH(QString, amount);
        QFETCH(FakeReply, reply);
        QFETCH(QString, message);
        QFETCH(int, sentAmount);
        openForm();
        m_f->fake->enqueue("POST", sendPath, reply);
        pickRecipient(u"bob"_qs);
        m_form->setAmountText(amount);
        m_form->setProperty("note", u"for lunch"_qs);
        m_form->doSend();
        QVERIFY(!sentAmount || (m_form->isSending() && m_form->sendStatus().isEmpty()));
        QTRY_VERIFY(!m_form->isSending());
        const bool success = message.startsWith(u"Sent");
        QCOMPARE(m_form->isSendError(), !success);
        QVERIFY(!m_form->sendStatus().isEmpty());
        if (!message.isEmpty())
            QCOMPARE(m_form->sendStatus(), message);
        QCOMPARE(m_form->search()->selectedUser().has_value(), !success);
        QCOMPARE(m_form->search()->recipientQuery(), success ? QString() : u"bob"_qs);
        QCOMPARE(m_form->amountText(), success ? QString() : amount);
        QCOMPARE(m_form->note(), success ? QString() : u"for lunch"_qs);
        QCOMPARE(m_form->canSend(), !success);
        QCOMPARE(m_f->auth->currentUser()->balance, success ? 95.0 : 100.0);
        QCOMPARE(requests(sendPath), sentAmount ? 1 : 0);
        if (sentAmount) {
            const QJsonObject body = m_f->fake->requests(sendPath).first().json();
            QCOMPARE(body.value("to").toString(), u"bob"_qs);
            QCOMPARE(body.value("amount").toDouble(), double(sentAmount));
            QCOMPARE(body.value("note").toString(), u"for lunch"_qs);
        }
    }

    void withoutATokenNothingIsSearched()
    {
        openForm();
        m_f->auth->setToken(std::nullopt);
        m_form->search()->setRecipientQuery(u"bobby"_qs);
        QTRY_VERIFY(!m_form->search()->searchPending());
        QCOMPARE(requests(searchPath), 0);
        QVERIFY(!m_form->search()->isSearching());
    }

    void closingTheFormDuringASearchOrTransferIsHarmless()
    {
        openForm();
        m_f->fake->enqueue("POST", sendPath, sendReply("alice", 42).after(300ms));
        pickRecipient(u"bob"_qs);
        m_form->setAmountText(u"5"_qs);
        m_form->doSend();
        m_form.reset();                                        // closed while the transfer is on its way
        QTRY_COMPARE(m_f->auth->currentUser()->balance, 42.0); // it still completed in the session

        m_form = std::make_unique<SendModel>();
        m_form->setAuth(m_f->auth.get());
        m_f->fake->setFallback("GET", searchPath, FakeReply::silence());
        m_form->search()->setRecipientQuery(u"al"_qs);
        QTRY_VERIFY(m_form->search()->isSearching());
        const int closedBefore = m_f->fake->closedCount();
        m_form.reset(); // closed while the search is on its way: the request is aborted
        QTRY_COMPARE(m_f->fake->closedCount(), closedBefore + 1);
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestSendForm)
#include "tst_sendform.moc"
