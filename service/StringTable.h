// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>
#include <string_view>

// Short texts repeat a lot within one reply (user names, notes): each distinct one becomes one
// QString that the records share, which saves most of the allocations of a long list.
//
// The table keeps views of the texts it was given, not copies: they must stay valid and unchanged
// until the next reset().
class StringTable
{
public:
    // Forgets every text (the views of the last reply are about to become invalid).
    void reset();
    // The text as a QString, shared with earlier calls for the same text when one is remembered.
    QString get(std::string_view s);

private:
    struct Entry
    {
        std::string_view key;
        QString value;
        bool used = false;
    };
    std::array<Entry, 256> m_entries;
};
