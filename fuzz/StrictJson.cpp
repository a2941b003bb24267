// SPDX-License-Identifier: MIT
#include "StrictJson.h"

#include <QByteArrayView>

#include <charconv>
#include <string_view>

namespace StrictJson {
namespace {

class Checker
{
public:
    explicit Checker(std::string_view text)
        : m_p(reinterpret_cast<const unsigned char *>(text.data()))
        , m_end(m_p + text.size())
    {}

    bool text()
    {
        space();
        if (!value())
            return false;
        space();
        return m_p == m_end;
    }

private:
    [[nodiscard]] int peek() const { return m_p < m_end ? *m_p : -1; }

    void space()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++m_p;
    }

    bool value()
    {
        switch (peek()) {
        case '{':
            return container('}', true);
        case '[':
            return container(']', false);
        case '"':
            return string();
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    // An object's members or an array's elements, after the opening bracket.
    bool container(int close, bool members)
    {
        ++m_p;
        space();
        if (peek() == close) {
            ++m_p;
            return true;
        }
        for (;;) {
            if (members) {
                if (peek() != '"' || !string())
                    return false;
                space();
                if (peek() != ':')
                    return false;
                ++m_p;
                space();
            }
            if (!value())
                return false;
            space();
            if (peek() == close) {
                ++m_p;
                return true;
            }
            if (peek() != ',')
                return false;
            ++m_p;
            space();
        }
    }

    bool literal(std::string_view word)
    {
        if (std::size_t(m_end - m_p) < word.size() ||
            std::string_view(reinterpret_cast<const char *>(m_p), word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    bool digits()
    {
        const unsigned char *start = m_p;
        while (peek() >= '0' && peek() <= '9')
            ++m_p;
        return m_p != start;
    }

    bool number()
    {
        if (peek() == '-')
            ++m_p;
        if (peek() == '0')
            ++m_p;
        else if (peek() < '1' || peek() > '9' || !digits())
            return false;
        if (peek() == '.') {
            ++m_p;
            if (!digits())
                return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_p;
            if (peek() == '+' || peek() == '-')
                ++m_p;
            if (!digits())
                return false;
        }
        return true;
    }

    // Four hex digits as one UTF-16 code unit; -1 when they are not.
    int hex4()
    {
        const auto *first = reinterpret_cast<const char *>(m_p);
        unsigned code = 0;
        if (m_end - m_p < 4 || std::from_chars(first, first + 4, code, 16).ptr != first + 4)
            return -1;
        m_p += 4;
        return int(code);
    }

    bool escape()
    {
        ++m_p; // the backslash
        const int c = peek();
        if (c < 0)
            return false;
        ++m_p;
        if (std::string_view("\"\\/bfnrt").find(char(c)) != std::string_view::npos)
            return true;
        if (c != 'u')
            return false;
        const int code = hex4();
        if (code < 0 || (code >= 0xDC00 && code <= 0xDFFF))
            return false;
        if (code < 0xD800 || code > 0xDBFF)
            return true;
        if (peek() != '\\')
            return false;
        ++m_p;
        if (peek() != 'u')
            return false;
        ++m_p;
        const int low = hex4();
        return low >= 0xDC00 && low <= 0xDFFF;
    }

    bool string()
    {
        ++m_p; // the opening quote
        for (;;) {
            const int c = peek();
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (c < 0x20) // the end of the text, or a control character
                return false;
            if (c != '\\')
                ++m_p; // UTF-8 is checked over the whole text
            else if (!escape())
                return false;
        }
    }

    const unsigned char *m_p;
    const unsigned char *m_end;
};

} // namespace

bool isJsonText(std::string_view text)
{
    return QByteArrayView(text.data(), qsizetype(text.size())).isValidUtf8() && Checker(text).text();
}

} // namespace StrictJson
