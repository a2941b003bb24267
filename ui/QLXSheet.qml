import QtQuick
import QtQuick.Controls.Basic
import QuorlBank

// A modal sheet centred over its parent: a white frame with the sheet's rounded corners, lifted
// off the screen by a soft shadow, always as large as its content (the popup takes the content's
// implicit size). Escape closes it; so may its content. On opening, the keyboard goes to the
// content's first field or button.
Popup {
    id: control

    anchors.centerIn: parent
    padding: 0
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    onOpened: {
        const first = control.contentItem ? control.contentItem.nextItemInFocusChain(true) : null
        if (first)
            first.forceActiveFocus(Qt.PopupFocusReason)
    }

    background: Item {
        QLXShadow {
            anchors.fill: parent
            radius: Theme.sheetRadius
            blur: 16
            offsetY: 6
            color: Theme.sheetShadow
        }
        Rectangle {
            anchors.fill: parent
            radius: Theme.sheetRadius
            color: Theme.surface
        }
    }
}
