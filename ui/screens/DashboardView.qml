import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QuorlBank

// The dashboard of a signed-in, verified user: the sidebar, and a scrolling column with the
// balance, the send form when open, and the transfers. The transfer list is a ListView over the
// session's model, so only the rows on screen exist; the balance card, the form and the card's
// heading scroll with it above the rows. A control reached by the keyboard is scrolled into view.
// (No "ComponentBehavior: Bound" here: in Qt 6.4 a ListView cannot create a bound header or footer.)
Item {
    id: root

    // The session; tests put their own in place of the app's.
    property AuthService auth: AuthService
    // The smallest size the window may take while the dashboard shows.
    implicitWidth: Theme.dashboardMinimum.width
    implicitHeight: Theme.dashboardMinimum.height

    DashboardModel {
        id: dashboardModel
        auth: root.auth
    }

    component SidebarButton: QLXButton {
        Layout.fillWidth: true
        Layout.leftMargin: 12
        Layout.rightMargin: 12
        leftPadding: 14
        rightPadding: 14
        topPadding: 10
        bottomPadding: 10
        downTint: Theme.onAccentPressed
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
                    font.pixelSize: Theme.brandMarkSize
                    color: Theme.onAccent
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Quorl"
                    font.pixelSize: Theme.headlineSize
                    font.bold: true
                    color: Theme.onAccent
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Bank"
                    font.pixelSize: Theme.headlineSize
                    font.bold: true
                    color: Theme.onAccentSoft
                }
            }

            Rectangle {
                visible: dashboardModel.hasUser
                Layout.fillWidth: true
                Layout.leftMargin: 12
                Layout.rightMargin: 12
                Layout.bottomMargin: 24
                implicitHeight: welcome.implicitHeight + 28
                radius: Theme.rowRadius
                color: Theme.deepRed
                Column {
                    id: welcome
                    x: 14
                    y: 14
                    width: parent.width - 28
                    spacing: 4
                    Text {
                        width: parent.width
                        text: dashboardModel.welcomeText
                        wrapMode: Text.Wrap
                        font.pixelSize: Theme.bodySize
                        font.weight: Font.DemiBold
                        color: Theme.onAccent
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Text {
                        width: parent.width
                        text: dashboardModel.accountText
                        wrapMode: Text.Wrap
                        font.pixelSize: Theme.footnoteSize
                        color: Theme.onAccentMuted
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }

            SidebarButton {
                id: sendToggle

                objectName: "sendToggle"
                text: "Send Quorls"
                glyph: "\uF182"
                font.pixelSize: Theme.calloutSize
                onClicked: dashboardModel.toggleSend()
            }

            Item {
                Layout.fillHeight: true
            }

            SidebarButton {
                objectName: "logoutButton"
                Layout.bottomMargin: 20
                text: "Log Out"
                glyph: "\uE9BA"
                font.pixelSize: Theme.bodySize
                textColor: Theme.onAccentMuted
                onClicked: dashboardModel.logout()
            }
        }
    }

    Rectangle {
        anchors.left: sidebar.right
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        color: Theme.page

        // What scrolls above the rows. It is not in the list, so that assistive tools read the rows
        // alone as the list; it is read before the list and drawn over the list's room for it.
        DashboardHeader {
            id: headerContent
            z: 1
            width: transfers.width
            y: transfers.headerItem ? transfers.headerItem.y - transfers.contentY : 0
            auth: root.auth
            dashboard: dashboardModel
        }

        ListView {
            id: transfers
            objectName: "transfers"
            anchors.fill: parent
            model: root.auth ? root.auth.transactionModel : null
            reuseItems: true
            Accessible.role: Accessible.List
            Accessible.name: "Recent Transactions"
            boundsBehavior: Flickable.StopAtBounds
            // Whether the user left the view at its top; see the header's onHeightChanged.
            property bool pinnedTop: true

            // Scrolls the view so that `item` (in the rows or the header) is shown whole, with a
            // margin for its focus ring.
            function reveal(item) {
                let inside = item
                while (inside && inside !== headerContent && inside !== contentItem)
                    inside = inside.parent
                if (!inside)
                    return
                const shown = item.mapToItem(transfers, 0, 0, item.width, item.height)
                const margin = 12
                let y = contentY
                if (shown.y < margin)
                    y += shown.y - margin
                else if (shown.y + shown.height > height - margin)
                    y += shown.y + shown.height - height + margin
                y = Math.max(originY, Math.min(y, originY + contentHeight - height))
                if (y !== contentY) {
                    contentY = y
                    pinnedTop = atYBeginning
                }
            }
            function keepTop() {
                positionViewAtBeginning()
                if (root.Window.activeFocusItem)
                    reveal(root.Window.activeFocusItem)
            }
            onMovementEnded: pinnedTop = atYBeginning
            ScrollBar.vertical: QLXScrollBar {
                onPressedChanged: if (!pressed) transfers.pinnedTop = transfers.atYBeginning
            }

            // Room for the header, which lies over it and moves with it.
            header: Item {
                width: transfers.width
                height: headerContent.height

                // ListView keeps the first row in place when the header grows or shrinks (the
                // form opening, its hits or message appearing), which would scroll the top of the
                // header out of sight. While the view is at its top, keep it there, unless the
                // keyboard focus is further down.
                onHeightChanged: if (transfers.pinnedTop) Qt.callLater(transfers.keepTop)
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
                    color: Theme.surface
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
                        dateLine: dashboardModel.dateText(rowSlot.createdAt)
                        amountLine: dashboardModel.amountText(rowSlot.amount)
                        sentence: dashboardModel.transferSentence(rowSlot.fromUser, rowSlot.toUser, rowSlot.amount,
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
                        radius: Theme.cardRadius
                        color: Theme.surface
                    }
                }
            }
        }
    }

    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() {
            if (root.Window.activeFocusItem)
                transfers.reveal(root.Window.activeFocusItem)
        }
    }

    // The form closed (Cancel, or the toggle again): the keyboard goes back to the toggle.
    Connections {
        target: dashboardModel
        function onShowSendChanged() {
            if (!dashboardModel.showSend)
                sendToggle.forceActiveFocus(Qt.OtherFocusReason)
        }
    }
}
