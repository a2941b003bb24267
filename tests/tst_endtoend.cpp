// SPDX-License-Identifier: MIT
// The app's own service client (APIService) against a real quorl-service: the whole life of two
// accounts, and every kind of error reply as the app sees it.
#include "support/Await.h"
#include "support/ServiceProcess.h"

#include "service/APIService.h"

#include <QTest>

#include <functional>
#include <memory>

class TestEndToEnd : public QObject
{
    Q_OBJECT

    ServiceProcess m_service;
    std::unique_ptr<APIService> m_api;
    QString m_alice; // alice's token, verified
    QString m_bob;   // bob's token, verified
    QString m_carol; // carol's token, not verified

    APIService &api() { return *m_api; }

    // The AppError's message, or a note on what else happened.
    template<class T> QString appErrorOf(QCoro::Task<T> task)
    {
        const std::exception_ptr error = failureOf(std::move(task));
        if (const auto app = errorAs<AppError>(error))
            return app->message();
        return u"(no AppError: %1)"_qs.arg(error ? describe(error) : u"success"_qs);
    }

    QString registerAndVerify(const QString &name)
    {
        const AuthResponse auth =
            awaitTask(api().registerUser(name, name + u"@example.com"_qs, u"secret1"_qs));
        const QString code = m_service.codeFromOutbox(name + u"@example.com"_qs);
        awaitTask(api().verifyEmail(code, auth.token));
        return auth.token;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_service.start());
        m_api = std::make_unique<APIService>(
            APIService::Options{m_service.base(), ServiceProcess::devCaPem(), std::chrono::milliseconds(50)});
    }

    void registerVerifySendListSearch()
    {
        const AuthResponse alice =
            awaitTask(api().registerUser(u"alice"_qs, u"alice@example.com"_qs, u"secret1"_qs));
        QCOMPARE(alice.user.username, u"alice"_qs);
        QCOMPARE(alice.user.email, u"alice@example.com"_qs);
        QCOMPARE(alice.user.balance, 1000.0);
        QCOMPARE(alice.user.isVerified, false);
        QCOMPARE(alice.user.accountNumber.size(), 10);

        const QString code = m_service.codeFromOutbox(u"alice@example.com"_qs);
        QCOMPARE(code.size(), 6);
        awaitTask(api().verifyEmail(code, alice.token));
        QCOMPARE(awaitTask(api().me(alice.token)).isVerified, true);
        m_alice = alice.token;
        m_bob = registerAndVerify(u"bob"_qs);

        const SendResponse sent = awaitTask(api().send(u"bob"_qs, 12.5, u"lunch"_qs, m_alice));
        QCOMPARE(sent.user.balance, 987.5);
        QCOMPARE(sent.transaction.fromUser, u"alice"_qs);
        QCOMPARE(sent.transaction.toUser, u"bob"_qs);
        QCOMPARE(sent.transaction.amount, 12.5);
        QCOMPARE(sent.transaction.note, u"lunch"_qs);
        QVERIFY(!sent.transaction.id.isEmpty());
        QVERIFY(qAbs(sent.transaction.createdAt.msecsTo(QDateTime::currentDateTimeUtc())) < 60'000);

        awaitTask(api().send(u"alice"_qs, 0.25, {}, m_bob));
        const QList<APITransaction> aliceList = awaitTask(api().transactions(m_alice));
        QCOMPARE(aliceList.size(), 2);
        QCOMPARE(aliceList.at(0).fromUser, u"bob"_qs); // newest first
        QCOMPARE(aliceList.at(1), sent.transaction);
        QCOMPARE(awaitTask(api().me(m_bob)).balance, 1012.25);

        const QList<UserResult> hits = awaitTask(api().searchUsers(u"BO"_qs, m_alice));
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits.first().username, u"bob"_qs);
        QCOMPARE(hits.first().accountNumber, awaitTask(api().me(m_bob)).accountNumber);
        QVERIFY(awaitTask(api().searchUsers(QString(), m_alice)).isEmpty());
        QVERIFY(awaitTask(api().searchUsers(u"b o&b=+%"_qs, m_alice)).isEmpty());
    }

    void resendGivesAWorkingCode()
    {
        m_carol = awaitTask(api().registerUser(u"carol"_qs, u"carol@example.com"_qs, u"secret1"_qs)).token;
        const QString first = m_service.latestCode(u"carol@example.com"_qs);
        awaitTask(api().resendVerification(m_carol));
        const QString second = m_service.latestCode(u"carol@example.com"_qs);
        QCOMPARE(m_service.output().count(u"mail to carol@example.com"_qs), 2);
        if (first != second)
            QCOMPARE(appErrorOf(api().verifyEmail(first, m_carol)), u"Wrong code; 4 more tries left."_qs);
        awaitTask(api().verifyEmail(second, m_carol));
        QCOMPARE(awaitTask(api().me(m_carol)).isVerified, true);
        // carol stays unverified for the error table below: a new account takes her place.
        m_carol = awaitTask(api().registerUser(u"carl"_qs, u"carl@example.com"_qs, u"secret1"_qs)).token;
    }

    void errorReplies_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("message");
        const QStringList messages{
            u"The user name \"Alice\" is already taken."_qs,
            u"The password must have at least 6 characters."_qs,
            u"Wrong user name or password."_qs,
            u"The sign-in token is not valid (it may have been revoked). Please sign in again."_qs,
            u"Verify your e-mail address before sending Quorls."_qs,
            u"There is no user named \"nobody\"."_qs,
            u"Insufficient balance: you have 1012.25 ◆."_qs,
            u"The amount must be greater than 0."_qs,
            u"The amount can have at most 6 decimal places."_qs,
            u"The reset secret is wrong."_qs,
            u"The request body is larger than 64 KiB."_qs,
            u"Wrong code; 4 more tries left."_qs,
        };
        for (int i = 0; i < messages.size(); ++i)
            QTest::newRow(qPrintable(messages[i].left(40))) << i << messages[i];
    }

    void errorReplies()
    {
        QFETCH(int, which);
        QFETCH(QString, message);
        const std::function<QString()> cases[] = {
            [&] { return appErrorOf(api().registerUser(u"Alice"_qs, u"a@example.com"_qs, u"secret1"_qs)); },
            [&] { return appErrorOf(api().registerUser(u"dora"_qs, u"d@example.com"_qs, u"12345"_qs)); },
            [&] { return appErrorOf(api().login(u"alice"_qs, QString())); },
            [&] { return appErrorOf(api().me(u"not-a-token"_qs)); },
            [&] { return appErrorOf(api().send(u"alice"_qs, 1, {}, m_carol)); },
            [&] { return appErrorOf(api().send(u"nobody"_qs, 1, {}, m_bob)); },
            [&] { return appErrorOf(api().send(u"alice"_qs, 5000, {}, m_bob)); },
            [&] { return appErrorOf(api().send(u"alice"_qs, -1, {}, m_bob)); },
            [&] { return appErrorOf(api().send(u"alice"_qs, 0.0000001, {}, m_bob)); },
            [&] { return appErrorOf(api().resetPassword(u"alice"_qs, u"guess"_qs, u"newpass1"_qs)); },
            [&] { return appErrorOf(api().send(u"alice"_qs, 1, QString(70'000, u'n'), m_bob)); },
            [&] { return appErrorOf(api().verifyEmail(u"abcdef"_qs, m_carol)); },
        };
        QCOMPARE(cases[which](), message);
        QCOMPARE(awaitTask(api().me(m_bob)).balance, 1012.25);
    }

    void resetWithTheSecret()
    {
        awaitTask(api().resetPassword(u"alice"_qs, m_service.resetSecret(), u"newpass1"_qs));
        QCOMPARE(appErrorOf(api().me(m_alice)),
                 u"The sign-in token is not valid (it may have been revoked). Please sign in again."_qs);
        QCOMPARE(appErrorOf(api().login(u"alice"_qs, u"secret1"_qs)), u"Wrong user name or password."_qs);
        const AuthResponse again = awaitTask(api().login(u"alice"_qs, u"newpass1"_qs));
        QCOMPARE(again.user.balance, 987.75);
        QCOMPARE(awaitTask(api().transactions(again.token)).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
