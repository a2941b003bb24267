import QtQuick
import QuorlBank

// The one window. Its minimum size is that of the screen it shows; it can be made larger.
Window {
    id: window

    title: "Quorl Bank"
    width: Theme.loginMinimum.width
    height: Theme.loginMinimum.height
    minimumWidth: rootView.minimumSize.width
    minimumHeight: rootView.minimumSize.height
    visible: true
    color: Theme.surface

    // The window grows to a larger minimum at once (Qt 6.4 leaves that to the window manager).
    onMinimumWidthChanged: if (width < minimumWidth) width = minimumWidth
    onMinimumHeightChanged: if (height < minimumHeight) height = minimumHeight

    RootView {
        id: rootView
        anchors.fill: parent
    }
}
