// SPDX-License-Identifier: MIT
#include "bench/FirstFrame.h"
#include "bench/ProcessMemory.h"

#include <QCoreApplication>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>
#include <ctime>

void FirstFrame::reportAndQuit(QQuickWindow *window)
{
    QObject::connect(
        window, &QQuickWindow::frameSwapped, window,
        [] {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
            const double atFrame = ProcessMemory::peakMiB();
            QTimer::singleShot(settleMs, [ns, atFrame] {
                std::printf("%lld %.3f %.3f\n", ns, atFrame, ProcessMemory::peakMiB());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        },
        Qt::SingleShotConnection);
}
