// SPDX-License-Identifier: MIT
// The e-mail verification screen's state, headless, against the HTTPS fake of the service.
#include "tests/support/Await.h"
#include "tests/support/IsolatedSettings.h"
#include "tests/support/SessionFixture.h"
#include "ui/screens/VerifyEmailModel.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {
const QString verifyPath = QStringLiteral("/api/verify-email");
const QString resendPath = QStringLiteral("/api/resend-verification");
} // namespace

class TestVerifyEmailModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<SessionFixture> s;
    std::unique_ptr<VerifyEmailModel> model;

private Q_SLOTS:
    void init()
    {
        s = std::make_unique<SessionFixture>();
        model = std::make_unique<VerifyEmailModel>();
        model->setAuth(&s->auth);
    }
    void cleanup()
    {
        model.reset();
        s.reset();
    }

    void codeLength_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("sent");
        QTest::newRow("five digits") << "12345" << false;
        QTest::newRow("seven digits") << "1234567" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("six letters") << "abcdef" << true;
        QTest::newRow("leading space") << " 12345" << true;
        QTest::newRow("six emoji") << QString::fromUtf8("👍🏽👍🏽👨‍👩‍👧🇩🇪😀😀")
                                   << true;
    }

    void codeLength()
    {
        QFETCH(QString, code);
        QFETCH(bool, sent);
        s->signIn(false);
        s->fake.setFallback("POST", verifyPath,
                            FakeReply::json(400, SessionFixture::errorJson(QStringLiteral("Invalid code."))));
        model->setCode(code);
        model->doVerify();
        if (!sent) {
            QCOMPARE(model->status(), QStringLiteral("Enter the 6-digit code."));
            QVERIFY(model->isError());
            QVERIFY(!model->isLoading());
            QTest::qWait(50);
            QVERIFY(s->fake.requests(verifyPath).isEmpty());
            return;
        }
        QVERIFY(model->isLoading());
        QTRY_VERIFY(!model->isLoading());
        QCOMPARE(s->fake.requests(verifyPath).size(), 1);
        QCOMPARE(s->fake.requests(verifyPath).first().json().value("code").toString(), code);
        QCOMPARE(model->status(), QStringLiteral("Invalid code."));
        QVERIFY(model->isError());
        QCOMPARE(model->code(), code);
    }

    void successShowsVerified()
    {
        s->signIn(false);
        s->fake.enqueue("POST", verifyPath, FakeReply::json(200, R"({"message":"ok"})"));
        // The service still reports the address unverified: the screen stays and says so.
        s->fake.enqueue("GET", QStringLiteral("/api/me"),
                        FakeReply::json(200, "{\"user\":" + SessionFixture::userJson(false) + "}"));
        model->setError(true);
        model->setCode(QStringLiteral("123456"));
        model->doVerify();
        QTRY_VERIFY(!model->isLoading());
        QCOMPARE(model->status(), QStringLiteral("Email verified!"));
        QVERIFY(!model->isError());
    }

    void withoutTokenSaysNotLoggedIn()
    {
        model->setCode(QStringLiteral("123456"));
        model->doVerify();
        QTRY_VERIFY(!model->isLoading());
        QCOMPARE(model->status(), QStringLiteral("Not logged in."));
        QVERIFY(model->isError());
        QVERIFY(s->fake.requests().isEmpty());
    }

    void resendLabelHasThreeStates()
    {
        s->signIn(false);
        QCOMPARE(model->resendLabel(), QStringLiteral("Resend Code"));
        s->fake.enqueue("POST", resendPath, FakeReply::json(200, R"({"message":"sent"})"));
        model->doResend();
        QTRY_COMPARE(model->resendLabel(), QStringLiteral("Code sent!"));
        s->fake.enqueue("POST", resendPath,
                        FakeReply::json(429, SessionFixture::errorJson(QStringLiteral("Slow down."))));
        model->doResend();
        QTRY_COMPARE(model->resendLabel(), QStringLiteral("Failed to resend."));
        s->fake.enqueue("POST", resendPath, FakeReply::json(200, R"({"message":"sent"})"));
        model->doResend();
        QTRY_COMPARE(model->resendLabel(), QStringLiteral("Code sent!"));
        // The resend outcome never touches the message line or the busy flag.
        QVERIFY(model->status().isEmpty());
        QVERIFY(!model->isLoading());
        QCOMPARE(s->fake.requests(resendPath).size(), 3);
    }

    void sentToTextFollowsTheUser()
    {
        QCOMPARE(model->sentToText(), QStringLiteral("A 6-digit code was sent to\nyour email"));
        QSignalSpy spy(model.get(), &VerifyEmailModel::sentToTextChanged);
        s->signIn(false);
        QVERIFY(spy.count() >= 1);
        QCOMPARE(model->sentToText(), QStringLiteral("A 6-digit code was sent to\nann@example.com"));
        model->logout();
        QVERIFY(!s->auth.currentUser().has_value());
        QVERIFY(!s->auth.token().has_value());
        QCOMPARE(model->sentToText(), QStringLiteral("A 6-digit code was sent to\nyour email"));
    }

    void emptyAddressLeavesTheSecondLineEmpty()
    {
        s->fake.enqueue(
            "POST", QStringLiteral("/api/login"),
            FakeReply::json(200, R"({"token":"tok","user":)" + SessionFixture::userJson(false, "") + "}"));
        s->fake.setFallback("GET", QStringLiteral("/api/transactions"),
                            FakeReply::json(200, R"({"transactions":[]})"));
        awaitTask(s->auth.login(QStringLiteral("ann"), QStringLiteral("pw")));
        QCOMPARE(model->sentToText(), QStringLiteral("A 6-digit code was sent to\n"));
    }

    void taskOutlivesTheScreen()
    {
        s->signIn(false);
        s->fake.enqueue("POST", verifyPath, FakeReply::json(200, R"({"message":"ok"})").after(100ms));
        s->fake.enqueue("GET", QStringLiteral("/api/me"),
                        FakeReply::json(200, "{\"user\":" + SessionFixture::userJson(true) + "}"));
        s->fake.enqueue("POST", resendPath, FakeReply::json(200, R"({"message":"sent"})").after(100ms));
        model->setCode(QStringLiteral("123456"));
        model->doVerify();
        model->doResend();
        model.reset();
        QTRY_VERIFY(s->auth.currentUser() && s->auth.currentUser()->isVerified);
        QTRY_COMPARE(s->fake.requests(resendPath).size(), 1);
        QTest::qWait(100);
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestVerifyEmailModel)
#include "tst_verifyemailmodel.moc"
