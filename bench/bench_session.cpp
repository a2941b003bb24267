// SPDX-License-Identifier: MIT
// Figures for the session's hot paths: amount formatting (one per visible row), grapheme counting
// (one per keystroke), and replacing a transfer list of 100,000 items.
#include "session/AmountFormat.h"
#include "session/TextRules.h"
#include "session/TransactionModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <unicode/locid.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// Median wall time of one call, in microseconds, over `rounds` rounds of `calls` calls.
double medianMicros(int rounds, int calls, const std::function<void()> &f)
{
    std::vector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < calls; ++i)
            f();
        samples.push_back(double(timer.nsecsElapsed()) / 1000.0 / calls);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

QList<APITransaction> makeList(int n, const QString &prefix)
{
    QList<APITransaction> list;
    list.reserve(n);
    for (int i = 0; i < n; ++i)
        list.append({prefix + QString::number(i), u"ann"_qs, u"bob"_qs, double(i), u"note"_qs,
                     QDateTime::fromMSecsSinceEpoch(1'700'000'000'000LL + i, Qt::UTC)});
    return list;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);

    double amount = 1234.5;
    out << "formatted(1234.5), en_US: " << medianMicros(7, 2000, [&] {
        amount += 1;
        (void)AmountFormat::formatted(amount);
    }) << " us/call\n";

    const QString emoji = u"👨\u200d👩\u200d👧 café 🇩🇪 cafe\u0301 pass-word-1234"_qs;
    out << "characterCount(31 code units): "
        << medianMicros(7, 20000, [&] { (void)TextRules::characterCount(emoji); }) << " us/call\n";
    out << "parseAmount(\"1234.5\"): "
        << medianMicros(7, 20000, [] { (void)TextRules::parseAmount(u"1234.5"_qs); }) << " us/call\n";

    const QList<APITransaction> a = makeList(100'000, u"a"_qs);
    const QList<APITransaction> b = makeList(100'000, u"b"_qs);
    QList<APITransaction> deepCopy = makeList(100'000, u"a"_qs);
    TransactionModel model;
    bool flip = false;
    out << "TransactionModel::reset, 100,000 transfers: "
        << medianMicros(7, 5,
                        [&] {
                            model.reset(flip ? a : b);
                            flip = !flip;
                        }) /
               1000.0
        << " ms\n";
    out << "comparing two equal lists of 100,000 (separate copies): "
        << medianMicros(7, 5, [&] { (void)(deepCopy == a); }) / 1000.0 << " ms\n";
    out << "comparing lists of 100,000 that differ at the first item: "
        << medianMicros(7, 5, [&] { (void)(b == a); }) / 1000.0 << " ms\n";
    return 0;
}
