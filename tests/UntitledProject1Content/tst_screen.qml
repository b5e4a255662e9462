import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    // Plays the window: the chosen server the screen's properties are bound to.
    QtObject {
        id: chosen
        property string name: "选择服务器"
        property string flag: "🌐"
        property string countryCode: ""
        property string latency: ""
        property int serverId: -1
        property string vmessLink: ""
        property bool requiresVip: false
    }

    Component {
        id: screenComponent
        Screen {
            selectedServerName: chosen.name
            selectedServerFlag: chosen.flag
            selectedServerCountryCode: chosen.countryCode
            selectedServerLatency: chosen.latency
            selectedServerId: chosen.serverId
            selectedServerVmessLink: chosen.vmessLink
            selectedServerRequiresVip: chosen.requiresVip
        }
    }

    SignalSpy {
        id: defaultSpy
        signalName: "defaultServerNeeded"
    }

    TestCase {
        id: testCase
        name: "Screen"
        when: windowShown

        readonly property string link: "vmess://" + "ZXlKMklqb2lNaUlzSW5Ceaded-secret-payload-of-the-link"
        property var screen: null

        function cleanup() {
            root.Window.window.showNormal()
            tryCompare(root.Window.window, "visibility", Window.Windowed)
        }

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            chosen.name = "选择服务器"
            chosen.flag = "🌐"
            chosen.countryCode = ""
            chosen.latency = ""
            chosen.serverId = -1
            chosen.vmessLink = ""
            chosen.requiresVip = false
            testCase.screen = createTemporaryObject(screenComponent, root)
            defaultSpy.target = testCase.screen
            defaultSpy.clear()
            waitForItemPolished(testCase.screen)
        }

        function part(name) {
            const item = findChild(testCase.screen, name)
            verify(item, name + " not found")
            return item
        }

        function test_asksForAllServersOnce() {
            compare(FakeApi.callCount("getServers"), 1)
            compare(FakeApi.lastArgs("getServers"), [""])
        }

        function test_formatTraffic_data() {
            return [
                { tag: "zero", bytes: 0, text: "0 B/s" },
                { tag: "1023", bytes: 1023, text: "1023 B/s" },
                { tag: "1023.6 stays in bytes", bytes: 1023.6, text: "1024 B/s" },
                { tag: "1024", bytes: 1024, text: "1.0 KB/s" },
                { tag: "1536", bytes: 1536, text: "1.5 KB/s" },
                { tag: "just under a MB", bytes: 1024 * 1024 - 1, text: "1024.0 KB/s" },
                { tag: "1 MB", bytes: 1024 * 1024, text: "1.00 MB/s" },
                { tag: "2.5 MB", bytes: 2.5 * 1024 * 1024, text: "2.50 MB/s" },
                { tag: "1 GB", bytes: 1024 * 1024 * 1024, text: "1.00 GB/s" },
                { tag: "3 TB in GB", bytes: 3 * 1024 * 1024 * 1024 * 1024, text: "3072.00 GB/s" }
            ]
        }

        function test_formatTraffic(data) {
            compare(screen.formatTraffic(data.bytes), data.text)
        }

        function server(id, name, canConnect, extra) {
            const entry = { "id": id, "name": name, "canConnect": canConnect, "flag": "🇯🇵", "countryCode": "JP",
                            "vmessLink": testCase.link, "requiresVip": true }
            for (const key in extra)
                entry[key] = extra[key]
            return entry
        }

        function test_defaultServer_data() {
            return [
                { tag: "first connectable wins", selected: -1,
                  servers: [server(1, "东京", false), server(2, "香港", true), server(3, "首尔", true)],
                  expect: [2, "香港", "🇯🇵", "JP", link, true] },
                { tag: "fallbacks for missing values", selected: -1,
                  servers: [{ "id": 7, "name": "新加坡", "canConnect": true }],
                  expect: [7, "新加坡", "🌐", "", "", false] },
                { tag: "fallbacks for empty values", selected: -1,
                  servers: [server(8, "洛杉矶", true, { "flag": "", "countryCode": "", "vmessLink": "" })],
                  expect: [8, "洛杉矶", "🌐", "", "", true] },
                { tag: "none connectable", selected: -1, servers: [server(1, "东京", false), server(2, "香港", false)],
                  expect: null },
                { tag: "empty list", selected: -1, servers: [], expect: null },
                { tag: "already chosen", selected: 5, servers: [server(2, "香港", true)], expect: null }
            ]
        }

        function test_defaultServer(data) {
            chosen.serverId = data.selected
            API.serversLoaded(data.servers)
            if (data.expect === null) {
                compare(defaultSpy.count, 0)
                return
            }
            compare(defaultSpy.count, 1)
            compare(Array.from(defaultSpy.signalArguments[0]), data.expect)
        }

        function test_serverListErrorKeepsTheChosenServer() {
            chosen.serverId = 4
            chosen.name = "东京 01"
            chosen.countryCode = "JP"
            chosen.latency = "12ms"
            API.serversError("网络错误")
            compare(part("serverNameLabel").text, "东京 01")
            compare(part("flagFallbackText").text, "JP")
            verify(part("serverLatencyLabel").visible)
            chosen.name = "首尔 02"
            compare(part("serverNameLabel").text, "首尔 02", "the card still follows the window's server")
            verify(QmlLog.contains("❌ 服务器列表加载失败: 网络错误"))
        }

        function test_statusAndTrial_data() {
            return [
                { tag: "vip", state: { isLoggedIn: true, isVip: true, vipDays: 30, freeMinutes: 0, trialUsed: true },
                  status: true, text: "VIP 30天", trial: false },
                { tag: "vip with 0 days", state: { isLoggedIn: true, isVip: true, vipDays: 0, freeMinutes: 0, trialUsed: false },
                  status: true, text: "VIP 0天", trial: false },
                // No trial minutes run yet: the button offers them, and no line claims them.
                { tag: "trial not used yet", state: { isLoggedIn: true, isVip: false, freeMinutes: 120, trialUsed: false },
                  status: false, trial: true },
                { tag: "trial running", state: { isLoggedIn: true, isVip: false, freeMinutes: 119, trialUsed: true },
                  status: true, text: "免费体验时长剩余 119 分钟", trial: false },
                { tag: "trial used up", state: { isLoggedIn: true, isVip: false, freeMinutes: 0, trialUsed: true },
                  status: false, trial: false },
                { tag: "signed out", state: { isLoggedIn: false, isVip: false, freeMinutes: 120, trialUsed: false },
                  status: true, text: "免费体验时长剩余 120 分钟", trial: false },
                { tag: "signed out with 0", state: { isLoggedIn: false, isVip: false, freeMinutes: 0, trialUsed: false },
                  status: false, trial: false },
                { tag: "negative minutes", state: { isLoggedIn: true, isVip: false, freeMinutes: -5, trialUsed: true },
                  status: false, trial: false }
            ]
        }

        function applyUser(state) {
            screen.userLoggedIn = state.isLoggedIn
            screen.userIsVip = state.isVip
            screen.vipDays = state.vipDays || 0
            screen.freeMinutes = state.freeMinutes
            screen.userTrialUsed = state.trialUsed
        }

        function test_statusAndTrial(data) {
            applyUser(data.state)
            compare(part("statusBox").visible, data.status)
            compare(part("trialButton").visible, data.trial)
            if (data.status)
                compare(part("statusText").text, data.text)
        }

        function test_trialClickWaitsForTheAnswer_data() {
            return [
                { tag: "activated", answer: () => API.trialActivated({ "trialHoursRemaining": 2 }) },
                { tag: "refused", answer: () => API.trialActivationError("体验已使用") }
            ]
        }

        function test_trialClickWaitsForTheAnswer(data) {
            applyUser({ isLoggedIn: true, isVip: false, freeMinutes: 120, trialUsed: false })
            const button = part("trialButton")
            waitForItemPolished(screen)
            mouseClick(button)
            compare(FakeApi.callCount("activateFreeTrial"), 1)
            verify(!button.enabled)
            mouseClick(button)
            compare(FakeApi.callCount("activateFreeTrial"), 1, "a second click while waiting sends nothing")
            data.answer()
            verify(button.enabled)
            mouseClick(button)
            compare(FakeApi.callCount("activateFreeTrial"), 2)
        }

        function test_userBox_data() {
            return [
                { tag: "signed out", loggedIn: false, vip: false, name: "", email: "", initial: "?", line: "未登录",
                  subtitle: "点击登录", badge: false, clickable: true },
                { tag: "free user", loggedIn: true, vip: false, name: "alice", email: "a@x.cn", initial: "A",
                  line: "alice", subtitle: "免费用户", badge: false, clickable: false },
                { tag: "no name", loggedIn: true, vip: false, name: "", email: "bob@x.cn", initial: "U",
                  line: "bob@x.cn", subtitle: "免费用户", badge: false, clickable: false },
                { tag: "vip", loggedIn: true, vip: true, name: "张三", email: "z@x.cn", initial: "张", line: "张三",
                  subtitle: "VIP会员", badge: true, clickable: false },
                { tag: "markup name", loggedIn: true, vip: false, name: "<b>x</b>", email: "", initial: "<",
                  line: "<b>x</b>", subtitle: "免费用户", badge: false, clickable: false },
                { tag: "emoji first", loggedIn: true, vip: false, name: "🚀火箭", email: "", initial: "🚀",
                  line: "🚀火箭", subtitle: "免费用户", badge: false, clickable: false },
                { tag: "rare CJK first", loggedIn: true, vip: false, name: "𠀋先生", email: "", initial: "𠀋",
                  line: "𠀋先生", subtitle: "免费用户", badge: false, clickable: false }
            ]
        }

        function test_userBox(data) {
            screen.userLoggedIn = data.loggedIn
            screen.userIsVip = data.vip
            screen.userName = data.name
            screen.userEmail = data.email
            compare(part("avatarInitial").text, data.initial)
            compare(part("userNameLabel").text, data.line)
            compare(part("userNameLabel").textFormat, Text.PlainText)
            compare(part("userSubtitle").text, data.subtitle)
            compare(part("vipStar").visible, data.badge)
            compare(part("vipBadge").visible, data.badge)
            compare(part("userMouseArea").enabled, data.clickable)
        }

        function test_userBoxHoldsItsContent_data() {
            const longName = "一个特别特别长的用户名字会被省略显示"
            return [
                { tag: "signed out", loggedIn: false, vip: false, name: "", email: "", cut: false },
                { tag: "free user", loggedIn: true, vip: false, name: "演示用户", email: "demo@mirevo.dev", cut: false },
                { tag: "vip", loggedIn: true, vip: true, name: "演示用户", email: "demo@mirevo.dev", cut: false },
                { tag: "vip, latin name", loggedIn: true, vip: true, name: "Alexandra", email: "", cut: false },
                { tag: "vip, e-mail as name", loggedIn: true, vip: true, name: "", email: "vip@mirevo.app",
                  cut: false },
                { tag: "vip, long name", loggedIn: true, vip: true, name: longName, email: "", cut: true },
                { tag: "free user, long name", loggedIn: true, vip: false, name: longName + longName, email: "", cut: true }
            ]
        }

        function test_userBoxHoldsItsContent(data) {
            screen.userLoggedIn = data.loggedIn
            screen.userIsVip = data.vip
            screen.userName = data.name
            screen.userEmail = data.email
            const box = part("userInfoBox")
            waitForItemPolished(part("userRow"))
            verify(box.width >= 160, "the pill is never narrower than its design: " + box.width)
            const icons = part("iconRow")
            verify(box.x + box.width < icons.x, "the pill stays clear of the icons")
            const parts = ["avatar", "userNameLabel", "userSubtitle"]
            if (data.vip && data.loggedIn)
                parts.push("vipStar", "vipBadge")
            for (const name of parts) {
                const item = part(name)
                const left = item.mapToItem(box, 0, 0).x
                verify(left >= 0 && left + item.width <= box.width,
                       name + " from " + left + " to " + (left + item.width) + " in a pill of " + box.width)
            }
            compare(part("userNameLabel").truncated, data.cut)
        }

        function test_connectChecks_data() {
            return [
                { tag: "signed out", loggedIn: false, serverId: -1, link: "", permission: 0, connectResult: true,
                  calls: [], log: "❌ 未登录，无法连接", connecting: false },
                { tag: "no server", loggedIn: true, serverId: -1, link: "", permission: 0, connectResult: true,
                  calls: [], log: "❌ 未选择服务器, selectedServerId: -1", connecting: false },
                { tag: "server 0", loggedIn: true, serverId: 0, link: link, permission: 0, connectResult: true,
                  calls: [], log: "❌ 未选择服务器, selectedServerId: 0", connecting: false },
                { tag: "no link", loggedIn: true, serverId: 5, link: "", permission: 0, connectResult: true,
                  calls: [], log: "❌ VMess链接为空，无法连接", connecting: false },
                { tag: "refused", loggedIn: true, serverId: 5, link: link, permission: 3, connectResult: true,
                  calls: ["checkVpnPermission", "getVpnFailureReasonText"],
                  log: "❌ 权限不足: 此线路为VIP专线，请升级VIP后使用 错误码: 3", connecting: false },
                { tag: "accepted", loggedIn: true, serverId: 5, link: link, permission: 0, connectResult: true,
                  calls: ["checkVpnPermission", "connectVpn"], log: "✅ VPN连接请求已发送，等待连接结果...",
                  connecting: true },
                { tag: "connect returns false", loggedIn: true, serverId: 5, link: link, permission: 0,
                  connectResult: false, calls: ["checkVpnPermission", "connectVpn"], log: "❌ API.connectVpn返回失败",
                  connecting: false }
            ]
        }

        function test_connectChecks(data) {
            FakeApi.setState({ "isLoggedIn": data.loggedIn })
            FakeApi.permissionResult = data.permission
            FakeApi.connectResult = data.connectResult
            chosen.serverId = data.serverId
            chosen.vmessLink = data.link
            chosen.requiresVip = true
            FakeApi.clearCalls()
            QmlLog.clear()
            mouseClick(part("connectBtn"))
            compare(FakeApi.callNames, data.calls)
            if (data.calls.indexOf("checkVpnPermission") >= 0)
                compare(FakeApi.lastArgs("checkVpnPermission"), [data.serverId, true])
            if (data.calls.indexOf("connectVpn") >= 0)
                compare(FakeApi.lastArgs("connectVpn"), [data.serverId, data.link, true])
            verify(QmlLog.contains(data.log), data.log)
            compare(part("connectBtn").connecting, data.connecting)
            verify(!QmlLog.contains("secret-payload"), "the link reached the log")
        }

        function test_connectingDuringTheCallAndFailureInsideIt() {
            FakeApi.setState({ "isLoggedIn": true })
            chosen.serverId = 5
            chosen.vmessLink = link
            const button = part("connectBtn")
            let busyDuringCall = false
            const failInside = (name, args) => {
                if (name !== "connectVpn")
                    return
                busyDuringCall = button.connecting
                API.vpnConnectionFailed(10, "网络连接失败，请检查网络设置")
            }
            FakeApi.invoked.connect(failInside)
            mouseClick(button)
            FakeApi.invoked.disconnect(failInside)
            verify(busyDuringCall, "connecting is set before connectVpn is called")
            verify(!button.connecting, "a failure reported inside the call is not overwritten")
            verify(!button.connected)
        }

        function test_disconnectRequest() {
            API.vpnConnected()
            FakeApi.clearCalls()
            compare(part("connectionStateLabel").text, "已连接")
            verify(!part("connectHint").visible)
            mouseClick(part("connectBtn"))
            compare(FakeApi.callNames, ["disconnectVpn"])
            verify(part("connectBtn").connected, "the button stays connected until API says otherwise")
            API.vpnDisconnected()
            compare(part("connectionStateLabel").text, "未连接")
            verify(part("connectHint").visible)
        }

        function tab(mode) {
            const tabs = part("modeTabs")
            return tabs.itemAt(mode)
        }

        // Hidden or minimised, the speed labels ask for no frame; the next show brings the current speeds.
        function test_offScreenSpeeds_data() {
            return [
                { tag: "hidden", away: "hide", visibility: Window.Hidden },
                { tag: "minimised", away: "showMinimized", visibility: Window.Minimized }
            ]
        }

        function test_offScreenSpeeds(data) {
            const window = root.Window.window
            const labels = () => [part("uploadSpeedLabel").text, part("downloadSpeedLabel").text]
            testCase.screen.uploadSpeed = "1.0 KB/s"
            testCase.screen.downloadSpeed = "2.0 KB/s"
            compare(labels(), ["1.0 KB/s", "2.0 KB/s"])
            window[data.away]()
            tryCompare(window, "visibility", data.visibility)
            testCase.screen.uploadSpeed = "3.0 KB/s"
            testCase.screen.downloadSpeed = "4.00 MB/s"
            compare(labels(), ["1.0 KB/s", "2.0 KB/s"], "the hidden labels follow the speeds")
            window.showNormal()
            tryCompare(window, "visibility", Window.Windowed)
            compare(labels(), ["3.0 KB/s", "4.00 MB/s"])
        }

        function test_modeTabs() {
            compare(screen.currentMode, 1)
            compare(FakeApi.callCount("setRoutingMode"), 0, "nothing is sent at start")
            compare(findChild(tab(1), "modeIndicator").opacity, 0.15)
            compare(findChild(tab(0), "modeIndicator").opacity, 0)
            verify(findChild(tab(1), "modeLabel").font.bold)
            verify(!findChild(tab(0), "modeLabel").font.bold)

            mouseClick(tab(0))
            compare(screen.currentMode, 0)
            compare(FakeApi.lastArgs("setRoutingMode"), [0])
            verify(findChild(tab(0), "modeLabel").font.bold)
            verify(Qt.colorEqual(findChild(tab(0), "modeLabel").color, Constants.primaryFree))
            tryCompare(findChild(tab(0), "modeIndicator"), "opacity", 0.15)
            tryCompare(findChild(tab(1), "modeIndicator"), "opacity", 0)

            mouseClick(tab(0))
            compare(FakeApi.callCount("setRoutingMode"), 2, "the selected tab sends its mode again")
            mouseClick(tab(1))
            compare(screen.currentMode, 1)
            compare(FakeApi.lastArgs("setRoutingMode"), [1])
        }

        function test_serverCard_data() {
            return [
                { tag: "nothing chosen", code: "", latency: "", image: false, fallback: "🌐", size: 20,
                  latencyShown: false, source: "" },
                { tag: "a known code in any case shows its flag", code: "Jp", latency: "", image: true,
                  latencyShown: false, source: "resources/flags/jp.png" },
                { tag: "a blank latency shows the line", code: "US", latency: " ", image: true,
                  latencyShown: true, source: "resources/flags/us.png" },
                { tag: "an unknown code shown as it came", code: "Zz", latency: "", image: false, fallback: "Zz",
                  size: 14, latencyShown: false, source: "" }
            ]
        }

        function test_serverCard(data) {
            chosen.countryCode = data.code
            chosen.latency = data.latency
            const image = part("flagImage")
            if (data.source === "")
                compare(image.source.toString(), "")
            else
                verify(image.source.toString().endsWith(data.source), image.source)
            if (data.image) {
                tryCompare(image, "status", Image.Ready)
                compare([image.paintedWidth, image.paintedHeight], [28, 21])
                verify(!part("flagFallback").visible)
            } else {
                verify(part("flagFallback").visible)
                compare(part("flagFallbackText").text, data.fallback)
                compare(part("flagFallbackText").font.pixelSize, data.size)
            }
            compare(part("serverLatencyLabel").visible, data.latencyShown)
            wait(0) // a failed load reports itself from the event loop
            compare(QmlLog.linesContaining("Cannot open"), [])
        }

        function test_clickAreas_data() {
            return [
                { tag: "server card", alias: "selectServerArea", item: "serverCard", x: 300, y: 30 },
                { tag: "server card flag box", alias: "selectServerArea", item: "serverCard", x: 35, y: 32 },
                { tag: "vip card", alias: "vipArea", item: "vipCard", x: 200, y: 32 },
                { tag: "signed-out user box", alias: "loginArea", item: "userInfoBox", x: 80, y: 22 },
                { tag: "announcement icon", alias: "announcementArea", item: "announcementMouseArea", x: 12, y: 12 },
                { tag: "settings icon", alias: "settingsArea", item: "settingsMouseArea", x: 12, y: 12 }
            ]
        }

        function test_clickAreas(data) {
            const spy = createTemporaryQmlObject("import QtTest; SignalSpy { signalName: \"clicked\" }", testCase)
            spy.target = screen[data.alias]
            mouseClick(part(data.item), data.x, data.y)
            compare(spy.count, 1)
        }

        function test_textsFromTheServiceArePlain() {
            chosen.name = "<i>东京</i>"
            compare(part("serverNameLabel").text, "<i>东京</i>")
            compare(part("serverNameLabel").textFormat, Text.PlainText)
        }
    }
}
