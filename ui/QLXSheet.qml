import QtQuick
import QtQuick.Controls.Basic
import QuorlBank

// A modal sheet centred over its parent: a white frame with the sheet's rounded corners, lifted
// off the screen by a soft shadow, always as large as its content (the popup takes the content's
// implicit size). Escape closes it; so may its content. On opening, the keyboard goes to the
// content's first field or button. Assistive tools read it as a dialog named by its title.
Popup {
    id: control

    property string title

    anchors.centerIn: parent
    padding: 0
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    // Qt Quick 6.4 takes no Accessible on a Popup itself: the name goes on the item that stands
    // for the sheet (its background's parent), which assistive tools read as the dialog.
    Component.onCompleted: background.parent.Accessible.name = Qt.binding(() => control.title)
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
