import QtQuick
import QtQuick.Controls.Basic
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
        radius: 14
        color: Theme.darkRed

        Column {
            id: balanceLines
            x: 28
            y: 22
            spacing: 4
            Text {
                text: "Total Balance"
                font.pixelSize: 13
                color: Qt.rgba(1, 0.8, 0.8, 1)
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Label {
                objectName: "balance"
                text: header.dashboard.balanceText
                font.pixelSize: 40
                font.bold: true
                color: "white"
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                text: "Quorls"
                font.pixelSize: 13
                color: Qt.rgba(1, 0.667, 0.667, 1)
            }
        }
        Text {
            anchors.right: parent.right
            anchors.rightMargin: 28
            anchors.verticalCenter: parent.verticalCenter
            text: "◆"
            font.pixelSize: 64
            color: Qt.rgba(1, 1, 1, 0.15)
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
            radius: 14
            color: "white"
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
                    font.pixelSize: 18
                    font.bold: true
                    color: Theme.ink
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Item {
                    Layout.fillWidth: true
                }
                Button {
                    objectName: "refreshButton"
                    flat: true
                    padding: 2
                    background: null
                    contentItem: Text {
                        text: "\uE5D5"
                        font.family: "Material Icons"
                        font.pixelSize: 20
                        color: Theme.subtle
                    }
                    Accessible.name: "Refresh"
                    Accessible.onPressAction: if (enabled) clicked()
                    onClicked: header.dashboard.refresh()
                }
            }

            Label {
                objectName: "emptyNotice"
                visible: header.dashboard.isEmpty
                width: parent.width - 48
                horizontalAlignment: Text.AlignHCenter
                text: "No transactions yet."
                font.pixelSize: 13
                color: Qt.rgba(0.73, 0.73, 0.73, 1)
            }
        }
    }
}
