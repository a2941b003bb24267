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

        // What takes the keyboard for a control: a text field's entry, or the control itself.
        function focusable(parent, name) {
            const control = findChild(parent, name)
            return name.endsWith("Field") ? findChild(control, "input") : control
        }

        function typeInto(view, fieldName, text) {
            mouseClick(focusable(view, fieldName))
            for (const ch of text)
                keyClick(ch)
        }

        function openSheet(view) {
            mouseClick(findChild(view, "forgotButton"))
            tryVerify(() => findChild(view, "resetSheet") !== null && findChild(view, "resetSheet").opened)
            return findChild(view, "resetSheet")
        }

        // What is typed reaches the model and what the model holds shows in the field, in the
        // registration tab (which adds the e-mail field).
        function test_fields_are_bound_to_the_model() {
            const view = createTemporaryObject(viewComponent, scene)
            const model = findChild(view, "loginModel")
            mouseClick(findChild(view, "registerTab"))
            waitForRendering(view) // the card takes its new height and place
            typeInto(view, "usernameField", "bob")
            typeInto(view, "emailField", "a@b")
            typeInto(view, "passwordField", "  ")
            compare([model.username, model.email, model.password], ["bob", "a@b", "  "])
            // A text of spaces is not empty: the placeholder goes, in a masked field too.
            const password = findChild(view, "passwordField")
            verify(!findChild(password, "placeholder").visible)
            model.password = ""
            compare(password.entered(), "")
            verify(findChild(password, "placeholder").visible)
        }

        // Tab goes round in reading order from the control that has the keyboard at the start;
        // the open sheet keeps the keyboard to itself.
        function test_tab_order_data() {
            return [{ tag: "sign-in", sheet: false, order: ["usernameField", "passwordField", "primaryButton",
                                                            "forgotButton", "loginTab", "registerTab", "usernameField"] },
                    { tag: "reset sheet", sheet: true, order: ["resetUsernameField", "resetSecretField", "newPasswordField",
                                                               "confirmField", "resetButton", "cancelButton",
                                                               "resetUsernameField"] }]
        }
        function test_tab_order(data) {
            const view = createTemporaryObject(viewComponent, scene)
            const parent = data.sheet ? openSheet(view).contentItem : view
            verify(focusable(parent, data.order[0]).activeFocus, "at the start: " + data.order[0])
            for (let i = 1; i < data.order.length; ++i) {
                keyClick(Qt.Key_Tab)
                verify(focusable(parent, data.order[i]).activeFocus, data.order[i])
            }
        }

        // The sheet starts with the Username field's text of its opening and gives the keyboard
        // back to its link when it closes. On success the reset button, gone, hands the keyboard
        // to Close; the next Tab goes to the sheet's first field, not to the sheet itself.
        function test_reset_sheet_prefill_and_focus() {
            const view = createTemporaryObject(viewComponent, scene)
            const model = findChild(view, "loginModel")
            typeInto(view, "usernameField", "bob")
            let content = openSheet(view).contentItem
            compare(findChild(content, "resetPasswordModel").username, "bob")
            keyClick(Qt.Key_Escape)
            tryVerify(() => !model.showReset)
            tryVerify(() => findChild(view, "resetSheet") === null)
            verify(findChild(view, "forgotButton").activeFocus)

            model.username = "carol"
            content = openSheet(view).contentItem
            const resetModel = findChild(content, "resetPasswordModel")
            compare(resetModel.username, "carol")
            findChild(content, "resetButton").forceActiveFocus()
            resetModel.isSuccess = true
            verify(findChild(content, "closeButton").activeFocus)
            keyClick(Qt.Key_Tab)
            verify(focusable(content, "resetUsernameField").activeFocus)
            mouseClick(findChild(content, "closeButton"))
            tryVerify(() => !model.showReset)
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
    }
}
