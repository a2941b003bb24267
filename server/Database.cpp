// SPDX-License-Identifier: MIT
#include "server/Database.h"

#include "server/Crypto.h"

#include <QSqlError>
#include <QUuid>

Database::Database()
    : m_connection(QStringLiteral("quorl-service-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{}

Database::~Database()
{
    if (m_db.isValid())
        m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

bool Database::open(const QString &file, QString *error)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(file);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open()) {
        *error = m_db.lastError().text();
        return false;
    }
    try {
        QSqlQuery mode = exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        if (!mode.next() || mode.value(0).toString().compare(u"wal", Qt::CaseInsensitive) != 0)
            throw DatabaseError("the database refused the WAL journal mode");
        mode.finish(); // a statement left open would keep a transaction from committing
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        createTables();
    } catch (const DatabaseError &e) {
        *error = QString::fromUtf8(e.what());
        return false;
    }
    return true;
}

QSqlQuery Database::exec(const QString &sql, const QVariantList &args)
{
    QSqlQuery query(m_db);
    if (!query.prepare(sql))
        throw DatabaseError(query.lastError().text().toStdString());
    for (const QVariant &arg : args)
        query.addBindValue(arg);
    if (!query.exec())
        throw DatabaseError(query.lastError().text().toStdString());
    return query;
}

void Database::begin()
{
    exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void Database::commit()
{
    exec(QStringLiteral("COMMIT"));
}

void Database::rollback()
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("ROLLBACK"));
}

QByteArray Database::meta(const QString &name)
{
    QSqlQuery q = exec(QStringLiteral("SELECT value FROM meta WHERE name = ?"), {name});
    return q.next() ? q.value(0).toByteArray() : QByteArray();
}

void Database::setMeta(const QString &name, const QByteArray &value)
{
    exec(QStringLiteral("INSERT INTO meta(name, value) VALUES(?, ?) "
                        "ON CONFLICT(name) DO UPDATE SET value = excluded.value"),
         {name, value});
}

void Database::createTables()
{
    // Amounts and balances in whole micro-Quorls; times in milliseconds since the epoch (UTC).
    const char *const statements[] = {
        "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value BLOB NOT NULL)",
        "CREATE TABLE IF NOT EXISTS users("
        " id INTEGER PRIMARY KEY,"
        " username TEXT NOT NULL UNIQUE COLLATE NOCASE,"
        " email TEXT NOT NULL,"
        " password_hash TEXT NOT NULL,"
        " account_number TEXT NOT NULL UNIQUE,"
        " balance INTEGER NOT NULL CHECK (balance >= 0),"
        " is_verified INTEGER NOT NULL DEFAULT 0,"
        " code_hash TEXT,"
        " code_expires INTEGER,"
        " code_failures INTEGER NOT NULL DEFAULT 0,"
        " created_at INTEGER NOT NULL)",
        "CREATE TABLE IF NOT EXISTS tokens("
        " token_hash BLOB PRIMARY KEY,"
        " user_id INTEGER NOT NULL REFERENCES users(id),"
        " created_at INTEGER NOT NULL)",
        "CREATE INDEX IF NOT EXISTS tokens_by_user ON tokens(user_id)",
        "CREATE TABLE IF NOT EXISTS transfers("
        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
        " from_id INTEGER NOT NULL REFERENCES users(id),"
        " to_id INTEGER NOT NULL REFERENCES users(id),"
        " amount INTEGER NOT NULL CHECK (amount > 0),"
        " note TEXT NOT NULL,"
        " created_at INTEGER NOT NULL)",
        "CREATE INDEX IF NOT EXISTS transfers_by_sender ON transfers(from_id, id)",
        "CREATE INDEX IF NOT EXISTS transfers_by_recipient ON transfers(to_id, id)",
        "CREATE TABLE IF NOT EXISTS idempotency("
        " scope BLOB PRIMARY KEY,"
        " request_hash BLOB NOT NULL,"
        " status INTEGER NOT NULL,"
        " body BLOB NOT NULL,"
        " token_nonce BLOB,"
        " created_at INTEGER NOT NULL)",
        "CREATE INDEX IF NOT EXISTS idempotency_by_age ON idempotency(created_at)",
    };
    for (const char *sql : statements)
        exec(QString::fromLatin1(sql));
    upgradeCodes();
}

void Database::upgradeCodes()
{
    // Databases of earlier versions kept verification codes in plain text, in the column "code".
    bool plain = false;
    for (QSqlQuery q = exec(QStringLiteral("PRAGMA table_info(users)")); q.next();)
        plain = plain || q.value(1).toString() == u"code";
    if (!plain)
        return;
    begin();
    try {
        exec(QStringLiteral("ALTER TABLE users RENAME COLUMN code TO code_hash"));
        QList<std::pair<QVariant, QString>> codes;
        for (QSqlQuery q =
                 exec(QStringLiteral("SELECT id, code_hash FROM users WHERE code_hash IS NOT NULL"));
             q.next();)
            codes.append({q.value(0), q.value(1).toString()});
        for (const auto &[id, code] : std::as_const(codes)) {
            const QByteArray hash = Crypto::hashPassword(code);
            if (hash.isEmpty())
                throw DatabaseError("out of memory while hashing the stored verification codes");
            exec(QStringLiteral("UPDATE users SET code_hash = ? WHERE id = ?"),
                 {QString::fromLatin1(hash), id});
        }
        commit();
    } catch (...) {
        rollback();
        throw;
    }
}
