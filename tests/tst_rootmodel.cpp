// SPDX-License-Identifier: MIT
// Which screen fills the window, from the session's state alone.
#include "tests/support/Await.h"
#include "tests/support/IsolatedSettings.h"
#include "tests/support/SessionFixture.h"
#include "ui/RootModel.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using Screen = RootModel::Screen;

class TestRootModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheSession()
    {
        SessionFixture s;
        RootModel root;
        QCOMPARE(root.screen(), Screen::Login);
        root.setAuth(&s.auth);
        QCOMPARE(root.screen(), Screen::Login);
        QSignalSpy spy(&root, &RootModel::screenChanged);

        s.signIn(false);
        QCOMPARE(root.screen(), Screen::VerifyEmail);

        s.fake.enqueue("POST", QStringLiteral("/api/verify-email"),
                       FakeReply::json(200, R"({"message":"ok"})"));
        s.fake.enqueue("GET", QStringLiteral("/api/me"),
                       FakeReply::json(200, "{\"user\":" + SessionFixture::userJson(true) + "}"));
        awaitTask(s.auth.verifyEmail(QStringLiteral("123456")));
        QCOMPARE(root.screen(), Screen::Main);
        QCOMPARE(spy.count(), 2);

        // A new user record of the same kind keeps the screen (no fresh dashboard).
        s.signIn(true);
        QCOMPARE(root.screen(), Screen::Main);
        QCOMPARE(spy.count(), 2);

        s.auth.logout();
        QCOMPARE(root.screen(), Screen::Login);
        QCOMPARE(spy.count(), 3);
        s.auth.logout();
        QCOMPARE(spy.count(), 3);
    }

    void verifiedSignInGoesStraightToTheDashboard()
    {
        SessionFixture s;
        RootModel root;
        root.setAuth(&s.auth);
        s.signIn(true);
        QCOMPARE(root.screen(), Screen::Main);
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestRootModel)
#include "tst_rootmodel.moc"
