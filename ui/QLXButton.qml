import QtQuick
import QuorlBank

// The one button of every screen: its label, an optional Material Icons glyph before it (or
// alone), on an optional rounded fill, with the focus ring (QLXFocusRing) while it has keyboard
// focus. Clicked by the mouse, by Space when focused, and by assistive tools' press action;
// reported as unavailable to them while disabled. Plain Qt Quick, so that the first screen loads
// no control style.
//
// The variant sets the colours and weight; a use may still set fill, textColor and font:
//   Primary  the screen's main action: white semi-bold on the accent, grey while disabled
//   Quiet    a secondary action beside it: grey on light grey
//   Link     text alone, in the subtle grey
//   Icon     a glyph alone, in the subtle grey; give it an Accessible.name
// Pressed, the button dims, or with a downTint shows that tint over its fill instead. Content
// that a label and a glyph cannot show goes in as children, drawn over the fill.
Item {
    id: control

    enum Variant { Plain, Primary, Quiet, Link, Icon }

    property int variant: QLXButton.Plain
    property string text
    property string glyph
    property real glyphSize: label.font.pixelSize + 4
    property real spacing: 8
    property color fill: variant === QLXButton.Primary ? (enabled ? Theme.darkRed : Theme.standardGrey)
                       : variant === QLXButton.Quiet ? Theme.quietFill
                       : "transparent"
    property color textColor: variant === QLXButton.Quiet ? Theme.standardGrey
                            : variant === QLXButton.Link || variant === QLXButton.Icon ? Theme.subtle
                            : Theme.onAccent
    property color downTint: "transparent"
    property real radius: Theme.controlRadius
    property alias font: label.font
    property real padding: 0
    property real topPadding: padding
    property real bottomPadding: padding
    property real leftPadding: padding
    property real rightPadding: padding
    readonly property bool down: mouse.pressed || keyDown
    // Where the keyboard goes when the button is hidden while it has it (QLXFocusRing).
    property alias focusHeir: focusRing.heir
    property alias focusRingOutset: focusRing.outset
    property bool keyDown: false

    readonly property bool hasText: text.length > 0
    readonly property bool hasGlyph: glyph.length > 0
    readonly property bool tintsWhenDown: downTint.a > 0

    signal clicked()

    implicitWidth: (hasGlyph ? glyphLabel.implicitWidth : 0) + (hasGlyph && hasText ? spacing : 0)
                   + (hasText ? label.implicitWidth : 0) + leftPadding + rightPadding
    implicitHeight: Math.max(hasText ? label.implicitHeight : 0, hasGlyph ? glyphLabel.implicitHeight : 0)
                    + topPadding + bottomPadding
    activeFocusOnTab: true

    Rectangle {
        anchors.fill: parent
        radius: control.radius
        color: control.fill
        antialiasing: true
        opacity: control.down && !control.tintsWhenDown ? 0.8 : 1
    }

    Rectangle {
        anchors.fill: parent
        visible: control.down && control.tintsWhenDown
        radius: control.radius
        color: control.downTint
        antialiasing: true
    }

    // Made only for a button with a glyph, so that a screen without one never loads the icon font.
    Loader {
        id: glyphLabel

        active: control.hasGlyph
        x: control.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        sourceComponent: Text {
            text: control.glyph
            font.family: Theme.iconFont
            font.pixelSize: control.glyphSize
            color: control.textColor
            opacity: label.opacity
            Accessible.ignored: true
        }
    }

    Text {
        id: label

        // Beside a glyph, centred on the same line as it (whole pixels, as anchors centre).
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: control.hasGlyph ? undefined : parent.top
        anchors.bottom: control.hasGlyph ? undefined : parent.bottom
        anchors.verticalCenter: control.hasGlyph ? parent.verticalCenter : undefined
        anchors.topMargin: control.topPadding
        anchors.bottomMargin: control.bottomPadding
        anchors.leftMargin: control.leftPadding + (control.hasGlyph ? glyphLabel.implicitWidth + control.spacing : 0)
        anchors.rightMargin: control.rightPadding
        text: control.text
        textFormat: Text.PlainText
        font.pixelSize: Theme.bodySize
        font.weight: control.variant === QLXButton.Primary ? Font.DemiBold : Font.Normal
        color: control.textColor
        opacity: control.down && !control.tintsWhenDown ? 0.6 : 1
        horizontalAlignment: control.hasGlyph ? Text.AlignLeft : Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        Accessible.ignored: true
    }

    MouseArea {
        id: mouse

        anchors.fill: parent
        enabled: control.enabled
        onClicked: control.clicked()
    }

    QLXFocusRing {
        id: focusRing
        control: control
        radius: control.radius
    }

    Keys.onPressed: event => {
        if (event.key === Qt.Key_Space && !event.isAutoRepeat) {
            control.keyDown = true
            event.accepted = true
        }
    }
    Keys.onReleased: event => {
        if (event.key === Qt.Key_Space && !event.isAutoRepeat && control.keyDown) {
            control.keyDown = false
            event.accepted = true
            control.clicked()
        }
    }
    onActiveFocusChanged: if (!activeFocus) keyDown = false

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.focusable: true
    Accessible.onPressAction: if (enabled) clicked()
}
