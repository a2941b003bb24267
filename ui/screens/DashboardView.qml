import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QuorlBank

// The dashboard of a signed-in, verified user: the sidebar, and a scrolling column with the
// balance, the send form when open, and the transfers. The transfer list is a ListView over the
// session's model, so only the rows on screen exist; the balance card, the form and the card's
// heading scroll with it as the list's header.
// (No "ComponentBehavior: Bound" here: in Qt 6.4 a ListView cannot create a bound header or footer.)
Item {
    id: root

    // The session; tests put their own in place of the app's.
    property AuthService auth: AuthService
    // The smallest size the window may take while the dashboard shows.
    implicitWidth: 800
    implicitHeight: 560

    DashboardModel {
        id: mainModel
        auth: root.auth
    }

    component SidebarButton: Button {
        id: sidebarButton
        property string glyph
        property color tint
        property int size

        Layout.fillWidth: true
        Layout.leftMargin: 12
        Layout.rightMargin: 12
        leftPadding: 14
        rightPadding: 14
        topPadding: 10
        bottomPadding: 10
        background: Rectangle {
            radius: 8
            color: sidebarButton.down ? Qt.rgba(1, 1, 1, 0.12) : "transparent"
        }
        contentItem: Row {
            spacing: 8
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: sidebarButton.glyph
                font.family: "Material Icons"
                font.pixelSize: sidebarButton.size + 4
                color: sidebarButton.tint
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: sidebarButton.text
                font.pixelSize: sidebarButton.size
                color: sidebarButton.tint
            }
        }
        Accessible.name: text
        Accessible.onPressAction: if (enabled) clicked()
    }

    Rectangle {
        id: sidebar
        width: 220
        height: parent.height
        color: Theme.darkRed

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            Column {
                Layout.fillWidth: true
                Layout.topMargin: 32
                Layout.bottomMargin: 32
                spacing: 6
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "◆"
                    font.pixelSize: 36
                    color: "white"
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Quorl"
                    font.pixelSize: 16
                    font.bold: true
                    color: "white"
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Bank"
                    font.pixelSize: 16
                    font.bold: true
                    color: Qt.rgba(1, 0.8, 0.8, 1)
                }
            }

            Rectangle {
                visible: mainModel.hasUser
                Layout.fillWidth: true
                Layout.leftMargin: 12
                Layout.rightMargin: 12
                Layout.bottomMargin: 24
                implicitHeight: welcome.implicitHeight + 28
                radius: 10
                color: Qt.rgba(0.478, 0, 0, 1)
                Column {
                    id: welcome
                    x: 14
                    y: 14
                    width: parent.width - 28
                    spacing: 4
                    Label {
                        width: parent.width
                        text: mainModel.welcomeText
                        wrapMode: Text.Wrap
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        color: "white"
                    }
                    Label {
                        width: parent.width
                        text: mainModel.accountText
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Qt.rgba(1, 0.667, 0.667, 1)
                    }
                }
            }

            SidebarButton {
                objectName: "sendToggle"
                text: "Send Quorls"
                glyph: "\uF182"
                size: 14
                tint: "white"
                onClicked: mainModel.toggleSend()
            }

            Item {
                Layout.fillHeight: true
            }

            SidebarButton {
                objectName: "logoutButton"
                Layout.bottomMargin: 20
                text: "Log Out"
                glyph: "\uE9BA"
                size: 13
                tint: Qt.rgba(1, 0.667, 0.667, 1)
                onClicked: mainModel.logout()
            }
        }
    }

    Rectangle {
        anchors.left: sidebar.right
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        color: Qt.rgba(0.96, 0.96, 0.96, 1)

        ListView {
            id: transfers
            objectName: "transfers"
            anchors.fill: parent
            model: root.auth ? root.auth.transactionModel : null
            reuseItems: true
            boundsBehavior: Flickable.StopAtBounds
            // Whether the user left the view at its top; see the header's onHeightChanged.
            property bool pinnedTop: true
            onMovementEnded: pinnedTop = atYBeginning
            ScrollBar.vertical: ScrollBar {
                policy: ScrollBar.AlwaysOn
                onPressedChanged: if (!pressed) transfers.pinnedTop = transfers.atYBeginning
            }

            header: DashboardHeader {
                width: transfers.width
                auth: root.auth
                dashboard: mainModel

                // ListView keeps the first row in place when the header grows or shrinks (the
                // form opening, its hits or message appearing), which would scroll the top of the
                // header out of sight. While the view is at its top, keep it there.
                onHeightChanged: if (transfers.pinnedTop) Qt.callLater(transfers.positionViewAtBeginning)
            }

            delegate: Item {
                id: rowSlot
                required property string fromUser
                required property string toUser
                required property string note
                required property double amount
                required property var createdAt

                width: transfers.width
                height: transferRow.height + 16

                Rectangle {
                    x: 28
                    width: parent.width - 56
                    height: parent.height
                    color: "white"
                    TransferRow {
                        id: transferRow
                        objectName: "transferRow"
                        x: 24
                        y: 16
                        width: parent.width - 48
                        height: implicitHeight
                        fromUser: rowSlot.fromUser
                        toUser: rowSlot.toUser
                        note: rowSlot.note
                        dateLine: mainModel.dateText(rowSlot.createdAt)
                        amountLine: mainModel.amountText(rowSlot.amount)
                        sentence: mainModel.transferSentence(rowSlot.fromUser, rowSlot.toUser, rowSlot.amount,
                                                             rowSlot.note, rowSlot.createdAt)
                    }
                }
            }

            // The card's rounded bottom edge, below the last row.
            footer: Item {
                width: transfers.width
                height: 24 + 28
                Item {
                    x: 28
                    width: parent.width - 56
                    height: 24
                    clip: true
                    Rectangle {
                        y: -14
                        width: parent.width
                        height: parent.height + 14
                        radius: 14
                        color: "white"
                    }
                }
            }
        }
    }
}
