// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QUrlQuery>

// What the service accepts from users. Each check returns an empty string when the input is fine,
// otherwise the message for the 400 reply.
namespace InputRules {

inline constexpr int minUsernameLength = 3;
inline constexpr int maxUsernameLength = 32;
inline constexpr int maxEmailLength = 254;
inline constexpr int minPasswordLength = 6; // characters (code points)
inline constexpr int maxNoteLength = 500;   // characters (code points)
inline constexpr int maxSearchResults = 20;
inline constexpr int maxListedTransfers = 100;

// 3 to 32 of the ASCII letters, digits and . _ -
[[nodiscard]] QString checkUsername(const QString &username);
// one @, a non-empty local part, a domain with a dot; no spaces, control or bracket characters
[[nodiscard]] QString checkEmail(const QString &email);
[[nodiscard]] QString checkPassword(const QString &password);
// at most 500 characters, no line breaks, tabs or other control characters
[[nodiscard]] QString checkNote(const QString &note);

// Line breaks, tabs and the other control characters (Unicode category Cc): text that the service
// stores, prints or writes into a mail header must not hold any.
[[nodiscard]] bool hasControlCharacters(const QString &text);

// The search text of the query item "q". Clients escape the text before adding it as a query
// item, which escapes it a second time (a space arrives as %2520): the item is decoded once,
// and if the result still holds %XX escapes, once more.
[[nodiscard]] QString searchText(const QUrlQuery &query);
// no line breaks, NUL or other control characters
[[nodiscard]] QString checkSearchText(const QString &text);

} // namespace InputRules
