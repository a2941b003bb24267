// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QQuickWindow;

// Renders Qt Quick windows to PNG files, for screenshot runs under QT_QPA_PLATFORM=offscreen.
namespace WindowCapture {

// Shows the window if it is hidden, waits until it is exposed and has drawn, lets pending
// animations settle for settleMs, and saves it as dir/name.png (making dir). Returns the file's
// path, or an empty string when the window never drew or the file could not be written.
QString save(QQuickWindow *window, const QString &dir, const QString &name, int settleMs = 300);

} // namespace WindowCapture
