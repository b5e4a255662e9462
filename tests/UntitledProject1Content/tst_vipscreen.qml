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
        VipScreen {}
    }

    TestCase {
        id: testCase
        name: "VipScreen"
        when: windowShown

        property var screen: null

        function plans(count) {
            const list = []
            for (let i = 1; i <= count; ++i)
                list.push({ "id": i * 10, "name": "套餐" + i, "days": 30 * i, "price": 15 * i, "currency": "CNY",
                            "daysText": i + "个月", "formattedPrice": "¥" + (15 * i) + ".00", "isActive": true })
            return list
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

        // A row once the list has laid it out, so a click lands on it.
        function row(i) {
            waitForItemPolished(part("planList"))
            return part("planRepeater").itemAt(i)
        }

        function buyButton() {
            return part("buyButton")
        }

        // Signed in, four plans listed, the fourth chosen, the buy button pressed once.
        function pressBuy() {
            open(true)
            API.plansLoaded(testCase.plans(4))
            FakeApi.clearCalls()
            mouseClick(buyButton())
        }

        function createdOrder(orderId, paymentUrl) {
            return { "orderId": orderId, "paymentUrl": paymentUrl, "amount": 60, "planName": "套餐4", "planDays": 120 }
        }

        function test_asksForThePlansAndShowsLoading() {
            open(true)
            compare(FakeApi.callNames, ["getSubscriptionPlans"])
            verify(part("plansLoadingLabel").visible)
            verify(!part("plansEmptyLabel").visible)
            verify(!part("plansErrorNotice").visible)
        }

        function test_defaultSelectionAndTags_data() {
            return [
                { tag: "none", count: 0, selected: -1, tags: [] },
                { tag: "one", count: 1, selected: -1, tags: [false] },
                { tag: "two", count: 2, selected: 20, tags: [false, true] },
                { tag: "three", count: 3, selected: 20, tags: [false, true, false] },
                { tag: "four", count: 4, selected: 40, tags: [false, true, false, true] },
                { tag: "six", count: 6, selected: 40, tags: [false, true, false, true, false, false] }
            ]
        }

        function test_defaultSelectionAndTags(data) {
            open(true)
            API.plansLoaded(testCase.plans(data.count))
            compare(testCase.screen.selectedPlanId, data.selected)
            const tags = []
            for (let i = 0; i < data.count; ++i)
                tags.push(findChild(row(i), "recommendTag").visible)
            compare(tags, data.tags)
            for (let i = 0; i < data.count; ++i)
                compare(row(i).border.width, (i + 1) * 10 === data.selected ? 2 : 1)
            compare(part("plansEmptyLabel").visible, data.count === 0)
            verify(!part("plansLoadingLabel").visible)
        }

        function test_secondListReplacesRowsAndDefault() {
            open(true)
            API.plansLoaded(testCase.plans(4))
            mouseClick(row(0))
            compare(testCase.screen.selectedPlanId, 10)
            API.plansLoaded(testCase.plans(2))
            compare(part("planRepeater").count, 2)
            compare(testCase.screen.selectedPlanId, 20)
        }

        function test_rowTexts_data() {
            return [
                { tag: "service texts", plan: { "id": 1, "name": "月度", "days": 30, "price": 30, "daysText": "30天",
                                                "formattedPrice": "¥30.00" }, days: "30天", price: "¥30.00" },
                { tag: "whole price fallback", plan: { "id": 1, "name": "月度", "days": 30, "price": 30 },
                  days: "30 天", price: "¥30" },
                { tag: "decimal price fallback", plan: { "id": 1, "name": "月度", "days": 90, "price": 29.9,
                                                         "daysText": "", "formattedPrice": "" },
                  days: "90 天", price: "¥29.9" },
                { tag: "markup stays text", plan: { "id": 1, "name": "<b>年度</b>", "days": 365, "price": 1 },
                  days: "365 天", price: "¥1" }
            ]
        }

        function test_rowTexts(data) {
            open(true)
            API.plansLoaded([data.plan])
            const name = findChild(row(0), "planName")
            compare(name.text, data.plan.name)
            compare(name.textFormat, Text.PlainText)
            compare(findChild(row(0), "planDays").text, data.days)
            compare(findChild(row(0), "planPrice").text, data.price)
        }

        function test_buyButton_data() {
            return [
                { tag: "signed out", signedIn: false, plan: { "id": 5, "name": "月", "price": 30 },
                  text: "请先登录", enabled: false },
                { tag: "nothing chosen", signedIn: true, plan: null, text: "请选择套餐", enabled: false },
                { tag: "whole price", signedIn: true, plan: { "id": 5, "name": "月", "price": 30 },
                  text: "立即开通 ¥30", enabled: true },
                { tag: "decimal price", signedIn: true, plan: { "id": 5, "name": "月", "price": 29.9 },
                  text: "立即开通 ¥29.9", enabled: true },
                { tag: "missing price", signedIn: true, plan: { "id": 5, "name": "月" },
                  text: "立即开通 ¥0", enabled: true },
                { tag: "plan id zero", signedIn: true, plan: { "id": 0, "name": "月", "price": 30 },
                  text: "请选择套餐", enabled: false }
            ]
        }

        function test_buyButton(data) {
            open(data.signedIn)
            if (data.plan) {
                API.plansLoaded([data.plan])
                mouseClick(row(0))
            }
            compare(part("buyButtonText").text, data.text)
            compare(buyButton().enabled, data.enabled)
            compare(part("buyButtonBackground").opacity, data.enabled ? 1.0 : 0.5)
            FakeApi.clearCalls()
            mouseClick(buyButton())
            compare(FakeApi.callCount("createPayment"), data.enabled ? 1 : 0)
        }

        function test_signingInEnablesTheButton() {
            open(false)
            API.plansLoaded(testCase.plans(2))
            verify(!buyButton().enabled)
            FakeApi.setState({ "isLoggedIn": true })
            compare(part("buyButtonText").text, "立即开通 ¥30")
            verify(buyButton().enabled)
        }

        function test_failedListOffersARetry() {
            open(true)
            API.plansError("服务器错误")
            verify(!part("plansLoadingLabel").visible)
            const notice = part("plansErrorNotice")
            verify(notice.visible)
            verify(findChild(notice, "retryMessage").text.indexOf("服务器错误") >= 0)
            compare(part("buyButtonText").text, "请选择套餐")
            FakeApi.clearCalls()
            mouseClick(findChild(notice, "retryButton"))
            compare(FakeApi.callNames, ["getSubscriptionPlans"])
            verify(part("plansLoadingLabel").visible)
            API.plansLoaded(testCase.plans(2))
            verify(!notice.visible)
            compare(part("planRepeater").count, 2)
        }

        function test_onePressCreatesOneOrder() {
            pressBuy()
            compare(FakeApi.callNames, ["createPayment"])
            compare(FakeApi.lastArgs("createPayment"), [40, "alipay"])
            verify(!buyButton().enabled, "disabled until the service answers")
            mouseClick(buyButton())
            compare(FakeApi.callCount("createPayment"), 1)
        }

        function test_createdOrderShowsThePaymentView() {
            pressBuy()
            API.paymentCreated(createdOrder("MV20260101-1", "http://127.0.0.1:1/pay/MV20260101-1/qr.png"))
            compare(FakeApi.callNames, ["createPayment", "startPollingPayment"])
            compare(FakeApi.lastArgs("startPollingPayment"), ["MV20260101-1"])
            verify(testCase.screen.isPaying)
            verify(part("paymentPanel").visible)
            verify(!part("planList").visible)
            verify(!buyButton().visible)
            compare(part("orderLine").text, "订单号: MV20260101-1")
            compare(part("paymentPlanLine").text, "套餐4 - ¥60")
            compare(String(part("qrCodeImage").source), "http://127.0.0.1:1/pay/MV20260101-1/qr.png")
        }

        function test_qrImageThatFailsSaysSo_data() {
            return [
                { tag: "picture", url: "qrc:/qt/qml/UntitledProject1Content/resources/flags/cn.png", fails: false },
                { tag: "no such file", url: "qrc:/no/such/qr.png", fails: true },
                { tag: "not a picture", url: "qrc:/qt/qml/UntitledProject1Content/App.qml", fails: true },
                { tag: "address refused", url: "http://127.0.0.1:1/pay/MV1/qr.png", fails: true }
            ]
        }

        function test_qrImageThatFailsSaysSo(data) {
            pressBuy()
            API.paymentCreated(createdOrder("MV1", data.url))
            const image = part("qrCodeImage")
            tryVerify(() => image.status === Image.Ready || image.status === Image.Error, 5000)
            const label = part("qrFailureLabel")
            compare(label.visible, data.fails)
            compare(QmlLog.contains("❌ 二维码加载失败: " + data.url), data.fails)
            if (data.fails) {
                compare(label.text, "二维码加载失败")
                const where = label.mapToItem(image, 0, 0)
                verify(where.x >= 0 && where.y >= 0 && where.x + label.width <= image.width
                       && where.y + label.height <= image.height, "the word stands in the QR code's box")
            }
        }

        function test_orderWithoutIdOrAddressIsAFailure_data() {
            return [
                { tag: "no order id", order: { "orderId": "", "paymentUrl": "http://127.0.0.1:1/qr.png" } },
                { tag: "no payment address", order: { "orderId": "MV1", "paymentUrl": "" } },
                { tag: "nothing", order: {} }
            ]
        }

        function test_orderWithoutIdOrAddressIsAFailure(data) {
            pressBuy()
            API.paymentCreated(data.order)
            compare(FakeApi.callCount("startPollingPayment"), 0)
            verify(!testCase.screen.isPaying)
            verify(part("planList").visible)
            verify(part("paymentMessage").visible)
            compare(part("paymentMessage").color, Constants.colorError)
            verify(buyButton().enabled, "the user may try again")
        }

        function test_paymentEnds_data() {
            return [
                { tag: "completed", end: "completed", calls: ["stopPollingPayment", "refreshUserInfo"],
                  message: "支付成功", error: false },
                { tag: "failed", end: "failed", calls: ["stopPollingPayment"], message: "支付超时", error: true },
                { tag: "cancelled", end: "cancel", calls: ["stopPollingPayment"], message: "", error: false },
                { tag: "signed out", end: "signout", calls: ["stopPollingPayment"], message: "", error: false }
            ]
        }

        function test_paymentEnds(data) {
            pressBuy()
            API.paymentCreated(createdOrder("MV7", "http://127.0.0.1:1/pay/MV7/qr.png"))
            API.paymentStatusLoaded({ "orderId": "MV7", "status": "pending" })
            FakeApi.clearCalls()
            if (data.end === "completed")
                API.paymentCompleted("MV7")
            else if (data.end === "failed")
                API.paymentFailed("MV7", "支付超时")
            else if (data.end === "cancel")
                mouseClick(part("cancelButton"))
            else
                FakeApi.setState({ "isLoggedIn": false })
            compare(FakeApi.callNames, data.calls)
            verify(!testCase.screen.isPaying)
            compare(testCase.screen.currentOrderId, "")
            verify(part("planList").visible)
            verify(!part("paymentPanel").visible)
            compare(testCase.screen.selectedPlanId, 40, "the choice survives")
            const message = part("paymentMessage")
            compare(message.visible, data.message !== "")
            if (data.message !== "") {
                verify(message.text.indexOf(data.message) >= 0, message.text)
                compare(message.color, data.error ? Constants.colorError : Constants.colorSuccess)
            }
            compare(part("buyButtonText").text, data.end === "signout" ? "请先登录" : "立即开通 ¥60")
        }

        function test_creationErrorIsShownAndTheButtonComesBack() {
            pressBuy()
            API.paymentCreationError("<b>套餐不存在</b>")
            const message = part("paymentMessage")
            verify(message.visible)
            verify(message.text.indexOf("<b>套餐不存在</b>") >= 0)
            compare(message.textFormat, Text.PlainText)
            compare(message.color, Constants.colorError)
            verify(buyButton().enabled)
            compare(FakeApi.callCount("startPollingPayment"), 0)
            mouseClick(buyButton())
            compare(FakeApi.callCount("createPayment"), 2)
            verify(!message.visible, "a new press clears the old outcome")
        }

        function test_panelShowsThePlanOrdered_data() {
            return [
                { tag: "row clicked before the answer", before: () => mouseClick(row(0)), after: () => {},
                  selected: 40 },
                { tag: "row clicked before the answer, list reloaded while paying", before: () => mouseClick(row(1)),
                  after: () => API.plansLoaded(testCase.plans(2)), selected: 20 }
            ]
        }

        function test_panelShowsThePlanOrdered(data) {
            pressBuy()
            data.before()
            compare(testCase.screen.selectedPlanId, 40, "a row changed the plan of the order under way")
            verify(!buyButton().enabled)
            // The service answers with another name for the plan: the panel keeps the one the user bought.
            API.paymentCreated({ "orderId": "MV5", "paymentUrl": "http://127.0.0.1:1/5.png", "amount": 60,
                                 "planName": "plan-4", "planDays": 120 })
            data.after()
            compare(testCase.screen.selectedPlanId, data.selected)
            compare(part("paymentPlanLine").text, "套餐4 - ¥60")
        }

        function test_orderOfAnotherVisitNamesItsOwnPlan() {
            open(true)
            API.plansLoaded(testCase.plans(4))
            FakeApi.clearCalls()
            API.paymentCreated({ "orderId": "MV6", "paymentUrl": "http://127.0.0.1:1/6.png", "amount": 128,
                                 "planName": "年度会员", "planDays": 365 })
            compare(FakeApi.lastArgs("startPollingPayment"), ["MV6"])
            compare(part("paymentPlanLine").text, "年度会员 - ¥128")
        }

        function test_answerAfterSignOutIsDropped_data() {
            return [
                { tag: "order created while signed out", signInAgain: false,
                  answer: () => API.paymentCreated(createdOrder("MV8", "http://127.0.0.1:1/8.png")) },
                { tag: "order created after signing in again", signInAgain: true,
                  answer: () => API.paymentCreated(createdOrder("MV8", "http://127.0.0.1:1/8.png")) },
                { tag: "order refused while signed out", signInAgain: false,
                  answer: () => API.paymentCreationError("令牌无效") },
                { tag: "order refused after signing in again", signInAgain: true,
                  answer: () => API.paymentCreationError("令牌无效") }
            ]
        }

        function test_answerAfterSignOutIsDropped(data) {
            pressBuy()
            FakeApi.setState({ "isLoggedIn": false })
            if (data.signInAgain) {
                FakeApi.setState({ "isLoggedIn": true })
                verify(!buyButton().enabled, "the order of the account that left is still on its way")
            }
            FakeApi.clearCalls()
            data.answer()
            compare(FakeApi.callNames, [])
            verify(!testCase.screen.isPaying)
            verify(!part("paymentPanel").visible)
            verify(part("planList").visible)
            verify(!part("paymentMessage").visible)
            compare(testCase.screen.currentOrderId, "")
            compare(buyButton().enabled, data.signInAgain)
            if (data.signInAgain) {
                mouseClick(buyButton())
                API.paymentCreated(createdOrder("MV9", "http://127.0.0.1:1/9.png"))
                compare(FakeApi.lastArgs("startPollingPayment"), ["MV9"], "the next order is shown again")
                verify(testCase.screen.isPaying)
            }
        }

        function test_furtherOrderReplacesTheShownOne() {
            pressBuy()
            API.paymentCreated(createdOrder("MV1", "http://127.0.0.1:1/1.png"))
            API.paymentCreated(createdOrder("MV2", "http://127.0.0.1:1/2.png"))
            compare(part("orderLine").text, "订单号: MV2")
            compare(FakeApi.lastArgs("startPollingPayment"), ["MV2"])
        }

        function test_longListReachesTheBuyButton() {
            open(true)
            API.plansLoaded(testCase.plans(9))
            const flick = part("vipFlickable")
            tryVerify(() => flick.contentHeight > flick.height, 1000)
            flick.contentY = flick.contentHeight - flick.height
            const button = buyButton()
            tryVerify(() => {
                const top = button.mapToItem(root, 0, 0).y
                return top >= 70 && top + button.height <= root.height
            }, 1000)
            FakeApi.clearCalls()
            mouseClick(button)
            compare(FakeApi.callNames, ["createPayment"])
        }
    }
}
