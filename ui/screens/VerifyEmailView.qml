import QtQuick
import QuorlBank

// The e-mail verification screen. State and actions: VerifyEmailModel.
Item {
    id: root

    // The screen's minimum size: the fixed minimum, or more when the card needs it.
    implicitWidth: Math.max(Theme.verifyMinimum.width, card.width + 48)
    implicitHeight: Math.max(Theme.verifyMinimum.height, card.height + 48)

    VerifyEmailModel {
        id: verifyModel
        objectName: "verifyEmailModel"
        auth: AuthService
    }

    ThemeGradient {
        anchors.fill: parent
    }

    Rectangle {
        id: card

        anchors.centerIn: parent
        width: 360
        height: content.implicitHeight + 72
        radius: Theme.panelRadius
        color: Theme.surface
        antialiasing: true

        Column {
            id: content

            x: 36
            y: 36
            width: card.width - 72
            spacing: 24

            Column {
                width: parent.width
                spacing: 6

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "\u2709\uFE0F"
                    // the one coloured glyph of the app
                    font.family: "Noto Color Emoji"
                    font.pixelSize: Theme.verifyMarkSize
                    Accessible.ignored: true
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Verify Your Email"
                    font.pixelSize: Theme.title1Size
                    font.bold: true
                    color: Theme.ink
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    objectName: "sentToText"
                    width: parent.width
                    text: verifyModel.sentToText
                    textFormat: Text.PlainText
                    font.pixelSize: Theme.bodySize
                    color: Theme.subtle
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.Wrap
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            QLXTextField {
                id: codeField

                objectName: "codeField"
                width: parent.width
                placeholder: "6-digit code"
                font: Qt.font({ family: "DejaVu Sans Mono", pixelSize: Theme.title1Size, bold: true })
                multilineTextAlignment: Text.AlignHCenter
                text: verifyModel.code
                onTextEdited: newText => verifyModel.code = newText
            }

            MessageLine {
                objectName: "verifyStatusLine"
                text: verifyModel.status
                color: verifyModel.isError ? Theme.brightRed : Theme.darkRed
            }

            QLXBusyIndicator {
                id: busy
                anchors.horizontalCenter: parent.horizontalCenter
                visible: verifyModel.isLoading
                focusHeir: verifyButton
            }

            Column {
                width: parent.width
                spacing: 10
                visible: !verifyModel.isLoading

                QLXButton {
                    id: verifyButton

                    objectName: "verifyButton"
                    variant: QLXButton.Primary
                    focusHeir: busy
                    width: parent.width
                    topPadding: 13
                    bottomPadding: 13
                    text: "Verify Email"
                    font.pixelSize: Theme.actionSize
                    onClicked: verifyModel.doVerify()
                }
                QLXButton {
                    objectName: "resendButton"
                    variant: QLXButton.Link
                    focusHeir: busy
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: verifyModel.resendLabel
                    onClicked: verifyModel.doResend()
                }
                QLXButton {
                    objectName: "logoutButton"
                    variant: QLXButton.Link
                    focusHeir: busy
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Log Out"
                    onClicked: verifyModel.logout()
                }
            }
        }
    }

    Component.onCompleted: codeField.takeFocus()
}
