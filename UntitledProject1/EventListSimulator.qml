import QtQuick
import QtQuick.Studio.EventSimulator
import QtQuick.Studio.EventSystem

QtObject {
    id: simulator

    property bool active: true

    property Timer __timer: Timer {
        id: showTimer
        interval: 100
        repeat: false
        onTriggered: EventSimulator.show()
    }

    Component.onCompleted: {
        EventSystem.init(Qt.resolvedUrl("EventListModel.qml"))
        if (simulator.active)
            showTimer.start()
    }
}
