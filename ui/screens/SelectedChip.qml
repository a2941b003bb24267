import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QuorlBank

// The picked recipient of the send form, with "Change" to pick another.
Rectangle {
    id: chip

    // {username, accountNumber}, or null
    property var user
    signal changeRequested

    implicitHeight: chipRow.implicitHeight + 16
    radius: 8
    color: Qt.rgba(0.204, 0.78, 0.349, 0.08)

    RowLayout {
        id: chipRow
        x: 8
        y: 8
        width: parent.width - 16
        spacing: 8
        Text {
            text: "\uE86C"
            font.family: "Material Icons"
            font.pixelSize: 18
            color: "#34c759"
        }
        Label {
            objectName: "chipName"
            text: chip.user ? chip.user.username : ""
            font.pixelSize: 13
            font.bold: true
            color: Theme.ink
        }
        Label {
            text: chip.user ? chip.user.accountNumber : ""
            font.pixelSize: 10
            color: Theme.subtle
        }
        Item {
            Layout.fillWidth: true
        }
        Button {
            objectName: "changeButton"
            padding: 2
            background: null
            text: "Change"
            contentItem: Text {
                text: "Change"
                font.pixelSize: 10
                color: Theme.darkRed
            }
            Accessible.name: text
            Accessible.onPressAction: if (enabled) clicked()
            onClicked: chip.changeRequested()
        }
    }
}
