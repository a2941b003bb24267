// SPDX-License-Identifier: MIT
#include "server/IdempotencyStore.h"

IdempotencyStore::IdempotencyStore(Database &db)
    : m_db(db)
{}

std::optional<IdempotencyStore::Stored> IdempotencyStore::find(const QByteArray &scope, qint64 nowMs)
{
    QSqlQuery q = m_db.exec(QStringLiteral("SELECT request_hash, status, body, token_nonce FROM idempotency"
                                           " WHERE scope = ? AND created_at > ?"),
                            {scope, nowMs - lifetimeMs});
    if (!q.next())
        return std::nullopt;
    return Stored{q.value(0).toByteArray(), q.value(1).toInt(), q.value(2).toByteArray(),
                  q.value(3).toByteArray()};
}

void IdempotencyStore::save(const QByteArray &scope, const Stored &reply, qint64 nowMs)
{
    // An expired entry under the same scope may still be in the table until the next purge.
    m_db.exec(
        QStringLiteral("INSERT OR REPLACE INTO idempotency(scope, request_hash, status, body, token_nonce,"
                       " created_at) VALUES(?, ?, ?, ?, ?, ?)"),
        {scope, reply.requestHash, reply.status, reply.body,
         reply.tokenNonce.isEmpty() ? QVariant() : QVariant(reply.tokenNonce), nowMs});
}

void IdempotencyStore::purge(qint64 nowMs)
{
    m_db.exec(QStringLiteral("DELETE FROM idempotency WHERE created_at <= ?"), {nowMs - lifetimeMs});
}

bool IdempotencyStore::begin(const QByteArray &scope)
{
    if (m_running.contains(scope))
        return false;
    m_running.insert(scope);
    return true;
}

void IdempotencyStore::end(const QByteArray &scope)
{
    m_running.remove(scope);
}

QByteArray IdempotencyStore::parseKey(const QByteArray &header)
{
    QByteArray key = header.trimmed();
    if (key.size() >= 2 && key.startsWith('"') && key.endsWith('"'))
        key = key.mid(1, key.size() - 2);
    if (key.isEmpty() || key.size() > 255)
        return {};
    for (const char c : key) {
        if (c < 0x21 || c > 0x7e || c == '"')
            return {};
    }
    return key;
}
