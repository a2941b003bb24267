// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Random values and hashes of the service, all from libsodium. sodium_init() must have succeeded
// (initialize()) before any other function here is called.
namespace Crypto {

[[nodiscard]] bool initialize();

[[nodiscard]] QByteArray randomBytes(int count);
[[nodiscard]] QString randomDigits(int count, bool leadingNonZero); // uniform decimal digits
[[nodiscard]] QString randomText(int bytes);                        // base64url of random bytes, no padding

[[nodiscard]] QByteArray sha256(const QByteArray &data);
[[nodiscard]] QByteArray hmacSha256(const QByteArray &key, const QByteArray &message);
[[nodiscard]] bool equalConstantTime(const QByteArray &a, const QByteArray &b); // compares hashes of both

// argon2id in libsodium's self-describing string form; slow on purpose (run off the event loop).
[[nodiscard]] QByteArray hashPassword(const QString &password);
[[nodiscard]] bool verifyPassword(const QByteArray &hash, const QString &password);

} // namespace Crypto
