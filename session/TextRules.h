// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// Locale-independent text rules shared by the screens' input checks.
namespace TextRules {

// Number of user-perceived characters (extended grapheme clusters).
[[nodiscard]] qsizetype characterCount(const QString &text);

// The message for a password that is too short to choose (fewer than 6 characters), or nothing.
[[nodiscard]] std::optional<QString> passwordProblem(const QString &password);

// Equality up to Unicode canonical equivalence (precomposed "é" equals "e" + combining acute).
[[nodiscard]] bool canonicallyEqual(const QString &a, const QString &b);

// Reads an amount exactly as strtod does under the POSIX locale, requiring the whole text to be
// consumed: no leading white space, hexadecimal, infinity and not-a-number forms accepted, a comma
// never a decimal separator. nullopt when the text is not one such number.
[[nodiscard]] std::optional<double> parseAmount(const QString &text);

} // namespace TextRules
