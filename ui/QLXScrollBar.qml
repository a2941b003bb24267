import QtQuick
import QtQuick.Controls.Basic
import QuorlBank

// The scroll bar of the app's lists: a thin rounded handle, always shown while there is more to
// scroll, darker while it is held.
ScrollBar {
    id: control

    policy: ScrollBar.AlwaysOn
    padding: 2
    minimumSize: 0.05

    contentItem: Rectangle {
        implicitWidth: 6
        implicitHeight: 6
        radius: width / 2
        color: control.pressed ? Theme.subtle : Theme.faint
        visible: control.size < 1.0
    }
}
