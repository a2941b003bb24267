// SPDX-License-Identifier: MIT
// The amount reader, and the amount and date formats in the user's locale. (Counting user-perceived
// characters and canonical equality are tested through the screens whose checks use them.)
#include "session/AmountFormat.h"
#include "session/DateFormatter.h"
#include "session/TextRules.h"

#include <QTest>

#include <unicode/locid.h>

#include <cmath>
#include <limits>

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

bool setIcuLocale(const char *name)
{
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale(name), status);
    return U_SUCCESS(status);
}

} // namespace

class TestTextFormats : public QObject
{
    Q_OBJECT
    icu::Locale m_saved;

private Q_SLOTS:
    void initTestCase() { m_saved = icu::Locale::getDefault(); }
    void cleanupTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(m_saved, status);
    }

    void parseAmount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        const auto refused = [](const char *name, const QString &text) {
            QTest::newRow(name) << text << false << 0.0;
        };
        QTest::newRow("12.5") << u"12.5"_qs << true << 12.5;
        for (const char *text : {"", " 5", "1,5"})
            refused(*text ? text : "empty", QString::fromLatin1(text));
        refused("embedded NUL", QString(u"5\0001"_qs));
        refused("Arabic-Indic digits", u"\u0661\u0662"_qs);
    }
    void parseAmount()
    {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(double, value);
        const std::optional<double> parsed = TextRules::parseAmount(text);
        QCOMPARE(parsed.has_value(), accepted);
        if (accepted)
            QCOMPARE(*parsed, value);
    }

    // The process locale must not matter: a comma locale changes what plain strtod accepts.
    void parseAmountIgnoresProcessLocale()
    {
        const char *previous = std::setlocale(LC_NUMERIC, nullptr);
        const QByteArray saved(previous ? previous : "C");
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            QSKIP("de_DE.UTF-8 is not installed");
        const auto dot = TextRules::parseAmount(u"1.5"_qs);
        const auto comma = TextRules::parseAmount(u"1,5"_qs);
        std::setlocale(LC_NUMERIC, saved.constData());
        QCOMPARE(dot, std::optional<double>(1.5));
        QCOMPARE(comma, std::nullopt);
    }

    void formatted_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *locale, double amount, const QString &text) {
            QTest::newRow(qPrintable(u"%1 %2"_qs.arg(QLatin1String(locale)).arg(amount)))
                << QByteArray(locale) << amount << text;
        };
        row("en_US", 1234.5, u"1,234"_qs); // half-even: down
        row("en_US", 1235.5, u"1,236"_qs); // and up
        row("de_DE", 1234.5, u"1.234"_qs); // the default locale is read at each call
    }
    void formatted()
    {
        QFETCH(QByteArray, locale);
        QFETCH(double, amount);
        QFETCH(QString, text);
        QVERIFY(setIcuLocale(locale.constData()));
        QCOMPARE(AmountFormat::formatted(amount), text);
    }

    void plainDigits_data()
    {
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("-12.9 truncates toward zero") << -12.9 << u"-12"_qs;
        QTest::newRow("-0.5 is 0") << -0.5 << u"0"_qs;
        QTest::newRow("2^63, past int64 max") << 9223372036854775808.0 << u"9223372036854775808"_qs;
        QTest::newRow("NaN") << std::nan("") << u"NaN"_qs;
        QTest::newRow("-inf") << -inf << u"-∞"_qs;
    }
    void plainDigits()
    {
        QFETCH(double, amount);
        QFETCH(QString, text);
        QCOMPARE(AmountFormat::plainDigits(amount), text);
    }

    void dates_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("text");
        // 2025-03-01T15:05:30.123Z throughout.
        QTest::newRow("en_US UTC") << QByteArray("en_US") << "UTC" << u"Mar 1, 2025, 3:05\u202FPM"_qs;
        // The day changes with the zone, not only the hour.
        QTest::newRow("ja_JP Tokyo") << QByteArray("ja_JP") << "Asia/Tokyo" << u"2025年3月2日 0:05"_qs;
    }
    void dates()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, zone);
        QFETCH(QString, text);
        const QDateTime when = QDateTime::fromString(u"2025-03-01T15:05:30.123Z"_qs, Qt::ISODateWithMs);
        QCOMPARE(DateFormatter(locale, zone).format(when), text);
        // The user's formatter follows the default locale.
        QVERIFY(setIcuLocale(locale.constData()));
        QCOMPARE(DateFormatter::forUser().format(when).left(6),
                 DateFormatter(locale, u"UTC"_qs).format(when).left(6));
    }
};

QTEST_GUILESS_MAIN(TestTextFormats)
#include "tst_textformats.moc"
