pragma Singleton
import QtQuick

// Stand-in for the event simulator window of Qt Quick Studio: showing it only logs.
QtObject {
    id: eventSimulator

    property int showCount: 0

    function show() {
        eventSimulator.showCount += 1
        console.log("[EventSimulator] show")
    }
}
