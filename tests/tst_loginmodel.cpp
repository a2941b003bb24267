// SPDX-License-Identifier: MIT
// The sign-in and registration screen's state, headless, against the HTTPS fake of the service.
#include "tests/support/IsolatedSettings.h"
#include "tests/support/SessionFixture.h"
#include "ui/screens/LoginModel.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;
using Mode = LoginModel::Mode;

namespace {
// Six and five user-perceived characters, each an emoji of several code points.
const QString sixEmoji = QString::fromUtf8("👍🏽👍🏽👨‍👩‍👧🇩🇪😀😀");
const QString fiveEmoji = QString::fromUtf8("👍🏽👍🏽👨‍👩‍👧🇩🇪😀");
} // namespace

class TestLoginModel : public QObject
{
    Q_OBJECT

    std::unique_ptr<SessionFixture> s;
    std::unique_ptr<LoginModel> model;

    void fill(Mode mode, const QString &username, const QString &email, const QString &password)
    {
        model->selectMode(mode);
        model->setUsername(username);
        model->setEmail(email);
        model->setPassword(password);
    }

private Q_SLOTS:
    void init()
    {
        s = std::make_unique<SessionFixture>();
        model = std::make_unique<LoginModel>();
        model->setAuth(&s->auth);
        s->fake.setFallback(
            "POST", QStringLiteral("/api/login"),
            FakeReply::json(401, SessionFixture::errorJson(QStringLiteral("Invalid credentials."))));
        s->fake.setFallback(
            "POST", QStringLiteral("/api/register"),
            FakeReply::json(409, SessionFixture::errorJson(QStringLiteral("Username taken."))));
    }
    void cleanup()
    {
        model.reset();
        s.reset();
    }

    void startsEmpty()
    {
        QCOMPARE(model->mode(), Mode::Login);
        QVERIFY(model->username().isEmpty() && model->email().isEmpty() && model->password().isEmpty());
        QVERIFY(model->status().isEmpty());
        QVERIFY(!model->isLoading() && !model->showReset());
    }

    void checks_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message"); // empty: the request goes out

        const QString all = QStringLiteral("All fields are required.");
        const QString shortPw = QStringLiteral("Password must be at least 6 characters.");
        const QString both = QStringLiteral("Please enter username and password.");
        QTest::newRow("login, no name") << Mode::Login << ""
                                        << ""
                                        << "pw" << both;
        QTest::newRow("login, no password") << Mode::Login << "ann"
                                            << ""
                                            << "" << both;
        QTest::newRow("login, name of spaces") << Mode::Login << "   "
                                               << ""
                                               << "pw"
                                               << "";
        QTest::newRow("login, 3-character password") << Mode::Login << "ann"
                                                     << ""
                                                     << "abc"
                                                     << "";
        QTest::newRow("register, no e-mail before length") << Mode::Register << "ann"
                                                           << ""
                                                           << "abc" << all;
        QTest::newRow("register, no name") << Mode::Register << ""
                                           << "a@b"
                                           << "secret1" << all;
        QTest::newRow("register, 5 characters") << Mode::Register << "ann"
                                                << "a@b"
                                                << "12345" << shortPw;
        QTest::newRow("register, 6 characters") << Mode::Register << "ann"
                                                << "a@b"
                                                << "123456"
                                                << "";
        QTest::newRow("register, 5 emoji") << Mode::Register << "ann"
                                           << "a@b" << fiveEmoji << shortPw;
        QTest::newRow("register, 6 emoji") << Mode::Register << "ann"
                                           << "a@b" << sixEmoji << "";
        QTest::newRow("register, e-mail of any form") << Mode::Register << "ann"
                                                      << " "
                                                      << "123456"
                                                      << "";
    }

    void checks()
    {
        QFETCH(Mode, mode);
        QFETCH(QString, username);
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(QString, message);
        fill(mode, username, email, password);
        model->setStatus(QStringLiteral("an earlier message"));
        model->doAction();
        if (!message.isEmpty()) {
            QCOMPARE(model->status(), message);
            QVERIFY(!model->isLoading());
            QTest::qWait(50);
            QVERIFY(s->fake.requests().isEmpty());
            return;
        }
        // Sent as typed; the message is cleared and the busy flag set at once.
        QVERIFY(model->status().isEmpty());
        QVERIFY(model->isLoading());
        QTRY_VERIFY(!model->isLoading());
        const QString path =
            mode == Mode::Login ? QStringLiteral("/api/login") : QStringLiteral("/api/register");
        const auto sent = s->fake.requests(path);
        QCOMPARE(sent.size(), 1);
        const QJsonObject body = sent.first().json();
        QCOMPARE(body.value("username").toString(), username);
        QCOMPARE(body.value("password").toString(), password);
        if (mode == Mode::Register)
            QCOMPARE(body.value("email").toString(), email);
        // The service's refusal is shown; the fields keep their text.
        QCOMPARE(model->status(), mode == Mode::Login ? QStringLiteral("Invalid credentials.")
                                                      : QStringLiteral("Username taken."));
        QCOMPARE(model->username(), username);
        QCOMPARE(model->password(), password);
    }

    void successLeavesNoMessageAndSignsIn()
    {
        s->fake.enqueue("POST", QStringLiteral("/api/login"),
                        FakeReply::json(200, SessionFixture::authJson(false)).after(100ms));
        fill(Mode::Login, QStringLiteral("ann"), {}, QStringLiteral("secret1"));
        model->doAction();
        QVERIFY(model->isLoading());
        QTRY_VERIFY(!model->isLoading());
        QVERIFY(model->status().isEmpty());
        QVERIFY(s->auth.currentUser().has_value());
        QCOMPARE(s->auth.token(), std::optional<QString>(QStringLiteral("tok")));
    }

    void transportFailureShowsThePlatformText()
    {
        s->fake.enqueue("POST", QStringLiteral("/api/login"), FakeReply::drop());
        s->fake.enqueue("POST", QStringLiteral("/api/login"), FakeReply::drop());
        fill(Mode::Login, QStringLiteral("ann"), {}, QStringLiteral("pw"));
        model->doAction();
        QTRY_VERIFY(!model->isLoading());
        QVERIFY(!model->status().isEmpty());
        QVERIFY(!s->auth.currentUser().has_value());
    }

    void tabSwitchClearsOnlyTheMessage()
    {
        fill(Mode::Register, QStringLiteral("ann"), QStringLiteral("a@b"), QStringLiteral("pw"));
        model->doAction();
        QCOMPARE(model->status(), QStringLiteral("Password must be at least 6 characters."));
        model->selectMode(Mode::Login);
        QCOMPARE(model->mode(), Mode::Login);
        QVERIFY(model->status().isEmpty());
        QCOMPARE(model->email(), QStringLiteral("a@b"));

        // The selected tab again: only the message goes.
        model->setStatus(QStringLiteral("a message"));
        QSignalSpy modeSpy(model.get(), &LoginModel::modeChanged);
        model->selectMode(Mode::Login);
        QVERIFY(model->status().isEmpty());
        QCOMPARE(modeSpy.count(), 0);
        QCOMPARE(model->username(), QStringLiteral("ann"));
    }

    void failureOfAPendingRequestShowsUnderTheNewTab()
    {
        s->fake.enqueue(
            "POST", QStringLiteral("/api/login"),
            FakeReply::json(401, SessionFixture::errorJson(QStringLiteral("Nope."))).after(150ms));
        fill(Mode::Login, QStringLiteral("ann"), {}, QStringLiteral("pw"));
        model->doAction();
        model->selectMode(Mode::Register);
        QVERIFY(model->isLoading());
        QTRY_VERIFY(!model->isLoading());
        QCOMPARE(model->mode(), Mode::Register);
        QCOMPARE(model->status(), QStringLiteral("Nope."));
    }

    void setterEmitsOnlyOnChange()
    {
        QSignalSpy spy(model.get(), &LoginModel::usernameChanged);
        model->setUsername(QStringLiteral("a"));
        model->setUsername(QStringLiteral("a"));
        QCOMPARE(spy.count(), 1);
    }

    void taskOutlivesTheScreen()
    {
        s->fake.enqueue("POST", QStringLiteral("/api/login"),
                        FakeReply::json(401, SessionFixture::errorJson(QStringLiteral("late"))).after(100ms));
        fill(Mode::Login, QStringLiteral("ann"), {}, QStringLiteral("pw"));
        model->doAction();
        model.reset();
        QTRY_VERIFY(!s->auth.isLoading());
        QTest::qWait(50);
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestLoginModel)
#include "tst_loginmodel.moc"
