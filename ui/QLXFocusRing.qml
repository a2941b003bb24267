import QtQuick
import QuorlBank

// The keyboard focus of a control, drawn while the control has it: a dark ring with a white one
// inside it, so that one of the two stands out on every fill and background the app has (white,
// the light greys and the dark red). Put it in the control as its last child.
//
// It also keeps the focus on something that can be seen: when the control is hidden while it
// has the focus (a busy state or a result takes its place), the focus moves on to `heir`, the
// control that takes its place, or else to the control before it.
Item {
    id: ring

    required property Item control
    property Item heir: null
    // The control's corner radius, which the ring follows.
    property real radius: Theme.controlRadius
    // How far the ring reaches out of the control: 4 draws it wholly outside, 0 wholly inside
    // (for a control whose container clips at its edges).
    property real outset: 4

    anchors.fill: parent
    anchors.margins: -outset
    visible: control.activeFocus

    Rectangle {
        anchors.fill: parent
        radius: Math.max(0, ring.radius + ring.outset)
        color: "transparent"
        border.width: 2
        border.color: Theme.focusRing
        antialiasing: true
    }
    Rectangle {
        anchors.fill: parent
        anchors.margins: 2
        radius: Math.max(0, ring.radius + ring.outset - 2)
        color: "transparent"
        border.width: 2
        border.color: Theme.focusHalo
        antialiasing: true
    }

    Connections {
        target: ring.control
        function onVisibleChanged() {
            if (ring.control.visible || !ring.control.activeFocus)
                return
            const next = ring.heir ? ring.heir : ring.control.nextItemInFocusChain(false)
            if (!next || next === ring.control)
                return
            if (typeof next.takeFocus === "function")
                next.takeFocus()
            else
                next.forceActiveFocus(Qt.OtherFocusReason)
        }
    }
}
