// SPDX-License-Identifier: MIT
// What assistive tools read, walked as a screen reader walks the accessible tree: each screen in
// reading order with every control and text named (masked fields by their placeholders), the
// press action of buttons, which tab is selected, and never the text of a masked field; the reset
// sheet as a named dialog; from the dashboard, its headings, the balance and one sentence per
// transfer in a list; from the send form, what its progress bars wait for and whether "Send" can
// be pressed. And where the keyboard focus goes in the send form: onto something visible,
// scrolled into view.
#include "testsupport/DashboardFixture.h"
#include "testsupport/IsolatedSettings.h"
#include "ui/Accessibility.h"
#include "ui/screens/DashboardModel.h"
#include "ui/screens/LoginModel.h"
#include "ui/screens/SendModel.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
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

    void showLogin()
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

    // The shown part of the accessible tree under `root` in reading order, one "role: name" per
    // item of the roles a listener hears as content; an item's own children follow it.
    static QStringList spoken(QAccessibleInterface *root)
    {
        static const QHash<QAccessible::Role, QString> roles{
            {QAccessible::Heading, u"heading"_qs},    {QAccessible::StaticText, u"text"_qs},
            {QAccessible::ListItem, u"list item"_qs}, {QAccessible::ProgressBar, u"progress bar"_qs},
            {QAccessible::Button, u"button"_qs},      {QAccessible::EditableText, u"field"_qs},
            {QAccessible::PageTab, u"tab"_qs}};
        QStringList out;
        const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *iface) {
            if (!iface || iface->state().invisible)
                return;
            if (roles.contains(iface->role()))
                out.append(roles.value(iface->role()) + u": "_qs + iface->text(QAccessible::Name));
            for (int i = 0; i < iface->childCount(); ++i)
                walk(iface->child(i));
        };
        walk(root);
        return out;
    }
    // Whether `wanted` occurs in `all` in this order (other items may come between), and nothing
    // in `all` goes without a name.
    static bool readsInOrder(const QStringList &all, const QStringList &wanted)
    {
        if (std::any_of(all.begin(), all.end(), [](const QString &s) { return s.endsWith(u": "_qs); }))
            return false;
        qsizetype at = 0;
        for (const QString &w : wanted) {
            at = all.indexOf(w, at);
            if (at < 0)
                return false;
            ++at;
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(DashboardFixture::useUsEnglish());
        installAccessibility();
    }
    void cleanup() { engine.reset(); }

    // Both tabs, switched and submitted through the press actions: a tab list that tells which
    // tab is selected, every control named, and the message read after the fields.
    void signInReadsInOrder()
    {
        showLogin();
        QAccessibleInterface *login = accessible(item("loginTab"));
        QAccessibleInterface *registration = accessible(item("registerTab"));
        QCOMPARE(login->parent()->role(), QAccessible::PageTabList);
        QCOMPARE(login->parent()->childCount(), 2);
        QVERIFY(login->state().selected && !registration->state().selected);
        QStringList tree = spoken(accessible(window));
        QVERIFY2(readsInOrder(tree, {u"heading: Quorl Bank"_qs, u"tab: Login"_qs, u"tab: Create Account"_qs,
                                     u"field: Username"_qs, u"field: Password"_qs, u"button: Login"_qs,
                                     u"button: Forgot Password?"_qs}) &&
                     !tree.contains(u"field: Email"_qs),
                 qPrintable(tree.join(u'\n')));

        registration->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(!login->state().selected && registration->state().selected);
        accessible(item("primaryButton"))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        const QString message = window->findChild<LoginModel *>()->status();
        tree = spoken(accessible(window));
        QVERIFY2(readsInOrder(tree, {u"field: Username"_qs, u"field: Email"_qs, u"field: Password"_qs,
                                     u"text: "_qs + message, u"button: Create Account"_qs}) &&
                     !tree.contains(u"button: Forgot Password?"_qs),
                 qPrintable(tree.join(u'\n')));
    }

    // The sheet is read alone: the sign-in card under it leaves the tree.
    void resetSheetIsADialogNamedByItsTitle()
    {
        showLogin();
        window->findChild<LoginModel *>()->setProperty("showReset", true);
        QTRY_VERIFY(input("resetUsernameField"));
        QAccessibleInterface *dialog = accessible(input("resetUsernameField"));
        while (dialog && dialog->role() != QAccessible::Dialog)
            dialog = dialog->parent();
        QVERIFY(dialog);
        QCOMPARE(dialog->text(QAccessible::Name), u"Reset Password"_qs);
        const QStringList inDialog = spoken(dialog);
        QVERIFY2(readsInOrder(inDialog, {u"field: Username"_qs, u"field: Reset Secret"_qs,
                                         u"field: New Password"_qs, u"field: Confirm Password"_qs,
                                         u"button: Reset Password"_qs, u"button: Cancel"_qs}),
                 qPrintable(inDialog.join(u'\n')));
        const QStringList tree = spoken(accessible(window));
        QVERIFY2(!tree.contains(u"button: Forgot Password?"_qs), qPrintable(tree.join(u'\n')));
        // Cancel, pressed through its press action, closes it.
        accessible(item("cancelButton"))
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!input("resetUsernameField"));
    }

    void maskedFieldNeverExposesItsText()
    {
        showLogin();
        auto *model = window->findChild<LoginModel *>();
        QQuickItem *password = input("passwordField");
        QVERIFY(password);
        password->forceActiveFocus();
        for (char c : QByteArrayLiteral("hunter22"))
            QTest::keyClick(window, c);
        QCOMPARE(model->property("password").toString(), QStringLiteral("hunter22"));
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
    }

    void dashboardReadsBalanceHeadingsAndEachTransferAsASentence()
    {
        DashboardFixture f;
        QVERIFY(f.signIn(
            u"alice"_qs, 1234.5,
            {{"alice", "bob", 5, ""}, {"bob", "alice", 1200, "Rent for March", "2025-03-01T09:30:00.000Z"}}));
        QQuickItem *view = f.openDashboard();
        QVERIFY(view);
        QTRY_COMPARE(view->findChild<QQuickItem *>("transfers")->property("count").toInt(), 2);
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));

        const QStringList tree = spoken(accessible(f.window.get()));
        const QStringList rows{
            u"list item: alice to bob, 5 ◆, Mar 1, 2025, 3:05\u202FPM"_qs,
            u"list item: bob to alice, 1,200 ◆, Rent for March, Mar 1, 2025, 9:30\u202FAM"_qs};
        QVERIFY2(
            readsInOrder(tree, {u"heading: Total Balance"_qs, u"text: 1,234 ◆"_qs,
                                u"heading: Recent Transactions"_qs, u"button: Refresh"_qs, rows[0], rows[1]}),
            qPrintable(tree.join(u'\n')));
        // Each row is one item: its texts are not read a second time on their own.
        QVERIFY(!tree.contains(u"text: Rent for March"_qs));
        // The rows, and only they, make up a list.
        QAccessibleInterface *list = accessible(view->findChild<QQuickItem *>("transfers"));
        QVERIFY(list);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), u"Recent Transactions"_qs);
        QCOMPARE(list->childCount(), 2);
        for (int i = 0; i < list->childCount(); ++i) {
            QCOMPARE(list->child(i)->role(), QAccessible::ListItem);
            QCOMPARE(list->child(i)->parent()->object(), list->object());
        }
    }

    // The send form in a window too short for it: its heading, what its progress bars wait for,
    // and whether "Send" can be pressed. For the keyboard: the controls below the window's edge
    // come into view as Tab reaches them, and the focus of a pressed "Send" stays on something
    // visible, the progress bar, until the transfer ends.
    void sendFormForScreenReadersAndTheKeyboard()
    {
        DashboardFixture f;
        QVERIFY(f.signIn(u"alice"_qs, 100, {{"alice", "bob", 5, ""}}));
        QQuickItem *view = f.openDashboard(QSize(800, 560));
        QVERIFY(view);
        view->findChild<DashboardModel *>()->toggleSend();
        QTRY_VERIFY(view->findChild<SendModel *>());
        SendModel *form = view->findChild<SendModel *>();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QStringList tree = spoken(accessible(f.window.get()));
        QVERIFY2(readsInOrder(tree, {u"heading: Total Balance"_qs, u"heading: Send Quorls"_qs,
                                     u"field: Search username…"_qs, u"button: Send"_qs, u"button: Cancel"_qs,
                                     u"heading: Recent Transactions"_qs}),
                 qPrintable(tree.join(u'\n')));
        QVERIFY(tree.filter(u"progress bar"_qs).isEmpty());
        QAccessibleInterface *send = accessible(view->findChild<QQuickItem *>("sendButton"));
        QVERIFY(send->state().disabled);

        f.fake->setFallback("GET", u"/api/users/search"_qs,
                            SessionFixtures::usersReply({u"bob"_qs, u"bobby"_qs, u"bo"_qs})
                                .after(std::chrono::milliseconds(800)));
        form->search()->setRecipientQuery(u"bo"_qs);
        QTRY_VERIFY(form->search()->isSearching());
        tree = spoken(accessible(f.window.get()));
        QVERIFY2(tree.filter(u"progress bar"_qs) == QStringList{u"progress bar: Searching"_qs},
                 qPrintable(tree.join(u'\n')));
        QTRY_COMPARE(form->search()->searchResults().size(), 3);

        // With the hits listed, refresh is below the edge until Tab reaches it.
        view->findChild<QQuickItem *>("cancelButton")->forceActiveFocus();
        QTest::keyClick(f.window.get(), Qt::Key_Tab);
        QQuickItem *refresh = view->findChild<QQuickItem *>("refreshButton");
        QCOMPARE(f.window->activeFocusItem(), refresh);
        const QRectF shown = refresh->mapRectToScene(QRectF(0, 0, refresh->width(), refresh->height()));
        QVERIFY2(shown.top() >= 0 && shown.bottom() <= f.window->height(),
                 qPrintable(QStringLiteral("refresh at y %1 to %2").arg(shown.top()).arg(shown.bottom())));
        // And back up: the search field, at the top of the form, comes into view again.
        QQuickItem *search = view->findChild<QQuickItem *>("searchField");
        search->findChild<QQuickItem *>("input")->forceActiveFocus();
        QTRY_VERIFY(search->mapRectToScene(QRectF(0, 0, search->width(), search->height())).top() >= 0);

        form->search()->pickHit(0);
        form->setAmountText(u"5"_qs);
        QVERIFY(!send->state().disabled);
        f.fake->enqueue(
            "POST", u"/api/send"_qs,
            FakeReply::json(400, R"({"error":"Insufficient funds."})").after(std::chrono::milliseconds(800)));
        view->findChild<QQuickItem *>("sendButton")->forceActiveFocus();
        QTest::keyClick(f.window.get(), Qt::Key_Space);
        tree = spoken(accessible(f.window.get()));
        QVERIFY2(tree.filter(u"progress bar"_qs) == QStringList{u"progress bar: Sending"_qs},
                 qPrintable(tree.join(u'\n')));
        QVERIFY(!tree.contains(u"button: Send"_qs));
        QCOMPARE(f.window->activeFocusItem(), view->findChild<QQuickItem *>("sendIndicator"));
        QTRY_VERIFY(!form->isSending());
        QCOMPARE(f.window->activeFocusItem(), view->findChild<QQuickItem *>("sendButton"));
    }
};

QUORL_TEST_MAIN_ISOLATED(QGuiApplication, TestAccessibility)
#include "tst_accessibility.moc"
