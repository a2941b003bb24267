// SPDX-License-Identifier: MIT
#include "server/TransferStore.h"

#include "server/Amount.h"

#include <QDateTime>

#include <limits>

QJsonObject Transfer::toJson() const
{
    return {{QStringLiteral("id"), QString::number(id)},
            {QStringLiteral("from_user"), fromUser},
            {QStringLiteral("to_user"), toUser},
            {QStringLiteral("amount"), Amount::toJson(amount)},
            {QStringLiteral("note"), note},
            {QStringLiteral("created_at"),
             QDateTime::fromMSecsSinceEpoch(createdAt, Qt::UTC).toString(Qt::ISODateWithMs)}};
}

TransferStore::TransferStore(Database &db)
    : m_db(db)
{}

TransferStore::Outcome TransferStore::transfer(qint64 fromId, qint64 toId, qint64 amount, const QString &note,
                                               Transfer *made)
{
    // The caller's transaction holds the write lock, so what is read here still holds at the UPDATEs;
    // their own conditions are a second guard that no balance goes below zero or overflows.
    QSqlQuery balances = m_db.exec(
        QStringLiteral(
            "SELECT (SELECT balance FROM users WHERE id = ?), (SELECT balance FROM users WHERE id = ?)"),
        {fromId, toId});
    if (!balances.next())
        throw DatabaseError("the balances could not be read");
    if (balances.value(0).toLongLong() < amount)
        return Outcome::InsufficientBalance;
    if (balances.value(1).toLongLong() > std::numeric_limits<qint64>::max() - amount)
        return Outcome::Overflow;
    QSqlQuery debit =
        m_db.exec(QStringLiteral("UPDATE users SET balance = balance - ? WHERE id = ? AND balance >= ?"),
                  {amount, fromId, amount});
    QSqlQuery credit =
        m_db.exec(QStringLiteral("UPDATE users SET balance = balance + ? WHERE id = ? AND balance <= ?"),
                  {amount, toId, std::numeric_limits<qint64>::max() - amount});
    if (debit.numRowsAffected() != 1 || credit.numRowsAffected() != 1)
        throw DatabaseError("a balance changed during the transfer");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QSqlQuery insert =
        m_db.exec(QStringLiteral("INSERT INTO transfers(from_id, to_id, amount, note, created_at)"
                                 " VALUES(?, ?, ?, ?, ?)"),
                  {fromId, toId, amount, note, now});
    made->id = insert.lastInsertId().toLongLong();
    made->amount = amount;
    made->note = note;
    made->createdAt = now;
    QSqlQuery names = m_db.exec(
        QStringLiteral(
            "SELECT (SELECT username FROM users WHERE id = ?), (SELECT username FROM users WHERE id = ?)"),
        {fromId, toId});
    if (names.next()) {
        made->fromUser = names.value(0).toString();
        made->toUser = names.value(1).toString();
    }
    return Outcome::Done;
}

QList<Transfer> TransferStore::recent(qint64 userId, int limit)
{
    QSqlQuery q =
        m_db.exec(QStringLiteral("SELECT t.id, f.username, r.username, t.amount, t.note, t.created_at"
                                 " FROM transfers t JOIN users f ON f.id = t.from_id"
                                 " JOIN users r ON r.id = t.to_id"
                                 " WHERE t.from_id = ? OR t.to_id = ? ORDER BY t.id DESC LIMIT ?"),
                  {userId, userId, limit});
    QList<Transfer> list;
    while (q.next()) {
        Transfer t;
        t.id = q.value(0).toLongLong();
        t.fromUser = q.value(1).toString();
        t.toUser = q.value(2).toString();
        t.amount = q.value(3).toLongLong();
        t.note = q.value(4).toString();
        t.createdAt = q.value(5).toLongLong();
        list.append(t);
    }
    return list;
}
