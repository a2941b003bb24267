// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>

// This process's memory as /proc/self/status gives it, in MiB (0 when it cannot be read).
namespace ProcessMemory {

inline double statusMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

inline double residentMiB()
{
    return statusMiB("VmRSS:");
}

// The most resident memory since the process started, or since resetPeak().
inline double peakMiB()
{
    return statusMiB("VmHWM:");
}

// Starts the peak again from the memory resident now.
inline void resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

} // namespace ProcessMemory
