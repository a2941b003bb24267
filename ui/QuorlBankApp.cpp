// SPDX-License-Identifier: MIT
#include "ui/QuorlBankApp.h"

#include "service/APIService.h"
#include "session/AuthService.h"

#include <QQuickWindow>

QuorlBankApp::QuorlBankApp()
{
    // Taken before the window exists: the restore request is sent while the first frame is drawn.
    AuthService::shared();
    m_engine.addImportPath(QStringLiteral("qrc:/"));
}

bool QuorlBankApp::load()
{
    m_engine.load(QUrl(QStringLiteral("qrc:/QuorlBank/ui/Main.qml")));
    QQuickWindow *shown = window();
    if (!shown)
        return false;
    // Once the first frame is out, the trust store is read in the background, so that the first
    // sign-in does not wait for it.
    QObject::connect(shown, &QQuickWindow::frameSwapped, shown, &APIService::preloadTrust,
                     Qt::SingleShotConnection);
    return true;
}

QQuickWindow *QuorlBankApp::window() const
{
    const auto roots = m_engine.rootObjects();
    return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first());
}
