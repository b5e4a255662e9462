import QtQuick

Rectangle {
    id: root
}
