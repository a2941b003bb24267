// SPDX-License-Identifier: MIT
#include "bench/FirstFrame.h"

#include <QCoreApplication>
#include <QFile>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

void FirstFrame::reportAndQuit(QQuickWindow *window)
{
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
            const long atFrame = peakResidentKiB();
            QTimer::singleShot(settleMs, [ns, atFrame] {
                std::printf("%lld %ld %ld\n", ns, atFrame, peakResidentKiB());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        },
        Qt::SingleShotConnection);
}
