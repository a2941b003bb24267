// SPDX-License-Identifier: MIT
// Renders the sign-in, registration, reset and verification states to PNG files in the build tree
// (QUORL_SCREENSHOT_DIR) for a person to look at. It checks only that each file was written.
#include "tests/support/IsolatedSettings.h"
#include "tests/support/WindowCapture.h"
#include "ui/screens/LoginModel.h"
#include "ui/screens/ResetPasswordModel.h"
#include "ui/screens/VerifyEmailModel.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

class TestScreenshots : public QObject
{
    Q_OBJECT

private:
    // The whole window, as the program opens it.
    std::unique_ptr<QQmlApplicationEngine> openWindow()
    {
        auto engine = std::make_unique<QQmlApplicationEngine>();
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->load(QUrl(QStringLiteral("qrc:/QuorlBank/ui/Main.qml")));
        return engine;
    }

    static QQuickWindow *windowOf(QQmlApplicationEngine &engine)
    {
        return engine.rootObjects().isEmpty() ? nullptr
                                              : qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    }

    void shoot(QQuickWindow *window, const QString &name)
    {
        const QString path = WindowCapture::save(window, QStringLiteral(QUORL_SCREENSHOT_DIR), name);
        QVERIFY2(!path.isEmpty(), qPrintable(name));
        qInfo("wrote %s", qPrintable(path));
    }

private Q_SLOTS:
    void signIn()
    {
        auto engine = openWindow();
        QQuickWindow *window = windowOf(*engine);
        QVERIFY(window);
        auto *login = window->findChild<LoginModel *>();
        QVERIFY(login);
        shoot(window, QStringLiteral("sign-in"));
    }

    void registerWithMessage()
    {
        auto engine = openWindow();
        QQuickWindow *window = windowOf(*engine);
        QVERIFY(window);
        auto *login = window->findChild<LoginModel *>();
        QVERIFY(login);
        login->selectMode(LoginModel::Mode::Register);
        login->setUsername(QStringLiteral("alice"));
        login->setEmail(QStringLiteral("alice@example.com"));
        login->setPassword(QStringLiteral("abc"));
        login->doAction();
        QCOMPARE(login->status(), QStringLiteral("Password must be at least 6 characters."));
        shoot(window, QStringLiteral("register-message"));
    }

    void resetSheet()
    {
        auto engine = openWindow();
        QQuickWindow *window = windowOf(*engine);
        QVERIFY(window);
        auto *login = window->findChild<LoginModel *>();
        QVERIFY(login);
        login->setUsername(QStringLiteral("alice"));
        login->setShowReset(true);
        QTRY_VERIFY(window->findChild<ResetPasswordModel *>());
        auto *reset = window->findChild<ResetPasswordModel *>();
        QCOMPARE(reset->username(), QStringLiteral("alice"));
        shoot(window, QStringLiteral("reset-open"));

        // The finished state, as a successful request leaves it.
        reset->setResetSecret(QStringLiteral("secret"));
        reset->setNewPassword(QStringLiteral("hunter22"));
        reset->setConfirm(QStringLiteral("hunter22"));
        reset->setStatus(QStringLiteral("Password reset! You can now log in."));
        reset->setSuccess(true);
        shoot(window, QStringLiteral("reset-success"));
    }

    void verifyWithError()
    {
        QQmlApplicationEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/"));
        engine.loadData("import QtQuick\nimport QuorlBank\n"
                        "Window { width: 420; height: 460; visible: true\n"
                        "    VerifyEmailView { anchors.fill: parent } }");
        QQuickWindow *window = windowOf(engine);
        QVERIFY(window);
        auto *verify = window->findChild<VerifyEmailModel *>();
        QVERIFY(verify);
        verify->setCode(QStringLiteral("12345"));
        verify->doVerify();
        QCOMPARE(verify->status(), QStringLiteral("Enter the 6-digit code."));
        shoot(window, QStringLiteral("verify-error"));
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestScreenshots)
#include "tst_screenshots.moc"
