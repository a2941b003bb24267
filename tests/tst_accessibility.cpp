// SPDX-License-Identifier: MIT
// What assistive tools read from the sign-in screen: names of controls and message lines, the
// press action of buttons, and never the text of a masked field.
#include "tests/support/IsolatedSettings.h"
#include "ui/screens/LoginModel.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <QtTest/qtestkeyboard.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

class TestAccessibility : public QObject
{
    Q_OBJECT

    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;

    QQuickItem *item(const char *name) const
    {
        return window->findChild<QQuickItem *>(QString::fromLatin1(name));
    }
    QQuickItem *input(const char *field) const
    {
        QQuickItem *f = item(field);
        return f ? f->findChild<QQuickItem *>(QStringLiteral("input")) : nullptr;
    }
    static QAccessibleInterface *accessible(QObject *object)
    {
        return object ? QAccessible::queryAccessibleInterface(object) : nullptr;
    }

private Q_SLOTS:
    void init()
    {
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->loadData("import QtQuick\nimport QuorlBank\n"
                         "Window { width: 440; height: 600; visible: true\n"
                         "    LoginView { anchors.fill: parent } }");
        QVERIFY(!engine->rootObjects().isEmpty());
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }
    void cleanup() { engine.reset(); }

    void controlsAreNamedByTheirLabels_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QString>("name");
        QTest::newRow("tab") << QByteArray("loginTab") << "Login";
        QTest::newRow("tab 2") << QByteArray("registerTab") << "Create Account";
        QTest::newRow("primary") << QByteArray("primaryButton") << "Login";
        QTest::newRow("link") << QByteArray("forgotButton") << "Forgot Password?";
        QTest::newRow("field, by its placeholder") << QByteArray("usernameField") << "Username";
    }
    void controlsAreNamedByTheirLabels()
    {
        QFETCH(QByteArray, object);
        QFETCH(QString, name);
        const bool field = object.endsWith("Field");
        QAccessibleInterface *iface =
            accessible(field ? input(object.constData()) : item(object.constData()));
        QVERIFY(iface);
        QCOMPARE(iface->role(), field ? QAccessible::EditableText : QAccessible::Button);
        QCOMPARE(iface->text(QAccessible::Name), name);
        if (!field)
            QVERIFY(iface->actionInterface() && iface->actionInterface()->actionNames().contains(
                                                    QAccessibleActionInterface::pressAction()));
    }

    void pressActionClicksAndMessageIsStaticText()
    {
        auto *model = window->findChild<LoginModel *>();
        QAccessibleInterface *iface = accessible(item("primaryButton"));
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(model->status(), QStringLiteral("Please enter username and password."));
        QAccessibleInterface *line = accessible(item("statusLine"));
        QVERIFY(line);
        QCOMPARE(line->role(), QAccessible::StaticText);
        QCOMPARE(line->text(QAccessible::Name), model->status());
    }

    void maskedFieldNeverExposesItsText()
    {
        auto *model = window->findChild<LoginModel *>();
        QQuickItem *password = input("passwordField");
        QVERIFY(password);
        password->forceActiveFocus();
        for (char c : QByteArrayLiteral("hunter22"))
            QTest::keyClick(window, c);
        QCOMPARE(model->password(), QStringLiteral("hunter22"));
        QAccessibleInterface *iface = accessible(password);
        QVERIFY(iface);
        QVERIFY(iface->state().passwordEdit);
        for (auto kind : {QAccessible::Name, QAccessible::Value, QAccessible::Description})
            QVERIFY2(!iface->text(kind).contains(QStringLiteral("hunter")),
                     qPrintable(QString::number(kind) + iface->text(kind)));
        if (QAccessibleTextInterface *text = iface->textInterface()) {
            QVERIFY(!text->text(0, text->characterCount()).contains(QStringLiteral("hunter")));
            int start = 0, end = 0;
            QVERIFY(!text->textAtOffset(0, QAccessible::LineBoundary, &start, &end)
                         .contains(QStringLiteral("hunter")));
        }
        // Qt names a masked entry by nothing at all; the placeholder reaches tools as its description.
        QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("Password"));
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestAccessibility)
#include "tst_accessibility.moc"
