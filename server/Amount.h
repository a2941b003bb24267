// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Quorl amounts are kept as whole micro-Quorls (1 Quorl = 1,000,000 micros) in 64-bit integers,
// so that sums and differences are exact however many transfers there are. On the wire an amount
// is a JSON number; it is taken at its shortest decimal spelling (0.1 is exactly 100000 micros),
// and one that needs more than six decimal places is refused rather than rounded.
namespace Amount {

inline constexpr qint64 microsPerQuorl = 1'000'000;
inline constexpr int maxDecimals = 6;
inline constexpr qint64 maxQuorls = 1'000'000'000'000; // no single amount or balance above this

struct Parsed
{
    std::optional<qint64> micros; // set when the value is acceptable
    QString error;                // otherwise the reason, for the reply
};

// A transfer amount from a JSON number: finite, greater than 0, at most six decimals, at most maxQuorls.
[[nodiscard]] Parsed fromJson(double value);

// A non-negative amount typed as text ("1000", "12.5"): for the command line.
[[nodiscard]] std::optional<qint64> fromText(const QString &text);

// The JSON number for an amount: the double nearest to its exact decimal value.
[[nodiscard]] double toJson(qint64 micros);

// The exact decimal spelling ("12.5", "1000").
[[nodiscard]] QString toText(qint64 micros);

} // namespace Amount
