// SPDX-License-Identifier: MIT
#include "ui/DateFormatter.h"

#include <QTest>

#include <unicode/locid.h>

class TestDateFormatter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void format_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("text");
        // 2025-03-01T15:05:30.123Z throughout.
        QTest::newRow("en_US UTC") << QByteArray("en_US") << "UTC" << u"Mar 1, 2025, 3:05\u202FPM"_qs;
        QTest::newRow("en_US New York")
            << QByteArray("en_US") << "America/New_York" << u"Mar 1, 2025, 10:05\u202FAM"_qs;
        QTest::newRow("en_GB London") << QByteArray("en_GB") << "Europe/London" << u"1 Mar 2025, 15:05"_qs;
        QTest::newRow("de_DE Berlin") << QByteArray("de_DE") << "Europe/Berlin" << u"1. März 2025, 16:05"_qs;
        QTest::newRow("ja_JP Tokyo") << QByteArray("ja_JP") << "Asia/Tokyo" << u"2025年3月2日 0:05"_qs;
        // The day changes with the zone, not only the hour.
        QTest::newRow("en_US Honolulu")
            << QByteArray("en_US") << "Pacific/Honolulu" << u"Mar 1, 2025, 5:05\u202FAM"_qs;
    }
    void format()
    {
        QFETCH(QByteArray, locale);
        QFETCH(QString, zone);
        QFETCH(QString, text);
        const QDateTime when =
            QDateTime::fromString(QStringLiteral("2025-03-01T15:05:30.123Z"), Qt::ISODateWithMs);
        QVERIFY(when.isValid());
        QCOMPARE(DateFormatter(locale, zone).format(when), text);
    }

    void userFormatterFollowsTheDefaultLocale()
    {
        const icu::Locale saved = icu::Locale::getDefault();
        const QDateTime when =
            QDateTime::fromString(QStringLiteral("2025-03-01T15:05:30.123Z"), Qt::ISODateWithMs);
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("de_DE"), status);
        QVERIFY(DateFormatter::forUser().format(when).contains(u"März"));
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        QVERIFY(DateFormatter::forUser().format(when).startsWith(u"Mar 1, 2025"));
        icu::Locale::setDefault(saved, status);
        QVERIFY(U_SUCCESS(status));
    }
};

QTEST_GUILESS_MAIN(TestDateFormatter)
#include "tst_dateformatter.moc"
