import QtQuick
import QtTest
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    Component {
        id: appComponent
        App {}
    }

    // Stands in for a screen that a later change provides.
    Component {
        id: standInPage
        Rectangle {
            objectName: "standInPage"
            color: "black"
        }
    }

    TestCase {
        id: testCase
        name: "App"
        when: windowShown

        property var app: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
        }

        function cleanup() {
            if (testCase.app)
                testCase.app.destroy()
            testCase.app = null
        }

        function openApp() {
            testCase.app = appComponent.createObject(root, { "splashDuration": 30 })
            verify(testCase.app)
            return testCase.app
        }

        function stack() {
            return findChild(testCase.app.contentItem, "stackView")
        }

        function openMainScreen() {
            openApp()
            tryVerify(() => stack().currentItem && stack().currentItem.objectName === "mainScreenWrapper", 3000)
            tryCompare(stack(), "busy", false)
            return stack().currentItem
        }

        function test_fixedSize() {
            openApp()
            compare([app.width, app.height], [430, 880])
            compare([app.minimumWidth, app.maximumWidth, app.minimumHeight, app.maximumHeight], [430, 430, 880, 880])
            compare(app.title, "Mirevo加速器")
        }

        function test_splashGivesWayToTheMainScreen() {
            openApp()
            compare(stack().currentItem.objectName, "splashScreen")
            compare(app.splashDuration, 30)
            tryVerify(() => stack().currentItem.objectName === "mainScreenWrapper", 3000)
            compare(stack().depth, 1, "the main screen replaces the splash")
            verify(QmlLog.contains("启动画面结束，跳转到主界面"))
            compare(FakeApi.callCount("getServers"), 1)
        }

        function test_productSplashDuration() {
            const product = appComponent.createObject(root)
            compare(product.splashDuration, 3000)
            product.destroy()
        }

        function test_asksForTheConfigurationAtStart() {
            openApp()
            compare(FakeApi.callCount("getSystemConfig"), 1)
        }

        function test_systemConfiguration_data() {
            return [
                { tag: "name and maintenance", config: { "appName": "极速通", "maintenanceMode": true },
                  title: "极速通", maintenance: true },
                { tag: "empty name", config: { "appName": "", "maintenanceMode": false }, title: "Mirevo加速器",
                  maintenance: false },
                { tag: "nothing given", config: {}, title: "Mirevo加速器", maintenance: false }
            ]
        }

        function test_systemConfiguration(data) {
            openApp()
            app.maintenanceMode = true
            API.systemConfigLoaded(data.config)
            compare(app.title, data.title)
            compare(app.appName, data.title)
            compare(app.maintenanceMode, data.maintenance)
        }

        function test_defaultServerIsAdoptedOnce() {
            const main = openMainScreen()
            const link = "vmess://" + "eyJhZGQiOiIxLjIuMy40In0-never-in-the-log"
            API.serversLoaded([{ "id": 1, "name": "东京", "canConnect": false },
                               { "id": 2, "name": "香港 01", "canConnect": true, "flag": "🇭🇰", "countryCode": "HK",
                                 "vmessLink": link, "requiresVip": false }])
            compare([app.currentServerId, app.currentServerName, app.currentServerFlag, app.currentServerCountryCode,
                     app.currentServerVmessLink, app.currentServerRequiresVip], [2, "香港 01", "🇭🇰", "HK", link, false])
            compare(app.currentServerLatency, "", "nothing measures latency")
            compare(findChild(main, "serverNameLabel").text, "香港 01")
            verify(!findChild(main, "serverLatencyLabel").visible)
            compare(findChild(main, "connectBtn").selectedServerId, 2)
            compare(findChild(main, "connectBtn").vmessLink, link)

            API.serversLoaded([{ "id": 3, "name": "首尔", "canConnect": true }])
            compare(app.currentServerId, 2, "a chosen server is kept")
            API.serversError("超时")
            compare(findChild(main, "serverNameLabel").text, "香港 01", "a failed list keeps the card")
            verify(!QmlLog.contains("never-in-the-log"), "the link reached the log")
        }

        function test_serverChosenByHandReplacesTheCurrentOne() {
            openMainScreen()
            app.selectServerPage = standInPage
            findChild(stack().currentItem, "selectServerMouseArea").clicked(null)
            tryCompare(stack(), "depth", 2)
            tryCompare(stack(), "busy", false)
            app.adoptSelectedServer("新加坡", "🇸🇬", "SG", "45ms", 12, "vmess://x", true)
            compare([app.currentServerName, app.currentServerFlag, app.currentServerCountryCode, app.currentServerId,
                     app.currentServerVmessLink, app.currentServerRequiresVip], ["新加坡", "🇸🇬", "SG", 12, "vmess://x", true])
            compare(app.currentServerLatency, "")
            tryCompare(stack(), "depth", 1)
        }

        function test_route_data() {
            return [
                { tag: "user box", area: "userMouseArea", page: "loginPage", log: "点击用户信息，跳转到登录界面" },
                { tag: "announcements", area: "announcementMouseArea", page: "announcementPage",
                  log: "点击公告图标，跳转到公告界面" },
                { tag: "settings", area: "settingsMouseArea", page: "settingsPage", log: "点击设置图标，跳转到设置界面" },
                { tag: "server card", area: "selectServerMouseArea", page: "selectServerPage",
                  log: "点击选择服务器，跳转到服务器选择界面" },
                { tag: "vip card", area: "vipMouseArea", page: "vipPage", log: "点击VIP区域，跳转到VIP界面" }
            ]
        }

        function test_route(data) {
            const main = openMainScreen()
            const area = findChild(main, data.area)
            // Without its page the route only logs and the main screen stays.
            app[data.page] = null
            mouseClick(area)
            verify(QmlLog.contains(data.log), data.log)
            compare(stack().depth, 1)
            app[data.page] = standInPage
            mouseClick(area)
            tryCompare(stack(), "depth", 2)
            compare(stack().currentItem.objectName, "standInPage")
            tryCompare(stack(), "busy", false)
            app.closePage("返回主界面")
            tryCompare(stack(), "depth", 1)
            verify(stack().currentItem === main, "the main screen stays at the bottom")
        }

        function test_forcedDisconnectShowsTheWarning() {
            openMainScreen()
            compare(findChild(app.contentItem, "messageDialog"), null, "the dialog is built only for a warning")
            const message = "<b>您的账号在其他设备登录</b>，已被强制下线"
            API.vpnForceDisconnected(message)
            const dialog = findChild(app.contentItem, "messageDialog")
            tryCompare(dialog, "opened", true)
            compare(dialog.titleText, "警告")
            compare(dialog.messageText, message)
            compare(findChild(dialog.contentItem, "messageLabel").textFormat, Text.PlainText)
        }

        function test_dialogThatCannotBeBuiltLeavesTheScreen_data() {
            return [
                { tag: "no such file", source: "NoSuchDialog.qml", log: "❌ [App] 消息对话框无法加载:" },
                { tag: "cannot be created", source: "ScreenLoader.qml", log: "❌ [App] 消息对话框无法创建:" }
            ]
        }

        function test_dialogThatCannotBeBuiltLeavesTheScreen(data) {
            const main = openMainScreen()
            app.messageDialogSource = data.source
            API.vpnForceDisconnected("您的账号在其他设备登录，已被强制下线")
            verify(QmlLog.contains(data.log), QmlLog.lines.join("\n"))
            compare(QmlLog.linesContaining("TypeError"), [])
            compare(app.messageDialog, null)
            compare(stack().depth, 1)
            verify(stack().currentItem === main, "the main screen stays")
            // The next warning tries again.
            app.messageDialogSource = "MessageDialog.qml"
            API.vpnForceDisconnected("强制下线")
            tryCompare(findChild(app.contentItem, "messageDialog"), "opened", true)
        }

        function test_closingDisconnects() {
            openApp()
            FakeApi.clearCalls()
            app.close()
            compare(FakeApi.callNames, ["disconnectVpn"])
            verify(QmlLog.contains("窗口正在关闭，断开VPN连接..."))
            verify(!app.visible)
        }
    }
}
