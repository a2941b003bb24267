// SPDX-License-Identifier: MIT
#include "session/TextRules.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestTextRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void characterCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("count");
        QTest::newRow("empty") << QString() << qsizetype(0);
        QTest::newRow("ascii") << u"abc123"_qs << qsizetype(6);
        QTest::newRow("six emoji") << u"😀😃😄😁😆😅"_qs << qsizetype(6);
        QTest::newRow("precomposed é") << u"caf\u00e9"_qs << qsizetype(4);
        QTest::newRow("e + combining acute") << u"cafe\u0301"_qs << qsizetype(4);
        QTest::newRow("stacked combining marks") << u"a\u0301\u0323\u0308b"_qs << qsizetype(2);
        QTest::newRow("flags") << u"🇩🇪🇫🇷🇯🇵"_qs << qsizetype(3);
        QTest::newRow("odd regional indicator") << u"🇩🇪🇫"_qs << qsizetype(2);
        QTest::newRow("family ZWJ sequence") << u"👨\u200d👩\u200d👧\u200d👦"_qs << qsizetype(1);
        QTest::newRow("skin tone") << u"👍🏽👍"_qs << qsizetype(2);
        QTest::newRow("keycap") << u"1\ufe0f\u20e3"_qs << qsizetype(1);
        QTest::newRow("hangul jamo syllable") << u"\u1100\u1161\u11a8"_qs << qsizetype(1);
        QTest::newRow("CR LF is one") << u"a\r\nb"_qs << qsizetype(3);
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + u"x"_qs << qsizetype(2);
        QTest::newRow("embedded NUL") << QString(u"1\0002"_qs) << qsizetype(3);
    }
    void characterCount()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, count);
        QCOMPARE(TextRules::characterCount(text), count);
    }

    void canonicallyEqual_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("same") << u"pass"_qs << u"pass"_qs << true;
        QTest::newRow("both empty") << QString() << u""_qs << true;
        QTest::newRow("precomposed vs combining") << u"caf\u00e9"_qs << u"cafe\u0301"_qs << true;
        QTest::newRow("mark order of different classes")
            << u"a\u0323\u0301"_qs << u"a\u0301\u0323"_qs << true;
        QTest::newRow("Å ring vs angstrom sign") << u"\u00c5"_qs << u"\u212b"_qs << true;
        QTest::newRow("compatibility only: ligature") << u"\ufb01"_qs << u"fi"_qs << false;
        QTest::newRow("compatibility only: fullwidth") << u"\uff21"_qs << u"A"_qs << false;
        QTest::newRow("case differs") << u"Pass"_qs << u"pass"_qs << false;
        QTest::newRow("different accent") << u"\u00e9"_qs << u"\u00e8"_qs << false;
        QTest::newRow("trailing blank") << u"pass"_qs << u"pass "_qs << false;
    }
    void canonicallyEqual()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, equal);
        QCOMPARE(TextRules::canonicallyEqual(a, b), equal);
        QCOMPARE(TextRules::canonicallyEqual(b, a), equal);
    }

    void parseAmount_data()
    {
        constexpr double inf = std::numeric_limits<double>::infinity();
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("value");
        QTest::newRow("12") << u"12"_qs << true << 12.0;
        QTest::newRow("0") << u"0"_qs << true << 0.0;
        QTest::newRow("-5") << u"-5"_qs << true << -5.0;
        QTest::newRow("+5") << u"+5"_qs << true << 5.0;
        QTest::newRow("12.5") << u"12.5"_qs << true << 12.5;
        QTest::newRow(".5") << u".5"_qs << true << 0.5;
        QTest::newRow("5.") << u"5."_qs << true << 5.0;
        QTest::newRow("1e2") << u"1e2"_qs << true << 100.0;
        QTest::newRow("1E-1") << u"1E-1"_qs << true << 0.1;
        QTest::newRow("0x10") << u"0x10"_qs << true << 16.0;
        QTest::newRow("0X1p3") << u"0X1p3"_qs << true << 8.0;
        QTest::newRow("0x.8") << u"0x.8"_qs << true << 0.5;
        QTest::newRow("inf") << u"inf"_qs << true << inf;
        QTest::newRow("-Infinity") << u"-Infinity"_qs << true << -inf;
        QTest::newRow("overflow reads as inf") << u"1e999"_qs << true << inf;
        QTest::newRow("leading zeros") << u"007"_qs << true << 7.0;
        QTest::newRow("empty") << QString() << false << 0.0;
        QTest::newRow("blank before") << u" 5"_qs << false << 0.0;
        QTest::newRow("tab before") << u"\t5"_qs << false << 0.0;
        QTest::newRow("line feed before") << u"\n5"_qs << false << 0.0;
        QTest::newRow("blank after") << u"5 "_qs << false << 0.0;
        QTest::newRow("comma") << u"1,5"_qs << false << 0.0;
        QTest::newRow("abc") << u"abc"_qs << false << 0.0;
        QTest::newRow("1e") << u"1e"_qs << false << 0.0;
        QTest::newRow("1e+") << u"1e+"_qs << false << 0.0;
        QTest::newRow("0x") << u"0x"_qs << false << 0.0;
        QTest::newRow("sign only") << u"-"_qs << false << 0.0;
        QTest::newRow("dot only") << u"."_qs << false << 0.0;
        QTest::newRow("infinit") << u"infinit"_qs << false << 0.0;
        QTest::newRow("two numbers") << u"1.2.3"_qs << false << 0.0;
        QTest::newRow("embedded NUL") << QString(u"5\0001"_qs) << false << 0.0;
        QTest::newRow("NUL after") << QString(u"5\000"_qs) << false << 0.0;
        QTest::newRow("Arabic-Indic digits") << u"\u0661\u0662"_qs << false << 0.0;
        QTest::newRow("fullwidth digits") << u"\uff11\uff12"_qs << false << 0.0;
        QTest::newRow("Latin-1 after") << u"5\u00a0"_qs << false << 0.0;
        QTest::newRow("no-break space before") << u"\u00a05"_qs << false << 0.0;
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

    void parseAmountNotANumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("nan") << u"nan"_qs;
        QTest::newRow("NAN") << u"NAN"_qs;
        QTest::newRow("-nan") << u"-nan"_qs;
        QTest::newRow("nan(123)") << u"nan(123)"_qs;
    }
    void parseAmountNotANumber()
    {
        QFETCH(QString, text);
        const std::optional<double> parsed = TextRules::parseAmount(text);
        QVERIFY(parsed.has_value());
        QVERIFY(std::isnan(*parsed));
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
};

QTEST_GUILESS_MAIN(TestTextRules)
#include "tst_textrules.moc"
