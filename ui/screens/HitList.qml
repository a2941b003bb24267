pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QuorlBank

// The hits of the send form's user search, one button each, named by the user name.
Item {
    id: list

    // [{username, accountNumber}] in the service's order
    property var hits: []
    signal picked(int index)

    implicitHeight: stack.implicitHeight

    // Theme's shadow, blurred by 4, two points down, all around the list.
    QLXShadow {
        anchors.fill: card
        radius: card.radius
        blur: 4
        offsetY: 2
    }

    Rectangle {
        id: card
        width: parent.width
        height: parent.height
        radius: Theme.controlRadius
        color: Theme.surface
        clip: true

        Column {
            id: stack
            width: parent.width

            Repeater {
                model: list.hits
                delegate: Column {
                    id: hit
                    required property var modelData
                    required property int index
                    width: stack.width

                    QLXButton {
                        width: parent.width
                        implicitHeight: face.implicitHeight + 16
                        radius: 0
                        // The list clips at its edges: the ring goes inside.
                        focusRingOutset: 0
                        fill: Theme.surface
                        downTint: Theme.fieldFill

                        RowLayout {
                            id: face
                            x: 12
                            y: 8
                            width: parent.width - 24
                            height: parent.height - 16
                            spacing: 8
                            Text {
                                text: "\uE7FD"
                                font.family: Theme.iconFont
                                font.pixelSize: Theme.title2Size
                                color: Theme.darkRed
                            }
                            Column {
                                spacing: 2
                                Text {
                                    text: hit.modelData.username
                                    font.pixelSize: Theme.bodySize
                                    font.bold: true
                                    color: Theme.ink
                                }
                                Text {
                                    text: hit.modelData.accountNumber
                                    font.pixelSize: Theme.captionSize
                                    color: Theme.subtle
                                }
                            }
                            Item {
                                Layout.fillWidth: true
                            }
                        }
                        Accessible.name: hit.modelData.username
                        onClicked: list.picked(hit.index)
                    }
                    Rectangle {
                        visible: hit.index < list.hits.length - 1
                        width: parent.width
                        height: 1
                        color: Theme.separator
                    }
                }
            }
        }
    }
}
