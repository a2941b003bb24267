// SPDX-License-Identifier: MIT
// The dashboard as drawn for a signed-in session against the local fake: the transfer rows, the
// empty list, the send form toggle, the reloads and their cancellation.
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

namespace {

const QString transactionsPath = u"/api/transactions"_qs;

QQuickItem *child(QObject *parent, const char *name)
{
    return parent ? parent->findChild<QQuickItem *>(QLatin1String(name)) : nullptr;
}

QQuickItem *rowAt(QQuickItem *list, int index)
{
    QQuickItem *slot = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, slot), Q_ARG(int, index));
    return child(slot, "transferRow");
}

// Delegates made by the list (reused ones are hidden): children of its content item.
int rowsInExistence(QQuickItem *list)
{
    int rows = 0;
    const auto *content = list->property("contentItem").value<QQuickItem *>();
    for (QQuickItem *slot : content->childItems())
        rows += slot->isVisible() && child(slot, "transferRow") ? 1 : 0;
    return rows;
}

} // namespace

class TestDashboard : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DashboardFixture> m_f;

    [[nodiscard]] qsizetype requests(const QString &path) const { return m_f->fake->requests(path).size(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(DashboardFixture::useUsEnglish()); }
    void init() { m_f = std::make_unique<DashboardFixture>(); }
    void cleanup() { m_f.reset(); }

    void emptyListShowsTheNotice()
    {
        QVERIFY(m_f->signIn(u"alice"_qs, 1234.5, {}));
        QQuickItem *view = m_f->openDashboard();
        QVERIFY(view);
        QTRY_COMPARE(requests(transactionsPath), 2); // sign-in, then the dashboard's appearing
        QCOMPARE(child(view, "transfers")->property("count").toInt(), 0);
        QTRY_VERIFY(child(view, "emptyNotice") && child(view, "emptyNotice")->isVisible());
        QCOMPARE(child(view, "emptyNotice")->property("text").toString(), u"No transactions yet."_qs);
        auto *dashboard = view->findChild<DashboardModel *>();
        QCOMPARE(dashboard->balanceText(), u"1,234 ◆"_qs);
        QCOMPARE(dashboard->welcomeText(), u"Welcome back, alice!"_qs);
        QCOMPARE(dashboard->accountText(), u"Account: QB-ALICE"_qs);
    }

    void oneRowPerTransferInOrder()
    {
        const QList<Transfer> transfers{
            {"alice", "bob", 5, ""},
            {"bob", "alice", 1234.5, "Lunch", "2025-03-01T09:30:00.000Z"},
            {"carol", "alice", 0.4, "x"},
        };
        QVERIFY(m_f->signIn(u"alice"_qs, 10, transfers));
        QQuickItem *view = m_f->openDashboard();
        auto *list = child(view, "transfers");
        QTRY_COMPARE(list->property("count").toInt(), 3);
        QVERIFY(!child(view, "emptyNotice")->isVisible());
        const QStringList amounts{"5 ◆", "1,234 ◆", "0 ◆"};
        // Month, day, year, hour with AM/PM, minute: in the user's locale and time zone (UTC here).
        const QStringList dates{u"Mar 1, 2025, 3:05\u202FPM"_qs, u"Mar 1, 2025, 9:30\u202FAM"_qs};
        for (int i = 0; i < transfers.size(); ++i) {
            QQuickItem *row = nullptr;
            QTRY_VERIFY((row = rowAt(list, i)));
            QCOMPARE(row->property("fromUser").toString(), transfers[i].from);
            QCOMPARE(row->property("toUser").toString(), transfers[i].to);
            QCOMPARE(row->property("amountLine").toString(), amounts[i]);
            QCOMPARE(row->property("dateLine").toString(), dates.value(i, dates[0]));
            // A note line only for a note that is not empty: two lines or three.
            QCOMPARE(child(row, "noteLine")->isVisible(), !transfers[i].note.isEmpty());
        }
    }

    void onlyVisibleRowsExist()
    {
        QList<Transfer> transfers;
        for (int i = 0; i < 2000; ++i)
            transfers.append({"alice", "bob", double(i), i % 2 ? "note" : ""});
        QVERIFY(m_f->signIn(u"alice"_qs, 10, transfers));
        auto *list = child(m_f->openDashboard(), "transfers");
        QTRY_COMPARE(list->property("count").toInt(), 2000);
        QTRY_VERIFY(rowsInExistence(list) > 0);
        QVERIFY2(rowsInExistence(list) < 40, qPrintable(QString::number(rowsInExistence(list))));
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        QTRY_VERIFY(rowAt(list, 1999));
        QVERIFY(rowsInExistence(list) < 40);
    }

    void toggleRefreshAndLogout()
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

        // Each press of refresh reloads.
        QTRY_COMPARE(requests(transactionsPath), 2);
        m_f->serveTransfers({{"bob", "alice", 7, ""}});
        QMetaObject::invokeMethod(child(view, "refreshButton"), "clicked");
        QMetaObject::invokeMethod(child(view, "refreshButton"), "clicked");
        QTRY_COMPARE(requests(transactionsPath), 4);
        QTRY_COMPARE(child(view, "transfers")->property("count").toInt(), 1);

        QMetaObject::invokeMethod(child(view, "logoutButton"), "clicked");
        QVERIFY(!m_f->auth->currentUser() && !m_f->auth->token());
        QVERIFY(m_f->auth->transactions().isEmpty());
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
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestDashboard)
#include "tst_dashboard.moc"
