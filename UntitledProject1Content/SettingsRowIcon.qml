import QtQuick

// The icon at the start of a settings row, centred in a box of one width: emoji differ in width from
// font to font, and the titles beside them stay in one column only when the icons take the same room.
Item {
    id: iconBox

    property alias icon: iconLabel.text
    property alias color: iconLabel.color

    width: 28
    height: iconLabel.implicitHeight

    Text {
        id: iconLabel
        anchors.horizontalCenter: parent.horizontalCenter
        font.pixelSize: 20
    }
}
