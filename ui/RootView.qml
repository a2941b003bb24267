import QtQuick
import QuorlBank

// Chooses the screen that fills the window from the session's signed-in user alone (RootModel).
// Each switch makes the screen afresh, with no transition. minimumSize is the shown screen's
// implicit size: its minimum (Theme), or its content's when that is larger.
Item {
    id: root

    readonly property size minimumSize: screenLoader.item
                                        ? Qt.size(screenLoader.item.implicitWidth, screenLoader.item.implicitHeight)
                                        : Theme.loginMinimum
    readonly property Item screenItem: screenLoader.item

    RootModel {
        id: router
        auth: AuthService
    }

    Loader {
        id: screenLoader

        anchors.fill: parent
        focus: true
        // By address, so that a screen's types and imports are compiled only when it is first shown.
        source: router.screen === RootModel.Dashboard ? "screens/DashboardView.qml"
              : router.screen === RootModel.VerifyEmail ? "screens/VerifyEmailView.qml"
              : "screens/LoginView.qml"
    }
}
