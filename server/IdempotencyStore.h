// SPDX-License-Identifier: MIT
#pragma once

#include "server/Database.h"

#include <QByteArray>
#include <QSet>

#include <optional>

// The replies to requests that carried an Idempotency-Key, kept for 24 hours in the database
// (written in the same transaction as the request's own changes, so a retry after a crash is
// answered from here exactly when the work was done), plus the keys being handled right now.
// A scope is a hash of the endpoint, the calling user and the key. Replies with status 500 or
// above are not kept.
class IdempotencyStore
{
public:
    static constexpr qint64 lifetimeMs = 24LL * 60 * 60 * 1000;

    explicit IdempotencyStore(Database &db);

    struct Stored
    {
        QByteArray requestHash;
        int status = 0;
        QByteArray body;
        QByteArray tokenNonce; // set when the reply's token was left out: it is derived again on replay
    };

    // Throws DatabaseError. Entries older than lifetimeMs are not found.
    [[nodiscard]] std::optional<Stored> find(const QByteArray &scope, qint64 nowMs);
    void save(const QByteArray &scope, const Stored &reply, qint64 nowMs);
    void purge(qint64 nowMs); // drops entries past their lifetime

    // In-progress marks (memory only: a crash ends every request in progress).
    bool begin(const QByteArray &scope); // false when the scope is in progress already
    void end(const QByteArray &scope);
    [[nodiscard]] bool inProgress(const QByteArray &scope) const { return m_running.contains(scope); }

    // The header's value without the quotes of its quoted form; empty if unusable.
    [[nodiscard]] static QByteArray parseKey(const QByteArray &header);

private:
    Database &m_db;
    QSet<QByteArray> m_running;
};
