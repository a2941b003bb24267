import QtQuick
import QuorlBank

// The forms' text entry: a light grey field with rounded corners and its own grey placeholder,
// shown only while the text has no characters at all (a text of spaces hides it). Masked when
// isSecure. Return starts nothing. Plain Qt Quick, so that the first screen loads no control
// style. Bind it as
//
//     QLXTextField { placeholder: "Username"; text: model.username; onTextEdited: newText => model.username = newText }
//
// The field never writes its own text: each keystroke reports the new text, and the binding
// brings it back.
Rectangle {
    id: root

    required property string placeholder
    property string text
    property bool isSecure: false
    property font font: Qt.font({ pixelSize: Theme.calloutSize })
    // Aligns the placeholder and a plain entry's text; a masked entry keeps its text leading.
    property int multilineTextAlignment: Text.AlignLeft
    // Room between the fill's edge and the text; a field drawn on a fill of its own has none.
    property real padding: 12
    property real leftPadding: padding
    // What assistive tools call the entry, masked or not; the placeholder by default.
    property string accessibleName: placeholder

    signal textEdited(string newText)

    function entered() {
        return input.getText(0, input.length)
    }
    // Puts the keyboard in the entry: a form's first field when its screen appears.
    function takeFocus() {
        input.forceActiveFocus()
    }
    function showText() {
        if (entered() !== root.text) {
            input.clear()
            input.insert(0, root.text)
        }
    }

    onTextChanged: showText()
    Component.onCompleted: showText()

    implicitWidth: Math.max(input.contentWidth, placeholderText.implicitWidth) + leftPadding + padding
    implicitHeight: input.implicitHeight + 2 * padding
    radius: Theme.controlRadius
    color: Theme.fieldFill
    antialiasing: true

    Text {
        id: placeholderText

        objectName: "placeholder"
        anchors.fill: parent
        anchors.margins: root.padding
        anchors.leftMargin: root.leftPadding
        visible: input.length === 0
        text: root.placeholder
        textFormat: Text.PlainText
        font: root.font
        color: Theme.placeholder
        horizontalAlignment: root.multilineTextAlignment
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        Accessible.ignored: true
    }

    TextInput {
        id: input

        // Assistive tools read an entry's text from its property "text"; this shadows
        // TextInput's own so that a masked entry's text is never exposed.
        property string text: root.isSecure ? "" : root.text

        objectName: "input"
        anchors.fill: parent
        anchors.margins: root.padding
        anchors.leftMargin: root.leftPadding
        clip: true
        activeFocusOnTab: true
        font: root.font
        color: Theme.fieldText
        echoMode: root.isSecure ? TextInput.Password : TextInput.Normal
        horizontalAlignment: root.isSecure ? TextInput.AlignLeft : root.multilineTextAlignment
        verticalAlignment: TextInput.AlignVCenter
        selectByMouse: true
        onTextEdited: root.textEdited(root.entered())

        // A masked entry is reported as a password field by its echo mode alone: Qt Quick 6.4
        // drops the name of an item whose Accessible.passwordEdit is set.
        Accessible.name: root.accessibleName
        Accessible.description: root.accessibleName === root.placeholder ? "" : root.placeholder
    }
}
