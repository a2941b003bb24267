// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Whole-number display of amounts, the one home of their unit. Used by AuthService::formatted and
// the screens; kept apart so that it can be used and tested without a session. Dates are written
// by DateFormatter beside it.
namespace AmountFormat {

// The amount in ICU's default locale (taken from the environment: LC_ALL, LC_MESSAGES, LANG):
// decimal, no fraction digits, half-even rounding, the locale's grouping. Every double gives a
// text: NaN gives the locale's not-a-number symbol ("NaN"), the infinities its infinity sign
// ("∞", "-∞"), and amounts beyond the 64-bit range are written out in full, with the shortest
// digits that identify the double followed by zeros (2^63 gives "9,223,372,036,854,776,000").
// No unit or currency sign.
[[nodiscard]] QString formatted(double amount);

// formatted(amount) followed by the unit: "1,234 ◆".
[[nodiscard]] QString withUnit(double amount);

// The text used only if the formatter gives none: the amount truncated toward zero, as plain
// ASCII digits with a leading "-" when negative, no grouping. It never goes through a 64-bit
// integer, so it is exact for every finite double; NaN gives "NaN", the infinities "∞" and "-∞".
[[nodiscard]] QString plainDigits(double amount);

} // namespace AmountFormat
