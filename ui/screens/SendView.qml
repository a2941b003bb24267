pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QuorlBank

// The send form inside the dashboard: recipient search, the picked recipient, amount and note,
// "Send" and "Cancel", and one message line. Its state lives in SendModel and goes with the form.
Rectangle {
    id: root

    property AuthService auth: AuthService
    signal cancelRequested

    implicitWidth: 480
    implicitHeight: column.implicitHeight + 48
    radius: Theme.cardRadius
    color: Theme.surface

    SendModel {
        id: form
        auth: root.auth
    }

    component PlainField: QLXTextField {
        Layout.fillWidth: true
        padding: 10
        leftPadding: 14
        font: Qt.font({ pixelSize: Theme.bodySize })
    }

    ColumnLayout {
        id: column
        x: 24
        y: 24
        width: root.width - 48
        spacing: 16

        Text {
            text: "Send Quorls"
            font.pixelSize: Theme.title3Size
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
                radius: Theme.controlRadius
                color: Theme.fieldFill

                RowLayout {
                    id: searchRow
                    x: 10
                    y: 10
                    width: parent.width - 20
                    spacing: 8
                    Text {
                        text: "\uE8B6"
                        font.family: Theme.iconFont
                        font.pixelSize: Theme.title3Size
                        color: Theme.subtle
                    }
                    QLXTextField {
                        id: search
                        objectName: "searchField"
                        Layout.fillWidth: true
                        padding: 0
                        leftPadding: 4
                        color: "transparent"
                        font: Qt.font({ pixelSize: Theme.bodySize })
                        placeholder: "Search username…"
                        text: form.search.recipientQuery
                        onTextEdited: newText => form.search.recipientQuery = newText
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
                    QLXButton {
                        objectName: "clearButton"
                        visible: !form.search.isSearching && form.search.recipientQuery.length > 0
                        focusHeir: search
                        variant: QLXButton.Icon
                        glyph: "\uE14C"
                        glyphSize: 18
                        Accessible.name: "Clear search"
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

            Text {
                objectName: "noUsers"
                visible: form.search.showNoUsers
                leftPadding: 4
                text: "No users found"
                font.pixelSize: Theme.captionSize
                color: Theme.subtle
                Accessible.role: Accessible.StaticText
                Accessible.name: text
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
                    font.pixelSize: Theme.captionSize
                    color: Theme.subtle
                }
                PlainField {
                    id: amountField

                    objectName: "amountField"
                    placeholder: "0"
                    accessibleName: "Amount (◆)"
                    text: form.amountText
                    onTextEdited: newText => form.amountText = newText
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    text: "Note"
                    font.pixelSize: Theme.captionSize
                    color: Theme.subtle
                }
                PlainField {
                    objectName: "noteField"
                    placeholder: "Optional"
                    accessibleName: "Note"
                    text: form.note
                    onTextEdited: newText => form.note = newText
                }
            }
        }

        RowLayout {
            spacing: 12
            QLXBusyIndicator {
                id: sending
                objectName: "sendIndicator"
                visible: form.isSending
                label: "Sending"
                focusHeir: sendButton
            }
            QLXButton {
                id: sendButton

                objectName: "sendButton"
                variant: QLXButton.Primary
                focusHeir: sending
                visible: !form.isSending
                enabled: form.canSend
                leftPadding: 24
                rightPadding: 24
                topPadding: 10
                bottomPadding: 10
                text: "Send"
                font.pixelSize: Theme.calloutSize
                onClicked: form.doSend()
            }
            QLXButton {
                objectName: "cancelButton"
                variant: QLXButton.Quiet
                visible: !form.isSending
                focusHeir: sending
                leftPadding: 20
                rightPadding: 20
                topPadding: 10
                bottomPadding: 10
                text: "Cancel"
                font.pixelSize: Theme.calloutSize
                onClicked: root.cancelRequested()
            }
        }

        MessageLine {
            objectName: "sendStatus"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            text: form.sendStatus
            color: form.isSendError ? Theme.brightRed : Theme.darkRed
        }
    }

    // Opened to send, the keyboard goes to the recipient search; with a recipient picked, on to
    // the amount; with the recipient changed or cleared, back to the search.
    Component.onCompleted: search.takeFocus()
    Connections {
        target: form.search
        function onSelectedUserChanged() {
            if (form.search.selectedUser !== null && form.search.selectedUser !== undefined)
                amountField.takeFocus()
            else
                search.takeFocus()
        }
    }
}
