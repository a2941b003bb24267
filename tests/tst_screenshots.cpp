// SPDX-License-Identifier: MIT
// Renders the states that matter to PNG files in the build tree (QUORL_SCREENSHOT_DIR) for a person
// to look at: sign-in, registration with a message, the reset sheet open and done, verification
// with an error, the dashboard, and the send form searching, with hits, sending and after. It
// checks that each state was reached and each file written, that the reset sheet's frame follows
// its content, and the few pixels that show whether the search's progress indicator is drawn and
// the hit list's shadow is soft all around.
#include "testsupport/DashboardFixture.h"
#include "testsupport/IsolatedSettings.h"
#include "ui/screens/DashboardModel.h"
#include "ui/screens/LoginModel.h"
#include "ui/screens/ResetPasswordModel.h"
#include "ui/screens/SendModel.h"
#include "ui/screens/VerifyEmailModel.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QQmlApplicationEngine>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

class TestScreenshots : public QObject
{
    Q_OBJECT

    // Saves the window as <name>.png once its animations (a sheet opening, a field fading in)
    // have settled; the grab renders a fresh frame.
    static void shoot(QQuickWindow *window, const QString &name)
    {
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(300);
        const QString path = QDir(QStringLiteral(QUORL_SCREENSHOT_DIR)).filePath(name + u".png"_qs);
        QVERIFY2(window->grabWindow().save(path), qPrintable(path));
        qInfo("wrote %s", qPrintable(path));
    }

    static QRect sceneRect(const QQuickItem *item)
    {
        return item->mapRectToScene(QRectF(0, 0, item->width(), item->height())).toAlignedRect();
    }

    // A window loaded from QML: the program's own (Main.qml) or a small one around a screen.
    static QQuickWindow *load(QQmlApplicationEngine &engine, const QByteArray &data = {})
    {
        engine.addImportPath(u"qrc:/"_qs);
        if (data.isEmpty())
            engine.load(QUrl(u"qrc:/QuorlBank/ui/Main.qml"_qs));
        else
            engine.loadData(data);
        return engine.rootObjects().isEmpty() ? nullptr
                                              : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(DashboardFixture::useUsEnglish());
        QVERIFY(QDir().mkpath(QStringLiteral(QUORL_SCREENSHOT_DIR)));
    }

    void signInRegisterAndReset()
    {
        QQmlApplicationEngine engine;
        QQuickWindow *window = load(engine);
        QVERIFY(window);
        auto *login = window->findChild<LoginModel *>();
        QVERIFY(login);
        shoot(window, u"sign-in"_qs);

        login->selectMode(LoginModel::Mode::Register);
        login->setProperty("username", u"alice"_qs);
        login->setProperty("email", u"alice@example.com"_qs);
        login->setProperty("password", u"abc"_qs);
        login->doAction();
        QCOMPARE(login->status(), u"Password must be at least 6 characters."_qs);
        shoot(window, u"register-message"_qs);

        login->selectMode(LoginModel::Mode::Login);
        login->setProperty("showReset", true);
        QTRY_VERIFY(window->findChild<ResetPasswordModel *>());
        auto *reset = window->findChild<ResetPasswordModel *>();
        shoot(window, u"reset-open"_qs);
        auto *sheet = window->findChild<QObject *>(u"resetSheet"_qs);
        const auto *frame = sheet->property("background").value<QQuickItem *>();
        const qreal opened = frame->height();

        // The finished state, as a successful request leaves it.
        reset->setProperty("resetSecret", u"secret"_qs);
        reset->setProperty("newPassword", u"hunter22"_qs);
        reset->setProperty("confirm", u"hunter22"_qs);
        reset->setProperty("status", u"Password reset! You can now log in."_qs);
        reset->setProperty("isSuccess", true);
        // The sheet's frame, as tall as its content, grows with the message.
        QTRY_VERIFY(frame->height() > opened);
        QCOMPARE(frame->height(), sheet->property("contentItem").value<QQuickItem *>()->implicitHeight());
        shoot(window, u"reset-success"_qs);
    }

    void verifyWithError()
    {
        QQmlApplicationEngine engine;
        QQuickWindow *window = load(engine, "import QtQuick\nimport QuorlBank\n"
                                            "Window { width: 420; height: 460; visible: true\n"
                                            "    VerifyEmailView { anchors.fill: parent } }");
        QVERIFY(window);
        auto *verify = window->findChild<VerifyEmailModel *>();
        QVERIFY(verify);
        verify->setProperty("code", u"12345"_qs);
        verify->doVerify();
        QCOMPARE(verify->status(), u"Enter the 6-digit code."_qs);
        shoot(window, u"verify-error"_qs);
    }

    void dashboardAndSendForm()
    {
        DashboardFixture f;
        QVERIFY(f.signIn(u"alice"_qs, 1234.5,
                         {{"alice", "bob", 5, ""},
                          {"bob", "alice", 1200, "Rent for March", "2025-03-01T09:30:00.000Z"},
                          {"alice", "carol", 42.5, "", "2025-02-27T18:45:00.000Z"},
                          {"dave", "alice", 10000, "Thanks!", "2025-02-20T07:00:00.000Z"}}));
        QQuickItem *view = f.openDashboard(QSize(900, 720));
        QVERIFY(view);
        QTRY_COMPARE(view->findChild<QQuickItem *>("transfers")->property("count").toInt(), 4);
        shoot(f.window.get(), u"dashboard"_qs);

        view->findChild<DashboardModel *>()->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        SendModel *form = view->findChild<SendModel *>();
        f.fake->setFallback("GET", u"/api/users/search"_qs,
                            SessionFixtures::usersReply({u"alice"_qs, u"alina"_qs, u"alistair"_qs})
                                .after(std::chrono::milliseconds(1500)));
        form->search()->setRecipientQuery(u"ali"_qs);
        QTRY_VERIFY(form->search()->isSearching());
        shoot(f.window.get(), u"send-form-searching"_qs);
        {
            // The indicator's bars, darker than the search row's grey, in its place.
            const QImage image = f.window->grabWindow();
            const QRect r = sceneRect(view->findChild<QQuickItem *>("searchIndicator"));
            int drawn = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    drawn += qGray(image.pixel(x, y)) < 200;
            QVERIFY2(drawn >= 10, qPrintable(QString::number(drawn)));
        }
        QTRY_COMPARE(form->search()->searchResults().size(), 3);
        shoot(f.window.get(), u"send-form-hits"_qs);
        {
            // Soft on every side: it fades out beside the list as well as below it (2 down).
            const QImage image = f.window->grabWindow();
            const QRect r = sceneRect(view->findChild<QQuickItem *>("hitList"));
            const auto grey = [&](int x, int y) { return qGray(image.pixel(x, y)); };
            const int midX = r.center().x(), midY = r.center().y(), below = r.bottom() + 1;
            QVERIFY(grey(midX, below) < grey(midX, below + 2) &&
                    grey(midX, below + 2) < grey(midX, below + 4));
            QVERIFY(grey(midX, below + 4) < 255 && grey(midX, below + 8) == 255);
            QVERIFY(grey(r.right() + 1, midY) < grey(r.right() + 3, midY) && grey(r.right() + 3, midY) < 255);
            QVERIFY(grey(r.left() - 1, midY) < 255 && grey(r.right() + 6, midY) == 255);
        }

        form->search()->pickHit(1);
        form->setAmountText(u"12"_qs);
        form->setProperty("note", u"Coffee"_qs);
        shoot(f.window.get(), u"send-form-recipient"_qs);

        f.fake->enqueue("POST", u"/api/send"_qs,
                        SessionFixtures::sendReply("alice", 1222.5).after(std::chrono::milliseconds(1500)));
        f.serveTransfers({{"alice", "alina", 12, "Coffee", "2025-03-02T08:00:00.000Z"},
                          {"alice", "bob", 5, ""},
                          {"bob", "alice", 1200, "Rent for March", "2025-03-01T09:30:00.000Z"}});
        form->doSend();
        QVERIFY(form->isSending());
        shoot(f.window.get(), u"send-form-sending"_qs);
        QTRY_COMPARE(form->sendStatus(), u"Sent 12 ◆ to alina."_qs);
        QTRY_COMPARE(view->findChild<QQuickItem *>("transfers")->property("count").toInt(), 3);
        shoot(f.window.get(), u"send-form-success"_qs);

        form->search()->setRecipientQuery(u"ali"_qs);
        QTRY_COMPARE(form->search()->searchResults().size(), 3);
        form->search()->pickHit(2);
        form->setAmountText(u"5000"_qs);
        f.fake->enqueue("POST", u"/api/send"_qs, FakeReply::json(400, R"({"error":"Insufficient funds."})"));
        form->doSend();
        QTRY_COMPARE(form->sendStatus(), u"Insufficient funds."_qs);
        shoot(f.window.get(), u"send-form-error"_qs);
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestScreenshots)
#include "tst_screenshots.moc"
