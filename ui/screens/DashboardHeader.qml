import QtQuick
import QtQuick.Layouts
import QuorlBank

// What scrolls above the transfer rows: the balance card, the send form while it is open, and the
// top of the transfers card (its heading with the refresh button, or "No transactions yet.").
Column {
    id: header

    required property AuthService auth
    required property DashboardModel dashboard

    topPadding: 28
    leftPadding: 28
    rightPadding: 28
    spacing: 20

    Rectangle {
        id: balanceCard
        width: header.width - 56
        implicitHeight: balanceLines.implicitHeight + 44
        radius: Theme.cardRadius
        color: Theme.darkRed

        Column {
            id: balanceLines
            x: 28
            y: 22
            spacing: 4
            Text {
                text: "Total Balance"
                font.pixelSize: Theme.bodySize
                color: Theme.onAccentSoft
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Text {
                objectName: "balance"
                text: header.dashboard.balanceText
                font.pixelSize: Theme.balanceSize
                font.bold: true
                color: Theme.onAccent
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                text: "Quorls"
                font.pixelSize: Theme.bodySize
                color: Theme.onAccentMuted
            }
        }
        Text {
            anchors.right: parent.right
            anchors.rightMargin: 28
            anchors.verticalCenter: parent.verticalCenter
            text: "◆"
            font.pixelSize: Theme.watermarkSize
            color: Theme.onAccentWatermark
        }
    }

    Loader {
        objectName: "sendFormLoader"
        width: header.width - 56
        active: header.dashboard.showSend
        visible: active
        sourceComponent: SendView {
            auth: header.auth
            onCancelRequested: header.dashboard.showSend = false
        }
    }

    // The transfers card down to its first row; the rows and the card's bottom edge follow in
    // the list.
    Item {
        width: header.width - 56
        height: cardTop.height
        clip: true

        Rectangle {
            width: parent.width
            height: parent.height + 14
            radius: Theme.cardRadius
            color: Theme.surface
        }

        Column {
            id: cardTop
            width: parent.width
            topPadding: 24
            leftPadding: 24
            rightPadding: 24
            spacing: 16

            RowLayout {
                width: parent.width - 48
                Text {
                    text: "Recent Transactions"
                    font.pixelSize: Theme.title3Size
                    font.bold: true
                    color: Theme.ink
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Item {
                    Layout.fillWidth: true
                }
                QLXButton {
                    objectName: "refreshButton"
                    variant: QLXButton.Icon
                    padding: 2
                    glyph: "\uE5D5"
                    glyphSize: 20
                    Accessible.name: "Refresh"
                    onClicked: header.dashboard.refresh()
                }
            }

            Text {
                objectName: "emptyNotice"
                visible: header.dashboard.isEmpty
                width: parent.width - 48
                horizontalAlignment: Text.AlignHCenter
                text: "No transactions yet."
                font.pixelSize: Theme.bodySize
                color: Theme.faint
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }
}
