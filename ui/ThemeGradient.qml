import QtQuick
import QuorlBank

// Theme's gradient filling this item: Theme.darkRed at its top-left corner, Theme.brightRed at its
// bottom-right corner, at every size. Drawn as a plain Rectangle's vertical gradient as long as the
// diagonal and turned to lie along it, wide enough to cover both other corners; the item clips it.
// (A Shape would draw the same, at the cost of a plugin and a library loaded with the first screen.)
Item {
    id: root

    clip: true

    Rectangle {
        readonly property real diagonal: Math.sqrt(root.width * root.width + root.height * root.height)

        // Across the diagonal, the other two corners lie width * height / diagonal either side.
        width: diagonal > 0 ? 2 * root.width * root.height / diagonal + 2 : 0
        height: diagonal
        x: (root.width - width) / 2
        y: (root.height - height) / 2
        // Turns the rectangle's top-to-bottom axis onto the top-left to bottom-right diagonal.
        rotation: -Math.atan2(root.width, root.height) * 180 / Math.PI
        antialiasing: false
        gradient: Gradient {
            GradientStop { position: 0; color: Theme.darkRed }
            GradientStop { position: 1; color: Theme.brightRed }
        }
    }
}
