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
        MyOrdersScreenWrapper {
            width: 430
            height: 880
        }
    }

    TestCase {
        id: testCase
        name: "MyOrdersScreenWrapper"
        when: windowShown

        property var screen: null

        function order(extra) {
            const entry = { "id": 1, "orderNumber": "MV202401150001", "planName": "月度会员", "planDays": 30,
                            "amount": 30, "paymentMethod": "alipay", "paymentMethodText": "支付宝",
                            "status": "completed", "statusText": "已完成",
                            "createdAt": new Date(Date.UTC(2024, 0, 15, 2, 0, 0)), "paidAt": new Date(NaN) }
            for (const key in extra)
                entry[key] = extra[key]
            return entry
        }

        function open(signedIn) {
            FakeApi.setState({ "isLoggedIn": signedIn })
            FakeApi.clearCalls()
            testCase.screen = createTemporaryObject(screenComponent, root)
            return testCase.screen
        }

        function init() {
            FakeApi.reset()
            QmlLog.clear()
        }

        function part(name) {
            const item = findChild(testCase.screen, name)
            verify(item, name + " not found")
            return item
        }

        function card(i) {
            waitForItemPolished(part("orderListColumn"))
            return part("ordersRepeater").itemAt(i)
        }

        function shown() {
            return ["loadingLabel", "errorLabel", "emptyLabel", "orderListColumn"].filter(n => part(n).visible)
        }

        function test_signedOutAsksNothing() {
            open(false)
            compare(FakeApi.callNames, [])
            compare(shown(), ["errorLabel"])
            compare(part("errorLabel").text, "请先登录")
            compare(part("errorLabel").color, Constants.colorError)
        }

        function test_states_data() {
            return [
                { tag: "loading", events: [], shown: ["loadingLabel"] },
                { tag: "list", events: [["loaded", 2]], shown: ["orderListColumn"] },
                { tag: "empty", events: [["loaded", 0]], shown: ["emptyLabel"], text: "暂无订单记录" },
                { tag: "error", events: [["error", "令牌无效"]], shown: ["errorLabel"], text: "加载失败: 令牌无效" },
                { tag: "error after a list", events: [["loaded", 2], ["error", "超时"]], shown: ["errorLabel"],
                  text: "加载失败: 超时" },
                { tag: "list after an error", events: [["error", "超时"], ["loaded", 1]], shown: ["orderListColumn"] }
            ]
        }

        function test_states(data) {
            open(true)
            compare(FakeApi.callNames, ["getUserOrders"])
            for (const event of data.events) {
                if (event[0] === "loaded") {
                    const list = []
                    for (let i = 0; i < event[1]; ++i)
                        list.push(testCase.order({ "id": i + 1 }))
                    API.ordersLoaded(list)
                } else {
                    API.ordersError(event[1])
                }
            }
            compare(shown(), data.shown)
            if (data.text)
                compare(part(data.shown[0]).text, data.text)
        }

        function test_statusColour_data() {
            return [
                { tag: "completed", status: "completed", colour: Constants.colorSuccess },
                { tag: "paid", status: "paid", colour: Constants.colorSuccess },
                { tag: "pending", status: "pending", colour: Constants.colorWarning },
                { tag: "processing", status: "processing", colour: Constants.colorWarning },
                { tag: "cancelled", status: "cancelled", colour: Constants.colorError },
                { tag: "failed", status: "failed", colour: Constants.colorError },
                { tag: "refunded", status: "refunded", colour: Constants.textSecondary },
                { tag: "other case", status: "Paid", colour: Constants.textSecondary },
                { tag: "empty", status: "", colour: Constants.textSecondary }
            ]
        }

        function test_statusColour(data) {
            open(true)
            API.ordersLoaded([testCase.order({ "status": data.status })])
            compare(findChild(card(0), "statusBadge").color, data.colour)
        }

        function test_fallbacks_data() {
            return [
                { tag: "complete order", extra: {}, number: "MV202401150001", plan: "月度会员", badge: "已完成",
                  amount: "¥30", payment: "支付方式: 支付宝" },
                { tag: "missing texts", extra: { "orderNumber": "", "planName": "", "statusText": "", "status": "",
                                                 "amount": 0, "paymentMethod": "", "paymentMethodText": "" },
                  number: "N/A", plan: "未知套餐", badge: "未知", amount: "¥0.00", payment: null },
                { tag: "status word without display text", extra: { "statusText": "", "status": "refunded" },
                  number: "MV202401150001", plan: "月度会员", badge: "refunded", amount: "¥30",
                  payment: "支付方式: 支付宝" },
                { tag: "decimal amount, method without display text", extra: { "amount": 19.9, "paymentMethodText": "" },
                  number: "MV202401150001", plan: "月度会员", badge: "已完成", amount: "¥19.9",
                  payment: "支付方式: alipay" },
                { tag: "markup stays text", extra: { "orderNumber": "<b>1</b>", "planName": "<i>年</i>",
                                                     "statusText": "<u>完</u>" },
                  number: "<b>1</b>", plan: "<i>年</i>", badge: "<u>完</u>", amount: "¥30", payment: "支付方式: 支付宝" }
            ]
        }

        function test_fallbacks(data) {
            open(true)
            API.ordersLoaded([testCase.order(data.extra)])
            const c = card(0)
            compare(findChild(c, "orderNumber").text, data.number)
            compare(findChild(c, "planName").text, data.plan)
            compare(findChild(c, "statusText").text, data.badge)
            compare(findChild(c, "amount").text, data.amount)
            compare(findChild(c, "paymentLine").visible, data.payment !== null)
            if (data.payment !== null)
                compare(findChild(c, "paymentLine").text, data.payment)
            for (const name of ["orderNumber", "planName", "statusText", "paymentLine"])
                compare(findChild(c, name).textFormat, Text.PlainText, name)
        }

        function test_cardWithoutPaymentLineIsShorter() {
            open(true)
            API.ordersLoaded([testCase.order({}), testCase.order({ "paymentMethod": "" })])
            const withLine = card(0)
            const without = card(1)
            compare(withLine.height - without.height, findChild(withLine, "paymentLine").height + 8)
        }

        // The calendar day of a moment in the zone the test runs in, as a user there reads it.
        function localDay(moment) {
            const two = n => (n < 10 ? "0" : "") + n
            return moment.getFullYear() + "-" + two(moment.getMonth() + 1) + "-" + two(moment.getDate())
        }

        function test_dateText_data() {
            return [
                // Moments close to midnight UTC fall on another day in zones east or west of it.
                { tag: "evening UTC", value: new Date(Date.UTC(2024, 0, 14, 20, 0, 0)) },
                { tag: "early morning UTC", value: new Date(Date.UTC(2024, 0, 15, 2, 0, 0)) },
                { tag: "new year's eve UTC", value: new Date(Date.UTC(2023, 11, 31, 23, 30, 0)) },
                { tag: "local noon", value: new Date(2024, 0, 15, 12, 0, 0), text: "2024-01-15" },
                { tag: "local midnight", value: new Date(2024, 1, 29, 0, 0, 0), text: "2024-02-29" },
                { tag: "invalid", value: new Date(NaN), text: "" },
                { tag: "missing", value: undefined, text: "" },
                { tag: "null", value: null, text: "" }
            ]
        }

        function test_dateText(data) {
            open(true)
            API.ordersLoaded([testCase.order({ "createdAt": data.value })])
            const expected = data.text !== undefined ? data.text : testCase.localDay(data.value)
            compare(findChild(card(0), "date").text, expected)
        }

        function test_datesInOneColumn() {
            open(true)
            const day = new Date(2024, 0, 15, 12, 0, 0)
            API.ordersLoaded([testCase.order({ "amount": 0, "createdAt": day }),
                              testCase.order({ "amount": 30, "createdAt": day }),
                              testCase.order({ "amount": 1288.5, "createdAt": day }),
                              testCase.order({ "amount": 99999999.99, "createdAt": day })])
            const list = part("orderListColumn")
            const rights = []
            const lefts = []
            for (let i = 0; i < 4; ++i) {
                const date = findChild(card(i), "date")
                const amount = findChild(card(i), "amount")
                const left = date.mapToItem(list, 0, 0).x
                lefts.push(left)
                rights.push(left + date.width)
                verify(amount.mapToItem(list, 0, 0).x + amount.width < left, "the amount runs into the date")
            }
            compare(lefts, [lefts[0], lefts[0], lefts[0], lefts[0]])
            compare(rights[0], list.width - 12, "the column ends at the card's inner edge")
        }

        function test_lastCardOfALongHistoryCanBeReached() {
            open(true)
            const list = []
            for (let i = 1; i <= 25; ++i)
                list.push(testCase.order({ "id": i, "orderNumber": "MV" + i }))
            API.ordersLoaded(list)
            const flick = part("ordersFlickable")
            const last = card(24)
            tryVerify(() => flick.contentHeight > flick.height, 1000)
            verify(last.mapToItem(root, 0, 0).y > root.height)
            flick.contentY = flick.contentHeight - flick.height
            tryVerify(() => {
                const top = last.mapToItem(root, 0, 0).y
                return top >= 70 && top + last.height <= root.height
            }, 1000)
            compare(findChild(last, "orderNumber").text, "MV25")
        }
    }
}
