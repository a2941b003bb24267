// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

// Equal short texts of one reply as one shared QString. A transfer list repeats a few user names
// and notes thousands of times: each distinct one is made once and shared by the records (implicit
// sharing), which saves most of the allocations and memory of a long list. Make one table for one
// reply and drop it afterwards, so that it keeps no text alive longer than the records do.
//
// A text is remembered by its bytes (copied into the table), so the caller's buffer may change.
// Each slot holds the last text that hashed to it; texts longer than maxLength are never shared.
class StringTable
{
public:
    static constexpr std::size_t maxLength = 24;

    // The text as a QString, shared with earlier calls for the same bytes while it is remembered.
    QString get(std::string_view s);

private:
    // A text of up to maxLength bytes as its length and three words that together cover every byte.
    struct Key
    {
        std::uint64_t words[3] = {};
        std::size_t size = 0;
        friend bool operator==(const Key &, const Key &) = default;
    };
    // Inlined into get(), its one caller: as a call of its own it took 6% of a long reply's reading.
    [[gnu::always_inline]] static Key keyOf(std::string_view s);

    struct Entry
    {
        Key key;
        QString value;
    };
    std::array<Entry, 256> m_entries; // an empty value marks an empty slot
};
