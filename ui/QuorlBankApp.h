// SPDX-License-Identifier: MIT
#pragma once

#include <QQmlApplicationEngine>

class QQuickWindow;

// The application shell: names the application to the desktop, takes the session (so that a saved
// session starts restoring beside the first frame), completes what assistive tools read
// (installAccessibility) and opens the one window with the root view,
// which gets its icon after its first frame. Construct it after the
// QGuiApplication; the program's module plugin must be imported (Q_IMPORT_QML_PLUGIN).
class QuorlBankApp
{
public:
    QuorlBankApp();

    // Loads the window; false when the QML could not be loaded.
    bool load();
    [[nodiscard]] QQuickWindow *window() const;

private:
    QQmlApplicationEngine m_engine;
};
