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

// Read and write for the owner alone (the current user, so the "User" bits as well).
constexpr QFile::Permissions ownerOnly =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;

} // namespace

class TestTokenStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QDir(QFile::decodeName(qgetenv("XDG_CONFIG_HOME")) + u"/Quorl"_qs).removeRecursively(); }

    // Removing with nothing stored creates no file. The first write makes the file and its folder
    // owner-only whatever the umask (no moment at which the token sits in a file others may read),
    // leaves no temporary file, and stores the top-level key as a plain string, an empty token too.
    void firstWrite()
    {
        TokenFile::write(std::nullopt);
        QVERIFY(!QFileInfo::exists(expectedFile()));
        QCOMPARE(TokenFile::read(), std::nullopt);
        const mode_t savedMask = ::umask(0);
        TokenFile::write(u""_qs);
        ::umask(savedMask);
        QCOMPARE(TokenFile::read(), std::optional<QString>(u""_qs));
        const QSettings raw(expectedFile(), QSettings::IniFormat);
        QCOMPARE(raw.childKeys(), QStringList{u"qlx_token"_qs});
        QCOMPARE(raw.value(u"qlx_token"_qs).typeId(), QMetaType::QString);
        QCOMPARE(QFile::permissions(expectedFile()), ownerOnly);
        const QDir folder(QFileInfo(expectedFile()).absolutePath());
        QCOMPARE(QFile::permissions(folder.path()), ownerOnly | QFile::ExeOwner | QFile::ExeUser);
        QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), QStringList{u"Quorl Bank.conf"_qs});
    }

    // A file from an older version or a hand edit: an unquoted value with commas is one string,
    // and a file readable by others is tightened before the token is written into it.
    void fileWrittenElsewhere()
    {
        QDir().mkpath(QFileInfo(expectedFile()).absolutePath());
        QFile f(expectedFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\nqlx_token=a,b\n");
        f.close();
        QVERIFY(f.setPermissions(ownerOnly | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"a,b"_qs));
        TokenFile::write(u"secret"_qs);
        QCOMPARE(QFile::permissions(expectedFile()), ownerOnly);
        QCOMPARE(TokenFile::read(), std::optional<QString>(u"secret"_qs));
    }
};

QUORL_TEST_MAIN_ISOLATED(QCoreApplication, TestTokenStore)
#include "tst_tokenstore.moc"
