import QtQuick
import QuorlBank

// A screen's one message line: body size, centred, wrapped; read out as static text.
Text {
    width: parent ? parent.width : implicitWidth
    visible: text.length > 0
    textFormat: Text.PlainText
    font.pixelSize: Theme.bodySize
    horizontalAlignment: Text.AlignHCenter
    wrapMode: Text.Wrap

    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
