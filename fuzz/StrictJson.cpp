// SPDX-License-Identifier: MIT
#include "StrictJson.h"

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

    int hex4()
    {
        int code = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = peek();
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return -1;
            code = code * 16 + digit;
            ++m_p;
        }
        return code;
    }

    bool escape()
    {
        ++m_p; // the backslash
        const int c = peek();
        if (c < 0)
            return false;
        ++m_p;
        switch (c) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            return true;
        case 'u': {
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
        default:
            return false;
        }
    }

    // One UTF-8 sequence of two to four bytes (RFC 3629: no overlong forms, no surrogates).
    bool utf8()
    {
        const int lead = peek();
        int count;
        int low = 0x80;
        int high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            count = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            count = 2;
            if (lead == 0xE0)
                low = 0xA0;
            if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            count = 3;
            if (lead == 0xF0)
                low = 0x90;
            if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        ++m_p;
        for (int i = 0; i < count; ++i) {
            const int c = peek();
            if (c < low || c > high)
                return false;
            low = 0x80;
            high = 0xBF;
            ++m_p;
        }
        return true;
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
            if (c == '\\') {
                if (!escape())
                    return false;
            } else if (c < 0x80) {
                ++m_p;
            } else if (!utf8()) {
                return false;
            }
        }
    }

    const unsigned char *m_p;
    const unsigned char *m_end;
};

} // namespace

bool isJsonText(std::string_view text)
{
    return Checker(text).text();
}

} // namespace StrictJson
