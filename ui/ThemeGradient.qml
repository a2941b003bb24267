import QtQuick
import QtQuick.Shapes
import QuorlBank

// Theme's gradient filling this item: Theme.darkRed at Theme.gradientStart, Theme.brightRed at
// Theme.gradientEnd, the two unit points mapped onto the item's current size.
Shape {
    id: root

    ShapePath {
        strokeWidth: -1
        strokeColor: "transparent"
        fillGradient: LinearGradient {
            x1: Theme.gradientStart.x * root.width
            y1: Theme.gradientStart.y * root.height
            x2: Theme.gradientEnd.x * root.width
            y2: Theme.gradientEnd.y * root.height
            GradientStop { position: 0; color: Theme.darkRed }
            GradientStop { position: 1; color: Theme.brightRed }
        }
        startX: 0
        startY: 0
        PathLine { x: root.width; y: 0 }
        PathLine { x: root.width; y: root.height }
        PathLine { x: 0; y: root.height }
        PathLine { x: 0; y: 0 }
    }
}
