import QtQuick

// A button that draws itself: its label on an optional rounded fill, dimmed while pressed, with a
// thin ring while it has keyboard focus. Clicked by the mouse, by Space when focused, and by
// assistive tools' press action. Plain Qt Quick, so that the first screen loads no control style.
Item {
    id: control

    property string text
    property color fill: "transparent"
    property color textColor: "white"
    property real radius: 8
    property alias font: label.font
    property real topPadding: 0
    property real bottomPadding: 0
    property real leftPadding: 0
    property real rightPadding: 0
    readonly property bool down: mouse.pressed || keyDown
    property bool keyDown: false

    signal clicked()

    implicitWidth: label.implicitWidth + leftPadding + rightPadding
    implicitHeight: label.implicitHeight + topPadding + bottomPadding
    activeFocusOnTab: true

    Rectangle {
        anchors.fill: parent
        radius: control.radius
        color: control.fill
        antialiasing: true
        opacity: control.down ? 0.8 : 1
        border.width: control.activeFocus ? 2 : 0
        border.color: Qt.rgba(0.2, 0.45, 0.9, 1)
    }

    Text {
        id: label

        anchors.fill: parent
        anchors.topMargin: control.topPadding
        anchors.bottomMargin: control.bottomPadding
        anchors.leftMargin: control.leftPadding
        anchors.rightMargin: control.rightPadding
        text: control.text
        textFormat: Text.PlainText
        font.pixelSize: 13
        color: control.textColor
        opacity: control.down ? 0.6 : 1
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        Accessible.ignored: true
    }

    MouseArea {
        id: mouse

        anchors.fill: parent
        enabled: control.enabled
        onClicked: control.clicked()
    }

    Keys.onPressed: event => {
        if (event.key === Qt.Key_Space && !event.isAutoRepeat) {
            control.keyDown = true
            event.accepted = true
        }
    }
    Keys.onReleased: event => {
        if (event.key === Qt.Key_Space && !event.isAutoRepeat && control.keyDown) {
            control.keyDown = false
            event.accepted = true
            control.clicked()
        }
    }
    onActiveFocusChanged: if (!activeFocus) keyDown = false

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.focusable: true
    Accessible.onPressAction: if (enabled) clicked()
}
