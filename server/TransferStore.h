// SPDX-License-Identifier: MIT
#pragma once

#include "server/Database.h"

#include <QJsonObject>
#include <QList>
#include <QString>

struct Transfer
{
    qint64 id = 0;
    QString fromUser;
    QString toUser;
    qint64 amount = 0; // micro-Quorls
    QString note;
    qint64 createdAt = 0; // ms since the epoch

    // {id (string), from_user, to_user, amount, note, created_at (ISO 8601, ms, Z)}
    [[nodiscard]] QJsonObject toJson() const;
};

// Transfers between accounts. Throws DatabaseError.
class TransferStore
{
public:
    explicit TransferStore(Database &db);

    enum class Outcome { Done, InsufficientBalance, Overflow };

    // Debits, credits and records in the caller's transaction (which must hold the write lock).
    // A transfer that would take the sender below zero, or the recipient past the integer range,
    // changes nothing.
    Outcome transfer(qint64 fromId, qint64 toId, qint64 amount, const QString &note, Transfer *made);

    // Sent and received, newest first.
    [[nodiscard]] QList<Transfer> recent(qint64 userId, int limit);

private:
    Database &m_db;
};
