import QtQuick
import QtTest
import QtQuick.Studio.EventSimulator
import QtQuick.Studio.EventSystem
import UntitledProject1

// The two design-template types register and run against the Qt Quick Studio stand-ins.
Item {
    id: root
    width: 100
    height: 100

    Component {
        id: simulatorComponent
        EventListSimulator {}
    }

    TestCase {
        id: testCase
        name: "EventTypes"

        function test_modelHoldsTheEnterEvent() {
            const model = createTemporaryQmlObject("import UntitledProject1; EventListModel {}", root)
            compare(model.count, 1)
            const entry = model.get(0)
            compare(entry.eventId, "enterPressed")
            compare(entry.eventDescription, "Emitted when pressing the enter button")
            compare(entry.shortcut, "Return")
            compare(entry.parameters, "Enter")
        }

        function test_simulatorInitialisesAndShowsWhenActive() {
            const initsBefore = EventSystem.initCount
            const showsBefore = EventSimulator.showCount
            // Both start their 100 ms timer (or not) together; the inactive one must not add a show.
            const active = createTemporaryObject(simulatorComponent, root)
            const inactive = createTemporaryObject(simulatorComponent, root, { "active": false })
            verify(active.active)
            verify(!inactive.active)
            compare(EventSystem.initCount, initsBefore + 2)
            verify(EventSystem.modelUrl.toString().endsWith("/UntitledProject1/EventListModel.qml"),
                   EventSystem.modelUrl)
            tryCompare(EventSimulator, "showCount", showsBefore + 1)
            const settled = createTemporaryObject(simulatorComponent, root)
            tryCompare(EventSimulator, "showCount", showsBefore + 2)
            verify(settled)
        }
    }
}
