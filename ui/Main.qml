import QtQuick
import QuorlBank

Window {
    id: window
    title: "Quorl Bank"
    width: 440
    height: 520
    visible: true

    RootView {
        anchors.fill: parent
    }
}
