import QtQuick
import QuorlBank

// Chooses the screen that fills the window from the session's signed-in user alone (RootModel).
// Each switch makes the screen afresh, with no transition. minimumSize is the shown screen's.
Item {
    id: root

    // The shown screen's minimum: its fixed size, or its content's when that is larger.
    readonly property size minimumSize: {
        const fixed = router.screen === RootModel.Dashboard ? Qt.size(800, 560)
                    : router.screen === RootModel.VerifyEmail ? Qt.size(420, 460)
                    : Qt.size(440, 520)
        const item = screenLoader.item
        return item ? Qt.size(Math.max(fixed.width, item.implicitWidth), Math.max(fixed.height, item.implicitHeight))
                    : fixed
    }
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
