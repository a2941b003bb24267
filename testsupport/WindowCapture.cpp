// SPDX-License-Identifier: MIT
#include "testsupport/WindowCapture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QQuickWindow>
#include <QTest>

QString WindowCapture::save(QQuickWindow *window, const QString &dir, const QString &name, int settleMs)
{
    if (!window)
        return {};
    if (!window->isVisible())
        window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return {};
    // Wait for a fresh frame so that the last property changes are on screen.
    bool drawn = false;
    const auto connection = QObject::connect(
        window, &QQuickWindow::afterRendering, window, [&drawn] { drawn = true; }, Qt::DirectConnection);
    window->update();
    QTest::qWait(settleMs);
    const QDeadlineTimer deadline(5000);
    while (!drawn && !deadline.hasExpired())
        QTest::qWait(10);
    QObject::disconnect(connection);

    const QImage image = window->grabWindow();
    if (image.isNull() || !QDir().mkpath(dir))
        return {};
    const QString path = QDir(dir).filePath(name + QStringLiteral(".png"));
    return image.save(path) ? path : QString();
}
