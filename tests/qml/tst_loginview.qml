import QtQuick
import QtTest
import QuorlBank

// The objects under test go into this visible item (a TestCase itself is not drawn).
Item {
    id: scene

    width: 440
    height: 640

    TestCase {
        id: testCase

        name: "LoginView"
        when: windowShown

        Component {
            id: viewComponent
            LoginView {
                anchors.fill: parent
            }
        }

        function typeInto(view, fieldName, text) {
            const input = findChild(findChild(view, fieldName), "input")
            mouseClick(input)
            for (const ch of text)
                keyClick(ch)
        }

        function test_tab_switch() {
            const view = createTemporaryObject(viewComponent, scene)
            const model = findChild(view, "loginModel")
            const email = findChild(view, "emailField")
            const forgot = findChild(view, "forgotButton")
            const primary = findChild(view, "primaryButton")

            mouseClick(primary)
            compare(model.status, "Please enter username and password.")
            verify(findChild(view, "statusLine").visible)
            verify(!email.visible)
            verify(forgot.visible)
            compare(primary.text, "Login")

            mouseClick(findChild(view, "registerTab"))
            compare(model.mode, LoginModel.Register)
            verify(email.visible)
            verify(!forgot.visible)
            compare(primary.text, "Create Account")
            compare(model.status, "")
            verify(!findChild(view, "statusLine").visible)

            // The e-mail text survives while its field is hidden.
            typeInto(view, "emailField", "a@b")
            mouseClick(findChild(view, "loginTab"))
            verify(!email.visible)
            mouseClick(findChild(view, "registerTab"))
            compare(email.entered(), "a@b")
            compare(model.email, "a@b")
        }

        function test_return_submits_nothing() {
            const view = createTemporaryObject(viewComponent, scene)
            const model = findChild(view, "loginModel")
            // Empty fields: a submission would show a message.
            mouseClick(findChild(findChild(view, "usernameField"), "input"))
            keyClick(Qt.Key_Return)
            keyClick(Qt.Key_Enter)
            compare(model.status, "")

            // Filled fields: a submission would start signing in.
            typeInto(view, "usernameField", "bob")
            typeInto(view, "passwordField", "pw")
            compare(model.username, "bob")
            compare(model.password, "pw")
            keyClick(Qt.Key_Return)
            verify(!model.isLoading)
            compare(model.status, "")
        }

        function test_tab_moves_in_reading_order() {
            const view = createTemporaryObject(viewComponent, scene)
            const order = [["usernameField", "input"], ["passwordField", "input"], ["primaryButton"], ["forgotButton"]]
            const itemOf = path => path.length === 2 ? findChild(findChild(view, path[0]), path[1]) : findChild(view, path[0])
            verify(itemOf(order[0]).activeFocus, "the keyboard starts in the username field")
            for (let i = 1; i < order.length; ++i) {
                keyClick(Qt.Key_Tab)
                verify(itemOf(order[i]).activeFocus, order[i][0])
            }
            findChild(view, "registerTab").forceActiveFocus()
            keyClick(Qt.Key_Tab)
            verify(findChild(findChild(view, "usernameField"), "input").activeFocus)
        }

        function openSheet(view) {
            mouseClick(findChild(view, "forgotButton"))
            tryVerify(() => findChild(view, "resetSheet") !== null && findChild(view, "resetSheet").opened)
            return findChild(view, "resetSheet")
        }

        function test_reset_sheet_prefill_and_independence() {
            const view = createTemporaryObject(viewComponent, scene)
            const model = findChild(view, "loginModel")
            typeInto(view, "usernameField", "bob")
            let sheet = openSheet(view)
            verify(model.showReset)
            verify(findChild(findChild(sheet.contentItem, "resetUsernameField"), "input").activeFocus)
            const resetModel = findChild(sheet.contentItem, "resetPasswordModel")
            compare(resetModel.username, "bob")

            typeInto(sheet.contentItem, "resetUsernameField", "by")
            compare(resetModel.username, "bobby")
            compare(model.username, "bob")
            model.username = "carol"
            compare(resetModel.username, "bobby")

            keyClick(Qt.Key_Escape)
            tryVerify(() => !model.showReset)
            tryVerify(() => findChild(view, "resetSheet") === null)
            verify(findChild(view, "forgotButton").activeFocus)

            // Opened again: a fresh sheet with the field's current text.
            sheet = openSheet(view)
            compare(findChild(sheet.contentItem, "resetPasswordModel").username, "carol")
            mouseClick(findChild(sheet.contentItem, "cancelButton"))
            tryVerify(() => !model.showReset)
        }

        function test_reset_success_hands_focus_to_close() {
            const view = createTemporaryObject(viewComponent, scene)
            const sheet = openSheet(view)
            const content = sheet.contentItem
            const resetModel = findChild(content, "resetPasswordModel")
            findChild(content, "resetButton").forceActiveFocus()
            resetModel.status = "Password reset! You can now log in."
            resetModel.isSuccess = true
            verify(findChild(content, "closeButton").activeFocus)
            // The next Tab goes to the sheet's first field, not to the sheet itself.
            keyClick(Qt.Key_Tab)
            verify(findChild(findChild(content, "resetUsernameField"), "input").activeFocus)
        }

        function test_reset_sheet_keeps_the_keyboard() {
            const view = createTemporaryObject(viewComponent, scene)
            const content = openSheet(view).contentItem
            const order = ["resetUsernameField", "resetSecretField", "newPasswordField", "confirmField",
                           "resetButton", "cancelButton", "resetUsernameField"]
            const itemOf = name => name.endsWith("Field") ? findChild(findChild(content, name), "input")
                                                          : findChild(content, name)
            verify(itemOf(order[0]).activeFocus)
            for (let i = 1; i < order.length; ++i) {
                keyClick(Qt.Key_Tab)
                verify(itemOf(order[i]).activeFocus, order[i])
            }
            keyClick(Qt.Key_Tab, Qt.ShiftModifier)
            verify(itemOf("cancelButton").activeFocus, "Shift+Tab from the first field")
        }

        // WCAG contrast ratio of two colours read from the screen.
        function contrast(a, b) {
            const lin = c => c <= 0.04045 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4)
            const lum = c => 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b)
            const [hi, lo] = [lum(a), lum(b)].sort((x, y) => y - x)
            return (hi + 0.05) / (lo + 0.05)
        }

        // The ring around a focused control: its outer, dark band against what lies around the
        // control, and its inner, white band against the control's dark red fill.
        function test_focus_ring_stands_out_on_dark_red_data() {
            return [{ tag: "primary button", object: "primaryButton" }, { tag: "selected tab", object: "loginTab" }]
        }
        function test_focus_ring_stands_out_on_dark_red(data) {
            const view = createTemporaryObject(viewComponent, scene)
            const control = findChild(view, data.object)
            control.forceActiveFocus()
            waitForRendering(view)
            const image = grabImage(view)
            const left = control.mapToItem(view, 0, control.height / 2)
            const at = dx => image.pixel(Math.round(left.x) + dx, Math.round(left.y))
            const fill = at(3), halo = at(-1), ring = at(-3), around = at(-6)
            verify(contrast(fill, Theme.darkRed) < 1.05, "fill " + fill)
            verify(contrast(halo, fill) >= 3, "white band " + halo + " on " + fill + ": " + contrast(halo, fill))
            verify(contrast(ring, around) >= 3, "dark band " + ring + " on " + around + ": " + contrast(ring, around))
            verify(contrast(ring, halo) >= 9, "bands " + contrast(ring, halo))
        }

        function test_reset_sheet_frame_alone_and_follows_content() {
            const view = createTemporaryObject(viewComponent, scene)
            const card = findChild(view, "signInCard")
            const sheet = openSheet(view)
            verify(!card.visible)
            const frame = sheet.background
            const content = sheet.contentItem
            compare(frame.height, content.implicitHeight)
            const opened = frame.height

            const resetModel = findChild(content, "resetPasswordModel")
            resetModel.status = "Password reset! You can now log in."
            resetModel.isSuccess = true
            tryVerify(() => frame.height > opened)
            compare(frame.height, content.implicitHeight)
            compare(content.height, frame.height)

            mouseClick(findChild(content, "closeButton"))
            tryVerify(() => findChild(view, "resetSheet") === null)
            verify(card.visible)
        }
    }
}
