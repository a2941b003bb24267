// SPDX-License-Identifier: MIT
#pragma once

#include "service/APIService.h"
#include "session/AuthService.h"
#include "testsupport/FakeService.h"
#include "testsupport/SessionFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <unicode/locid.h>

#include <memory>

// A signed-in session against the local fake, and the dashboard (DashboardView) shown for it in a
// window of its own, for the dashboard's tests, screenshots and benchmark.
//
// The fake shares the UI thread with the client. A benchmark that measures the client alone
// points it at a server in another process instead: then there is no fake to script.
struct DashboardFixture
{
    // Amounts and dates as en_US writes them, whatever this machine's locale.
    static bool useUsEnglish()
    {
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale("en_US"), status);
        return U_SUCCESS(status);
    }

    using Transfer = SessionFixtures::Transfer;

    std::unique_ptr<FakeService> fake;
    std::unique_ptr<APIService> api;
    std::unique_ptr<AuthService> auth;
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QQuickItem *view = nullptr;

    DashboardFixture()
        : fake(std::make_unique<FakeService>())
    {
        useServer(fake->options());
    }

    // Against a server elsewhere, which answers the sign-in and the transfer list by itself.
    explicit DashboardFixture(const APIService::Options &server) { useServer(server); }

    ~DashboardFixture()
    {
        closeDashboard();
        auth->setToken(std::nullopt);
        auth.reset();
        api.reset();
        fake.reset();
    }

    // Signs in as the user; the transfer list served from then on is `transfers`.
    bool signIn(const QString &name, double balance, const QList<Transfer> &transfers)
    {
        const QByteArray reply =
            SessionFixtures::authJson("tok-" + name.toUtf8(), name.toUtf8(), true, balance);
        if (fake) {
            fake->enqueue("POST", QStringLiteral("/api/login"), FakeReply::json(200, reply));
            serveTransfers(transfers);
        }
        bool done = false;
        [](AuthService *auth, QString user, bool *done) -> QCoro::Task<> {
            try {
                co_await auth->login(user, QStringLiteral("secret1"));
            } catch (...) {
            }
            *done = true;
        }(auth.get(), name, &done);
        return QTest::qWaitFor([&] { return done; }, 5000) && auth->currentUser().has_value();
    }

    void serveTransfers(const QList<Transfer> &transfers)
    {
        const QByteArray body = SessionFixtures::transfersJson(transfers);
        fake->setFallback("GET", QStringLiteral("/api/transactions"), FakeReply::json(200, body));
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

private:
    void useServer(const APIService::Options &server)
    {
        api = std::make_unique<APIService>(server);
        auth = std::make_unique<AuthService>(*api);
        engine.addImportPath(QStringLiteral("qrc:/"));
    }
};
