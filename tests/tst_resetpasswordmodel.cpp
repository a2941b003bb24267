// SPDX-License-Identifier: MIT
// The password reset sheet's state, headless, against the HTTPS fake of the service.
#include "tests/support/IsolatedSettings.h"
#include "tests/support/SessionFixture.h"
#include "ui/screens/LoginModel.h"
#include "ui/screens/ResetPasswordModel.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {
const QString resetPath = QStringLiteral("/api/reset-password");
const QString okMessage = QStringLiteral("Password reset! You can now log in.");
} // namespace

class TestResetPasswordModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<SessionFixture> s;
    std::unique_ptr<ResetPasswordModel> model;

    void fill(const QString &username, const QString &secret, const QString &password, const QString &confirm)
    {
        model->setUsername(username);
        model->setResetSecret(secret);
        model->setNewPassword(password);
        model->setConfirm(confirm);
    }

private Q_SLOTS:
    void init()
    {
        s = std::make_unique<SessionFixture>();
        model = std::make_unique<ResetPasswordModel>();
        model->setAuth(&s->auth);
        s->fake.setFallback("POST", resetPath, FakeReply::json(200, R"({"message":"ok"})"));
    }
    void cleanup()
    {
        model.reset();
        s.reset();
    }

    void checks_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("message"); // empty: the request goes out

        const QString all = QStringLiteral("All fields are required.");
        const QString differ = QStringLiteral("Passwords don't match.");
        const QString shortPw = QStringLiteral("Password must be at least 6 characters.");
        QTest::newRow("no name") << ""
                                 << "s"
                                 << "secret1"
                                 << "secret1" << all;
        QTest::newRow("no secret") << "ann"
                                   << ""
                                   << "secret1"
                                   << "secret1" << all;
        QTest::newRow("no new password") << "ann"
                                         << "s"
                                         << ""
                                         << "x" << all;
        QTest::newRow("6 characters, no confirmation") << "ann"
                                                       << "s"
                                                       << "secret"
                                                       << "" << differ;
        QTest::newRow("3 characters, same confirmation") << "ann"
                                                         << "s"
                                                         << "abc"
                                                         << "abc" << shortPw;
        QTest::newRow("3 characters, one differs") << "ann"
                                                   << "s"
                                                   << "abc"
                                                   << "abd" << differ;
        QTest::newRow("canonically equivalent")
            << "ann"
            << "s" << QString::fromUtf8("caf\u00e9!!") << QString::fromUtf8("cafe\u0301!!") << "";
        QTest::newRow("name of spaces") << "   "
                                        << "s"
                                        << "secret1"
                                        << "secret1"
                                        << "";
    }

    void checks()
    {
        QFETCH(QString, username);
        QFETCH(QString, secret);
        QFETCH(QString, password);
        QFETCH(QString, confirm);
        QFETCH(QString, message);
        fill(username, secret, password, confirm);
        model->setStatus(QStringLiteral("an earlier message"));
        model->doReset();
        if (!message.isEmpty()) {
            QCOMPARE(model->status(), message);
            QVERIFY(!model->isLoading());
            QTest::qWait(50);
            QVERIFY(s->fake.requests().isEmpty());
            return;
        }
        QVERIFY(model->isLoading());
        QVERIFY(model->status().isEmpty());
        QTRY_VERIFY(!model->isLoading());
        const auto sent = s->fake.requests(resetPath);
        QCOMPARE(sent.size(), 1);
        const QJsonObject body = sent.first().json();
        QCOMPARE(body.value("username").toString(), username);
        QCOMPARE(body.value("resetSecret").toString(), secret);
        QCOMPARE(body.value("newPassword").toString(), password);
        QCOMPARE(model->status(), okMessage);
        QVERIFY(model->isSuccess());
    }

    void successAllowsNoSecondReset()
    {
        fill(QStringLiteral("ann"), QStringLiteral("s"), QStringLiteral("secret1"),
             QStringLiteral("secret1"));
        model->doReset();
        QTRY_VERIFY(model->isSuccess());
        QVERIFY(!model->isLoading());
        model->doReset();
        QTest::qWait(50);
        QCOMPARE(s->fake.requests(resetPath).size(), 1);
        QCOMPARE(model->status(), okMessage);
    }

    void failureShowsTheServiceMessageAndAllowsRetry()
    {
        s->fake.enqueue(
            "POST", resetPath,
            FakeReply::json(403, SessionFixture::errorJson(QStringLiteral("Invalid reset secret.")))
                .after(50ms));
        fill(QStringLiteral("ann"), QStringLiteral("bad"), QStringLiteral("secret1"),
             QStringLiteral("secret1"));
        model->doReset();
        QVERIFY(model->isLoading());
        QTRY_VERIFY(!model->isLoading());
        QCOMPARE(model->status(), QStringLiteral("Invalid reset secret."));
        QVERIFY(!model->isSuccess());
        QCOMPARE(model->resetSecret(), QStringLiteral("bad"));

        model->setResetSecret(QStringLiteral("good"));
        model->doReset();
        QTRY_VERIFY(model->isSuccess());
    }

    void prefillIsCopiedOnce()
    {
        LoginModel login;
        login.setUsername(QStringLiteral("ann"));
        model->setPrefillUsername(login.username());
        QCOMPARE(model->username(), QStringLiteral("ann"));
        model->setUsername(QStringLiteral("annie"));
        QCOMPARE(login.username(), QStringLiteral("ann"));
        login.setUsername(QStringLiteral("bob"));
        QCOMPARE(model->username(), QStringLiteral("annie"));
    }

    void taskOutlivesTheSheet()
    {
        s->fake.enqueue("POST", resetPath, FakeReply::json(200, R"({"message":"ok"})").after(100ms));
        fill(QStringLiteral("ann"), QStringLiteral("s"), QStringLiteral("secret1"),
             QStringLiteral("secret1"));
        model->doReset();
        model.reset();
        QTRY_COMPARE(s->fake.requests(resetPath).size(), 1);
        QTest::qWait(200);
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestResetPasswordModel)
#include "tst_resetpasswordmodel.moc"
