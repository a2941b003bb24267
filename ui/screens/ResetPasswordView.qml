import QtQuick
import QuorlBank

// The password reset sheet's content, 360 wide. State and actions: ResetPasswordModel. The
// sheet that holds it closes on dismiss().
Item {
    id: root

    required property string prefillUsername

    signal dismiss()

    implicitWidth: 360
    implicitHeight: content.implicitHeight + 64

    ResetPasswordModel {
        id: model
        objectName: "resetPasswordModel"
        auth: AuthService
        prefillUsername: root.prefillUsername
    }

    Column {
        id: content

        x: 32
        y: 32
        width: root.width - 64
        spacing: 20

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Reset Password"
            font.pixelSize: 20
            font.bold: true
            color: Theme.ink
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }

        Text {
            width: parent.width
            text: "Enter your username, the reset secret from your Render dashboard, and a new password."
            font.pixelSize: 13
            color: Theme.subtle
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Column {
            width: parent.width
            spacing: 10

            QLXTextField {
                objectName: "resetUsernameField"
                width: parent.width
                placeholder: "Username"
                text: model.username
                onTextEdited: newText => model.username = newText
            }
            QLXTextField {
                objectName: "resetSecretField"
                width: parent.width
                placeholder: "Reset Secret"
                isSecure: true
                text: model.resetSecret
                onTextEdited: newText => model.resetSecret = newText
            }
            QLXTextField {
                objectName: "newPasswordField"
                width: parent.width
                placeholder: "New Password"
                isSecure: true
                text: model.newPassword
                onTextEdited: newText => model.newPassword = newText
            }
            QLXTextField {
                objectName: "confirmField"
                width: parent.width
                placeholder: "Confirm Password"
                isSecure: true
                text: model.confirm
                onTextEdited: newText => model.confirm = newText
            }
        }

        MessageLine {
            objectName: "resetStatusLine"
            text: model.status
            color: model.isSuccess ? Theme.darkRed : Theme.brightRed
        }

        QLXBusyIndicator {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: model.isLoading
        }

        QLXButton {
            objectName: "closeButton"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: !model.isLoading && model.isSuccess
            leftPadding: 24
            rightPadding: 24
            topPadding: 10
            bottomPadding: 10
            text: "Close"
            font.pixelSize: 14
            font.weight: Font.DemiBold
            fill: Theme.darkRed
            textColor: "white"
            onClicked: root.dismiss()
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            visible: !model.isLoading && !model.isSuccess

            QLXButton {
                objectName: "resetButton"
                leftPadding: 20
                rightPadding: 20
                topPadding: 10
                bottomPadding: 10
                text: "Reset Password"
                font.pixelSize: 14
                font.weight: Font.DemiBold
                fill: Theme.darkRed
                textColor: "white"
                onClicked: model.doReset()
            }
            QLXButton {
                objectName: "cancelButton"
                leftPadding: 16
                rightPadding: 16
                topPadding: 10
                bottomPadding: 10
                text: "Cancel"
                font.pixelSize: 14
                fill: Qt.rgba(0.93, 0.93, 0.93, 1)
                // the platform's standard grey
                textColor: Qt.rgba(0.557, 0.557, 0.576, 1)
                onClicked: root.dismiss()
            }
        }
    }
}
