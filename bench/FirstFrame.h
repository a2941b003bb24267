// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QQuickWindow;

// For the start-up benchmark's children: when the window has shown its first frame, prints one
// line "<monotonic ns> <peak resident KiB>" to stdout and quits the application.
namespace FirstFrame {

void reportAndQuit(QQuickWindow *window);

} // namespace FirstFrame
