// SPDX-License-Identifier: MIT
#include "server/AccountStore.h"

#include "server/Amount.h"
#include "server/Crypto.h"

#include <QDateTime>

QJsonObject Account::toJson() const
{
    return {{QStringLiteral("username"), username},
            {QStringLiteral("email"), email},
            {QStringLiteral("account_number"), accountNumber},
            {QStringLiteral("balance"), Amount::toJson(balance)},
            {QStringLiteral("is_verified"), verified}};
}

AccountStore::AccountStore(Database &db)
    : m_db(db)
{}

std::optional<Account> AccountStore::one(const QString &where, const QVariant &value)
{
    QSqlQuery q =
        m_db.exec(QStringLiteral("SELECT id, username, email, password_hash, account_number, balance,"
                                 " is_verified, code_hash, code_expires, code_failures FROM users WHERE ") +
                      where,
                  {value});
    if (!q.next())
        return std::nullopt;
    Account a;
    a.id = q.value(0).toLongLong();
    a.username = q.value(1).toString();
    a.email = q.value(2).toString();
    a.passwordHash = q.value(3).toByteArray();
    a.accountNumber = q.value(4).toString();
    a.balance = q.value(5).toLongLong();
    a.verified = q.value(6).toBool();
    a.codeHash = q.value(7).toByteArray();
    a.codeExpires = q.value(8).toLongLong();
    a.codeFailures = q.value(9).toInt();
    return a;
}

std::optional<Account> AccountStore::byId(qint64 id)
{
    return one(QStringLiteral("id = ?"), id);
}

std::optional<Account> AccountStore::byName(const QString &username)
{
    return one(QStringLiteral("username = ? COLLATE NOCASE"), username);
}

qint64 AccountStore::create(const QString &username, const QString &email, const QByteArray &passwordHash,
                            qint64 balance)
{
    QString number;
    do {
        number = Crypto::randomDigits(10, true);
    } while (m_db.exec(QStringLiteral("SELECT 1 FROM users WHERE account_number = ?"), {number}).next());
    QSqlQuery q = m_db.exec(QStringLiteral("INSERT INTO users(username, email, password_hash, account_number,"
                                           " balance, created_at) VALUES(?, ?, ?, ?, ?, ?)"),
                            {username, email, QString::fromLatin1(passwordHash), number, balance,
                             QDateTime::currentMSecsSinceEpoch()});
    return q.lastInsertId().toLongLong();
}

QByteArray AccountStore::tokenHash(const QString &token)
{
    return Crypto::sha256(token.toUtf8());
}

void AccountStore::addToken(qint64 userId, const QString &token)
{
    m_db.exec(QStringLiteral("INSERT OR IGNORE INTO tokens(token_hash, user_id, created_at) VALUES(?, ?, ?)"),
              {tokenHash(token), userId, QDateTime::currentMSecsSinceEpoch()});
}

std::optional<qint64> AccountStore::userForToken(const QString &token, qint64 issuedAfter)
{
    QSqlQuery q =
        m_db.exec(QStringLiteral("SELECT user_id FROM tokens WHERE token_hash = ? AND created_at > ?"),
                  {tokenHash(token), issuedAfter});
    if (!q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

void AccountStore::revokeTokens(qint64 userId)
{
    m_db.exec(QStringLiteral("DELETE FROM tokens WHERE user_id = ?"), {userId});
}

void AccountStore::purgeTokens(qint64 issuedUntil)
{
    m_db.exec(QStringLiteral("DELETE FROM tokens WHERE created_at <= ?"), {issuedUntil});
}

void AccountStore::setCode(qint64 userId, const QByteArray &codeHash, qint64 expires)
{
    m_db.exec(
        QStringLiteral("UPDATE users SET code_hash = ?, code_expires = ?, code_failures = 0 WHERE id = ?"),
        {QString::fromLatin1(codeHash), expires, userId});
}

void AccountStore::recordWrongCode(qint64 userId, bool voidCode)
{
    if (voidCode)
        m_db.exec(QStringLiteral("UPDATE users SET code_hash = NULL, code_expires = NULL,"
                                 " code_failures = code_failures + 1 WHERE id = ?"),
                  {userId});
    else
        m_db.exec(QStringLiteral("UPDATE users SET code_failures = code_failures + 1 WHERE id = ?"),
                  {userId});
}

void AccountStore::markVerified(qint64 userId)
{
    m_db.exec(QStringLiteral("UPDATE users SET is_verified = 1, code_hash = NULL, code_expires = NULL,"
                             " code_failures = 0 WHERE id = ?"),
              {userId});
}

void AccountStore::setPasswordHash(qint64 userId, const QByteArray &hash)
{
    m_db.exec(QStringLiteral("UPDATE users SET password_hash = ? WHERE id = ?"),
              {QString::fromLatin1(hash), userId});
}

QList<Account> AccountStore::search(const QString &fragment, int limit)
{
    QString pattern = fragment;
    pattern.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("\\%"))
        .replace(u'_', QStringLiteral("\\_"));
    QSqlQuery q = m_db.exec(QStringLiteral("SELECT username, account_number FROM users"
                                           " WHERE username LIKE ? ESCAPE '\\'"
                                           " ORDER BY username COLLATE NOCASE, username LIMIT ?"),
                            {QString(u'%' + pattern + u'%'), limit});
    QList<Account> found;
    while (q.next()) {
        Account a;
        a.username = q.value(0).toString();
        a.accountNumber = q.value(1).toString();
        found.append(a);
    }
    return found;
}
