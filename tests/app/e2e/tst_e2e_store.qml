import QtQuick
import QtTest
import UntitledProject1Content

// The store screens in the real window with the real API against the development service.
Item {
    id: root
    width: 430
    height: 880

    Component {
        id: appComponent
        App {}
    }

    SignalSpy {
        id: loginSpy
        target: API
        signalName: "loginSuccess"
    }

    TestCase {
        id: testCase
        name: "EndToEndStore"
        when: windowShown

        property var app: null

        function init() {
            Dev.reset()
            loginSpy.clear()
            API.login(Dev.demoEmail, Dev.demoPassword)
            loginSpy.wait(5000)
        }

        function cleanup() {
            if (testCase.app)
                testCase.app.destroy()
            testCase.app = null
            API.logout()
            tryCompare(API, "isLoggedIn", false, 5000)
        }

        function stack() {
            return findChild(testCase.app.contentItem, "stackView")
        }

        function openMainScreen() {
            testCase.app = appComponent.createObject(root, { "splashDuration": 10 })
            tryVerify(() => stack().currentItem && stack().currentItem.objectName === "mainScreenWrapper", 5000)
            tryCompare(stack(), "busy", false)
            return stack().currentItem
        }

        function open(from, areaName, depth) {
            mouseClick(findChild(from, areaName))
            tryCompare(stack(), "depth", depth)
            tryCompare(stack(), "busy", false)
            return stack().currentItem
        }

        function back(page, depth) {
            mouseClick(page, 45, 45)
            tryCompare(stack(), "depth", depth)
            tryCompare(stack(), "busy", false)
        }

        function test_vipServerChosenOnTheServerScreen() {
            Dev.setUser({ "email": Dev.demoEmail, "vip_days": 30 })
            API.refreshUserInfo()
            tryCompare(API, "isVip", true, 5000)
            const main = openMainScreen()
            tryVerify(() => testCase.app.currentServerId > 0, 5000, "the default server")
            const page = open(main, "selectServerMouseArea", 2)
            const screen = findChild(page, "selectServerScreen")
            const vipRows = findChild(screen, "vipServersRepeater")
            tryVerify(() => vipRows.count === 2, 5000)
            waitForItemPolished(findChild(screen, "serverListColumn"))
            let target = null
            for (let i = 0; i < vipRows.count; ++i) {
                if (findChild(vipRows.itemAt(i), "serverName").text === "新加坡 VIP")
                    target = vipRows.itemAt(i)
            }
            verify(target, "the VIP line is listed")
            compare(findChild(target, "serverMark").text, "", "a VIP account's line is not locked")
            mouseClick(target)
            tryCompare(stack(), "depth", 1)
            compare(testCase.app.currentServerName, "新加坡 VIP")
            compare(testCase.app.currentServerCountryCode, "SG")
            verify(testCase.app.currentServerRequiresVip)
            verify(testCase.app.currentServerVmessLink.indexOf("vmess://") === 0)
            compare(findChild(main, "serverNameLabel").text, "新加坡 VIP")
        }

        function test_buyAPlanAndSeeTheVipDays() {
            // The demo account without its VIP time buys its first plan.
            Dev.setUser({ "email": Dev.demoEmail, "vip_days": 0 })
            API.refreshUserInfo()
            tryCompare(API, "isVip", false, 5000)
            const main = openMainScreen()
            const page = open(main, "vipMouseArea", 2)
            const vip = findChild(page, "vipScreen")
            tryCompare(findChild(vip, "planRepeater"), "count", 3, 5000)
            compare(vip.selectedPlanName, "季度会员")
            mouseClick(findChild(vip, "buyButton"))
            tryVerify(() => vip.isPaying, 5000)
            compare(Dev.requests("payments/create").length, 1)
            const qr = findChild(vip, "qrCodeImage")
            tryCompare(qr, "status", Image.Ready, 5000)
            verify(qr.sourceSize.width > 0)
            const orderId = vip.currentOrderId
            verify(orderId.length > 0)
            Dev.setPaymentStatus(orderId, "completed")
            tryVerify(() => !vip.isPaying, 5000)
            const message = findChild(vip, "paymentMessage")
            verify(message.visible)
            verify(message.text.indexOf("支付成功") >= 0, message.text)
            tryCompare(API, "vipDays", 90, 5000)
            back(page, 1)
            compare(findChild(main, "statusText").text, "VIP 90天")
        }

        function test_readTheOrdersAndTheAnnouncements() {
            const created = Dev.control("POST", "orders", { "email": Dev.demoEmail, "count": 2, "status": "completed",
                                                            "plan_id": 1, "payment_method": "alipay" })
            compare(created.order_ids.length, 2)
            const main = openMainScreen()
            const settings = open(main, "settingsMouseArea", 2)
            const ordersPage = open(settings, "myOrdersMouseArea", 3)
            const orders = findChild(ordersPage, "myOrdersScreen")
            tryVerify(() => !orders.isLoading, 5000)
            compare(orders.errorMessage, "")
            const cards = findChild(orders, "ordersRepeater")
            compare(cards.count, 2)
            waitForItemPolished(findChild(orders, "orderListColumn"))
            const card = cards.itemAt(0)
            compare(findChild(card, "planName").text, "月度会员")
            compare(findChild(card, "amount").text, "¥15")
            verify(/^\d{4}-\d{2}-\d{2}$/.test(findChild(card, "date").text), findChild(card, "date").text)
            verify(created.order_ids.indexOf(findChild(card, "orderNumber").text) >= 0)
            back(ordersPage, 2)
            back(settings, 1)

            const announcementsPage = open(main, "announcementMouseArea", 2)
            const centre = findChild(announcementsPage, "announcementScreen")
            tryVerify(() => !centre.isLoading, 5000)
            const list = findChild(centre, "announcementRepeater")
            compare(list.count, 4)
            waitForItemPolished(findChild(centre, "announcementListColumn"))
            const titles = []
            for (let i = 0; i < list.count; ++i)
                titles.push(findChild(list.itemAt(i), "announcementTitle").text)
            verify(titles.indexOf("Windows客户端更新") >= 0, titles.join("|"))
            verify(findChild(list.itemAt(0), "announcementDate").text.length > 0)
            const sent = Dev.requests("announcements")
            compare(sent.length, 1)
        }
    }
}
