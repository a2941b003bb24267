import QtQuick
import QuorlBank

// The modal sheet that holds ResetPasswordView, 360 wide, centred over the screen that loads it.
// It opens as soon as it is made and closes by its own buttons or by Escape; then it emits
// closed() and its owner discards it.
Item {
    id: root

    required property string prefillUsername

    signal closed()

    QLXSheet {
        id: sheet

        objectName: "resetSheet"
        title: "Reset Password"
        width: 360
        contentItem: ResetPasswordView {
            prefillUsername: root.prefillUsername
            onDismiss: sheet.close()
        }
        onClosed: root.closed()
    }

    Component.onCompleted: sheet.open()
}
