// SPDX-License-Identifier: MIT
#pragma once

// The machinery under ReplyReader: reading values of simdjson's on-demand API into record fields
// by the strict rules. Only ReplyReader.cpp and JsonReading.cpp include this.

#include "service/ApiTypes.h"
#include "service/RecordFields.h"
#include "service/StringTable.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <simdjson.h>

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <utility>

namespace ReplyReader::detail {

using simdjson::ondemand::json_type;
using Value = simdjson::ondemand::value;

// Where a value sits in the reply; formatted only when an error is made.
struct Path
{
    const Path *parent = nullptr;
    std::string_view key; // the key as received; empty for an array element
    qsizetype index = -1;
};
QString pathText(const Path *path);

// Thrown for text that is not JSON at all, or nested too deeply to be checked; unlike a
// DecodingError it is never weighed against the other fields of an object, it fails the whole reply.
struct MalformedJson
{
    QString path;
    QString detail;
};

[[noreturn]] void malformed(const Path *path);

// Deeper nesting is refused: checking it takes stack, and simdjson's own bound is 1024 levels.
inline constexpr int maxNesting = 1000;
inline void check(simdjson::error_code error, const Path *path)
{
    if (error)
        malformed(path);
}
[[noreturn]] void fail(DecodingError::Kind kind, const Path *path, QString detail);

// Fails with ValueNotFound for null, TypeMismatch for another type.
//
// Every DecodingError leaves the value it is about consumed and checked to be valid JSON: the
// object around it reads on past the failing field, and a later duplicate key may override it.
void expectType(Value &value, json_type wanted, const Path *path);

// Converts a key, into buf when it changes; returns an empty view when the result does not fit in buf.
// The result is never longer than the key.
std::string_view convertKey(std::string_view key, std::span<char> buf);

// Consumes a value that no field takes, checking that it is valid JSON.
void skipValue(Value &value, const Path *path);

// Equal strings are shared within the reply being read on this thread: one ReplyScope, made before
// the reply is read and dropped after, holds the table for that reply alone.
class ReplyScope
{
public:
    ReplyScope();
    ~ReplyScope();
    ReplyScope(const ReplyScope &) = delete;
    ReplyScope &operator=(const ReplyScope &) = delete;

private:
    StringTable m_strings;
    StringTable *m_previous;
};

void readValue(Value &value, const Path *path, QString &out);
void readUnshared(Value &value, const Path *path, QString &out); // as above, without the table
void readValue(Value &value, const Path *path, double &out);
void readValue(Value &value, const Path *path, bool &out);
void readValue(Value &value, const Path *path, QDateTime &out); // the one date form

template<class R> void readRecord(simdjson::ondemand::object &object, const Path *path, R &out);

template<Record R> void readValue(Value &value, const Path *path, R &out)
{
    expectType(value, json_type::object, path);
    simdjson::ondemand::object object;
    check(value.get_object().get(object), path);
    readRecord(object, path, out);
}

template<class T> void readValue(Value &value, const Path *path, QList<T> &out)
{
    expectType(value, json_type::array, path);
    simdjson::ondemand::array array;
    check(value.get_array().get(array), path);
    out.clear();
    std::size_t count = 0;
    if (!array.count_elements().get(count)) // a pass over the tokens: the list is made at its size
        out.reserve(qsizetype(count));
    qsizetype index = 0;
    auto element = array.begin();
    const auto end = array.end();
    try {
        for (; element != end; ++element) {
            // Used in place: copying the value out of its result costs a store-forwarding stall.
            auto result = *element;
            check(result.error(), path);
            Value &item = result.value_unsafe();
            const Path here{path, {}, index++};
            readValue(item, &here, out.emplaceBack());
        }
    } catch (DecodingError &) {
        // The first bad element decides; the ones after it must still be JSON.
        while (++element != end) {
            Value item;
            check((*element).get(item), path);
            const Path here{path, {}, index++};
            skipValue(item, &here);
        }
        throw;
    }
}

[[noreturn]] void keyNotFound(const Path *path, std::string_view fieldName);

template<Sharing S, class T> void readField(Value &value, const Path *path, T &out)
{
    if constexpr (S == Sharing::Unique)
        readUnshared(value, path, out); // texts only
    else
        readValue(value, path, out);
}

// The index of the field whose usual spelling the raw key is, or the field count. The keys are
// constants here, so each comparison compiles to a few word compares.
template<class R, std::size_t... I>
std::size_t matchRawKey(simdjson::ondemand::raw_json_string raw, std::size_t expected,
                        std::index_sequence<I...>)
{
    static constexpr auto &fields = ReplyReader::Fields<R>::list;
    std::size_t found = sizeof...(I);
    if (((expected == I && raw.unsafe_is_equal(std::get<I>(fields).key) && (found = I, true)) || ...))
        return found;
    (void)((raw.unsafe_is_equal(std::get<I>(fields).key) && (found = I, true)) || ...);
    return found;
}

template<class R> void readRecord(simdjson::ondemand::object &object, const Path *path, R &out)
{
    static constexpr auto &fields = ReplyReader::Fields<R>::list;
    static constexpr std::size_t count = std::tuple_size_v<std::remove_cvref_t<decltype(fields)>>;
    static_assert(count <= 32);
    static constexpr auto names = std::apply([](auto... f) { return std::array{f.name...}; }, fields);
    static constexpr auto keys = std::apply([](auto... f) { return std::array{f.key...}; }, fields);

    // Values are read in the order they arrive; their errors are kept per field and reported in the
    // record's field order once the object has been read.
    std::unique_ptr<std::array<std::optional<DecodingError>, count>> errors; // made at the first error
    std::uint32_t seen = 0;
    std::size_t expected = 0;
    for (auto entry : object) {
        check(entry.error(), path);
        simdjson::ondemand::field &field = entry.value_unsafe(); // in place, as above
        // The usual spelling is matched on the raw text; anything else is unescaped and converted.
        // Keys mostly arrive in the record's order, so the one after the last match is tried first.
        std::size_t i = matchRawKey<R>(field.key(), expected, std::make_index_sequence<count>());
        std::string_view key;
        if (i < count) {
            key = keys[i];
        } else {
            check(field.unescaped_key().get(key), path);
            std::array<char, longestFieldName> buf;
            const std::string_view name = convertKey(key, buf);
            i = 0;
            while (i < count && names[i] != name)
                ++i;
        }
        const Path here{path, key};
        if (i == count) {
            skipValue(field.value(), &here);
            continue;
        }
        seen |= 1u << i;
        expected = i + 1;
        try {
            [&]<std::size_t... I>(std::index_sequence<I...>)
            {
                (void)((i == I ? (readField<std::get<I>(fields).sharing>(field.value(), &here,
                                                                         out.*(std::get<I>(fields).member)),
                                  true)
                               : false) ||
                       ...);
            }
            (std::make_index_sequence<count>());
            if (errors)
                (*errors)[i].reset();
        } catch (DecodingError &error) {
            if (!errors)
                errors = std::make_unique<std::array<std::optional<DecodingError>, count>>();
            (*errors)[i] = std::move(error);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (errors && (*errors)[i])
            throw std::move(*(*errors)[i]);
        if (!(seen & (1u << i)))
            keyNotFound(path, names[i]);
    }
}

} // namespace ReplyReader::detail
