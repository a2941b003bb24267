// SPDX-License-Identifier: MIT
#include "ui/QuorlBankApp.h"

#include "service/APIService.h"
#include "session/AuthService.h"
#include "ui/Accessibility.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQuickWindow>

QuorlBankApp::QuorlBankApp()
{
    // Taken before the window exists: the restore request is sent while the first frame is drawn.
    AuthService::shared();
    installAccessibility();
    // The desktop shell matches the window to its menu entry by this name; the window's icon
    // follows its first frame (load()).
    QGuiApplication::setDesktopFileName(QStringLiteral("bank.quorl.QuorlBank"));
    m_engine.addImportPath(QStringLiteral("qrc:/"));
}

bool QuorlBankApp::load()
{
    m_engine.load(QUrl(QStringLiteral("qrc:/QuorlBank/ui/Main.qml")));
    QQuickWindow *shown = window();
    if (!shown)
        return false;
    // Once the first frame is out (queued: nothing else that follows the frame waits for this),
    // libcurl and the TLS library are loaded in the background, so that the first sign-in does not
    // wait for them, and the window gets its icon (which loads the SVG plugins).
    QObject::connect(
        shown, &QQuickWindow::frameSwapped, shown,
        [] {
            APIService::preload();
            QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/bank.quorl.QuorlBank.svg")));
        },
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    return true;
}

QQuickWindow *QuorlBankApp::window() const
{
    const auto roots = m_engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
}
