import QtQuick
import QtQuick.Controls.Basic

// A button that draws itself: its label on an optional rounded fill, dimmed while pressed, with a
// thin ring while it has keyboard focus. Assistive tools can press it.
Button {
    id: control

    property color fill: "transparent"
    property color textColor: "white"
    property real radius: 8

    padding: 0
    focusPolicy: Qt.StrongFocus
    font.pixelSize: 13

    contentItem: Text {
        text: control.text
        textFormat: Text.PlainText
        font: control.font
        color: control.textColor
        opacity: control.down ? 0.6 : 1
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        radius: control.radius
        color: control.fill
        antialiasing: true
        opacity: control.down ? 0.8 : 1
        border.width: control.visualFocus ? 2 : 0
        border.color: Qt.rgba(0.2, 0.45, 0.9, 1)
    }

    Accessible.name: text
    Accessible.onPressAction: if (enabled) clicked()
}
