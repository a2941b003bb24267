// SPDX-License-Identifier: MIT
#pragma once

// How a record is read from a reply: the table of its fields. Each record's table sits beside the
// record in ApiTypes.h; the reader (JsonReading.h) reads every record through it.

#include <cstddef>
#include <string_view>

namespace ReplyReader {

// No field name is longer; a key whose conversion is longer matches none.
inline constexpr std::size_t longestFieldName = 32;

// True when the snake_case key converts to the name (lower-case pieces only).
consteval bool convertsTo(std::string_view key, std::string_view name)
{
    std::size_t n = 0;
    bool upper = false;
    for (const char c : key) {
        if (c == '_') {
            upper = true;
            continue;
        }
        if (n >= name.size() || name[n++] != (upper ? char(c - 32) : c))
            return false;
        upper = false;
    }
    return n == name.size();
}

// Whether equal values of a text field share one string within a reply (StringTable), as user
// names do. A field whose every value differs, as an id, is read without the table: looking its
// values up would only push the repeated texts out of it.
enum class Sharing { Shared, Unique };

// One field of a record: its name (what a key must convert to), the key as the service spells it
// (matched first, without converting), and the member it fills.
template<class R, class M> struct Field
{
    consteval Field(std::string_view fieldName, std::string_view jsonKey, M R::*target,
                    Sharing texts = Sharing::Shared)
        : name(fieldName)
        , key(jsonKey)
        , member(target)
        , sharing(texts)
    {
        if (!convertsTo(key, name))
            throw "the JSON key does not convert to the field name";
        if (name.size() > longestFieldName)
            throw "the field name is longer than longestFieldName";
    }
    std::string_view name;
    std::string_view key;
    M R::*member;
    Sharing sharing;
};

// Specialised for each record, its fields in the order they are checked:
// static constexpr auto list = std::tuple{Field{...}, ...};
template<class R> struct Fields;

template<class R>
concept Record = requires
{
    Fields<R>::list;
};

} // namespace ReplyReader
