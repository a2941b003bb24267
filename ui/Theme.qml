pragma Singleton
import QtQuick

// The palette every screen draws with: five colours and one diagonal gradient.
//
// The gradient runs from darkRed at gradientStart to brightRed at gradientEnd, both unit points
// of whatever it fills (top-left corner to bottom-right corner). Screens draw it with
// ThemeGradient, their back layer filling the whole window:
//
//     ThemeGradient { anchors.fill: parent }
QtObject {
    readonly property color darkRed: Qt.rgba(0.545, 0.0, 0.0, 1.0)
    readonly property color brightRed: Qt.rgba(0.753, 0.224, 0.169, 1.0)
    readonly property color cardTint: Qt.rgba(0.992, 0.961, 0.961, 1.0)
    readonly property color ink: Qt.rgba(0.102, 0.102, 0.102, 1.0)
    readonly property color subtle: Qt.rgba(0.533, 0.533, 0.533, 1.0)

    readonly property point gradientStart: Qt.point(0, 0)
    readonly property point gradientEnd: Qt.point(1, 1)
}
