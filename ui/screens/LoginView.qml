import QtQuick
import QuorlBank

// The sign-in and registration screen. State and actions: LoginModel. The reset sheet opens over
// it while the model's showReset is true.
Item {
    id: root

    // The screen's minimum size: the fixed minimum, or more when the card needs it.
    implicitWidth: Math.max(Theme.loginMinimum.width, card.width + 48)
    implicitHeight: Math.max(Theme.loginMinimum.height, card.height + 48)

    LoginModel {
        id: loginModel
        objectName: "loginModel"
        auth: AuthService
    }

    ThemeGradient {
        anchors.fill: parent
    }

    component ModeTab: QLXButton {
        required property int tab
        readonly property bool selected: loginModel.mode === tab

        width: (tabBar.width - 8) / 2
        topPadding: 8
        bottomPadding: 8
        radius: Theme.tabRadius
        font.weight: selected ? Font.DemiBold : Font.Normal
        textColor: selected ? Theme.onAccent : Theme.subtle
        fill: selected ? Theme.darkRed : "transparent"
        onClicked: loginModel.selectMode(tab)

        Accessible.role: Accessible.PageTab
        Accessible.selectable: true
        Accessible.selected: selected

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
        visible: !loginModel.showReset
        width: 380
        height: content.implicitHeight + 72
        radius: Theme.panelRadius
        color: Theme.surface
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
                    font.pixelSize: Theme.logoSize
                    color: Theme.darkRed
                    Accessible.ignored: true
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Quorl Bank"
                    font.pixelSize: Theme.title1Size
                    font.bold: true
                    color: Theme.ink
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Your premium digital currency"
                    font.pixelSize: Theme.bodySize
                    color: Theme.subtle
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            Rectangle {
                id: tabBar

                width: parent.width
                height: tabRow.implicitHeight + 4
                radius: Theme.controlRadius
                color: Theme.quietFill
                antialiasing: true
                Accessible.role: Accessible.PageTabList

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
                    id: usernameField

                    objectName: "usernameField"
                    width: parent.width
                    placeholder: "Username"
                    text: loginModel.username
                    onTextEdited: newText => loginModel.username = newText
                }
                QLXTextField {
                    objectName: "emailField"
                    width: parent.width
                    visible: loginModel.mode === LoginModel.Register
                    opacity: visible ? 1 : 0
                    placeholder: "Email"
                    text: loginModel.email
                    onTextEdited: newText => loginModel.email = newText

                    Behavior on opacity {
                        NumberAnimation { duration: 200 }
                    }
                }
                QLXTextField {
                    objectName: "passwordField"
                    width: parent.width
                    placeholder: "Password"
                    isSecure: true
                    text: loginModel.password
                    onTextEdited: newText => loginModel.password = newText
                }
            }

            MessageLine {
                objectName: "statusLine"
                text: loginModel.status
                color: Theme.brightRed
            }

            Item {
                width: parent.width
                height: 40
                visible: loginModel.isLoading

                QLXBusyIndicator {
                    id: busy
                    objectName: "busyIndicator"
                    anchors.centerIn: parent
                    focusHeir: primaryButton
                }
            }

            Column {
                width: parent.width
                spacing: 10
                visible: !loginModel.isLoading

                QLXButton {
                    id: primaryButton

                    objectName: "primaryButton"
                    variant: QLXButton.Primary
                    focusHeir: busy
                    width: parent.width
                    topPadding: 13
                    bottomPadding: 13
                    text: loginModel.mode === LoginModel.Register ? "Create Account" : "Login"
                    font.pixelSize: Theme.actionSize
                    onClicked: loginModel.doAction()
                }
                QLXButton {
                    id: forgotButton

                    objectName: "forgotButton"
                    variant: QLXButton.Link
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: loginModel.mode === LoginModel.Login
                    focusHeir: busy
                    text: "Forgot Password?"
                    onClicked: loginModel.showReset = true
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
        function onClosed() { loginModel.showReset = false }
    }

    Connections {
        target: loginModel
        function onShowResetChanged() {
            if (loginModel.showReset) {
                sheetLoader.setSource("ResetSheet.qml", { prefillUsername: loginModel.username })
            } else {
                sheetLoader.source = ""
                // The keyboard goes back to the link that opened the sheet.
                forgotButton.forceActiveFocus(Qt.PopupFocusReason)
            }
        }
    }

    Component.onCompleted: usernameField.takeFocus()
}
