import QtQuick
import QtTest
import UntitledProject1Content

// The window's routes to the server picker, the VIP page, the order history and the announcements.
Item {
    id: root
    width: 430
    height: 880

    Component {
        id: appComponent
        App {}
    }

    TestCase {
        id: testCase
        name: "StoreRoutes"
        when: windowShown

        property var app: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            testCase.app = appComponent.createObject(root, { "splashDuration": 10 })
            tryVerify(() => stack().currentItem && stack().currentItem.objectName === "mainScreenWrapper", 3000)
            tryCompare(stack(), "busy", false)
        }

        function cleanup() {
            testCase.app.destroy()
            testCase.app = null
        }

        function stack() {
            return findChild(testCase.app.contentItem, "stackView")
        }

        function main() {
            return stack().get(0)
        }

        function pushedBy(areaName) {
            mouseClick(findChild(main(), areaName))
            tryCompare(stack(), "depth", 2)
            tryCompare(stack(), "busy", false)
            return stack().currentItem
        }

        function clickBackSquare(page) {
            mouseClick(page, 45, 45)
            tryCompare(stack(), "depth", 1)
        }

        function test_mainScreenRoutes_data() {
            return [
                { tag: "server card", area: "selectServerMouseArea", page: "selectServerPage", screen: "selectServerScreen",
                  call: "getServers", back: "返回主界面" },
                { tag: "vip card", area: "vipMouseArea", page: "vipPage", screen: "vipScreen",
                  call: "getSubscriptionPlans", back: "返回主界面" },
                { tag: "megaphone", area: "announcementMouseArea", page: "announcementPage", screen: "announcementScreen",
                  call: "getAnnouncements", back: "返回主界面" }
            ]
        }

        function test_mainScreenRoutes(data) {
            FakeApi.clearCalls()
            const page = pushedBy(data.area)
            compare(page.objectName, data.page)
            verify(findChild(page, data.screen))
            compare(FakeApi.callCount(data.call), 1)
            clickBackSquare(page)
            verify(QmlLog.contains(data.back))
        }

        function test_settingsRoutes_data() {
            return [
                { tag: "orders", signal: "myOrdersClicked", page: "myOrdersPage", log: "跳转到我的订单",
                  back: "返回设置界面" },
                { tag: "announcements", signal: "announcementClicked", page: "announcementPage", log: "跳转到公告系统",
                  back: "返回主界面" },
                { tag: "vip", signal: "vipClicked", page: "vipPage", log: "👑 从设置页面跳转到VIP界面", back: "返回主界面" }
            ]
        }

        function test_settingsRoutes(data) {
            FakeApi.setState({ "isLoggedIn": true })
            const settings = pushedBy("settingsMouseArea")
            findChild(settings, "settingsWrapper")[data.signal]()
            tryCompare(stack(), "depth", 3)
            tryCompare(stack(), "busy", false)
            compare(stack().currentItem.objectName, data.page)
            verify(QmlLog.contains(data.log))
            QmlLog.clear()
            mouseClick(stack().currentItem, 45, 45)
            tryCompare(stack(), "depth", 2)
            verify(QmlLog.contains(data.back), data.back)
        }

        function test_chosenServerIsAdopted() {
            API.serversLoaded([{ "id": 1, "name": "香港 01", "tier": "free", "requiresVip": false, "canConnect": true,
                                 "flag": "🇭🇰", "countryCode": "HK", "vmessLink": "vmess://free" }])
            compare(testCase.app.currentServerId, 1, "the default server")
            const page = pushedBy("selectServerMouseArea")
            const screen = findChild(page, "selectServerScreen")
            compare(screen.selectedServerId, 1, "the mark follows the window's server")
            API.serversLoaded([{ "id": 1, "name": "香港 01", "tier": "free", "requiresVip": false, "canConnect": true,
                                 "flag": "🇭🇰", "countryCode": "HK", "vmessLink": "vmess://free" },
                               { "id": 8, "name": "新加坡 VIP", "tier": "vip", "requiresVip": true, "canConnect": true,
                                 "flag": "🇸🇬", "countryCode": "SG", "vmessLink": "vmess://vip-line" }])
            const repeater = findChild(screen, "vipServersRepeater")
            waitForItemPolished(findChild(screen, "serverListColumn"))
            mouseClick(repeater.itemAt(0))
            tryCompare(stack(), "depth", 1)
            compare([app.currentServerId, app.currentServerName, app.currentServerFlag, app.currentServerCountryCode,
                     app.currentServerLatency, app.currentServerVmessLink, app.currentServerRequiresVip],
                    [8, "新加坡 VIP", "🇸🇬", "SG", "", "vmess://vip-line", true])
            compare(findChild(main(), "serverNameLabel").text, "新加坡 VIP")
            verify(!findChild(main(), "serverLatencyLabel").visible)
        }

        function test_backWithoutChoiceKeepsTheServer() {
            API.serversLoaded([{ "id": 1, "name": "香港 01", "tier": "free", "requiresVip": false, "canConnect": true }])
            const page = pushedBy("selectServerMouseArea")
            clickBackSquare(page)
            compare(testCase.app.currentServerId, 1)
            compare(testCase.app.currentServerName, "香港 01")
        }

        function test_leavingThePaymentKeepsPolling() {
            FakeApi.setState({ "isLoggedIn": true })
            const page = pushedBy("vipMouseArea")
            API.plansLoaded([{ "id": 3, "name": "月度", "price": 15 }, { "id": 4, "name": "季度", "price": 40 }])
            const vip = findChild(page, "vipScreen")
            mouseClick(findChild(vip, "buyButton"))
            API.paymentCreated({ "orderId": "MV9", "paymentUrl": "qrc:/none.png" })
            compare(FakeApi.calls.filter(call => call.name === "startPollingPayment"),
                    [{ "name": "startPollingPayment", "args": ["MV9"] }], "the polling started")
            verify(vip.isPaying)
            FakeApi.clearCalls()
            clickBackSquare(page)
            compare(FakeApi.callCount("stopPollingPayment"), 0)
            compare(FakeApi.callCount("startPollingPayment"), 0)
        }
    }
}
