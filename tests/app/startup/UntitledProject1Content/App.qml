import QtQuick

// Stands for the window only at the fallback address, so start-up must take its second way.
Window {
    id: root
    visible: false

    Timer {
        interval: 100
        running: true
        onTriggered: Qt.quit()
    }
}
