// SPDX-License-Identifier: MIT
// The yardstick: an empty Qt Quick window of the sign-in screen's size, reporting its first frame.
#include "bench/FirstFrame.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\nWindow { width: 440; height: 520; visible: true; color: \"white\" }");
    if (engine.rootObjects().isEmpty())
        return 1;
    FirstFrame::reportAndQuit(qobject_cast<QQuickWindow *>(engine.rootObjects().first()));
    return app.exec();
}
