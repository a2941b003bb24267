// SPDX-License-Identifier: MIT
// The screens' state classes (sign-in, registration, password reset, e-mail verification, and the
// window's routing), headless, against the HTTPS fake of the service.
#include "testsupport/IsolatedSettings.h"
#include "testsupport/SessionFixtures.h"
#include "ui/RootModel.h"
#include "ui/screens/LoginModel.h"
#include "ui/screens/ResetPasswordModel.h"
#include "ui/screens/ScreenTask.h"
#include "ui/screens/VerifyEmailModel.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <stdexcept>

using namespace std::chrono_literals;
using Mode = LoginModel::Mode;
using namespace SessionFixtures;

namespace {

enum class Screen { Login, Register, Reset, Verify };

// Per screen: its action, the path it posts to, the fields it is given in order (the first of them
// go into the body under the same names) and the service's refusal the fake answers with.
struct ScreenCase
{
    const char *action;
    QString path;
    QStringList fields;
    QStringList bodyKeys;
    QString refusal;
};

ScreenCase caseOf(Screen screen)
{
    switch (screen) {
    case Screen::Login:
        return {"doAction",
                u"/api/login"_qs,
                {"username", "password"},
                {"username", "password"},
                "Invalid credentials."};
    case Screen::Register:
        return {"doAction",
                u"/api/register"_qs,
                {"username", "email", "password"},
                {"username", "email", "password"},
                "Username taken."};
    case Screen::Reset:
        return {"doReset",
                u"/api/reset-password"_qs,
                {"username", "resetSecret", "newPassword", "confirm"},
                {"username", "resetSecret", "newPassword"},
                "Invalid reset secret."};
    case Screen::Verify:
        return {"doVerify", u"/api/verify-email"_qs, {"code"}, {"code"}, "Invalid code."};
    }
    return {};
}

// Six and five user-perceived characters, each an emoji of several code points.
const QString sixEmoji = u"👍🏽👍🏽👨‍👩‍👧🇩🇪😀😀"_qs;
const QString fiveEmoji = u"👍🏽👍🏽👨‍👩‍👧🇩🇪😀"_qs;
const QString resetDone = u"Password reset! You can now log in."_qs;

} // namespace

Q_DECLARE_METATYPE(Screen)

class TestScreenModels : public QObject
{
    Q_OBJECT

    std::unique_ptr<Session> s;

    // The screen's model on the fixture's session; signed in (unverified) for the verification screen.
    std::unique_ptr<QObject> open(Screen screen)
    {
        for (Screen other : {Screen::Login, Screen::Register, Screen::Reset, Screen::Verify})
            s->fake->setFallback("POST", caseOf(other).path, errorReply(400, caseOf(other).refusal));
        if (screen == Screen::Reset) {
            auto model = std::make_unique<ResetPasswordModel>();
            model->setProperty("auth", QVariant::fromValue(s->auth.get()));
            return model;
        }
        if (screen == Screen::Verify) {
            s->signIn(u"ann"_qs, false);
            auto model = std::make_unique<VerifyEmailModel>();
            model->setAuth(s->auth.get());
            return model;
        }
        auto model = std::make_unique<LoginModel>();
        model->setProperty("auth", QVariant::fromValue(s->auth.get()));
        model->selectMode(screen == Screen::Register ? Mode::Register : Mode::Login);
        return model;
    }

    static void act(QObject *model, Screen screen, const QStringList &values)
    {
        const ScreenCase screenCase = caseOf(screen);
        for (qsizetype i = 0; i < values.size(); ++i)
            model->setProperty(screenCase.fields[i].toLatin1(), values[i]);
        model->setProperty("status", u"an earlier message"_qs);
        QMetaObject::invokeMethod(model, screenCase.action);
    }

    [[nodiscard]] qsizetype sent(const QString &path) const { return s->fake->requests(path).size(); }

private Q_SLOTS:
    void init() { s = std::make_unique<Session>(); }
    void cleanup() { s.reset(); }

    // The checks in their order with their exact messages; otherwise what is sent, as typed, and
    // how the service's refusal is shown.
    void checks_data()
    {
        QTest::addColumn<Screen>("screen");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QString>("message"); // empty: the request goes out
        const auto row = [](const char *name, Screen screen, const QStringList &values,
                            const char *message = "") {
            QTest::newRow(name) << screen << values << QString::fromUtf8(message);
        };
        const char *both = "Please enter username and password.";
        const char *all = "All fields are required.";
        const char *shortPw = "Password must be at least 6 characters.";
        const char *differ = "Passwords don't match.";
        const char *sixDigits = "Enter the 6-digit code.";
        row("login, no name", Screen::Login, {"", "pw"}, both);
        row("login, no password", Screen::Login, {"ann", ""}, both);
        row("login, name of spaces", Screen::Login, {"   ", "pw"});
        row("login, 3-character password", Screen::Login, {"ann", "abc"});
        row("register, no e-mail before length", Screen::Register, {"ann", "", "abc"}, all);
        row("register, no name", Screen::Register, {"", "a@b", "secret1"}, all);
        row("register, 5 emoji", Screen::Register, {"ann", "a@b", fiveEmoji}, shortPw);
        row("register, 6 emoji", Screen::Register, {"ann", "a@b", sixEmoji});
        row("reset, no name", Screen::Reset, {"", "s", "secret1", "secret1"}, all);
        row("reset, no secret", Screen::Reset, {"ann", "", "secret1", "secret1"}, all);
        row("reset, no new password", Screen::Reset, {"ann", "s", "", "x"}, all);
        row("reset, 3 characters confirmed", Screen::Reset, {"ann", "s", "abc", "abc"}, shortPw);
        row("reset, 3 characters, one differs", Screen::Reset, {"ann", "s", "abc", "abd"}, differ);
        row("reset, only compatibility-equal", Screen::Reset, {"ann", "s", u"\ufb01nally"_qs, u"finally"_qs},
            differ);
        row("reset, canonically equivalent", Screen::Reset,
            {"ann", "s", u"caf\u00e9!!"_qs, u"cafe\u0301!!"_qs});
        row("verify, five digits", Screen::Verify, {"12345"}, sixDigits);
        row("verify, seven digits", Screen::Verify, {"1234567"}, sixDigits);
        row("verify, leading space", Screen::Verify, {" 12345"});
        row("verify, combining accent", Screen::Verify, {u"12345e\u0301"_qs});
    }

    void checks()
    {
        QFETCH(Screen, screen);
        QFETCH(QStringList, values);
        QFETCH(QString, message);
        const ScreenCase screenCase = caseOf(screen);
        const std::unique_ptr<QObject> model = open(screen);
        act(model.get(), screen, values);
        if (!message.isEmpty()) {
            QCOMPARE(model->property("status").toString(), message);
            QVERIFY(!model->property("isLoading").toBool());
            QVERIFY(screen != Screen::Verify || model->property("isError").toBool());
            QCOMPARE(sent(screenCase.path), 0);
            return;
        }
        // The message is cleared and the busy flag set at once; the fields go out as typed.
        QVERIFY(model->property("status").toString().isEmpty());
        QVERIFY(model->property("isLoading").toBool());
        QTRY_VERIFY(!model->property("isLoading").toBool());
        QCOMPARE(sent(screenCase.path), 1);
        const QJsonObject body = s->fake->requests(screenCase.path).first().json();
        QCOMPARE(body.size(), screenCase.bodyKeys.size());
        for (qsizetype i = 0; i < screenCase.bodyKeys.size(); ++i)
            QCOMPARE(body.value(screenCase.bodyKeys[i]).toString(), values[i]);
        // The service's refusal is shown; the fields keep their text.
        QCOMPARE(model->property("status").toString(), screenCase.refusal);
        for (qsizetype i = 0; i < values.size(); ++i)
            QCOMPARE(model->property(screenCase.fields[i].toLatin1()).toString(), values[i]);
    }

    // A tab switch clears the message (also to the selected tab) and keeps what was typed.
    void tabSwitchClearsOnlyTheMessage()
    {
        LoginModel model;
        model.setProperty("username", u"ann"_qs);
        model.setProperty("status", u"Nope."_qs);
        model.selectMode(Mode::Register);
        QCOMPARE(model.mode(), Mode::Register);
        QVERIFY(model.status().isEmpty());
        model.setProperty("status", u"Nope."_qs);
        model.selectMode(Mode::Register);
        QVERIFY(model.status().isEmpty());
        QCOMPARE(model.property("username").toString(), u"ann"_qs);
    }

    void resetSuccessAllowsNoSecond()
    {
        auto model = open(Screen::Reset);
        s->fake->enqueue("POST", u"/api/reset-password"_qs, FakeReply::json(200, R"({"message":"ok"})"));
        act(model.get(), Screen::Reset, {"ann", "good", "secret1", "secret1"});
        QTRY_VERIFY(model->property("isSuccess").toBool());
        QVERIFY(!model->property("isLoading").toBool());
        QCOMPARE(model->property("status").toString(), resetDone);
        QMetaObject::invokeMethod(model.get(), "doReset"); // a success allows no second reset
        QCOMPARE(sent(u"/api/reset-password"_qs), 1);
        QCOMPARE(model->property("status").toString(), resetDone);
    }

    void verifySuccessAndResendLabel()
    {
        const std::unique_ptr<QObject> owned = open(Screen::Verify);
        auto *model = static_cast<VerifyEmailModel *>(owned.get());
        s->fake->enqueue("POST", u"/api/verify-email"_qs, FakeReply::json(200, R"({"message":"ok"})"));
        // The service still reports the address unverified: the screen stays and says so.
        s->fake->enqueue("GET", u"/api/me"_qs, meReply("ann", false));
        model->setProperty("isError", true);
        act(model, Screen::Verify, {"123456"});
        QTRY_VERIFY(!model->isLoading());
        QCOMPARE(model->status(), u"Email verified!"_qs);
        QVERIFY(!model->isError());

        // The resend link's label after each outcome; that never touches the message or the busy flag.
        const QString resend = u"/api/resend-verification"_qs;
        s->fake->enqueue("POST", resend, FakeReply::json(200, R"({"message":"sent"})"));
        s->fake->enqueue("POST", resend, errorReply(429, u"Slow down."_qs));
        s->fake->enqueue("POST", resend, FakeReply::json(200, R"({"message":"sent"})"));
        for (const QString label : {u"Code sent!"_qs, u"Failed to resend."_qs, u"Code sent!"_qs}) {
            model->doResend();
            QTRY_COMPARE(model->resendLabel(), label);
        }
        QCOMPARE(model->status(), u"Email verified!"_qs);
        QVERIFY(!model->isLoading());
    }

    void sentToTextFollowsTheUser()
    {
        VerifyEmailModel model;
        model.setAuth(s->auth.get());
        const QString first = u"A 6-digit code was sent to\n"_qs;
        QCOMPARE(model.sentToText(), first + u"your email"_qs);
        QSignalSpy spy(&model, &VerifyEmailModel::sentToTextChanged);
        QVERIFY(s->signIn(u"ann"_qs, false));
        QVERIFY(spy.count() >= 1);
        QCOMPARE(model.sentToText(), first + u"ann@example.com"_qs);
        model.logout();
        QCOMPARE(model.sentToText(), first + u"your email"_qs);
    }

    // A screen's task (ScreenTask, shared by every screen) and the verification screen's resend
    // that finish after the screen is gone end quietly (checked under ASan); the session still
    // completes the operation.
    void tasksOutliveTheScreen()
    {
        auto model = open(Screen::Verify);
        s->fake->enqueue("POST", u"/api/verify-email"_qs,
                         FakeReply::json(200, R"({"message":"ok"})").after(100ms));
        s->fake->enqueue("GET", u"/api/me"_qs, meReply("ann"));
        s->fake->enqueue("POST", u"/api/resend-verification"_qs,
                         FakeReply::json(200, R"({"message":"ok"})").after(100ms));
        act(model.get(), Screen::Verify, {"123456"});
        QMetaObject::invokeMethod(model.get(), "doResend");
        model.reset();
        QTRY_VERIFY(s->auth->currentUser()->isVerified);
        QVERIFY(s->fake->waitUntilAnswered(int(s->fake->requests().size())));
    }

    void busyEndsWhenTheOutcomeHandlerThrows()
    {
        QObject screen;
        int busyChanges = 0;
        ScreenTask task(&screen, [&busyChanges] { ++busyChanges; });
        const auto action = []() -> QCoro::Task<void> { co_return; };
        QVERIFY(task.run(action, [](const ScreenTask::Outcome &) { throw std::runtime_error("handler"); }));
        QVERIFY(!task.busy());
        QCOMPARE(busyChanges, 2);
        QVERIFY(task.run(action, [](const ScreenTask::Outcome &) {}));
    }

    void routingFollowsTheSession()
    {
        using Route = RootModel::Screen;
        RootModel root;
        root.setAuth(s->auth.get());
        QCOMPARE(root.screen(), Route::Login);
        QSignalSpy spy(&root, &RootModel::screenChanged);
        QVERIFY(s->signIn(u"ann"_qs, false));
        QCOMPARE(root.screen(), Route::VerifyEmail);
        s->fake->enqueue("POST", u"/api/verify-email"_qs, FakeReply::json(200, R"({"message":"ok"})"));
        s->fake->enqueue("GET", u"/api/me"_qs, meReply("ann"));
        awaitTask(s->auth->verifyEmail(u"123456"_qs));
        QCOMPARE(root.screen(), Route::Dashboard);
        QCOMPARE(spy.count(), 2);
        // A new user record of the same kind keeps the screen (no fresh dashboard).
        QVERIFY(s->signIn(u"ann"_qs));
        QCOMPARE(spy.count(), 2);
        s->auth->logout();
        QCOMPARE(root.screen(), Route::Login);
        QCOMPARE(spy.count(), 3);
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestScreenModels)
#include "tst_screenmodels.moc"
