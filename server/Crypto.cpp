// SPDX-License-Identifier: MIT
#include "server/Crypto.h"

#include <sodium.h>

namespace Crypto {

bool initialize()
{
    return sodium_init() >= 0;
}

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    randombytes_buf(bytes.data(), size_t(bytes.size()));
    return bytes;
}

QString randomDigits(int count, bool leadingNonZero)
{
    QString digits;
    digits.reserve(count);
    for (int i = 0; i < count; ++i) {
        const bool first = i == 0 && leadingNonZero;
        const uint32_t d = first ? 1 + randombytes_uniform(9) : randombytes_uniform(10);
        digits.append(QChar(u'0' + char16_t(d)));
    }
    return digits;
}

QString randomText(int bytes)
{
    return QString::fromLatin1(
        randomBytes(bytes).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QByteArray sha256(const QByteArray &data)
{
    QByteArray out(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256(reinterpret_cast<unsigned char *>(out.data()),
                       reinterpret_cast<const unsigned char *>(data.constData()),
                       static_cast<unsigned long long>(data.size()));
    return out;
}

QByteArray hmacSha256(const QByteArray &key, const QByteArray &message)
{
    QByteArray out(crypto_auth_hmacsha256_BYTES, Qt::Uninitialized);
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char *>(key.constData()),
                                size_t(key.size()));
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char *>(message.constData()),
                                  static_cast<unsigned long long>(message.size()));
    crypto_auth_hmacsha256_final(&state, reinterpret_cast<unsigned char *>(out.data()));
    return out;
}

bool equalConstantTime(const QByteArray &a, const QByteArray &b)
{
    // Hashing first makes both sides the same length, so the length of a secret does not leak.
    const QByteArray ha = sha256(a);
    const QByteArray hb = sha256(b);
    return sodium_memcmp(ha.constData(), hb.constData(), size_t(ha.size())) == 0;
}

QByteArray hashPassword(const QString &password)
{
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {}; // out of memory
    return QByteArray(out);
}

bool verifyPassword(const QByteArray &hash, const QString &password)
{
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

} // namespace Crypto
