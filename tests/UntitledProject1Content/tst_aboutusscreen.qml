import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    Component {
        id: screenComponent
        AboutUsScreen {}
    }

    TestCase {
        id: testCase
        name: "AboutUsScreen"
        when: windowShown

        property var screen: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
        }

        function open(screenHeight) {
            testCase.screen = createTemporaryObject(screenComponent, root)
            verify(testCase.screen)
            testCase.screen.height = screenHeight
            waitForItemPolished(findChild(testCase.screen, "contentCol"))
            return testCase.screen
        }

        function part(name) {
            return findChild(testCase.screen, name)
        }

        function rect(item) {
            const p = item.mapToItem(testCase.screen, 0, 0)
            return [p.x, p.y, item.width, item.height]
        }

        function test_layout() {
            open(880)
            compare(rect(part("header")), [20, 20, 390, 50])
            const view = part("scrollView")
            compare(rect(view), [0, 70, 430, 810])
            verify(view.clip)
            const column = part("contentCol")
            compare([column.mapToItem(testCase.screen, 0, 0).x, column.width], [30, 370])
            compare(view.contentHeight, column.height + 40)
            compare(part("missionBody").width, 370)
            verify(part("missionBody").lineCount > 1, "the mission body wraps inside the column")
            const footer = part("footerRow")
            compare(footer.x + footer.width / 2, column.width / 2)
            compare(part("contactBody").text.split("\n").length, 2)
            compare(FakeApi.calls.length, 0)
            compare(QmlLog.lines.length, 0)
        }

        // A drag far past either end settles back at that end.
        function settleAfterDrag(view, dy) {
            mouseDrag(view, view.width / 2, dy < 0 ? view.height - 20 : 20, 0, dy)
            tryCompare(view, "moving", false)
            return view.contentY
        }

        function test_scrolling_data() {
            return [
                { tag: "content fits", height: 880, scrolls: false },
                { tag: "content longer than the view", height: 360, scrolls: true }
            ]
        }

        function test_scrolling(data) {
            open(data.height)
            const view = part("scrollView")
            compare(testCase.screen.height, data.height)
            compare(view.height, data.height - 70)
            compare(view.contentY, 0, "a new page starts at the top")
            const end = Math.max(0, view.contentHeight - view.height)
            compare(end > 0, data.scrolls)
            for (let i = 0; i < 4 && view.contentY < end; ++i)
                settleAfterDrag(view, -(view.height - 40))
            fuzzyCompare(view.contentY, end, 1)
            if (data.scrolls) {
                // At the end the footer and the 40 px below it are in view.
                const footer = part("footerRow")
                const footerBottom = footer.mapToItem(view, 0, footer.height).y
                fuzzyCompare(view.height - footerBottom, 40, 1)
            }
            for (let j = 0; j < 4 && view.contentY > 0; ++j)
                settleAfterDrag(view, view.height - 40)
            fuzzyCompare(view.contentY, 0, 1)
        }
    }
}
