// SPDX-License-Identifier: MIT
// Start-up benchmark: runs the program (quorl-bench-app) and a bare Qt Quick window
// (quorl-bench-bare) alternately, each as a fresh process on the same platform plugin, and prints
// the median time from process start to first frame and the median peak resident memory at that
// frame and once the program has settled, side by side.
// Usage: quorl-bench-startup [runs] (default 15). Figures only; it never fails on them.
#include "bench/FirstFrame.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

struct Sample
{
    double ms = 0;
    double mib = 0;
    double settledMib = 0;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

bool runOnce(const QString &program, const QProcessEnvironment &env, Sample &sample)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    const long long started = monotonicNs();
    child.start(program, {});
    if (!child.waitForFinished(30000) || child.exitCode() != 0)
        return false;
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 3)
        return false;
    sample.ms = double(fields[0].toLongLong() - started) / 1e6;
    sample.mib = fields[1].toDouble();
    sample.settledMib = fields[2].toDouble();
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const QDir here(QCoreApplication::applicationDirPath());

    // An empty settings folder and no session bus: no stored token, so the program sends no
    // request at start, and the user's keyring is not asked.
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), config.path()); // where no user bus is
    }

    const QString programs[2] = {here.filePath(QStringLiteral("quorl-bench-bare")),
                                 here.filePath(QStringLiteral("quorl-bench-app"))};
    std::vector<double> ms[2], mib[2], settled[2];
    for (int i = 0; i < runs + 1; ++i) {
        for (int p = 0; p < 2; ++p) {
            Sample s;
            if (!runOnce(programs[p], env, s)) {
                std::fprintf(stderr, "%s did not report a first frame\n", qPrintable(programs[p]));
                return 1;
            }
            if (i > 0) { // the first round warms the file cache
                ms[p].push_back(s.ms);
                mib[p].push_back(s.mib);
                settled[p].push_back(s.settledMib);
            }
        }
    }
    const double bareMs = median(ms[0]), appMs = median(ms[1]);
    const double bareMiB = median(mib[0]), appMiB = median(mib[1]);
    const double bareSettled = median(settled[0]), appSettled = median(settled[1]);
    std::printf("platform: %s, %d runs each, medians; settled = %d ms after the first frame\n",
                qPrintable(env.value(QStringLiteral("QT_QPA_PLATFORM"))), runs, FirstFrame::settleMs);
    std::printf("%-28s %12s %14s %14s\n", "", "first frame", "peak memory", "settled");
    std::printf("%-28s %9.1f ms %10.1f MiB %10.1f MiB\n", "bare Qt Quick window", bareMs, bareMiB,
                bareSettled);
    std::printf("%-28s %9.1f ms %10.1f MiB %10.1f MiB\n", "Quorl Bank sign-in screen", appMs, appMiB,
                appSettled);
    std::printf("%-28s %11.2fx %13.2fx %13.2fx   (targets: <= 1.5x, <= 1.3x)\n", "ratio", appMs / bareMs,
                appMiB / bareMiB, appSettled / bareSettled);
    return 0;
}
