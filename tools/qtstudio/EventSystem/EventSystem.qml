pragma Singleton
import QtQuick

// Stand-in for the event system of Qt Quick Studio: it remembers and logs the model it was given.
QtObject {
    id: eventSystem

    property url modelUrl: ""
    property int initCount: 0

    function init(url) {
        eventSystem.modelUrl = url
        eventSystem.initCount += 1
        console.log("[EventSystem] init:", url)
    }
}
