import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    Component {
        id: wrapperComponent
        SettingsScreenWrapper {
            width: 430
            height: 880
        }
    }

    SignalSpy {
        id: navigationSpy
    }

    TestCase {
        id: testCase
        name: "SettingsScreen"
        when: windowShown

        readonly property var signedOut: ({ isLoggedIn: false, userEmail: "", userName: "", isVip: false, vipDays: 0 })
        readonly property var freeUser: ({ isLoggedIn: true, userEmail: "free@mirevo.app", userName: "free",
                                           isVip: false, vipDays: 0 })
        readonly property var vipUser: ({ isLoggedIn: true, userEmail: "vip@mirevo.app", userName: "alice",
                                          isVip: true, vipDays: 30 })
        property var wrapper: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            navigationSpy.clear()
        }

        function open(state) {
            FakeApi.setState(state)
            FakeApi.clearCalls()
            testCase.wrapper = createTemporaryObject(wrapperComponent, root)
            verify(testCase.wrapper)
            return testCase.wrapper
        }

        function part(name) {
            return findChild(testCase.wrapper, name)
        }

        function sameColor(actual, expected, message) {
            verify(Qt.colorEqual(actual, expected), message + ": " + actual + " is not " + expected)
        }

        // What the card, the VIP row and the row list show, as one record to compare.
        function shown() {
            waitForItemPolished(part("settingsList"))
            return {
                initial: part("avatarInitial").text,
                name: part("nameLabel").text,
                star: part("vipStar").visible,
                email: part("emailLabel").visible ? part("emailLabel").text : null,
                status: part("statusLabel").text,
                chevron: part("cardChevron").visible,
                cardClickable: part("userCardMouseArea").enabled,
                vipTitle: part("vipUpgradeTitle").text,
                vipSubtitle: part("vipUpgradeSubtitle").text,
                logout: part("logoutRow").visible
            }
        }

        function test_showsTheAccount_data() {
            return [
                { tag: "signed out", state: testCase.signedOut, avatar: Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.1),
                  initialColor: Constants.primaryFree, statusColor: Constants.textSecondary,
                  shown: { initial: "?", name: "未登录", star: false, email: null, status: "点击登录", chevron: true,
                           cardClickable: true, vipTitle: "升级 VIP 会员", vipSubtitle: "解锁所有高级功能", logout: false } },
                { tag: "free user", state: testCase.freeUser, avatar: Qt.rgba(0, 1, 217 / 255, 0.1),
                  initialColor: Constants.primaryFree, statusColor: Constants.textSecondary,
                  shown: { initial: "F", name: "free", star: false, email: "free@mirevo.app", status: "免费用户",
                           chevron: false, cardClickable: false, vipTitle: "升级 VIP 会员", vipSubtitle: "解锁所有高级功能",
                           logout: true } },
                { tag: "vip user", state: testCase.vipUser, avatar: Qt.rgba(1, 215 / 255, 0, 0.2),
                  initialColor: Constants.colorVip, statusColor: Constants.colorVip,
                  shown: { initial: "A", name: "alice", star: true, email: "vip@mirevo.app", status: "VIP会员 · 剩余30天",
                           chevron: false, cardClickable: false, vipTitle: "VIP会员 剩余30天", vipSubtitle: "感谢您的支持",
                           logout: true } },
                { tag: "vip with one day", state: { isLoggedIn: true, userEmail: "v@x.cn", userName: "", isVip: true,
                                                    vipDays: 1 },
                  avatar: Qt.rgba(1, 215 / 255, 0, 0.2), initialColor: Constants.colorVip, statusColor: Constants.colorVip,
                  shown: { initial: "U", name: "v@x.cn", star: true, email: "v@x.cn", status: "VIP会员 · 剩余1天",
                           chevron: false, cardClickable: false, vipTitle: "VIP会员 剩余1天", vipSubtitle: "感谢您的支持",
                           logout: true } }
            ]
        }

        function test_showsTheAccount(data) {
            open(data.state)
            compare(shown(), data.shown)
            sameColor(part("avatar").color, data.avatar, "avatar fill")
            sameColor(part("avatarInitial").color, data.initialColor, "initial")
            sameColor(part("statusLabel").color, data.statusColor, "status line")
            verify(QmlLog.contains("📱 设置界面加载，初始化用户信息"))
        }

        function test_initialIsTheFirstCharacter_data() {
            return [
                { tag: "lower-case latin", name: "bob", initial: "B" },
                { tag: "chinese", name: "张三", initial: "张" },
                { tag: "emoji", name: "😀开心", initial: "😀" },
                { tag: "rare cjk beyond the basic plane", name: "𠀋先生", initial: "𠀋" },
                { tag: "empty name", name: "", initial: "U" },
                { tag: "markup", name: "<b>x</b>", initial: "<" }
            ]
        }

        function test_initialIsTheFirstCharacter(data) {
            open({ isLoggedIn: true, userEmail: "user@mirevo.app", userName: data.name, isVip: false, vipDays: 0 })
            compare(part("avatarInitial").text, data.initial)
            compare(part("avatarInitial").textFormat, Text.PlainText)
        }

        function test_serviceTextsArePlain_data() {
            return [
                { tag: "name", name: "<b>Bold</b> &amp; <font color='red'>red</font>", email: "a@x.cn", label: "nameLabel" },
                { tag: "e-mail", name: "n", email: "<i>x</i>@x.cn", label: "emailLabel" }
            ]
        }

        function test_serviceTextsArePlain(data) {
            open({ isLoggedIn: true, userEmail: data.email, userName: data.name, isVip: false, vipDays: 0 })
            const label = part(data.label)
            compare(label.textFormat, Text.PlainText)
            compare(label.text, data.label === "nameLabel" ? data.name : data.email)
        }

        function test_valuesChangeOnlyThroughTheSignals() {
            open(testCase.freeUser)
            // Silent changes of API do not reach the page: its start ended the bindings.
            FakeApi.setState(testCase.vipUser, false)
            compare(part("nameLabel").text, "free")
            compare(part("vipUpgradeTitle").text, "升级 VIP 会员")
            API.userInfoChanged()
            compare(part("nameLabel").text, "alice")
            compare(part("vipUpgradeTitle").text, "VIP会员 剩余30天")
            verify(QmlLog.contains("✅ 设置界面：用户信息已更新"))
        }

        function test_loginStateChangedAlone() {
            open(testCase.vipUser)
            FakeApi.setState(testCase.signedOut, false)
            API.loginStateChanged(false)
            const s = shown()
            compare([s.initial, s.name, s.status, s.star, s.email, s.chevron, s.cardClickable, s.logout],
                    ["?", "未登录", "点击登录", false, null, true, true, false])
            // The VIP values stay until the next user-info change.
            sameColor(part("avatarInitial").color, Constants.colorVip, "initial")
            sameColor(part("statusLabel").color, Constants.colorVip, "status line")
            compare(s.vipTitle, "VIP会员 剩余30天")
            verify(QmlLog.contains("设置界面：登录状态变更: false"))
            API.userInfoChanged()
            compare(part("vipUpgradeTitle").text, "升级 VIP 会员")
            sameColor(part("statusLabel").color, Constants.textSecondary, "status line after the change")
        }

        function test_signInTakesEverythingButTheDays() {
            open(testCase.signedOut)
            FakeApi.setState(testCase.vipUser, false)
            API.loginStateChanged(true)
            compare([part("nameLabel").text, part("emailLabel").text, part("vipStar").visible],
                    ["alice", "vip@mirevo.app", true])
            compare(part("statusLabel").text, "VIP会员 · 剩余0天", "the days come with userInfoChanged")
            API.userInfoChanged()
            compare(part("statusLabel").text, "VIP会员 · 剩余30天")
        }

        function test_rowList_data() {
            return [
                { tag: "signed out", state: testCase.signedOut,
                  rows: ["vipUpgradeRow", "appSettingsRow", "myOrdersRow", "announcementRow", "privacyRow", "aboutUsRow"] },
                { tag: "signed in", state: testCase.freeUser,
                  rows: ["vipUpgradeRow", "appSettingsRow", "myOrdersRow", "announcementRow", "privacyRow", "aboutUsRow",
                         "logoutRow"] }
            ]
        }

        function test_rowList(data) {
            open(data.state)
            const list = part("settingsList")
            waitForItemPolished(list)
            const visibleRows = []
            let bottom = 0
            for (let i = 0; i < list.children.length; ++i) {
                const row = list.children[i]
                if (!row.visible)
                    continue
                visibleRows.push(row.objectName)
                verify(row.y >= bottom, row.objectName + " overlaps the row above")
                bottom = row.y + row.height
            }
            compare(visibleRows, data.rows)
            compare(list.height, bottom, "a hidden row takes no room")
            const column = part("contentColumn")
            compare([column.x, column.width], [20, 390])
            compare(list.mapToItem(testCase.wrapper, 0, 0).y, 182)
        }

        // Icons differ in width from font to font; the titles beside them start in one column all the same.
        function test_rowTitlesInOneColumn() {
            open(testCase.signedOut)
            waitForItemPolished(part("settingsList"))
            const titles = { "vipUpgradeRow": part("vipUpgradeTitle") }
            for (const row of ["appSettingsRow", "myOrdersRow", "announcementRow", "privacyRow", "aboutUsRow"])
                titles[row] = findChild(part(row), "rowTitle")
            const columns = {}
            for (const row in titles)
                columns[row] = titles[row].mapToItem(testCase.wrapper, 0, 0).x
            for (const row in columns)
                compare(columns[row], columns["vipUpgradeRow"], row + " " + JSON.stringify(columns))
        }

        function test_rowSignals_data() {
            return [
                { tag: "vip", area: "vipUpgradeMouseArea", signal: "vipClicked", log: "👑 点击升级VIP会员" },
                { tag: "orders", area: "myOrdersMouseArea", signal: "myOrdersClicked", log: "点击我的订单" },
                { tag: "announcements", area: "announcementMouseArea", signal: "announcementClicked", log: "点击公告系统" },
                { tag: "about", area: "aboutUsMouseArea", signal: "aboutUsClicked", log: "点击关于我们" },
                { tag: "card while signed out", area: "userCardMouseArea", signal: "loginClicked",
                  log: "📱 SettingsWrapper收到登录跳转信号" }
            ]
        }

        function test_rowSignals(data) {
            open(testCase.signedOut)
            const names = ["vipClicked", "myOrdersClicked", "announcementClicked", "aboutUsClicked", "loginClicked"]
            const counts = {}
            for (const name of names) {
                counts[name] = 0
                testCase.wrapper[name].connect(() => counts[name]++)
            }
            mouseClick(part(data.area))
            for (const name of names)
                compare(counts[name], name === data.signal ? 1 : 0, name)
            verify(QmlLog.contains(data.log), data.log)
            compare(FakeApi.calls.length, 0)
        }

        function test_clicksThatDoNothing_data() {
            return [
                { tag: "app settings", state: testCase.signedOut, area: "appSettingsMouseArea" },
                { tag: "privacy", state: testCase.signedOut, area: "privacyMouseArea" },
                { tag: "card while signed in", state: testCase.freeUser, area: "userCardMouseArea" }
            ]
        }

        function test_clicksThatDoNothing(data) {
            open(data.state)
            navigationSpy.target = testCase.wrapper
            navigationSpy.signalName = "loginClicked"
            QmlLog.clear()
            const area = part(data.area)
            mouseClick(area.parent)
            compare(navigationSpy.count, 0)
            compare(QmlLog.lines.length, 0, QmlLog.lines.join("\n"))
            compare(FakeApi.calls.length, 0)
        }

        function test_signOutRow() {
            open(testCase.freeUser)
            const row = part("logoutRow")
            compare(row.height, 50)
            const content = part("logoutContent")
            fuzzyCompare(content.x + content.width / 2, row.width / 2, 1)
            mouseClick(row)
            compare(FakeApi.callNames, ["logout"])
            verify(QmlLog.indexOf("🔴 用户点击退出登录") >= 0
                   && QmlLog.indexOf("🔴 SettingsWrapper收到退出登录信号") > QmlLog.indexOf("🔴 用户点击退出登录"))
            // Until the sign-out completes the row stays; a second click asks again.
            verify(row.visible)
            mouseClick(row)
            compare(FakeApi.callCount("logout"), 2)
            // The completed sign-out, as the facade reports it.
            FakeApi.setState(testCase.signedOut, false)
            API.loginStateChanged(false)
            API.userInfoChanged()
            API.loginStateChanged(false)
            compare(shown(), { initial: "?", name: "未登录", star: false, email: null, status: "点击登录", chevron: true,
                               cardClickable: true, vipTitle: "升级 VIP 会员", vipSubtitle: "解锁所有高级功能",
                               logout: false })
        }
    }
}
