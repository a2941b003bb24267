import QtQuick
import QuorlBank

// An indeterminate progress indicator: a ring of fading bars that turns while it is visible.
// Assistive tools read it as a progress bar named by what it waits for. Where it stands in for
// buttons, it holds the keyboard focus of the button that started the wait until that ends
// (the buttons' focusHeir), then hands it to focusHeir.
Item {
    id: root

    // What is waiting, as assistive tools read it: "Loading", "Searching", "Sending".
    property string label: "Loading"
    property alias focusHeir: focusRing.heir

    implicitWidth: 32
    implicitHeight: 32

    Item {
        id: ring

        anchors.centerIn: parent
        width: 32
        height: 32

        Repeater {
            model: 8

            Rectangle {
                required property int index

                x: ring.width / 2 - width / 2
                y: 0
                width: 4
                height: 9
                radius: root.width / 2
                color: Theme.busyBar
                opacity: 0.2 + 0.8 * index / 7
                transform: Rotation {
                    origin.x: 2
                    origin.y: ring.height / 2
                    angle: index * 45
                }
            }
        }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: root.visible
        }
    }

    QLXFocusRing {
        id: focusRing
        control: root
        radius: root.width / 2
    }

    Accessible.role: Accessible.ProgressBar
    Accessible.name: label
}
