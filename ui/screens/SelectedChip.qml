import QtQuick
import QtQuick.Layouts
import QuorlBank

// The picked recipient of the send form, with "Change" to pick another.
Rectangle {
    id: chip

    // {username, accountNumber}, or null
    property var user
    signal changeRequested

    implicitHeight: chipRow.implicitHeight + 16
    radius: Theme.controlRadius
    color: Theme.confirmedTint

    RowLayout {
        id: chipRow
        x: 8
        y: 8
        width: parent.width - 16
        spacing: 8
        Text {
            text: "\uE86C"
            font.family: Theme.iconFont
            font.pixelSize: Theme.title3Size
            color: Theme.confirmed
        }
        Text {
            objectName: "chipName"
            text: chip.user ? chip.user.username : ""
            font.pixelSize: Theme.bodySize
            font.bold: true
            color: Theme.ink
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            text: chip.user ? chip.user.accountNumber : ""
            font.pixelSize: Theme.captionSize
            color: Theme.subtle
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item {
            Layout.fillWidth: true
        }
        QLXButton {
            objectName: "changeButton"
            variant: QLXButton.Link
            padding: 2
            text: "Change"
            font.pixelSize: Theme.captionSize
            textColor: Theme.darkRed
            onClicked: chip.changeRequested()
        }
    }
}
