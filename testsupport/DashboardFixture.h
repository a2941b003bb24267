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
#include <QThread>

#include <unicode/locid.h>

#include <functional>

#include <memory>

// A signed-in session against the local fake, and the dashboard (DashboardView) shown for it in a
// window of its own, for the dashboard's tests, screenshots and benchmark.
//
// The fake normally shares the UI thread with the client. A benchmark that times the UI thread
// gives it a thread of its own (ServerThread::Own): then touch it only through onServer().
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

    enum class ServerThread { Shared, Own };

    QThread serverThread;
    QObject serverAnchor; // lives in the fake's thread
    std::unique_ptr<FakeService> fake;
    std::unique_ptr<APIService> api;
    std::unique_ptr<AuthService> auth;
    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QQuickItem *view = nullptr;

    explicit DashboardFixture(ServerThread thread = ServerThread::Shared)
    {
        if (thread == ServerThread::Own) {
            serverAnchor.moveToThread(&serverThread);
            serverThread.start();
        }
        onServer([this] { fake = std::make_unique<FakeService>(); });
        api = std::make_unique<APIService>(fake->options());
        auth = std::make_unique<AuthService>(*api);
        engine.addImportPath(QStringLiteral("qrc:/"));
    }

    ~DashboardFixture()
    {
        closeDashboard();
        auth->setToken(std::nullopt);
        auth.reset();
        api.reset();
        onServer([this] { fake.reset(); });
        serverThread.quit();
        serverThread.wait();
    }

    // Runs f in the fake's thread and waits for it.
    void onServer(const std::function<void()> &f)
    {
        if (serverThread.isRunning())
            QMetaObject::invokeMethod(&serverAnchor, f, Qt::BlockingQueuedConnection);
        else
            f();
    }

    // Signs in as the user; the transfer list served from then on is `transfers`.
    bool signIn(const QString &name, double balance, const QList<Transfer> &transfers)
    {
        const QByteArray reply =
            SessionFixtures::authJson("tok-" + name.toUtf8(), name.toUtf8(), true, balance);
        onServer([&] { fake->enqueue("POST", QStringLiteral("/api/login"), FakeReply::json(200, reply)); });
        serveTransfers(transfers);
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
        onServer([&] {
            fake->setFallback("GET", QStringLiteral("/api/transactions"), FakeReply::json(200, body));
        });
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
