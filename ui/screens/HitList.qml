pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QuorlBank

// The hits of the send form's user search, one button each, named by the user name.
Item {
    id: list

    // [{username, accountNumber}] in the service's order
    property var hits: []
    signal picked(int index)

    implicitHeight: stack.implicitHeight

    // Black at 0.1, blurred by 4, two points down, all around the list.
    QLXShadow {
        anchors.fill: card
        radius: card.radius
        blur: 4
        offsetY: 2
        color: Qt.rgba(0, 0, 0, 0.1)
    }

    Rectangle {
        id: card
        width: parent.width
        height: parent.height
        radius: 8
        color: "white"
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

                    Button {
                        width: parent.width
                        leftPadding: 12
                        rightPadding: 12
                        topPadding: 8
                        bottomPadding: 8
                        text: hit.modelData.username
                        background: Rectangle {
                            color: parent.down ? Qt.rgba(0.96, 0.96, 0.96, 1) : "white"
                        }
                        contentItem: RowLayout {
                            spacing: 8
                            Text {
                                text: "\uE7FD"
                                font.family: "Material Icons"
                                font.pixelSize: 20
                                color: Theme.darkRed
                            }
                            Column {
                                spacing: 2
                                Text {
                                    text: hit.modelData.username
                                    font.pixelSize: 13
                                    font.bold: true
                                    color: Theme.ink
                                }
                                Text {
                                    text: hit.modelData.accountNumber
                                    font.pixelSize: 10
                                    color: Theme.subtle
                                }
                            }
                            Item {
                                Layout.fillWidth: true
                            }
                        }
                        Accessible.name: hit.modelData.username
                        Accessible.onPressAction: if (enabled) clicked()
                        onClicked: list.picked(hit.index)
                    }
                    Rectangle {
                        visible: hit.index < list.hits.length - 1
                        width: parent.width
                        height: 1
                        color: Qt.rgba(0.9, 0.9, 0.9, 1)
                    }
                }
            }
        }
    }
}
