import QtQuick

// An invisible click square over the top-left corner of the item it covers. It lies above the
// screen, so it takes every click there; clicks elsewhere pass through.
Item {
    id: backBtnRoot

    signal back

    anchors.fill: parent

    MouseArea {
        id: backArea
        objectName: "backArea"
        x: 20
        y: 20
        width: 50
        height: 50
        cursorShape: Qt.PointingHandCursor
        hoverEnabled: false
        onClicked: backBtnRoot.back()
    }
}
