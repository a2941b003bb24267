import QtQuick
import QtTest
import QuorlBank

// The objects under test go into this visible item (a TestCase itself is not drawn).
Item {
    id: scene

    width: 400
    height: 200

    TestCase {
        id: testCase

        name: "QLXTextField"
        when: windowShown

        Component {
            id: fieldComponent
            QLXTextField {
                width: 300
                placeholder: "Username"
            }
        }

        function test_placeholder_shows_only_while_empty() {
            const field = createTemporaryObject(fieldComponent, scene)
            const hint = findChild(field, "placeholder")
            const input = findChild(field, "input")
            verify(hint.visible)
            compare(hint.text, "Username")

            mouseClick(input)
            verify(input.activeFocus)
            keyClick(Qt.Key_A)
            compare(field.entered(), "a")
            verify(!hint.visible)
            keyClick(Qt.Key_Backspace)
            compare(field.entered(), "")
            verify(hint.visible)

            // A text of spaces is not empty.
            keyClick(Qt.Key_Space)
            keyClick(Qt.Key_Space)
            keyClick(Qt.Key_Space)
            compare(field.entered(), "   ")
            verify(!hint.visible)
            // Nor is one set by the screen.
            field.text = "   "
            field.text = ""
            verify(hint.visible)
            field.text = " "
            verify(!hint.visible)
        }

        function test_typing_reports_edits() {
            const field = createTemporaryObject(fieldComponent, scene)
            const spy = createTemporaryObject(signalSpyComponent, scene, { target: field, signalName: "textEdited" })
            mouseClick(findChild(field, "input"))
            keyClick(Qt.Key_B)
            compare(spy.count, 1)
            compare(spy.signalArguments[0][0], "b")
            // The field does not change its own text: the screen's binding does.
            compare(field.text, "")
            field.text = "set"
            compare(field.entered(), "set")
            keyClick(Qt.Key_C)
            compare(spy.signalArguments[spy.count - 1][0], "setc")
        }

        function test_masked_field_keeps_text_leading_and_hidden() {
            const field = createTemporaryObject(fieldComponent, scene,
                                                { isSecure: true, multilineTextAlignment: Text.AlignHCenter })
            const input = findChild(field, "input")
            compare(findChild(field, "placeholder").horizontalAlignment, Text.AlignHCenter)
            compare(input.horizontalAlignment, TextInput.AlignLeft)
            compare(input.echoMode, TextInput.Password)
        }

        Component {
            id: signalSpyComponent
            SignalSpy {}
        }
    }
}
