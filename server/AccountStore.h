// SPDX-License-Identifier: MIT
#pragma once

#include "server/Database.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

struct Account
{
    qint64 id = 0;
    QString username;
    QString email;
    QByteArray passwordHash;
    QString accountNumber;
    qint64 balance = 0; // micro-Quorls
    bool verified = false;
    QByteArray codeHash; // argon2id of the verification code; empty when there is no usable code
    qint64 codeExpires = 0;
    int codeFailures = 0;

    // {username, email, account_number, balance, is_verified}
    [[nodiscard]] QJsonObject toJson() const;
};

// Accounts, their sign-in tokens (kept only as SHA-256 hashes) and their verification codes (kept
// only as argon2id hashes, like the passwords: six digits are too few for a fast hash).
// User names are unique without regard to ASCII case and found the same way. Throws DatabaseError.
class AccountStore
{
public:
    explicit AccountStore(Database &db);

    [[nodiscard]] std::optional<Account> byId(qint64 id);
    [[nodiscard]] std::optional<Account> byName(const QString &username);

    // Creates the account with a fresh unique 10-digit account number; returns its id.
    qint64 create(const QString &username, const QString &email, const QByteArray &passwordHash,
                  qint64 balance);

    void addToken(qint64 userId, const QString &token);
    // The owner of a token issued after the given time (ms since the epoch).
    [[nodiscard]] std::optional<qint64> userForToken(const QString &token, qint64 issuedAfter);
    void revokeTokens(qint64 userId);
    void purgeTokens(qint64 issuedUntil); // drops tokens issued at or before the time

    void setCode(qint64 userId, const QByteArray &codeHash, qint64 expires); // also clears the failures
    void recordWrongCode(qint64 userId, bool voidCode);
    void markVerified(qint64 userId);
    void setPasswordHash(qint64 userId, const QByteArray &hash);

    // Names containing the fragment (no wildcards of its own), ordered by name.
    [[nodiscard]] QList<Account> search(const QString &fragment, int limit);

    [[nodiscard]] static QByteArray tokenHash(const QString &token);

private:
    [[nodiscard]] std::optional<Account> one(const QString &where, const QVariant &value);

    Database &m_db;
};
