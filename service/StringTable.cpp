// SPDX-License-Identifier: MIT
#include "service/StringTable.h"

#include <cstdint>
#include <cstring>

void StringTable::reset()
{
    for (Entry &entry : m_entries) {
        if (entry.used)
            entry = Entry{};
    }
}

QString StringTable::get(std::string_view s)
{
    if (s.size() > 24)
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    if (s.size() >= 8) {
        std::memcpy(&head, s.data(), 8);
        std::memcpy(&tail, s.data() + s.size() - 8, 8);
    } else {
        std::memcpy(&head, s.data(), s.size());
    }
    const std::uint64_t hash = head * 0x9E3779B97F4A7C15ull ^ (tail + s.size()) * 0xC2B2AE3D27D4EB4Full;
    Entry &entry = m_entries[hash >> 56];
    if (!entry.used || entry.key.size() != s.size() ||
        std::memcmp(entry.key.data(), s.data(), s.size()) != 0) {
        entry.value = QString::fromUtf8(s.data(), qsizetype(s.size()));
        entry.key = s;
        entry.used = true;
    }
    return entry.value;
}
