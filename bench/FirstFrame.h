// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QQuickWindow;

// For the start-up benchmark's children: when the window has shown its first frame, notes the time
// and the peak resident memory so far; `settleMs` later (the work a program leaves until after its
// first frame done), prints one line "<monotonic ns> <peak MiB at the frame> <peak MiB settled>" to
// stdout and quits the application.
namespace FirstFrame {

inline constexpr int settleMs = 600;

void reportAndQuit(QQuickWindow *window);

} // namespace FirstFrame
