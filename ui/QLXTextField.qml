import QtQuick

// The forms' text entry: a light grey field with rounded corners and its own grey placeholder,
// shown only while the text has no characters at all (a text of spaces hides it). Masked when
// isSecure. Return starts nothing. Plain Qt Quick, so that the first screen loads no control
// style. Bind it two-way as
//
//     QLXTextField { placeholder: "Username"; text: model.username; onTextEdited: model.username = text }
Rectangle {
    id: root

    required property string placeholder
    property alias text: input.text
    property bool isSecure: false
    property font font: Qt.font({ pixelSize: 14 })
    // Aligns the placeholder and a plain entry's text; a masked entry keeps its text leading.
    property int multilineTextAlignment: Text.AlignLeft

    signal textEdited()

    implicitWidth: 200
    implicitHeight: input.implicitHeight + 24
    radius: 8
    color: Qt.rgba(0.96, 0.96, 0.96, 1)
    antialiasing: true

    Text {
        objectName: "placeholder"
        anchors.fill: parent
        anchors.margins: 12
        visible: input.text.length === 0
        text: root.placeholder
        textFormat: Text.PlainText
        font: root.font
        color: Qt.rgba(0.6, 0.6, 0.6, 1)
        horizontalAlignment: root.multilineTextAlignment
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        Accessible.ignored: true
    }

    TextInput {
        id: input

        objectName: "input"
        anchors.fill: parent
        anchors.margins: 12
        clip: true
        activeFocusOnTab: true
        font: root.font
        color: "black"
        echoMode: root.isSecure ? TextInput.Password : TextInput.Normal
        horizontalAlignment: root.isSecure ? TextInput.AlignLeft : root.multilineTextAlignment
        verticalAlignment: TextInput.AlignVCenter
        selectByMouse: true
        onTextEdited: root.textEdited()

        Accessible.name: root.isSecure ? "" : root.placeholder
        Accessible.description: root.placeholder
        Accessible.passwordEdit: root.isSecure
    }
}
