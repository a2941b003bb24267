// SPDX-License-Identifier: MIT
// Renders the dashboard and the send form in their main states to PNG files in the build tree
// (QUORL_SCREENSHOT_DIR) for a person to look at; it checks the states, not the pixels.
#include "tests/support/DashboardFixture.h"
#include "tests/support/IsolatedSettings.h"
#include "ui/screens/MainModel.h"
#include "ui/screens/SendModel.h"

#include <QDir>
#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>

#include <unicode/locid.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

using namespace std::chrono_literals;

class TestDashboardShots : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DashboardFixture> m_f;

    // Lets the window settle (layout, the list's rows, a message appearing) and saves it.
    void shoot(const QString &name)
    {
        QQuickWindow *window = m_f->window.get();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(300);
        const QDir dir(QStringLiteral(QUORL_SCREENSHOT_DIR));
        QVERIFY(dir.mkpath(QStringLiteral(".")));
        const QString path = dir.filePath(name + QStringLiteral(".png"));
        QVERIFY2(window->grabWindow().save(path), qPrintable(path));
        qInfo("wrote %s", qPrintable(path));
    }

private Q_SLOTS:
    void initTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        QVERIFY(U_SUCCESS(status));
    }

    void dashboardAndSendForm()
    {
        m_f = std::make_unique<DashboardFixture>();
        QVERIFY(m_f->signIn(QStringLiteral("alice"), 1234.5,
                            {{"alice", "bob", 5, ""},
                             {"bob", "alice", 1200, "Rent for March", "2025-03-01T09:30:00.000Z"},
                             {"alice", "carol", 42.5, "", "2025-02-27T18:45:00.000Z"},
                             {"dave", "alice", 10000, "Thanks!", "2025-02-20T07:00:00.000Z"}}));
        QQuickItem *view = m_f->openDashboard(QSize(900, 720));
        QVERIFY(view);
        QTRY_COMPARE(view->findChild<QQuickItem *>("transfers")->property("count").toInt(), 4);
        shoot(QStringLiteral("dashboard"));

        view->findChild<MainModel *>()->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        SendModel *form = view->findChild<SendModel *>();
        m_f->fake->setFallback(
            "GET", QStringLiteral("/api/users/search"),
            FakeReply::json(200, R"({"users":[{"username":"alice","account_number":"QB-ALICE"},)"
                                 R"({"username":"alina","account_number":"QB-ALINA"},)"
                                 R"({"username":"alistair","account_number":"QB-ALISTAIR"}]})"));
        form->setRecipientQuery(QStringLiteral("ali"));
        QTRY_COMPARE(form->searchResults().size(), 3);
        shoot(QStringLiteral("send-form-hits"));

        form->pickHit(1);
        form->setAmountText(QStringLiteral("12"));
        form->setNote(QStringLiteral("Coffee"));
        QVERIFY(form->canSend());
        shoot(QStringLiteral("send-form-recipient"));

        const QByteArray sent =
            R"({"user":{"username":"alice","email":"alice@example.com","account_number":"QB-ALICE","balance":1222.5,)"
            R"("is_verified":true},"transaction":{"id":"9","from_user":"alice","to_user":"alina","amount":12,)"
            R"("note":"Coffee","created_at":"2025-03-02T08:00:00.000Z"}})";
        m_f->fake->enqueue("POST", QStringLiteral("/api/send"), FakeReply::json(200, sent));
        m_f->serveTransfers({{"alice", "alina", 12, "Coffee", "2025-03-02T08:00:00.000Z"},
                             {"alice", "bob", 5, ""},
                             {"bob", "alice", 1200, "Rent for March", "2025-03-01T09:30:00.000Z"}});
        form->doSend();
        QTRY_COMPARE(form->sendStatus(), QStringLiteral("Sent 12 ◆ to alina."));
        QTRY_COMPARE(view->findChild<QQuickItem *>("transfers")->property("count").toInt(), 3);
        shoot(QStringLiteral("send-form-success"));

        form->setRecipientQuery(QStringLiteral("ali"));
        QTRY_COMPARE(form->searchResults().size(), 3);
        form->pickHit(2);
        form->setAmountText(QStringLiteral("5000"));
        m_f->fake->enqueue("POST", QStringLiteral("/api/send"),
                           FakeReply::json(400, R"({"error":"Insufficient funds."})"));
        form->doSend();
        QTRY_COMPARE(form->sendStatus(), QStringLiteral("Insufficient funds."));
        shoot(QStringLiteral("send-form-error"));

        m_f->fake->setFallback("GET", QStringLiteral("/api/users/search"),
                               FakeReply::json(200, R"({"users":[]})"));
        form->setRecipientQuery(QStringLiteral("zz"));
        QVERIFY(form->showNoUsers());
        QTRY_COMPARE(m_f->fake->requests(QStringLiteral("/api/users/search")).size(), 3);
        QTRY_VERIFY(!form->isSearching());
        QVERIFY(form->showNoUsers());
        shoot(QStringLiteral("send-form-no-users"));
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestDashboardShots)
#include "tst_dashboardshots.moc"
