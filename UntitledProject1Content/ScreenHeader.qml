import QtQuick
import UntitledProject1

// The 50 px title bar of a pushed screen, 20 px below the top and centred. The arrow only shows the
// pointing hand: the window's back area lies over it and takes the click.
Item {
    id: header

    property string title: ""
    property color titleColor: Constants.textPrimary
    property bool showArrow: true

    width: parent ? parent.width - 40 : 0
    height: 50

    Text {
        id: titleLabel
        objectName: "titleLabel"
        anchors.centerIn: parent
        text: header.title
        textFormat: Text.PlainText
        color: header.titleColor
        font.pixelSize: 20
        font.bold: true
        font.family: Constants.font.family
    }

    Text {
        id: arrowLabel
        objectName: "arrowLabel"
        visible: header.showArrow
        anchors.left: parent.left
        anchors.verticalCenter: parent.verticalCenter
        text: "←"
        color: "#FFFFFF"
        font.pixelSize: 24

        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
        }
    }
}
