// SPDX-License-Identifier: MIT
#include "session/DateFormatter.h"

#include <QLocale>

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace {

icu::UnicodeString toIcu(const QString &text)
{
    return icu::UnicodeString(reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

QString fromIcu(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

} // namespace

DateFormatter::DateFormatter(const QByteArray &localeName, const QString &zoneId)
{
    const icu::Locale locale = localeName.isEmpty() ? icu::Locale::getDefault()
                                                    : icu::Locale::createCanonical(localeName.constData());
    m_localeName = locale.getName();

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status))
        return;
    const icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"yMMMdjmm"), status);
    if (U_FAILURE(status))
        return;
    auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
    if (U_FAILURE(status))
        return;
    format->adoptTimeZone(zoneId.isEmpty() ? icu::TimeZone::createDefault()
                                           : icu::TimeZone::createTimeZone(toIcu(zoneId)));
    m_format = std::move(format);
}

DateFormatter::~DateFormatter() = default;

QString DateFormatter::format(const QDateTime &when) const
{
    if (!when.isValid())
        return {};
    if (!m_format) // ICU had no data for the locale: fall back to Qt's short form
        return QLocale().toString(when.toLocalTime(), QLocale::ShortFormat);
    icu::UnicodeString text;
    m_format->format(UDate(when.toMSecsSinceEpoch()), text);
    return fromIcu(text);
}

const DateFormatter &DateFormatter::forUser()
{
    thread_local std::unique_ptr<DateFormatter> cached;
    if (!cached || cached->m_localeName != icu::Locale::getDefault().getName())
        cached = std::make_unique<DateFormatter>();
    return *cached;
}
