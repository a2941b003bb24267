pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QuorlBank

// The send form inside the dashboard: recipient search, the picked recipient, amount and note,
// "Send" and "Cancel", and one message line. Its state lives in SendModel and goes with the form.
Rectangle {
    id: root

    property AuthService auth: AuthService
    readonly property SendModel sendModel: form
    signal cancelRequested

    readonly property color fieldGrey: Qt.rgba(0.96, 0.96, 0.96, 1)
    readonly property color green: "#34c759"
    readonly property color standardGrey: "#8e8e93"

    implicitWidth: 480
    implicitHeight: column.implicitHeight + 48
    radius: 14
    color: "white"

    SendModel {
        id: form
        auth: root.auth
    }

    component Glyph: Text {
        font.family: "Material Icons"
        font.pixelSize: 18
    }

    component PlainField: TextField {
        Layout.fillWidth: true
        padding: 10
        font.pixelSize: 13
        color: "black"
        placeholderTextColor: Qt.rgba(0.6, 0.6, 0.6, 1)
        background: Rectangle {
            radius: 8
            color: root.fieldGrey
        }
        Accessible.name: placeholderText
    }

    ColumnLayout {
        id: column
        x: 24
        y: 24
        width: root.width - 48
        spacing: 16

        Text {
            text: "Send Quorls"
            font.pixelSize: 18
            font.bold: true
            color: Theme.ink
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6

            Rectangle {
                Layout.fillWidth: true
                implicitHeight: searchRow.implicitHeight + 20
                radius: 8
                color: root.fieldGrey

                RowLayout {
                    id: searchRow
                    x: 10
                    y: 10
                    width: parent.width - 20
                    spacing: 8
                    Glyph {
                        text: "\uE8B6"
                        color: Theme.subtle
                    }
                    TextField {
                        id: search
                        objectName: "searchField"
                        Layout.fillWidth: true
                        padding: 0
                        background: null
                        font.pixelSize: 13
                        color: "black"
                        placeholderText: "Search username…"
                        placeholderTextColor: Qt.rgba(0.6, 0.6, 0.6, 1)
                        text: form.search.recipientQuery
                        onTextEdited: form.search.recipientQuery = text
                        Accessible.name: "Search username…"
                    }
                    // Scaled about its centre; it takes no more room than the clear button, so
                    // the row keeps its height while a search runs.
                    QLXBusyIndicator {
                        objectName: "searchIndicator"
                        visible: form.search.isSearching
                        label: "Searching"
                        Layout.preferredWidth: 20
                        Layout.preferredHeight: 20
                        scale: 0.75
                    }
                    Button {
                        objectName: "clearButton"
                        visible: !form.search.isSearching && form.search.recipientQuery.length > 0
                        padding: 0
                        background: null
                        contentItem: Glyph {
                            text: "\uE14C"
                            color: Theme.subtle
                        }
                        Accessible.name: "Clear search"
                        Accessible.onPressAction: if (enabled) clicked()
                        onClicked: form.search.clear()
                    }
                }
            }

            SelectedChip {
                Layout.fillWidth: true
                visible: form.search.selectedUser !== null && form.search.selectedUser !== undefined
                user: form.search.selectedUser
                onChangeRequested: form.search.clear()
            }

            HitList {
                objectName: "hitList"
                Layout.fillWidth: true
                visible: (form.search.selectedUser === null || form.search.selectedUser === undefined)
                         && form.search.searchResults.length > 0
                hits: form.search.searchResults
                onPicked: index => form.search.pickHit(index)
            }

            Label {
                objectName: "noUsers"
                visible: form.search.showNoUsers
                leftPadding: 4
                text: "No users found"
                font.pixelSize: 10
                color: Theme.subtle
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 12
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    text: "Amount (◆)"
                    font.pixelSize: 10
                    color: Theme.subtle
                }
                PlainField {
                    objectName: "amountField"
                    placeholderText: "0"
                    text: form.amountText
                    onTextEdited: form.amountText = text
                    Accessible.name: "Amount (◆)"
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    text: "Note"
                    font.pixelSize: 10
                    color: Theme.subtle
                }
                PlainField {
                    objectName: "noteField"
                    placeholderText: "Optional"
                    text: form.note
                    onTextEdited: form.note = text
                    Accessible.name: "Note"
                }
            }
        }

        RowLayout {
            spacing: 12
            QLXBusyIndicator {
                objectName: "sendIndicator"
                visible: form.isSending
                label: "Sending"
            }
            Button {
                objectName: "sendButton"
                visible: !form.isSending
                enabled: form.canSend
                leftPadding: 24
                rightPadding: 24
                topPadding: 10
                bottomPadding: 10
                text: "Send"
                font.pixelSize: 14
                font.weight: Font.DemiBold
                contentItem: Text {
                    text: "Send"
                    font: parent.font
                    color: "white"
                }
                background: Rectangle {
                    radius: 8
                    color: form.canSend ? Theme.darkRed : root.standardGrey
                }
                Accessible.name: text
                Accessible.onPressAction: if (enabled) clicked()
                onClicked: form.doSend()
            }
            Button {
                objectName: "cancelButton"
                visible: !form.isSending
                leftPadding: 20
                rightPadding: 20
                topPadding: 10
                bottomPadding: 10
                text: "Cancel"
                font.pixelSize: 14
                contentItem: Text {
                    text: "Cancel"
                    font: parent.font
                    color: root.standardGrey
                }
                background: Rectangle {
                    radius: 8
                    color: Qt.rgba(0.93, 0.93, 0.93, 1)
                }
                Accessible.name: text
                Accessible.onPressAction: if (enabled) clicked()
                onClicked: root.cancelRequested()
            }
        }

        Label {
            objectName: "sendStatus"
            visible: form.sendStatus.length > 0
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: form.sendStatus
            font.pixelSize: 13
            color: form.isSendError ? Theme.brightRed : Theme.darkRed
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
