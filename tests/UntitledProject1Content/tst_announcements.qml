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
        AnnouncementScreenWrapper {
            width: 430
            height: 880
        }
    }

    TestCase {
        id: testCase
        name: "AnnouncementScreenWrapper"
        when: windowShown

        property var screen: null
        readonly property date published: new Date(2026, 0, 31, 8, 0, 0)
        readonly property date created: new Date(2026, 0, 30, 9, 30, 0)

        function entry(extra) {
            const value = { "id": 1, "title": "系统维护通知", "content": "今晚 23:00 至 24:00 维护。", "type": "maintenance",
                            "publishedAt": testCase.published, "createdAt": testCase.created }
            for (const key in extra)
                value[key] = extra[key]
            return value
        }

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            testCase.screen = createTemporaryObject(screenComponent, root)
        }

        function part(name) {
            const item = findChild(testCase.screen, name)
            verify(item, name + " not found")
            return item
        }

        function card(i) {
            waitForItemPolished(part("announcementListColumn"))
            return part("announcementRepeater").itemAt(i)
        }

        function shown() {
            return ["loadingLabel", "errorLabel", "announcementListColumn"].filter(n => part(n).visible)
        }

        function test_states_data() {
            return [
                { tag: "loading", events: [], shown: ["loadingLabel"], cards: 0 },
                { tag: "list", events: [["loaded", 3]], shown: ["announcementListColumn"], cards: 3 },
                { tag: "empty list", events: [["loaded", 0]], shown: ["announcementListColumn"], cards: 0 },
                { tag: "error", events: [["error", "网络错误"]], shown: ["errorLabel"], text: "加载失败: 网络错误",
                  cards: 0 },
                { tag: "error without text", events: [["error", ""]], shown: ["errorLabel"], text: "加载失败: ",
                  cards: 0 },
                { tag: "error after a list", events: [["loaded", 2], ["error", "超时"]], shown: ["errorLabel"],
                  text: "加载失败: 超时", cards: 2 },
                { tag: "list after an error", events: [["error", "超时"], ["loaded", 1]],
                  shown: ["announcementListColumn"], cards: 1 }
            ]
        }

        function test_states(data) {
            compare(FakeApi.callNames, ["getAnnouncements"])
            for (const event of data.events) {
                if (event[0] === "loaded") {
                    const list = []
                    for (let i = 0; i < event[1]; ++i)
                        list.push(testCase.entry({ "id": i + 1 }))
                    API.announcementsLoaded(list)
                } else {
                    API.announcementsError(event[1])
                }
            }
            compare(shown(), data.shown)
            if (data.text !== undefined)
                compare(part(data.shown[0]).text, data.text)
            compare(part("announcementRepeater").count, data.cards)
        }

        function test_fallbacks_data() {
            return [
                { tag: "complete", extra: {}, title: "系统维护通知", content: "今晚 23:00 至 24:00 维护。",
                  date: "published" },
                { tag: "empty texts", extra: { "title": "", "content": "" }, title: "无标题", content: "无内容",
                  date: "published" },
                { tag: "missing texts", extra: { "title": undefined, "content": undefined }, title: "无标题",
                  content: "无内容", date: "published" },
                { tag: "no publication time", extra: { "publishedAt": new Date(NaN) }, title: "系统维护通知",
                  content: "今晚 23:00 至 24:00 维护。", date: "created" },
                { tag: "no time at all", extra: { "publishedAt": new Date(NaN), "createdAt": null },
                  title: "系统维护通知", content: "今晚 23:00 至 24:00 维护。", date: "none" },
                { tag: "markup stays text", extra: { "title": "<b>重要</b>", "content": "<a href='x'>点此</a>" },
                  title: "<b>重要</b>", content: "<a href='x'>点此</a>", date: "published" }
            ]
        }

        function test_fallbacks(data) {
            API.announcementsLoaded([testCase.entry(data.extra)])
            const c = card(0)
            compare(findChild(c, "announcementTitle").text, data.title)
            compare(findChild(c, "announcementContent").text, data.content)
            compare(findChild(c, "announcementTitle").textFormat, Text.PlainText)
            compare(findChild(c, "announcementContent").textFormat, Text.PlainText)
            const dateText = findChild(c, "announcementDate").text
            if (data.date === "none") {
                compare(dateText, "")
            } else {
                const expected = data.date === "published" ? testCase.published : testCase.created
                // The engine writes the local time; the day and the minutes must be those of the chosen time.
                verify(dateText.indexOf(Qt.formatDateTime(expected, "yyyy-MM-ddThh:mm")) === 0, dateText)
            }
        }

        function test_lastCardOfAManyAnnouncementsCanBeReached() {
            const list = []
            for (let i = 1; i <= 15; ++i)
                list.push(testCase.entry({ "id": i, "title": "公告 " + i, "content": "内容 ".repeat(40) }))
            API.announcementsLoaded(list)
            const flick = part("announcementFlickable")
            const last = card(14)
            tryVerify(() => flick.contentHeight > flick.height, 1000)
            verify(last.mapToItem(root, 0, 0).y > root.height)
            flick.contentY = flick.contentHeight - flick.height
            tryVerify(() => {
                const top = last.mapToItem(root, 0, 0).y
                return top >= 70 && top + last.height <= root.height
            }, 1000)
            compare(findChild(last, "announcementTitle").text, "公告 15")
        }
    }
}
