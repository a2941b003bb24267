// SPDX-License-Identifier: MIT
#include "session/AmountFormat.h"

#include <QTest>

#include <unicode/locid.h>

#include <cmath>
#include <limits>

class TestAmountFormat : public QObject
{
    Q_OBJECT
private:
    icu::Locale m_saved;

private Q_SLOTS:
    void initTestCase() { m_saved = icu::Locale::getDefault(); }
    void cleanupTestCase()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(m_saved, status);
    }

    void formatted_data()
    {
        constexpr double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("en_US 1234") << QByteArray("en_US") << 1234.0 << u"1,234"_qs;
        QTest::newRow("en_US 1234.5 half-even down") << QByteArray("en_US") << 1234.5 << u"1,234"_qs;
        QTest::newRow("en_US 1235.5 half-even up") << QByteArray("en_US") << 1235.5 << u"1,236"_qs;
        QTest::newRow("en_US 1234.51") << QByteArray("en_US") << 1234.51 << u"1,235"_qs;
        QTest::newRow("en_US 0.4") << QByteArray("en_US") << 0.4 << u"0"_qs;
        QTest::newRow("en_US 0.5") << QByteArray("en_US") << 0.5 << u"0"_qs;
        QTest::newRow("en_US 2.5") << QByteArray("en_US") << 2.5 << u"2"_qs;
        QTest::newRow("en_US 999.5") << QByteArray("en_US") << 999.5 << u"1,000"_qs;
        QTest::newRow("en_US -1234.5") << QByteArray("en_US") << -1234.5 << u"-1,234"_qs;
        QTest::newRow("en_US 1234567") << QByteArray("en_US") << 1234567.0 << u"1,234,567"_qs;
        QTest::newRow("de_DE 1234.5") << QByteArray("de_DE") << 1234.5 << u"1.234"_qs;
        QTest::newRow("de_DE 1234567") << QByteArray("de_DE") << 1234567.0 << u"1.234.567"_qs;
        QTest::newRow("de_DE -5") << QByteArray("de_DE") << -5.0 << u"-5"_qs;
        QTest::newRow("fr_FR 1234.5") << QByteArray("fr_FR") << 1234.5 << u"1\u202f234"_qs;
        QTest::newRow("fr_FR 1235.5") << QByteArray("fr_FR") << 1235.5 << u"1\u202f236"_qs;
        QTest::newRow("fr_FR 1234567") << QByteArray("fr_FR") << 1234567.0 << u"1\u202f234\u202f567"_qs;
        // Not finite and out of the 64-bit range: the formatter's own texts. Large amounts show the
        // shortest digits that read back as the same double, then zeros.
        QTest::newRow("en_US NaN") << QByteArray("en_US") << std::nan("") << u"NaN"_qs;
        QTest::newRow("en_US +inf") << QByteArray("en_US") << inf << u"∞"_qs;
        QTest::newRow("en_US -inf") << QByteArray("en_US") << -inf << u"-∞"_qs;
        QTest::newRow("de_DE NaN") << QByteArray("de_DE") << std::nan("") << u"NaN"_qs;
        QTest::newRow("en_US 1e20") << QByteArray("en_US") << 1e20 << u"100,000,000,000,000,000,000"_qs;
        QTest::newRow("en_US 2^63") << QByteArray("en_US") << 9223372036854775808.0
                                    << u"9,223,372,036,854,776,000"_qs;
        QTest::newRow("en_US -2^64") << QByteArray("en_US") << -18446744073709551616.0
                                     << u"-18,446,744,073,709,552,000"_qs;
    }
    void formatted()
    {
        QFETCH(QByteArray, locale);
        QFETCH(double, amount);
        QFETCH(QString, text);
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(locale.constData()), status);
        QVERIFY(U_SUCCESS(status));
        QCOMPARE(AmountFormat::formatted(amount), text);
    }

    void formattedHugeKeepsEveryDigit()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        const QString text = AmountFormat::formatted(-1e300);
        QVERIFY(text.startsWith(u"-1,000,"));
        QCOMPARE(text.count(u','), 100);
        QCOMPARE(AmountFormat::formatted(std::numeric_limits<double>::max()).size(), 309 + 102);
    }

    void plainDigits_data()
    {
        constexpr double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<double>("amount");
        QTest::addColumn<QString>("text");
        QTest::newRow("12.9 truncates") << 12.9 << u"12"_qs;
        QTest::newRow("-12.9 truncates toward zero") << -12.9 << u"-12"_qs;
        QTest::newRow("-0.5 is 0") << -0.5 << u"0"_qs;
        QTest::newRow("-0") << -0.0 << u"0"_qs;
        QTest::newRow("1234567 ungrouped") << 1234567.0 << u"1234567"_qs;
        QTest::newRow("int64 min") << -9223372036854775808.0 << u"-9223372036854775808"_qs;
        QTest::newRow("2^63, past int64 max") << 9223372036854775808.0 << u"9223372036854775808"_qs;
        QTest::newRow("1e20") << 1e20 << u"100000000000000000000"_qs;
        QTest::newRow("NaN") << std::nan("") << u"NaN"_qs;
        QTest::newRow("+inf") << inf << u"∞"_qs;
        QTest::newRow("-inf") << -inf << u"-∞"_qs;
    }
    void plainDigits()
    {
        QFETCH(double, amount);
        QFETCH(QString, text);
        QCOMPARE(AmountFormat::plainDigits(amount), text);
    }

    void plainDigitsOfTheLargestDouble()
    {
        const QString text = AmountFormat::plainDigits(-std::numeric_limits<double>::max());
        QCOMPARE(text.size(), 310);
        QVERIFY(text.startsWith(u"-17976931348623157"));
    }
};

QTEST_GUILESS_MAIN(TestAmountFormat)
#include "tst_amountformat.moc"
