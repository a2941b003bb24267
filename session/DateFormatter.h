// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <unicode/utypes.h>

#include <memory>

U_NAMESPACE_BEGIN
class DateFormat;
U_NAMESPACE_END

// Writes a point in time as abbreviated month, day, year, hour and minute (the skeleton
// "yMMMdjmm"), with the order, punctuation, calendar and 12/24-hour clock of a locale, in a time
// zone: en_US "Mar 1, 2025, 3:05 PM", de_DE "1. März 2025, 15:05".
//
// Building the ICU formatter is costly and formatting is done per visible transfer row, so the
// user's formatter (forUser) is built once per thread and reused.
class DateFormatter
{
public:
    // An empty locale name means ICU's default locale (the user's: LC_ALL, LC_MESSAGES, LANG);
    // an empty zone id the system's time zone.
    explicit DateFormatter(const QByteArray &localeName = {}, const QString &zoneId = {});
    ~DateFormatter();
    DateFormatter(const DateFormatter &) = delete;
    DateFormatter &operator=(const DateFormatter &) = delete;

    [[nodiscard]] QString format(const QDateTime &when) const;

    // The formatter for ICU's current default locale and the system's time zone. Rebuilt only when
    // the default locale changes.
    [[nodiscard]] static const DateFormatter &forUser();

private:
    QByteArray m_localeName;
    std::unique_ptr<icu::DateFormat> m_format;
};
