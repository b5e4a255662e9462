import QtQuick

Item {
    id: wrapper
    Screen {
        id: screenItem
        anchors.fill: parent
    }
}
