// SPDX-License-Identifier: MIT
#include "session/TokenStore.h"
#include "testsupport/IsolatedSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>

namespace {

QString expectedFile()
{
    return QFile::decodeName(qgetenv("XDG_CONFIG_HOME")) + u"/Quorl/Quorl Bank.conf"_qs;
}

int fileMode(const QString &path)
{
    struct stat st
    {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

} // namespace

class TestTokenStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QDir(QFile::decodeName(qgetenv("XDG_CONFIG_HOME")) + u"/Quorl"_qs).removeRecursively(); }

    void nothingStoredReadsNoneAndRemovingCreatesNoFile()
    {
        const QSettings s(QSettings::NativeFormat, QSettings::UserScope, u"Quorl"_qs, u"Quorl Bank"_qs);
        QCOMPARE(s.fileName(), expectedFile());
        QCOMPARE(TokenFile::read(), std::nullopt);
        TokenFile::write(std::nullopt);
        QVERIFY(!QFileInfo::exists(expectedFile()));
        QCOMPARE(TokenFile::read(), std::nullopt);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("empty is present") << u""_qs;
        QTest::newRow("comma") << u"a,b,c"_qs;
    }
    void roundTrip()
    {
        QFETCH(QString, token);
        TokenFile::write(token);
        QCOMPARE(TokenFile::read(), std::optional<QString>(token));
        // Top-level key, plain string, as any reader of the same file sees it.
        const QSettings raw(expectedFile(), QSettings::IniFormat);
        QCOMPARE(raw.childKeys(), QStringList{u"qlx_token"_qs});
        QCOMPARE(raw.value(u"qlx_token"_qs).typeId(), QMetaType::QString);
        QCOMPARE(raw.value(u"qlx_token"_qs).toString(), token);
    }

    void aValueWrittenByHandWithCommasIsOneString()
    {
        QDir().mkpath(QFileInfo(expectedFile()).absolutePath());
        QFile f(expectedFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\nqlx_token=a,b\n");
        f.close();
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"a,b"_qs));
    }

    // Whatever the umask allows, the file and its folder are owner-only from the first write on (no
    // moment at which the token sits in a file others may read), and no temporary file is left.
    void fileIsOwnerOnly()
    {
        const mode_t savedMask = ::umask(0);
        TokenFile::write(u"secret"_qs);
        ::umask(savedMask);
        QCOMPARE(fileMode(expectedFile()), 0600);
        QCOMPARE(fileMode(QFileInfo(expectedFile()).absolutePath()), 0700);
        const QDir folder(QFileInfo(expectedFile()).absolutePath());
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{u"Quorl Bank.conf"_qs});
    }

    // A file left readable by others (an older version, a hand edit) is tightened before the
    // token is written into it.
    void existingLooseFileIsTightened()
    {
        QDir().mkpath(QFileInfo(expectedFile()).absolutePath());
        QFile f(expectedFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        ::chmod(QFile::encodeName(expectedFile()).constData(), 0644);
        TokenFile::write(u"secret"_qs);
        QCOMPARE(fileMode(expectedFile()), 0600);
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"secret"_qs));
    }

    // Without a session bus (as in every test here) the keyring is never asked: the file is read
    // and written at once.
    void withoutSessionBusTheFileIsTheStore()
    {
        TokenFile::write(u"saved"_qs);
        TokenStore store;
        QVERIFY(!store.usesKeyring());
        QVERIFY(store.load().isReady());
        QCOMPARE(store.token(), std::optional<QString>(u"saved"_qs));
        store.setToken(u"new"_qs);
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"new"_qs));
        store.setToken(std::nullopt);
        QCOMPARE(TokenFile::read(), std::nullopt);
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestTokenStore)
#include "tst_tokenstore.moc"
