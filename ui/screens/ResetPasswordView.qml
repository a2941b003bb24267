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
        id: resetModel
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
            font.pixelSize: Theme.title2Size
            font.bold: true
            color: Theme.ink
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }

        Text {
            width: parent.width
            text: "Enter your username, the reset secret from your Render dashboard, and a new password."
            font.pixelSize: Theme.bodySize
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
                text: resetModel.username
                onTextEdited: newText => resetModel.username = newText
            }
            QLXTextField {
                objectName: "resetSecretField"
                width: parent.width
                placeholder: "Reset Secret"
                isSecure: true
                text: resetModel.resetSecret
                onTextEdited: newText => resetModel.resetSecret = newText
            }
            QLXTextField {
                objectName: "newPasswordField"
                width: parent.width
                placeholder: "New Password"
                isSecure: true
                text: resetModel.newPassword
                onTextEdited: newText => resetModel.newPassword = newText
            }
            QLXTextField {
                objectName: "confirmField"
                width: parent.width
                placeholder: "Confirm Password"
                isSecure: true
                text: resetModel.confirm
                onTextEdited: newText => resetModel.confirm = newText
            }
        }

        MessageLine {
            objectName: "resetStatusLine"
            text: resetModel.status
            color: resetModel.isSuccess ? Theme.darkRed : Theme.brightRed
        }

        QLXBusyIndicator {
            id: busy
            objectName: "busyIndicator"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: resetModel.isLoading
            focusHeir: resetModel.isSuccess ? closeButton : resetButton
        }

        QLXButton {
            id: closeButton

            objectName: "closeButton"
            variant: QLXButton.Primary
            anchors.horizontalCenter: parent.horizontalCenter
            visible: !resetModel.isLoading && resetModel.isSuccess
            leftPadding: 24
            rightPadding: 24
            topPadding: 10
            bottomPadding: 10
            text: "Close"
            font.pixelSize: Theme.calloutSize
            onClicked: root.dismiss()
        }

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            visible: !resetModel.isLoading && !resetModel.isSuccess

            QLXButton {
                id: resetButton

                objectName: "resetButton"
                variant: QLXButton.Primary
                focusHeir: resetModel.isLoading ? busy : closeButton
                leftPadding: 20
                rightPadding: 20
                topPadding: 10
                bottomPadding: 10
                text: "Reset Password"
                font.pixelSize: Theme.calloutSize
                onClicked: resetModel.doReset()
            }
            QLXButton {
                objectName: "cancelButton"
                variant: QLXButton.Quiet
                focusHeir: resetModel.isLoading ? busy : closeButton
                leftPadding: 16
                rightPadding: 16
                topPadding: 10
                bottomPadding: 10
                text: "Cancel"
                font.pixelSize: Theme.calloutSize
                onClicked: root.dismiss()
            }
        }
    }
}
