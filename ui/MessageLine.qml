import QtQuick

// A screen's one message line: system font 13, centred, wrapped; read out as static text.
Text {
    width: parent ? parent.width : implicitWidth
    visible: text.length > 0
    textFormat: Text.PlainText
    font.pixelSize: 13
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.Wrap

    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
