// SPDX-License-Identifier: MIT
#include "session/AmountFormat.h"

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/unistr.h>

#include <cmath>

namespace AmountFormat {

QString formatted(double amount)
{
    using namespace icu::number;
    // A formatter per call: the locale is read afresh each time, as the environment may change it.
    const LocalizedNumberFormatter formatter = NumberFormatter::with()
                                                   .notation(Notation::simple())
                                                   .precision(Precision::integer())
                                                   .roundingMode(UNUM_ROUND_HALFEVEN)
                                                   .grouping(UNUM_GROUPING_AUTO)
                                                   .locale(icu::Locale::getDefault());
    UErrorCode status = U_ZERO_ERROR;
    const FormattedNumber number = formatter.formatDouble(amount, status);
    const icu::UnicodeString text = number.toString(status);
    if (U_FAILURE(status) || text.isBogus() || text.isEmpty())
        return plainDigits(amount);
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

QString plainDigits(double amount)
{
    if (std::isnan(amount))
        return QStringLiteral("NaN");
    if (std::isinf(amount))
        return amount < 0 ? QStringLiteral("-∞") : QStringLiteral("∞");
    const double whole = std::trunc(amount);
    if (whole == 0)
        return QStringLiteral("0"); // -0.5 truncates to -0, shown without a sign
    return QString::number(whole, 'f', 0);
}

QString withUnit(double amount)
{
    return formatted(amount) + QStringLiteral(" ◆");
}

} // namespace AmountFormat
