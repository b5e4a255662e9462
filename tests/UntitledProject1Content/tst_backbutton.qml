import QtQuick
import QtTest
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    // A stand-in screen: a full-size click area and its own arrow in the corner.
    Item {
        id: page
        width: 430
        height: 880

        property int screenClicks: 0
        property int arrowClicks: 0

        MouseArea {
            id: screenArea
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            onClicked: page.screenClicks += 1
        }
        MouseArea {
            id: arrowArea
            x: 20
            y: 20
            width: 40
            height: 40
            onClicked: page.arrowClicks += 1
        }
        BackButton {
            id: backButton
        }
    }

    SignalSpy {
        id: backSpy
        target: backButton
        signalName: "back"
    }

    TestCase {
        id: testCase
        name: "BackButton"
        when: windowShown

        function init() {
            page.width = 430
            page.height = 880
            page.screenClicks = 0
            page.arrowClicks = 0
            backSpy.clear()
        }

        function test_click_data() {
            return [
                { tag: "top-left corner", x: 20, y: 20, button: Qt.LeftButton, back: 1, screen: 0 },
                { tag: "centre", x: 45, y: 45, button: Qt.LeftButton, back: 1, screen: 0 },
                { tag: "bottom-right inside", x: 69, y: 69, button: Qt.LeftButton, back: 1, screen: 0 },
                { tag: "just right", x: 70, y: 45, button: Qt.LeftButton, back: 0, screen: 1 },
                { tag: "just below", x: 45, y: 70, button: Qt.LeftButton, back: 0, screen: 1 },
                { tag: "just left", x: 19, y: 45, button: Qt.LeftButton, back: 0, screen: 1 },
                { tag: "far away", x: 300, y: 600, button: Qt.LeftButton, back: 0, screen: 1 },
                { tag: "right button inside", x: 45, y: 45, button: Qt.RightButton, back: 0, screen: 1 },
                { tag: "middle button inside", x: 45, y: 45, button: Qt.MiddleButton, back: 0, screen: 1 }
            ]
        }

        function test_click(data) {
            mouseClick(page, data.x, data.y, data.button)
            compare(backSpy.count, data.back)
            compare(page.screenClicks, data.screen)
            compare(page.arrowClicks, 0, "the screen's own arrow never sees a click")
        }

        function test_pressInsideReleasedOutsideEmitsNothing() {
            mousePress(page, 45, 45)
            mouseMove(page, 200, 200)
            mouseRelease(page, 200, 200)
            compare(backSpy.count, 0)
        }

        function test_squareKeepsItsPlaceWhenTheParentResizes() {
            page.width = 200
            page.height = 300
            compare(backButton.width, 200)
            compare(backButton.height, 300)
            const area = findChild(backButton, "backArea")
            compare([area.x, area.y, area.width, area.height], [20, 20, 50, 50])
            mouseClick(page, 45, 45)
            compare(backSpy.count, 1)
        }
    }
}
