import QtQuick
import QuorlBank

// Chooses the screen that fills the window from the session state alone.
Item {
    id: root

    LoginView {
        anchors.fill: parent
    }
}
