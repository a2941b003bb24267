// SPDX-License-Identifier: MIT
#include "service/ReplyReader.h"

namespace ReplyReader {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
qint64 daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return qint64(era) * 146097 + doe - 719468;
}

int daysInMonth(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

} // namespace

QDateTime parseDate(QByteArrayView text)
{
    const char *s = text.data();
    const qsizetype n = text.size();
    // Shortest form: yyyy-MM-ddTHH:mm:ss.fZ
    if (n < 22)
        return {};
    auto number = [s](qsizetype at, int width, int &out) {
        out = 0;
        for (int i = 0; i < width; ++i) {
            const char c = s[at + i];
            if (c < '0' || c > '9')
                return false;
            out = out * 10 + (c - '0');
        }
        return true;
    };
    int year, month, day, hour, minute, second;
    if (!number(0, 4, year) || s[4] != '-' || !number(5, 2, month) || s[7] != '-' || !number(8, 2, day) ||
        s[10] != 'T' || !number(11, 2, hour) || s[13] != ':' || !number(14, 2, minute) || s[16] != ':' ||
        !number(17, 2, second) || s[19] != '.')
        return {};
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return {};

    qsizetype i = 20;
    int millis = 0;
    int fractionDigits = 0;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i, ++fractionDigits) {
        if (fractionDigits < 3)
            millis = millis * 10 + (s[i] - '0');
    }
    if (fractionDigits == 0)
        return {};
    for (int k = fractionDigits; k < 3; ++k)
        millis *= 10;

    int offsetMinutes = 0;
    if (i + 1 == n && s[i] == 'Z') {
        // UTC
    } else if (i + 6 == n && (s[i] == '+' || s[i] == '-')) {
        int oh, om;
        if (!number(i + 1, 2, oh) || s[i + 3] != ':' || !number(i + 4, 2, om) || oh > 23 || om > 59)
            return {};
        offsetMinutes = (s[i] == '-' ? -1 : 1) * (oh * 60 + om);
    } else {
        return {};
    }

    const qint64 seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
                           qint64(offsetMinutes) * 60;
    return QDateTime::fromMSecsSinceEpoch(seconds * 1000 + millis, Qt::UTC);
}

} // namespace ReplyReader
