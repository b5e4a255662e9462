import QtQuick
import QtTest
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    MessageDialog {
        id: dialog
    }

    TestCase {
        id: testCase
        name: "MessageDialog"
        when: windowShown

        function cleanup() {
            dialog.close()
            tryCompare(dialog, "visible", false)
        }

        function part(name) {
            const item = findChild(dialog.contentItem, name)
            verify(item, name + " not found")
            return item
        }

        function test_kind_data() {
            return [
                { tag: "info", show: "showInfo", title: "提示", icon: "ℹ️", color: "#4A90E2" },
                { tag: "warning", show: "showWarning", title: "警告", icon: "⚠️", color: "#FF9800" },
                { tag: "error", show: "showError", title: "错误", icon: "❌", color: "#F44336" },
                { tag: "success", show: "showSuccess", title: "成功", icon: "✅", color: "#4CAF50" }
            ]
        }

        function test_kind(data) {
            dialog[data.show]("消息 " + data.tag)
            tryCompare(dialog, "opened", true)
            compare(dialog.title, data.title)
            compare(dialog.titleText, data.title)
            compare(dialog.iconText, data.icon)
            verify(Qt.colorEqual(dialog.iconColor, data.color))
            compare(part("iconLabel").text, data.icon)
            verify(Qt.colorEqual(part("iconLabel").color, data.color))
            compare(part("messageLabel").text, "消息 " + data.tag)
            verify(Qt.colorEqual(part("okBackground").color, data.color), "the OK button follows the accent")
            compare(dialog.width, 344)
            verify(dialog.modal)
        }

        function test_latestCallWinsInPlace() {
            dialog.showInfo("第一条")
            tryCompare(dialog, "opened", true)
            dialog.showError("第二条")
            verify(dialog.visible)
            compare(dialog.titleText, "错误")
            compare(part("messageLabel").text, "第二条")
            verify(Qt.colorEqual(part("okBackground").color, "#F44336"))
            // No queue: one close leaves nothing behind.
            mouseClick(part("okButton"))
            tryCompare(dialog, "visible", false)
            wait(0)
            verify(!dialog.visible)
        }

        function test_reopenShowsTheNewKind() {
            dialog.showError("坏了")
            tryCompare(dialog, "opened", true)
            dialog.close()
            tryCompare(dialog, "visible", false)
            compare(dialog.messageText, "坏了", "closing only hides the dialog")
            dialog.showWarning("注意")
            tryCompare(dialog, "opened", true)
            compare(dialog.titleText, "警告")
            compare(dialog.iconText, "⚠️")
            verify(Qt.colorEqual(dialog.iconColor, "#FF9800"))
        }

        function test_closedByEscape() {
            dialog.showInfo("按 Esc")
            tryCompare(dialog, "opened", true)
            keyClick(Qt.Key_Escape)
            tryCompare(dialog, "visible", false)
        }

        function test_messageIsPlainText() {
            const markup = "<b>粗体</b> &amp; <a href=\"x\">链接</a>"
            dialog.showWarning(markup)
            tryCompare(dialog, "opened", true)
            const label = part("messageLabel")
            compare(label.textFormat, Text.PlainText)
            compare(label.text, markup)
        }

        function test_longMessageWrapsAndGrowsTheHeight() {
            dialog.showInfo("短")
            tryCompare(dialog, "opened", true)
            const shortHeight = dialog.height
            dialog.showInfo("这是一条很长的消息，".repeat(20))
            waitForItemPolished(dialog.contentItem)
            tryVerify(() => dialog.height > shortHeight + 40, 1000, "the dialog grows with the message")
            compare(dialog.width, 344)
            verify(part("messageLabel").lineCount > 2)
        }

        function test_emptyMessageStillOpensWithTheGlyph() {
            dialog.showSuccess("")
            tryCompare(dialog, "opened", true)
            compare(part("messageLabel").text, "")
            compare(part("iconLabel").text, "✅")
        }
    }
}
