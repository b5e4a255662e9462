import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    Component {
        id: ordersFormComponent
        MyOrdersScreen {}
    }

    Component {
        id: announcementsFormComponent
        AnnouncementScreen {}
    }

    TestCase {
        id: testCase
        name: "ListForms"
        when: windowShown

        function init() {
            FakeApi.reset()
            QmlLog.clear()
        }

        function order(status, extra) {
            const entry = { "orderNumber": "MV1", "planName": "月度会员", "amount": 30, "status": status,
                            "statusText": "状态", "createdAt": new Date(2026, 0, 31, 8, 0, 0) }
            for (const key in extra)
                entry[key] = extra[key]
            return entry
        }

        function announcement(type, extra) {
            const entry = { "id": 1, "title": "标题", "content": "内容", "type": type,
                            "publishedAt": new Date(2026, 0, 31, 8, 0, 0), "createdAt": new Date(2026, 0, 30, 8, 0, 0) }
            for (const key in extra)
                entry[key] = extra[key]
            return entry
        }

        function cardOf(form, repeaterName, listIndex) {
            const repeater = findChild(form, repeaterName)
            waitForItemPolished(repeater.parent)
            return repeater.itemAt(listIndex)
        }

        function test_ordersFormAsksAndKeepsLoadingWithoutOrders() {
            const form = createTemporaryObject(ordersFormComponent, root)
            compare(FakeApi.callNames, ["getUserOrders"])
            verify(findChild(form, "loadingLabel").visible)
            API.ordersLoaded([order("paid")])
            verify(!findChild(form, "loadingLabel").visible)
            API.ordersError("超时")
            compare(findChild(form, "ordersRepeater").count, 1, "an error keeps the cards")
            API.ordersLoaded([])
            verify(findChild(form, "loadingLabel").visible, "an empty list brings the loading text back")
        }

        function test_ordersFormChip_data() {
            return [
                { tag: "paid", status: "paid", text: Constants.colorSuccess, chip: Qt.rgba(0, 1, 217 / 255, 0.1) },
                { tag: "completed", status: "completed", text: Constants.colorSuccess, chip: Qt.rgba(0, 1, 217 / 255, 0.1) },
                { tag: "pending", status: "pending", text: Constants.primaryVip, chip: Qt.rgba(1, 165 / 255, 0, 0.1) },
                { tag: "processing", status: "processing", text: Constants.colorError,
                  chip: Qt.rgba(1, 82 / 255, 82 / 255, 0.1) },
                { tag: "empty", status: "", text: Constants.colorError, chip: Qt.rgba(1, 82 / 255, 82 / 255, 0.1) }
            ]
        }

        function test_ordersFormChip(data) {
            const form = createTemporaryObject(ordersFormComponent, root)
            API.ordersLoaded([order(data.status)])
            const card = cardOf(form, "ordersRepeater", 0)
            compare(findChild(card, "statusText").color, data.text)
            compare(findChild(card, "statusChip").color, data.chip)
        }

        function test_ordersFormTexts() {
            const form = createTemporaryObject(ordersFormComponent, root)
            API.ordersLoaded([order("paid", { "amount": 0, "planName": "<b>年</b>", "createdAt": new Date(NaN) }),
                              order("paid", { "amount": 29.9, "createdAt": undefined })])
            const first = cardOf(form, "ordersRepeater", 0)
            compare(findChild(first, "amount").text, "¥0")
            compare(findChild(first, "planName").text, "<b>年</b>")
            compare(findChild(first, "planName").textFormat, Text.PlainText)
            compare(findChild(first, "date").text, "", "an invalid date is not written out")
            const second = cardOf(form, "ordersRepeater", 1)
            compare(findChild(second, "amount").text, "¥29.9")
            compare(findChild(second, "date").text, "")
        }

        function test_announcementFormIcon_data() {
            return [
                { tag: "maintenance", type: "maintenance", icon: "🔧" },
                { tag: "update", type: "update", icon: "🚀" },
                { tag: "activity", type: "activity", icon: "🎉" },
                { tag: "other case", type: "Update", icon: "📢" },
                { tag: "unknown", type: "notice", icon: "📢" },
                { tag: "empty", type: "", icon: "📢" }
            ]
        }

        function test_announcementFormIcon(data) {
            const form = createTemporaryObject(announcementsFormComponent, root)
            API.announcementsLoaded([announcement(data.type)])
            compare(findChild(cardOf(form, "announcementsRepeater", 0), "typeIcon").text, data.icon)
        }

        function test_announcementFormFillsFromEveryList() {
            const form = createTemporaryObject(announcementsFormComponent, root)
            compare(FakeApi.callNames, [], "the form asks for nothing itself")
            verify(findChild(form, "loadingLabel").visible)
            API.announcementsError("超时")
            verify(findChild(form, "loadingLabel").visible)
            API.announcementsLoaded([announcement("update"), announcement("activity")])
            compare(findChild(form, "announcementsRepeater").count, 2)
            API.announcementsError("超时")
            compare(findChild(form, "announcementsRepeater").count, 2, "an error keeps the cards")
            API.announcementsLoaded([announcement("update", { "title": "新的" })])
            compare(findChild(form, "announcementsRepeater").count, 1)
            compare(findChild(cardOf(form, "announcementsRepeater", 0), "announcementTitle").text, "新的")
        }

        function test_announcementFormDate_data() {
            return [
                { tag: "published", extra: {}, prefix: "2026-01-31T08:00" },
                { tag: "created only", extra: { "publishedAt": new Date(NaN) }, prefix: "2026-01-30T08:00" },
                { tag: "neither", extra: { "publishedAt": null, "createdAt": new Date(NaN) }, prefix: "" }
            ]
        }

        function test_announcementFormDate(data) {
            const form = createTemporaryObject(announcementsFormComponent, root)
            API.announcementsLoaded([announcement("update", data.extra)])
            const text = findChild(cardOf(form, "announcementsRepeater", 0), "announcementDate").text
            if (data.prefix === "")
                compare(text, "")
            else
                verify(text.indexOf(data.prefix) === 0, text)
        }

        function test_announcementFormCutsContentToTwoLines() {
            const form = createTemporaryObject(announcementsFormComponent, root)
            API.announcementsLoaded([announcement("update", { "content": "很长的内容 ".repeat(80) }),
                                     announcement("update", { "content": "短" })])
            const longText = findChild(cardOf(form, "announcementsRepeater", 0), "announcementContent")
            const shortText = findChild(cardOf(form, "announcementsRepeater", 1), "announcementContent")
            compare(longText.lineCount, 2)
            verify(longText.truncated)
            compare(shortText.lineCount, 1)
            verify(cardOf(form, "announcementsRepeater", 0).height > cardOf(form, "announcementsRepeater", 1).height)
            compare(longText.textFormat, Text.PlainText)
        }

        function test_formsScrollToTheirLastCard_data() {
            return [
                { tag: "orders", component: ordersFormComponent, repeater: "ordersRepeater",
                  flickable: "ordersFormFlickable" },
                { tag: "announcements", component: announcementsFormComponent, repeater: "announcementsRepeater",
                  flickable: "announcementFormFlickable" }
            ]
        }

        function test_formsScrollToTheirLastCard(data) {
            const form = createTemporaryObject(data.component, root)
            const list = []
            for (let i = 0; i < 12; ++i)
                list.push(data.tag === "orders" ? order("paid") : announcement("update"))
            if (data.tag === "orders")
                API.ordersLoaded(list)
            else
                API.announcementsLoaded(list)
            const flick = findChild(form, data.flickable)
            const last = cardOf(form, data.repeater, 11)
            tryVerify(() => flick.contentHeight > flick.height, 1000)
            verify(last.mapToItem(root, 0, 0).y + last.height > root.height, "the last card is cut off at first")
            flick.contentY = flick.contentHeight - flick.height
            tryVerify(() => {
                const top = last.mapToItem(root, 0, 0).y
                return top >= 70 && top + last.height <= root.height
            }, 1000)
        }
    }
}
