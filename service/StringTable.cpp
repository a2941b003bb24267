// SPDX-License-Identifier: MIT
#include "service/StringTable.h"

#include <cstring>

inline StringTable::Key StringTable::keyOf(std::string_view s)
{
    Key key;
    key.size = s.size();
    const char *p = s.data();
    const std::size_t n = s.size();
    if (n >= 8) {
        // Overlapping words: the first eight bytes, the last eight, and eight from the middle.
        std::memcpy(&key.words[0], p, 8);
        std::memcpy(&key.words[1], p + (n >= 16 ? 8 : n - 8), 8);
        std::memcpy(&key.words[2], p + n - 8, 8);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            key.words[0] |= std::uint64_t(std::uint8_t(p[i])) << (8 * i);
    }
    return key;
}

QString StringTable::get(std::string_view s)
{
    if (s.size() > maxLength || s.empty())
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    const Key key = keyOf(s);
    const std::uint64_t hash = (key.words[0] * 0x9E3779B97F4A7C15ull) ^
                               ((key.words[2] + key.size) * 0xC2B2AE3D27D4EB4Full) ^ key.words[1];
    Entry &entry = m_entries[(hash * 0x9E3779B97F4A7C15ull) >> 56];
    if (entry.value.isNull() || !(entry.key == key)) {
        entry.value = QString::fromUtf8(s.data(), qsizetype(s.size()));
        entry.key = key;
    }
    return entry.value;
}
