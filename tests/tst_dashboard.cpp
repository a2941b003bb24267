// SPDX-License-Identifier: MIT
// The dashboard as drawn for a signed-in session against the local fake: the empty list, the
// transfer rows, the reloads (once on appearing, on each refresh) and their cancellation, the send
// form toggle and the keyboard focus. Then the send form's state: the debounced search, picking a
// hit, the amount rule and the outcomes of a transfer.
#include "testsupport/DashboardFixture.h"
#include "testsupport/IsolatedSettings.h"
#include "ui/screens/DashboardModel.h"
#include "ui/screens/SendModel.h"

#include <QGuiApplication>
#include <QPointer>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

using namespace std::chrono_literals;
using Transfer = DashboardFixture::Transfer;
using SessionFixtures::sendReply;
using SessionFixtures::usersReply;

namespace {

const QString transactionsPath = u"/api/transactions"_qs;
const QString searchPath = u"/api/users/search"_qs;
const QString sendPath = u"/api/send"_qs;

QQuickItem *child(QObject *parent, const char *name)
{
    return parent ? parent->findChild<QQuickItem *>(QLatin1String(name)) : nullptr;
}

} // namespace

class TestDashboard : public QObject
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

    // The notice while the list is empty; each press of refresh reloads, and then there is one row
    // per transfer, in order.
    void listNoticeAndRefresh()
    {
        QVERIFY(m_f->signIn(u"alice"_qs, 1234.5, {}));
        QQuickItem *view = m_f->openDashboard();
        QVERIFY(view);
        QVERIFY(m_f->fake->waitUntilAnswered(3)); // the sign-in and its list, then the appearing reload
        auto *list = child(view, "transfers");
        QCOMPARE(list->property("count").toInt(), 0);
        QTRY_VERIFY(child(view, "emptyNotice") && child(view, "emptyNotice")->isVisible());
        QCOMPARE(view->findChild<DashboardModel *>()->balanceText(), u"1,234 ◆"_qs);

        const QList<Transfer> transfers{
            {"alice", "bob", 5, ""},
            {"bob", "alice", 1234.5, "Lunch", "2025-03-01T09:30:00.000Z"},
            {"carol", "alice", 0.4, "x"},
        };
        m_f->serveTransfers(transfers);
        QMetaObject::invokeMethod(child(view, "refreshButton"), "clicked");
        QMetaObject::invokeMethod(child(view, "refreshButton"), "clicked");
        QTRY_COMPARE(requests(transactionsPath), 4);
        QTRY_COMPARE(list->property("count").toInt(), 3);
        QVERIFY(!child(view, "emptyNotice")->isVisible());
        const QStringList amounts{"5 ◆", "1,234 ◆", "0 ◆"};
        // Month, day, year, hour with AM/PM, minute: in the user's locale and time zone (UTC here).
        const QStringList dates{u"Mar 1, 2025, 3:05\u202FPM"_qs, u"Mar 1, 2025, 9:30\u202FAM"_qs};
        for (int i = 0; i < transfers.size(); ++i) {
            QQuickItem *slot = nullptr;
            QTRY_VERIFY(QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, slot),
                                                  Q_ARG(int, i)) &&
                        slot);
            QQuickItem *row = child(slot, "transferRow");
            QCOMPARE(row->property("fromUser").toString(), transfers[i].from);
            QCOMPARE(row->property("toUser").toString(), transfers[i].to);
            QCOMPARE(row->property("amountLine").toString(), amounts[i]);
            QCOMPARE(row->property("dateLine").toString(), dates.value(i, dates[0]));
            // A note line only for a note that is not empty: two lines or three.
            QCOMPARE(child(row, "noteLine")->isVisible(), !transfers[i].note.isEmpty());
        }
    }

    void toggleAndLogout()
    {
        QVERIFY(m_f->signIn(u"alice"_qs, 10, {}));
        QQuickItem *view = m_f->openDashboard();
        auto *dashboard = view->findChild<DashboardModel *>();
        // The toggle opens an empty form each time; the form's Cancel closes it through the dashboard.
        QVERIFY(!view->findChild<SendModel *>());
        QMetaObject::invokeMethod(child(view, "sendToggle"), "clicked");
        QTRY_VERIFY(view->findChild<SendModel *>());
        QPointer<SendModel> form = view->findChild<SendModel *>();
        form->setAmountText(u"12"_qs);
        QMetaObject::invokeMethod(child(view, "sendToggle"), "clicked");
        QVERIFY(!dashboard->showSend());
        QTRY_VERIFY(!form);
        dashboard->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        QVERIFY(view->findChild<SendModel *>()->amountText().isEmpty());
        // The keyboard goes into the opened form's search, on to the amount once a recipient is
        // picked, back to the search when it is changed, and back to the toggle when the form closes.
        QQuickItem *search = child(child(view, "searchField"), "input");
        QTRY_VERIFY(search->hasActiveFocus());
        RecipientSearch *recipient = view->findChild<SendModel *>()->search();
        m_f->fake->setFallback("GET", u"/api/users/search"_qs, SessionFixtures::usersReply({"bob"}));
        recipient->setRecipientQuery(u"bob"_qs);
        QTRY_COMPARE(recipient->searchResults().size(), 1);
        recipient->pickHit(0);
        QVERIFY(child(child(view, "amountField"), "input")->hasActiveFocus());
        recipient->clear();
        QVERIFY(search->hasActiveFocus());
        QMetaObject::invokeMethod(child(view, "cancelButton"), "clicked");
        QVERIFY(!dashboard->showSend());
        QVERIFY(child(view, "sendToggle")->hasActiveFocus());
        QMetaObject::invokeMethod(child(view, "logoutButton"), "clicked");
        QVERIFY(!m_f->auth->currentUser());
    }

    void leavingDuringAReloadCancelsIt()
    {
        QVERIFY(m_f->signIn(u"alice"_qs, 10, {{"alice", "bob", 1, ""}}));
        m_f->fake->enqueue(
            "GET", transactionsPath,
            FakeReply::json(200, SessionFixtures::transfersJson({{"x", "y", 2, ""}, {"y", "x", 3, ""}}))
                .after(500ms));
        QVERIFY(m_f->openDashboard());
        QTRY_COMPARE(requests(transactionsPath), 2);
        m_f->closeDashboard(); // e.g. signed out meanwhile
        QVERIFY(m_f->fake->waitUntilAnswered(m_f->fake->answeredCount() + 1));
        QCOMPARE(m_f->auth->transactions().size(), 1);
    }

    // The reload that goes with the dashboard's appearing runs once per dashboard, also when the
    // session is set after it appeared, or set again.
    void appearingReloadsOnce()
    {
        QVERIFY(m_f->signIn(u"alice"_qs, 10, {}));
        DashboardModel dashboard;
        dashboard.appear(); // waits for the session
        dashboard.setAuth(m_f->auth.get());
        dashboard.appear();
        dashboard.setAuth(nullptr);
        dashboard.setAuth(m_f->auth.get());
        awaitTask(m_f->auth->refreshTransactions()); // one of the test's own, sent after them
        QVERIFY(m_f->fake->waitUntilAnswered(3));
        QCOMPARE(requests(transactionsPath), 3); // the sign-in's, the appearing's, the test's
    }

    void burstSendsOneRequestForTheLastText()
    {
        openForm();
        m_f->fake->setFallback("GET", searchPath, usersReply({"alice"}));
        m_form->search()->setRecipientQuery(u"a"_qs);
        // Keystrokes 100 ms apart: each one within the pause that lets a search start.
        QTest::qWait(100);
        m_form->search()->setRecipientQuery(u"al"_qs);
        QTest::qWait(100);
        m_form->search()->setRecipientQuery(u"ali"_qs);
        QTRY_COMPARE(m_form->search()->searchResults().size(), 1);
        QVERIFY(!m_form->search()->isSearching() && !m_form->search()->showNoUsers());
        QCOMPARE(requests(searchPath), 1);
        QCOMPARE(m_f->fake->requests(searchPath).first().query, QByteArray("q=ali"));
    }

    // Emptying the query drops the search waiting out its delay; picking one of the hits still
    // shown drops the newer search on its way. Either way no hits appear afterwards.
    void supersededSearchIsDropped_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("typing") << 0;
        QTest::newRow("clear button or Change") << 1;
        QTest::newRow("picking a hit") << 2;
    }
    void supersededSearchIsDropped()
    {
        QFETCH(int, how);
        openForm();
        RecipientSearch *search = m_form->search();
        m_f->fake->enqueue("GET", searchPath, usersReply({"bob", "bobby"}));
        m_f->fake->setFallback("GET", searchPath, usersReply({"bob"}).after(300ms));
        search->setRecipientQuery(u"bo"_qs);
        QTRY_COMPARE(search->searchResults().size(), 2);
        search->setRecipientQuery(u"bob"_qs); // a search waiting out its delay
        if (how == 0)
            search->setRecipientQuery(QString());
        else if (how == 1)
            search->clear();
        if (how == 2) {
            QTRY_VERIFY(search->isSearching()); // now on its way
            search->pickHit(1);
        }
        QTRY_VERIFY(!search->searchPending());
        QVERIFY(m_f->fake->waitUntilAnswered(int(requests(searchPath))));
        QVERIFY(search->searchResults().isEmpty() && !search->showNoUsers());
        QCOMPARE(requests(searchPath), how == 2 ? 2 : 1);
        QCOMPARE(search->recipientQuery(), how == 2 ? u"bobby"_qs : QString());
        if (how != 2) {
            QVERIFY(!search->selectedUser());
            return;
        }
        QCOMPARE(search->selectedUser()->accountNumber, u"QB-BOBBY"_qs);
        search->setRecipientQuery(u"bobb"_qs); // typing again drops the recipient
        QVERIFY(!search->selectedUser());
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
        // refused, infinity let through (the service client refuses to write it).
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
    // recipient, amount and note. (The service client refuses an infinite amount.)
    void sendOutcomes_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("message");
        QTest::newRow("sent") << sendReply("alice", 95).after(100ms) << u"Sent 5 ◆ to bob."_qs;
        QTest::newRow("refused") << FakeReply::json(400, R"({"error":"Insufficient funds."})")
                                 << u"Insufficient funds."_qs;
    }
    void sendOutcomes()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, message);
        openForm();
        m_f->fake->enqueue("POST", sendPath, reply);
        pickRecipient(u"bob"_qs);
        m_form->setAmountText(u"5"_qs);
        m_form->setProperty("note", u"for lunch"_qs);
        m_form->doSend();
        QVERIFY(m_form->isSending() && m_form->sendStatus().isEmpty());
        QTRY_VERIFY(!m_form->isSending());
        const bool success = message.startsWith(u"Sent");
        QCOMPARE(m_form->isSendError(), !success);
        QCOMPARE(m_form->sendStatus(), message);
        QCOMPARE(m_form->search()->selectedUser().has_value(), !success);
        QCOMPARE(m_form->search()->recipientQuery(), success ? QString() : u"bob"_qs);
        QCOMPARE(m_form->amountText(), success ? QString() : u"5"_qs);
        QCOMPARE(m_form->note(), success ? QString() : u"for lunch"_qs);
        QCOMPARE(m_form->canSend(), !success);
        QCOMPARE(m_f->auth->currentUser()->balance, success ? 95.0 : 100.0);
        const QJsonObject body = m_f->fake->requests(sendPath).value(0).json();
        QCOMPARE(body.value("to").toString(), u"bob"_qs);
        QCOMPARE(body.value("amount").toDouble(), 5.0);
        QCOMPARE(body.value("note").toString(), u"for lunch"_qs);
    }

    // Closing the form while a search is on its way aborts the request.
    void closingTheFormAbortsItsSearch()
    {
        openForm();
        m_f->fake->setFallback("GET", searchPath, FakeReply::silence());
        m_form->search()->setRecipientQuery(u"al"_qs);
        QTRY_VERIFY(m_form->search()->isSearching());
        const int closedBefore = m_f->fake->closedCount();
        m_form.reset();
        QTRY_COMPARE(m_f->fake->closedCount(), closedBefore + 1);
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestDashboard)
#include "tst_dashboard.moc"
