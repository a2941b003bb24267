// SPDX-License-Identifier: MIT
#pragma once

#include "service/APIService.h"
#include "session/AuthService.h"
#include "testsupport/FakeService.h"
#include "testsupport/SessionFixtures.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include <unicode/locid.h>

#include <memory>

// A signed-in session against the local fake (or a server elsewhere), and the dashboard
// (DashboardView) shown for it in a window of its own, for the dashboard's tests, screenshots and
// benchmark. The fake shares the UI thread with the client.
struct DashboardFixture : SessionFixtures::Session
{
    // Amounts and dates as en_US writes them, whatever this machine's locale.
    static bool useUsEnglish()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        return U_SUCCESS(status);
    }

    using Transfer = SessionFixtures::Transfer;

    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QQuickItem *view = nullptr;

    DashboardFixture() { engine.addImportPath(QStringLiteral("qrc:/")); }
    explicit DashboardFixture(const APIService::Options &server)
        : Session(server)
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
    }
    ~DashboardFixture() { closeDashboard(); }

    bool signIn(const QString &name, double balance, const QList<Transfer> &transfers)
    {
        return Session::signIn(name, true, balance, transfers);
    }

    // Makes a DashboardView for the session, as the window shows it for a verified user.
    QQuickItem *openDashboard(QSize size = QSize(900, 700))
    {
        if (!window) {
            window = std::make_unique<QQuickWindow>();
            window->resize(size);
        }
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/QuorlBank/ui/screens/DashboardView.qml")));
        QObject *object = component.createWithInitialProperties({{"auth", QVariant::fromValue(auth.get())}});
        view = qobject_cast<QQuickItem *>(object);
        if (!view) {
            qWarning() << component.errors();
            delete object;
            return nullptr;
        }
        view->setParentItem(window->contentItem());
        view->setSize(window->size());
        window->show();
        return view;
    }

    void closeDashboard()
    {
        delete view;
        view = nullptr;
    }
};
