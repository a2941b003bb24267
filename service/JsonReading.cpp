// SPDX-License-Identifier: MIT
#include "service/JsonReading.h"

#include "service/ReplyReader.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstring>

namespace ReplyReader::detail {

QString pathText(const Path *path)
{
    QVarLengthArray<const Path *, 8> chain;
    for (const Path *p = path; p; p = p->parent)
        chain.append(p);
    QString text;
    for (auto it = chain.crbegin(); it != chain.crend(); ++it) {
        const Path *p = *it;
        if (p->index >= 0) {
            text += QStringLiteral("[%1]").arg(p->index);
        } else {
            if (!text.isEmpty())
                text += QLatin1Char('.');
            text += QString::fromUtf8(p->key.data(), qsizetype(p->key.size()));
        }
    }
    return text;
}

void malformed(const Path *path)
{
    throw MalformedJson{pathText(path), QStringLiteral("it isn't valid JSON")};
}

void fail(DecodingError::Kind kind, const Path *path, QString detail)
{
    throw DecodingError(kind, pathText(path), std::move(detail));
}

namespace {

const char *typeName(json_type type)
{
    switch (type) {
    case json_type::array:
        return "an array";
    case json_type::object:
        return "an object";
    case json_type::number:
        return "a number";
    case json_type::string:
        return "a string";
    case json_type::boolean:
        return "true or false";
    case json_type::null:
        return "null";
    }
    return "a value";
}

// JSON's number grammar: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < s.size() && s[i] == '-')
        ++i;
    if (i < s.size() && s[i] == '0')
        ++i;
    else if (digits() == 0)
        return false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (digits() == 0)
            return false;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == s.size() && i > 0;
}

} // namespace

void expectType(Value &value, json_type wanted, const Path *path)
{
    json_type type;
    check(value.type().get(type), path);
    if (type == wanted)
        return;
    if (type == json_type::null) {
        bool isNull = false;
        check(value.is_null().get(isNull), path);
        if (!isNull)
            malformed(path);
        fail(DecodingError::Kind::ValueNotFound, path,
             QStringLiteral("the value is null where %1 was expected").arg(QLatin1String(typeName(wanted))));
    }
    // The type is known from the first byte alone; the rest must still be JSON.
    skipValue(value, path);
    fail(DecodingError::Kind::TypeMismatch, path,
         QStringLiteral("%1 was expected but %2 was found")
             .arg(QLatin1String(typeName(wanted)), QLatin1String(typeName(type))));
}

std::string_view convertKey(std::string_view key, std::span<char> buf)
{
    const std::size_t first = key.find_first_not_of('_');
    if (first == std::string_view::npos)
        return key;
    const std::size_t last = key.find_last_not_of('_');
    const std::string_view middle = key.substr(first, last - first + 1);
    if (middle.find('_') == std::string_view::npos)
        return key;
    // Every character but the inner underscores is kept, so the length is known before writing.
    if (key.size() - std::size_t(std::count(middle.begin(), middle.end(), '_')) > buf.size())
        return {};
    std::size_t n = 0;
    for (std::size_t i = 0; i < first; ++i)
        buf[n++] = '_';
    bool firstPiece = true;
    bool pieceStart = true;
    for (const char c : middle) {
        if (c == '_') {
            if (n > first)
                firstPiece = false;
            pieceStart = true;
            continue;
        }
        const bool upper = !firstPiece && pieceStart;
        buf[n++] =
            upper ? (c >= 'a' && c <= 'z' ? char(c - 32) : c) : (c >= 'A' && c <= 'Z' ? char(c + 32) : c);
        pieceStart = false;
    }
    for (std::size_t i = last + 1; i < key.size(); ++i)
        buf[n++] = '_';
    return {buf.data(), n};
}

// Each read tries the wanted type first; only a failed read asks what the value is, so that the
// error names null, another type or broken text.
namespace {

// A string without a backslash is read where it lies in the body; only one with escapes is
// unescaped, into the parser's buffer (which otherwise grows by every string of the reply).
std::string_view readText(Value &value, const Path *path)
{
    // The token runs from the opening quote to the next token: the last quote in it closes the
    // string, and only whitespace follows that.
    const std::string_view token = value.raw_json_token();
    const std::size_t close = token.find_last_of('"');
    if (token.starts_with('"') && close > 0) {
        const std::string_view text = token.substr(1, close - 1);
        if (text.find('\\') == std::string_view::npos) {
            simdjson::ondemand::raw_json_string raw;
            check(value.get_raw_json_string().get(raw), path);
            return text;
        }
    }
    std::string_view s;
    if (value.get_string().get(s)) {
        expectType(value, json_type::string, path);
        malformed(path);
    }
    return s;
}

} // namespace

void skipValue(Value &value, const Path *path)
{
    json_type type;
    check(value.type().get(type), path);
    if ((type == json_type::object || type == json_type::array) && value.current_depth() >= maxNesting)
        throw MalformedJson{pathText(path), QStringLiteral("it is nested too deeply")};
    switch (type) {
    case json_type::object: {
        simdjson::ondemand::object object;
        check(value.get_object().get(object), path);
        for (auto entry : object) {
            simdjson::ondemand::field field;
            check(std::move(entry).get(field), path);
            std::string_view key;
            check(field.unescaped_key().get(key), path);
            const Path here{path, key};
            skipValue(field.value(), &here);
        }
        return;
    }
    case json_type::array: {
        simdjson::ondemand::array array;
        check(value.get_array().get(array), path);
        qsizetype index = 0;
        for (auto element : array) {
            Value item;
            check(std::move(element).get(item), path);
            const Path here{path, {}, index++};
            skipValue(item, &here);
        }
        return;
    }
    case json_type::string:
        readText(value, path);
        return;
    case json_type::number:
        if (!isJsonNumber(value.raw_json_token()))
            malformed(path);
        return;
    case json_type::boolean: {
        bool b;
        check(value.get_bool().get(b), path);
        return;
    }
    case json_type::null: {
        bool isNull = false;
        check(value.is_null().get(isNull), path);
        if (!isNull)
            malformed(path);
        return;
    }
    }
}

namespace {
thread_local StringTable *replyStrings = nullptr;
} // namespace

ReplyScope::ReplyScope()
    : m_previous(replyStrings)
{
    replyStrings = &m_strings;
}

ReplyScope::~ReplyScope()
{
    replyStrings = m_previous;
}

void readValue(Value &value, const Path *path, QString &out)
{
    const std::string_view s = readText(value, path);
    out = replyStrings ? replyStrings->get(s) : QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void readUnshared(Value &value, const Path *path, QString &out)
{
    const std::string_view s = readText(value, path);
    out = QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void readValue(Value &value, const Path *path, double &out)
{
    if (!value.get_double().get(out))
        return;
    expectType(value, json_type::number, path);
    const std::string_view raw = value.raw_json_token();
    if (!isJsonNumber(raw))
        malformed(path);
    fail(DecodingError::Kind::DataCorrupted, path,
         QStringLiteral("the number %1 does not fit in a double").arg(QString::fromUtf8(raw).trimmed()));
}

void readValue(Value &value, const Path *path, bool &out)
{
    if (value.get_bool().get(out)) {
        expectType(value, json_type::boolean, path);
        malformed(path);
    }
}

void readValue(Value &value, const Path *path, QDateTime &out)
{
    const std::string_view s = readText(value, path);
    out = parseDate(QByteArrayView(s.data(), qsizetype(s.size())));
    if (!out.isValid())
        fail(DecodingError::Kind::DataCorrupted, path,
             QStringLiteral("Bad date: ") + QString::fromUtf8(s.data(), qsizetype(s.size())));
}

void keyNotFound(const Path *path, std::string_view fieldName)
{
    // Named the way the service spells it: accountNumber -> account_number.
    std::string key;
    for (const char c : fieldName) {
        if (c >= 'A' && c <= 'Z') {
            key += '_';
            key += char(c + 32);
        } else {
            key += c;
        }
    }
    const Path here{path, key};
    fail(DecodingError::Kind::KeyNotFound, &here,
         QStringLiteral("the key \"%1\" is missing").arg(QString::fromStdString(key)));
}

} // namespace ReplyReader::detail
