import QtQuick
import QuorlBank

// The sign-in and registration screen. State and actions: LoginModel. The reset sheet opens over
// it while the model's showReset is true.
Item {
    id: root

    // The screen's minimum size: the fixed minimum, or more when the card needs it.
    implicitWidth: Math.max(440, card.width + 48)
    implicitHeight: Math.max(520, card.height + 48)

    LoginModel {
        id: model
        objectName: "loginModel"
        auth: AuthService
    }

    ThemeGradient {
        anchors.fill: parent
    }

    component ModeTab: QLXButton {
        required property int tab
        readonly property bool selected: model.mode === tab

        width: (tabBar.width - 8) / 2
        topPadding: 8
        bottomPadding: 8
        radius: 7
        font.weight: selected ? Font.DemiBold : Font.Normal
        textColor: selected ? "white" : Theme.subtle
        fill: selected ? Theme.darkRed : "transparent"
        onClicked: model.selectMode(tab)

        Behavior on fill {
            ColorAnimation { duration: 200 }
        }
    }

    Rectangle {
        id: card

        objectName: "signInCard"
        anchors.centerIn: parent
        // Under the reset sheet, whose frame is narrower than the card, the card's dimmed edges
        // would read as a second frame around the sheet; the sheet stands alone instead, and its
        // controls leave the accessibility tree meanwhile.
        visible: !model.showReset
        width: 380
        height: content.implicitHeight + 72
        radius: 16
        color: "white"
        antialiasing: true

        Column {
            id: content

            x: 36
            y: 36
            width: card.width - 72
            spacing: 22

            Column {
                width: parent.width
                spacing: 6

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "\u25C6"
                    font.pixelSize: 52
                    color: Theme.darkRed
                    Accessible.ignored: true
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Quorl Bank"
                    font.pixelSize: 22
                    font.bold: true
                    color: Theme.ink
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Your premium digital currency"
                    font.pixelSize: 13
                    color: Theme.subtle
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            Rectangle {
                id: tabBar

                width: parent.width
                height: tabRow.implicitHeight + 4
                radius: 8
                color: Qt.rgba(0.93, 0.93, 0.93, 1)
                antialiasing: true

                Row {
                    id: tabRow

                    x: 2
                    y: 2
                    spacing: 4

                    ModeTab {
                        objectName: "loginTab"
                        text: "Login"
                        tab: LoginModel.Login
                    }
                    ModeTab {
                        objectName: "registerTab"
                        text: "Create Account"
                        tab: LoginModel.Register
                    }
                }
            }

            Column {
                width: parent.width
                spacing: 10

                QLXTextField {
                    objectName: "usernameField"
                    width: parent.width
                    placeholder: "Username"
                    text: model.username
                    onTextEdited: newText => model.username = newText
                }
                QLXTextField {
                    objectName: "emailField"
                    width: parent.width
                    visible: model.mode === LoginModel.Register
                    opacity: visible ? 1 : 0
                    placeholder: "Email"
                    text: model.email
                    onTextEdited: newText => model.email = newText

                    Behavior on opacity {
                        NumberAnimation { duration: 200 }
                    }
                }
                QLXTextField {
                    objectName: "passwordField"
                    width: parent.width
                    placeholder: "Password"
                    isSecure: true
                    text: model.password
                    onTextEdited: newText => model.password = newText
                }
            }

            MessageLine {
                objectName: "statusLine"
                text: model.status
                color: Theme.brightRed
            }

            Item {
                width: parent.width
                height: 40
                visible: model.isLoading

                QLXBusyIndicator {
                    anchors.centerIn: parent
                }
            }

            Column {
                width: parent.width
                spacing: 10
                visible: !model.isLoading

                QLXButton {
                    objectName: "primaryButton"
                    width: parent.width
                    topPadding: 13
                    bottomPadding: 13
                    text: model.mode === LoginModel.Register ? "Create Account" : "Login"
                    font.pixelSize: 15
                    font.weight: Font.DemiBold
                    fill: Theme.darkRed
                    textColor: "white"
                    onClicked: model.doAction()
                }
                QLXButton {
                    objectName: "forgotButton"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: model.mode === LoginModel.Login
                    text: "Forgot Password?"
                    textColor: Theme.subtle
                    onClicked: model.showReset = true
                }
            }
        }
    }

    // The reset sheet, made fresh at each opening with the Username field's text of that moment.
    // Loaded by its URL so that the control style it uses is read only when it is first needed.
    Loader {
        id: sheetLoader

        anchors.fill: parent
    }

    Connections {
        target: sheetLoader.item
        ignoreUnknownSignals: true
        function onClosed() { model.showReset = false }
    }

    Connections {
        target: model
        function onShowResetChanged() {
            if (model.showReset)
                sheetLoader.setSource("ResetSheet.qml", { prefillUsername: model.username })
            else
                sheetLoader.source = ""
        }
    }
}
