// SPDX-License-Identifier: MIT
#include "session/TextRules.h"

#include <QTextBoundaryFinder>

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <clocale>
#include <cstdlib>
#include <memory>

namespace {

// One grapheme iterator per thread, made from ICU's root rules (extended grapheme clusters).
icu::BreakIterator *graphemeIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    return iterator.get();
}

qsizetype qtGraphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

locale_t posixLocale()
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

bool isCSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

} // namespace

namespace TextRules {

qsizetype characterCount(const QString &text)
{
    if (text.isEmpty())
        return 0;
    icu::BreakIterator *it = graphemeIterator();
    if (!it || text.size() > INT32_MAX)
        return qtGraphemeCount(text);
    // A read-only alias of the QString's UTF-16; the iterator lets go of it at the next setText.
    const icu::UnicodeString alias(false, reinterpret_cast<const char16_t *>(text.utf16()),
                                   static_cast<int32_t>(text.size()));
    it->setText(alias);
    qsizetype count = 0;
    for (int32_t pos = it->next(); pos != icu::BreakIterator::DONE; pos = it->next())
        ++count;
    it->setText(icu::UnicodeString());
    return count;
}

bool canonicallyEqual(const QString &a, const QString &b)
{
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

std::optional<double> parseAmount(const QString &text)
{
    if (text.isEmpty() || isCSpace(text.front().unicode()))
        return std::nullopt;
    // strtod under "C" reads ASCII only; anything else (other scripts' digits, NUL-free look-alikes)
    // could never be consumed, and converting it to bytes first could invent characters.
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
        bytes.append(static_cast<char>(c.unicode()));
    }
    const char *begin = bytes.constData();
    const char *end = begin + bytes.size();
    char *stop = nullptr;
    const double value = strtod_l(begin, &stop, posixLocale());
    // An embedded NUL ends strtod's reading early, so it fails this test too.
    if (stop != end)
        return std::nullopt;
    return value;
}

std::optional<QString> passwordProblem(const QString &password)
{
    if (characterCount(password) < 6)
        return QStringLiteral("Password must be at least 6 characters.");
    return std::nullopt;
}

} // namespace TextRules
