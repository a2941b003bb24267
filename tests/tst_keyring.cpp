// SPDX-License-Identifier: MIT
// The token store against a real Secret Service: a gnome-keyring of the test's own in a private
// session bus (see CMakeLists.txt), with a fresh HOME and settings folder. Runs in file order: the
// last case leaves a keyring call hanging.
#include "session/TokenStore.h"
#include "testsupport/Await.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusVirtualObject>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString login = u"/org/freedesktop/secrets/collection/login"_qs;

// A new store's view of what is kept: what a run of the program after this one would start with.
std::optional<QString> nextRunReads()
{
    TokenStore store;
    return awaitTask(store.load());
}

void lockKeyring()
{
    QDBusInterface service(u"org.freedesktop.secrets"_qs, u"/org/freedesktop/secrets"_qs,
                           u"org.freedesktop.Secret.Service"_qs);
    const QDBusMessage reply =
        service.call(u"Lock"_qs, QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(login)}));
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
}

// A desktop's password prompt that nobody answers: every call to it stays without a reply.
class SilentPrompter : public QDBusVirtualObject
{
public:
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        message.setDelayedReply(true);
        return true;
    }
    QString introspect(const QString &) const override { return {}; }
};

} // namespace

class TestKeyring : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The daemon started beside the test takes its bus name a moment later; one started by
    // D-Bus activation meanwhile would have no open keyring.
    void initTestCase()
    {
        QTRY_VERIFY(
            QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.secrets"_qs));
    }

    // Every case starts with nothing stored: a removal clears the keyring (left holding a token by
    // the case before) and the file.
    void init()
    {
        awaitTask([]() -> QCoro::Task<> {
            TokenStore store;
            co_await store.load();
            store.setToken(std::nullopt);
            co_await store.settled();
        }());
        QCOMPARE(nextRunReads(), std::nullopt);
    }

    void tokenKeptInKeyringNotFile()
    {
        TokenStore store;
        awaitTask(store.load());
        store.setToken(u"eyJhbGciOi.J9.x-_"_qs);
        awaitTask(store.settled());
        QVERIFY(store.usesKeyring());
        QCOMPARE(TokenFile::read(), std::nullopt);
        QCOMPARE(nextRunReads(), std::optional<QString>(u"eyJhbGciOi.J9.x-_"_qs));
    }

    // The file's token (from a run without a keyring, or an older version) is the newer one: it
    // replaces the keyring's and leaves the file.
    void fileTokenMovesIntoKeyringOnce()
    {
        TokenStore first;
        awaitTask(first.load());
        first.setToken(u"older"_qs);
        awaitTask(first.settled());
        TokenFile::write(u"from file"_qs);
        QCOMPARE(nextRunReads(), std::optional<QString>(u"from file"_qs));
        QCOMPARE(TokenFile::read(), std::nullopt);
        QCOMPARE(nextRunReads(), std::optional<QString>(u"from file"_qs));
    }

    // A locked keyring whose prompt cannot be shown answers at once that it has nothing: the run
    // starts signed out, and a sign-in goes to the file (which the next run with the keyring open
    // moves there, as above).
    void lockedKeyringFallsBackToFile()
    {
        TokenStore before;
        awaitTask(before.load());
        before.setToken(u"in keyring"_qs);
        awaitTask(before.settled());
        lockKeyring();

        TokenStore store(nullptr, 60s);
        QCOMPARE(awaitTask(store.load()), std::nullopt);
        store.setToken(u"signed in while locked"_qs);
        awaitTask(store.settled());
        QVERIFY(!store.usesKeyring());
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"signed in while locked"_qs));
    }

    // A prompt that nobody answers: the read gives up after the time limit, and a sign-in made
    // meanwhile is kept in memory at once and in the file after that.
    void unansweredPromptGivesUpAfterTimeLimit()
    {
        SilentPrompter prompter;
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerVirtualObject(u"/"_qs, &prompter, QDBusConnection::SubPath));
        QVERIFY(bus.registerService(u"org.gnome.keyring.SystemPrompter"_qs));
        lockKeyring();

        TokenStore store(nullptr, 500ms);
        bool loaded = false;
        std::optional<QString> stored;
        [](TokenStore *store, bool *loaded, std::optional<QString> *stored) -> QCoro::Task<> {
            *stored = co_await store->load();
            *loaded = true;
        }(&store, &loaded, &stored);
        store.setToken(u"signed in"_qs);
        QCOMPARE(store.token(), std::optional<QString>(u"signed in"_qs));
        QTest::qWait(300);
        QVERIFY(!loaded);
        QTRY_VERIFY_WITH_TIMEOUT(loaded, 5000);
        QCOMPARE(stored, std::nullopt);
        QCOMPARE(store.token(), std::optional<QString>(u"signed in"_qs));
        awaitTask(store.settled());
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"signed in"_qs));
    }
};

int main(int argc, char *argv[])
{
    QTemporaryDir configHome;
    if (!configHome.isValid() || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QCoreApplication app(argc, argv);
    TestKeyring test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_keyring.moc"
