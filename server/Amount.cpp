// SPDX-License-Identifier: MIT
#include "server/Amount.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace Amount {

namespace {

// "123" or "123.456" with at most maxDecimals decimals; nothing else.
std::optional<qint64> fromDecimal(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^([0-9]{1,13})(?:\\.([0-9]+))?$"));
    const auto match = shape.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    QString fraction = match.captured(2);
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (fraction.size() > maxDecimals)
        return std::nullopt;
    const qint64 whole = match.captured(1).toLongLong();
    if (whole > maxQuorls)
        return std::nullopt;
    const qint64 micros = (fraction + QString(maxDecimals - fraction.size(), u'0')).toLongLong();
    const qint64 total = whole * microsPerQuorl + micros;
    if (total > maxQuorls * microsPerQuorl)
        return std::nullopt;
    return total;
}

} // namespace

Parsed fromJson(double value)
{
    if (!std::isfinite(value))
        return {std::nullopt, QStringLiteral("The amount must be a finite number.")};
    if (value <= 0)
        return {std::nullopt, QStringLiteral("The amount must be greater than 0.")};
    if (value > double(maxQuorls))
        return {std::nullopt, QStringLiteral("The amount is too large.")};
    // The shortest spelling that reads back as the same double is the decimal the sender meant.
    const QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    const auto micros = fromDecimal(text);
    if (!micros)
        return {std::nullopt, QStringLiteral("The amount can have at most 6 decimal places.")};
    if (*micros == 0)
        return {std::nullopt, QStringLiteral("The amount must be greater than 0.")};
    return {micros, {}};
}

std::optional<qint64> fromText(const QString &text)
{
    return fromDecimal(text);
}

double toJson(qint64 micros)
{
    return toText(micros).toDouble();
}

QString toText(qint64 micros)
{
    const bool negative = micros < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(micros) : quint64(micros);
    QString text = QString::number(magnitude / microsPerQuorl);
    QString fraction = QString::number(magnitude % microsPerQuorl).rightJustified(maxDecimals, u'0');
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    if (!fraction.isEmpty())
        text += u'.' + fraction;
    return negative ? u'-' + text : text;
}

} // namespace Amount
