import QtQuick
import QuorlBank

// The soft shadow of a rounded rectangle as large as this item: put it under the shape, filling
// it. Drawn as faint rounded rectangles that widen outwards, stacked so that together they fade
// like a Gaussian blur of the shape; this needs no shader, so every scene graph backend draws it,
// the software one included.
Item {
    id: root

    // Corner radius of the shape that casts the shadow.
    property real radius: 0
    // Blur radius: the shadow fades out over about this distance either side of the shape's edge.
    property real blur: 4
    property real offsetX: 0
    property real offsetY: 0
    // The shadow's colour, and with its alpha the opacity under the shape.
    property color color: Theme.shadow

    // One layer per half point of blur.
    readonly property int layers: Math.max(1, Math.ceil(2 * blur))

    // The opacity the shadow should have between the edges of layers i - 1 and i (i from 0 to
    // layers): full under the shape, falling along the normal distribution's tail outwards.
    function target(i) {
        if (i <= 0)
            return root.color.a;
        if (i >= root.layers)
            return 0;
        const z = 4 * i / root.layers - 2; // in standard deviations (the blur radius is two)
        return root.color.a * (1 - 1 / (1 + Math.exp(-1.702 * z)));
    }

    Repeater {
        model: root.layers

        Rectangle {
            required property int index

            // This layer's edge, from two deviations inside the shape's edge to two outside.
            readonly property real grow: root.blur * ((index + 0.5) * 2 / root.layers - 1)

            x: root.offsetX - grow
            y: root.offsetY - grow
            width: root.width + 2 * grow
            height: root.height + 2 * grow
            radius: Math.max(0, root.radius + grow)
            // The layers from this one outwards cover the band inside this edge; composited over
            // each other they give target(index) there.
            color: Qt.rgba(root.color.r, root.color.g, root.color.b,
                           1 - (1 - root.target(index)) / (1 - root.target(index + 1)))
        }
    }
}
