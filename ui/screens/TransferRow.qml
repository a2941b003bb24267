import QtQuick
import QuorlBank

// One transfer: sender → recipient, the note when there is one, the date line, and the amount.
// Drawn the same whatever the direction of the transfer. Assistive tools read it as one item,
// named by `sentence`.
Rectangle {
    id: row

    property string fromUser
    property string toUser
    property string note
    property string dateLine
    property string amountLine
    property string sentence

    Accessible.role: Accessible.ListItem
    Accessible.name: sentence

    implicitHeight: lines.implicitHeight + 24
    color: Theme.cardTint
    radius: Theme.rowRadius

    Column {
        id: lines
        x: 16
        y: 12
        width: row.width - 32 - amount.implicitWidth - 12
        spacing: 3

        Row {
            width: parent.width
            spacing: 6

            Text {
                text: row.fromUser
                font.pixelSize: Theme.calloutSize
                font.bold: true
                color: Theme.ink
            }
            Text {
                text: "→"
                color: Theme.subtle
            }
            Text {
                text: row.toUser
                font.pixelSize: Theme.calloutSize
                font.bold: true
                color: Theme.ink
            }
        }
        Text {
            objectName: "noteLine"
            visible: row.note.length > 0
            width: parent.width
            text: row.note
            elide: Text.ElideRight
            font.pixelSize: Theme.detailSize
            color: Theme.subtle
        }
        Text {
            objectName: "dateLine"
            text: row.dateLine
            font.pixelSize: Theme.footnoteSize
            color: Theme.faint
        }
    }

    Text {
        id: amount
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        text: row.amountLine
        font.pixelSize: Theme.headlineSize
        font.bold: true
        color: Theme.darkRed
    }
}
