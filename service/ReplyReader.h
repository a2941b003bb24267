// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>
#include <type_traits>

// The one strict reader of the service's replies. Safe to use from any thread at once.
//
// Success replies: the body is one JSON object read as the expected record. Every key is converted
// from snake_case before it is matched (account_number -> accountNumber; a key with no inner "_"
// stays as it is, so camelCase keys match too). Every field is required and has an exact JSON type:
// strings only from strings, doubles from any JSON number, bools only from true/false, dates only
// from a string in the one date form below. Fields are checked in the record's order and the first
// failing one decides the DecodingError. Keys that match no field are ignored, but their values must
// still be valid JSON. When a key occurs twice in one object (also after conversion, as with
// "account_number" and "accountNumber"), the last occurrence counts.
//
// Error bodies (status 400 or above) are read without key conversion: exactly "error", a string.
namespace ReplyReader {

// Every record a success reply is read as, in one list: read<T> is made for each of these, and a call
// for any other type does not compile.
// clang-format off
#define QUORL_REPLY_RECORDS(X) \
    X(AuthResponse) \
    X(MeResponse) \
    X(SendResponse) \
    X(TransactionsResponse) \
    X(SearchResponse) \
    X(VerifyResponse) \
    X(ResendResponse) \
    X(ResetResponse)
// clang-format on

#define QUORL_IS_REPLY_RECORD(R) || std::is_same_v<T, R>
template<class T>
concept ReplyRecord = false QUORL_REPLY_RECORDS(QUORL_IS_REPLY_RECORD);
#undef QUORL_IS_REPLY_RECORD

// Reads a success reply; throws DecodingError.
template<ReplyRecord T> T read(const QByteArray &body);

// The "error" string of an error body, or nothing when the body is not {"error": "<string>"}.
std::optional<QString> readErrorMessage(const QByteArray &body);

// Frees this thread's scratch buffers, which grow to the longest reply read on the thread (several
// times its size) and are otherwise kept for the next reply.
void releaseMemory();

// The one date form: 2025-03-01T10:15:30.123Z or 2025-03-01T12:15:30.123+02:00. The fraction needs
// at least one digit; digits past the milliseconds are accepted and dropped. "T" and "Z" are upper
// case, an offset has its colon. Returns an invalid QDateTime for anything else; a valid one is UTC.
QDateTime parseDate(QByteArrayView text);

} // namespace ReplyReader
