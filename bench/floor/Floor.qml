import QtQuick
import QtQuick.Controls

Window {
    id: floorWindow

    width: 430
    height: 880
    visible: true
    title: "Mirevo加速器"
    color: "#0A0E27"

    Label {
        id: line

        anchors.centerIn: parent
        text: "Mirevo加速器 🚀"
        color: "#FFFFFF"
        font.pixelSize: 24
    }
}
