import QtQuick
import QtQuick.Controls.Basic
import QuorlBank

// The modal sheet that holds ResetPasswordView, 360 wide, centred over the screen that loads it.
// It opens as soon as it is made and closes by its own buttons or by Escape; then it emits
// closed() and its owner discards it.
Item {
    id: root

    required property string prefillUsername

    signal closed()

    Popup {
        id: sheet

        objectName: "resetSheet"
        anchors.centerIn: parent
        width: 360
        padding: 0
        modal: true
        focus: true
        closePolicy: Popup.CloseOnEscape
        // The sheet's frame, as large as its content at every moment (the popup takes the content's
        // implicit size), lifted off the screen by a soft shadow.
        background: Item {
            QLXShadow {
                anchors.fill: parent
                radius: 12
                blur: 16
                offsetY: 6
                color: Theme.sheetShadow
            }
            Rectangle {
                objectName: "resetSheetFrame"
                anchors.fill: parent
                radius: 12
                color: Theme.surface
            }
        }
        contentItem: ResetPasswordView {
            prefillUsername: root.prefillUsername
            onDismiss: sheet.close()
        }
        onClosed: root.closed()
    }

    Component.onCompleted: sheet.open()
}
