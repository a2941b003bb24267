// SPDX-License-Identifier: MIT
// The dashboard as drawn for a signed-in session against the local fake: the transfer rows, the
// empty list, the send form toggle, the reloads and their cancellation.
#include "tests/support/DashboardFixture.h"
#include "tests/support/IsolatedSettings.h"
#include "ui/screens/MainModel.h"
#include "ui/screens/SendModel.h"

#include <QGuiApplication>
#include <QPointer>
#include <QtQml/qqmlextensionplugin.h>

#include <unicode/locid.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

using namespace std::chrono_literals;
using Transfer = DashboardFixture::Transfer;

namespace {

const QString transactionsPath = QStringLiteral("/api/transactions");

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

    [[nodiscard]] qsizetype reloads() const { return m_f->fake->requests(transactionsPath).size(); }

private Q_SLOTS:
    void initTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        QVERIFY(U_SUCCESS(status));
    }
    void init() { m_f = std::make_unique<DashboardFixture>(); }
    void cleanup() { m_f.reset(); }

    void emptyListShowsTheNotice()
    {
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 1234.5, {}));
        QQuickItem *view = m_f->openDashboard();
        QVERIFY(view);
        auto *list = child(view, "transfers");
        QTRY_COMPARE(reloads(), 2); // sign-in, then the dashboard's appearing
        QCOMPARE(list->property("count").toInt(), 0);
        QTRY_VERIFY(child(view, "emptyNotice") && child(view, "emptyNotice")->isVisible());
        auto *dashboard = view->findChild<MainModel *>();
        QCOMPARE(dashboard->balanceText(), QStringLiteral("1,234 ◆"));
        QCOMPARE(dashboard->welcomeText(), QStringLiteral("Welcome back, alice!"));
        QCOMPARE(dashboard->accountText(), QStringLiteral("Account: QB-ALICE"));
    }

    void oneRowPerTransferInOrder()
    {
        const QList<Transfer> transfers{
            {"alice", "bob", 5, ""},
            {"bob", "alice", 1234.5, "Lunch", "2025-03-01T09:30:00.000Z"},
            {"carol", "alice", 0.4, "x"},
        };
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 10, transfers));
        QQuickItem *view = m_f->openDashboard();
        auto *list = child(view, "transfers");
        QTRY_COMPARE(list->property("count").toInt(), 3);
        QVERIFY(!child(view, "emptyNotice")->isVisible());
        const QStringList amounts{"5 ◆", "1,234 ◆", "0 ◆"};
        for (int i = 0; i < transfers.size(); ++i) {
            QQuickItem *row = nullptr;
            QTRY_VERIFY((row = rowAt(list, i)));
            QCOMPARE(row->property("fromUser").toString(), transfers[i].from);
            QCOMPARE(row->property("toUser").toString(), transfers[i].to);
            QCOMPARE(row->property("amountLine").toString(), amounts[i]);
            // A note line only for a note that is not empty: two lines or three.
            QCOMPARE(child(row, "noteLine")->isVisible(), !transfers[i].note.isEmpty());
        }
        // Month, day, year, hour with AM/PM, minute: in the user's locale and time zone (UTC here).
        QCOMPARE(rowAt(list, 0)->property("dateLine").toString(),
                 QStringLiteral("Mar 1, 2025, 3:05\u202FPM"));
        QCOMPARE(rowAt(list, 1)->property("dateLine").toString(),
                 QStringLiteral("Mar 1, 2025, 9:30\u202FAM"));
    }

    void onlyVisibleRowsExist()
    {
        QList<Transfer> transfers;
        for (int i = 0; i < 2000; ++i)
            transfers.append({"alice", "bob", double(i), i % 2 ? "note" : ""});
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 10, transfers));
        QQuickItem *view = m_f->openDashboard();
        auto *list = child(view, "transfers");
        QTRY_COMPARE(list->property("count").toInt(), 2000);
        QTRY_VERIFY(rowsInExistence(list) > 0);
        QVERIFY2(rowsInExistence(list) < 40, qPrintable(QString::number(rowsInExistence(list))));
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        QTRY_VERIFY(rowAt(list, 1999));
        QVERIFY(rowsInExistence(list) < 40);
    }

    void sendToggleOpensAnEmptyFormEachTime()
    {
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 10, {}));
        QQuickItem *view = m_f->openDashboard();
        auto *dashboard = view->findChild<MainModel *>();
        QVERIFY(!view->findChild<SendModel *>());
        QMetaObject::invokeMethod(child(view, "sendToggle"), "clicked");
        QTRY_VERIFY(view->findChild<SendModel *>());
        QPointer<SendModel> form = view->findChild<SendModel *>();
        form->setAmountText(QStringLiteral("12"));
        QMetaObject::invokeMethod(child(view, "sendToggle"), "clicked");
        QVERIFY(!dashboard->showSend());
        QTRY_VERIFY(!form);
        dashboard->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        QVERIFY(view->findChild<SendModel *>()->amountText().isEmpty());
        // The form's Cancel closes it through the dashboard.
        QMetaObject::invokeMethod(child(view, "cancelButton"), "clicked");
        QVERIFY(!dashboard->showSend());
    }

    void eachRefreshPressReloads()
    {
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 10, {}));
        QQuickItem *view = m_f->openDashboard();
        QTRY_COMPARE(reloads(), 2);
        m_f->serveTransfers({{"bob", "alice", 7, ""}});
        QMetaObject::invokeMethod(child(view, "refreshButton"), "clicked");
        QMetaObject::invokeMethod(child(view, "refreshButton"), "clicked");
        QTRY_COMPARE(reloads(), 4);
        QTRY_COMPARE(child(view, "transfers")->property("count").toInt(), 1);
    }

    void leavingDuringAReloadCancelsIt()
    {
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 10, {{"alice", "bob", 1, ""}}));
        m_f->fake->enqueue(
            "GET", transactionsPath,
            FakeReply::json(200, DashboardFixture::transfersJson({{"x", "y", 2, ""}, {"y", "x", 3, ""}}))
                .after(500ms));
        QVERIFY(m_f->openDashboard());
        QTRY_COMPARE(reloads(), 2);
        m_f->closeDashboard(); // e.g. signed out meanwhile
        QTest::qWait(800);
        QCOMPARE(m_f->auth->transactions().size(), 1);
    }

    void logOutSignsOut()
    {
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 10, {{"alice", "bob", 1, ""}}));
        QQuickItem *view = m_f->openDashboard();
        QMetaObject::invokeMethod(child(view, "logoutButton"), "clicked");
        QVERIFY(!m_f->auth->currentUser());
        QVERIFY(!m_f->auth->token());
        QVERIFY(m_f->auth->transactions().isEmpty());
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestDashboard)
#include "tst_dashboard.moc"
