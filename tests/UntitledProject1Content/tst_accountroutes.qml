import QtQuick
import QtTest
import UntitledProject1Content

// The window's routes to and from the sign-in, registration, settings and about pages.
Item {
    id: root
    width: 430
    height: 880

    Component {
        id: appComponent
        App {}
    }

    Component {
        id: standInPage
        Rectangle {
            objectName: "standInPage"
            color: "black"
        }
    }

    TestCase {
        id: testCase
        name: "AccountRoutes"
        when: windowShown

        property var app: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            testCase.app = createTemporaryObject(appComponent, root, { "splashDuration": 10 })
            verify(testCase.app)
            // The fades only cost time here; the test that needs one turns them back on.
            testCase.fades = {}
            for (const name of testCase.transitions) {
                testCase.fades[name] = stack()[name]
                stack()[name] = null
            }
            tryVerify(() => stack().currentItem && stack().currentItem.objectName === "mainScreenWrapper", 3000)
            settle()
        }

        readonly property var transitions: ["pushEnter", "pushExit", "popEnter", "popExit", "replaceEnter",
                                            "replaceExit"]
        property var fades: ({})

        function restoreFades() {
            for (const name of testCase.transitions)
                stack()[name] = testCase.fades[name]
        }

        function stack() {
            return findChild(testCase.app.contentItem, "stackView")
        }

        function settle() {
            tryCompare(stack(), "busy", false)
        }

        function shownPage() {
            return stack().currentItem
        }

        function pageNames() {
            const names = []
            for (let i = 0; i < stack().depth; ++i)
                names.push(stack().get(i).objectName)
            return names
        }

        function clickIn(item, name) {
            const target = findChild(item, name)
            verify(target, name)
            mouseClick(target)
            settle()
        }

        function back() {
            // The window's back square over the top-left corner of the page.
            mouseClick(shownPage(), 45, 45)
            settle()
        }

        function openSettings() {
            clickIn(shownPage(), "settingsMouseArea")
            compare(shownPage().objectName, "settingsPage")
        }

        function openSignInFrom(origin) {
            if (origin === "settings") {
                openSettings()
                clickIn(shownPage(), "userCardMouseArea")
            } else {
                clickIn(shownPage(), "userMouseArea")
            }
            compare(shownPage().objectName, "loginPage")
        }

        function test_backFromEachPage_data() {
            return [
                { tag: "sign-in", path: ["userMouseArea"], pages: ["mainScreenWrapper", "loginPage"],
                  pushLog: "点击用户信息，跳转到登录界面", log: "返回主界面" },
                { tag: "registration", path: ["userMouseArea", "registerLinkArea"],
                  pages: ["mainScreenWrapper", "loginPage", "registerPage"], pushLog: "跳转到注册界面",
                  log: "返回登录界面" },
                { tag: "settings", path: ["settingsMouseArea"], pages: ["mainScreenWrapper", "settingsPage"],
                  pushLog: "点击设置图标，跳转到设置界面", log: "返回主界面" },
                { tag: "about", path: ["settingsMouseArea", "aboutUsMouseArea"],
                  pages: ["mainScreenWrapper", "settingsPage", "aboutUsPage"], pushLog: "跳转到关于我们",
                  log: "返回设置界面" },
                { tag: "sign-in from settings", path: ["settingsMouseArea", "userCardMouseArea"],
                  pages: ["mainScreenWrapper", "settingsPage", "loginPage"], pushLog: "📱 从设置页面跳转到登录界面",
                  log: "返回主界面" }
            ]
        }

        function test_backFromEachPage(data) {
            for (const area of data.path)
                clickIn(shownPage(), area)
            compare(pageNames(), data.pages)
            verify(QmlLog.contains(data.pushLog), data.pushLog)
            QmlLog.clear()
            back()
            verify(QmlLog.contains(data.log), data.log)
            compare(pageNames(), data.pages.slice(0, data.pages.length - 1))
        }

        function test_doubleTapOnBackLeavesOnePage() {
            restoreFades()
            clickIn(shownPage(), "settingsMouseArea")
            settle()
            clickIn(shownPage(), "aboutUsMouseArea")
            settle()
            compare(pageNames(), ["mainScreenWrapper", "settingsPage", "aboutUsPage"])
            const leaving = shownPage()
            mouseClick(leaving, 45, 45)
            verify(stack().busy, "the about page fades out")
            mouseClick(leaving, 45, 45)
            settle()
            compare(pageNames(), ["mainScreenWrapper", "settingsPage"])
        }

        function test_settingsRowsOfOtherPages_data() {
            return [
                { tag: "orders", area: "myOrdersMouseArea", page: "myOrdersPage", log: "跳转到我的订单" },
                { tag: "announcements", area: "announcementMouseArea", page: "announcementPage", log: "跳转到公告系统" },
                { tag: "vip", area: "vipUpgradeMouseArea", page: "vipPage", log: "👑 从设置页面跳转到VIP界面" }
            ]
        }

        function test_settingsRowsOfOtherPages(data) {
            app[data.page] = standInPage
            openSettings()
            clickIn(shownPage(), data.area)
            verify(QmlLog.contains(data.log), data.log)
            compare(pageNames(), ["mainScreenWrapper", "settingsPage", "standInPage"])
        }

        function test_signInReturnsToItsOrigin_data() {
            return [
                { tag: "from the main screen", origin: "main", pages: ["mainScreenWrapper"] },
                { tag: "from settings", origin: "settings", pages: ["mainScreenWrapper", "settingsPage"] }
            ]
        }

        function test_signInReturnsToItsOrigin(data) {
            restoreFades()
            openSignInFrom(data.origin)
            findChild(shownPage(), "usernameField").text = "demo@mirevo.app"
            findChild(shownPage(), "passwordField").text = "secret1"
            clickIn(shownPage(), "loginButton")
            compare(FakeApi.lastArgs("login"), ["demo@mirevo.app", "secret1"])
            FakeApi.setState({ isLoggedIn: true, userEmail: "demo@mirevo.app", userName: "demo" })
            API.loginSuccess()
            API.loginStateChanged(true)
            verify(stack().busy, "the sign-in page fades out")
            // A second success while the page fades out pops nothing more.
            API.loginSuccess()
            settle()
            verify(QmlLog.contains("登录成功，返回上一页"))
            compare(pageNames(), data.pages)
            if (data.origin === "settings")
                compare(findChild(shownPage(), "nameLabel").text, "demo")
            else
                compare(findChild(shownPage(), "userNameLabel").text, "demo")
        }

        function test_registrationReturnsToTheOriginOfTheSignIn_data() {
            return test_signInReturnsToItsOrigin_data()
        }

        function test_registrationReturnsToTheOriginOfTheSignIn(data) {
            openSignInFrom(data.origin)
            clickIn(shownPage(), "registerLinkArea")
            compare(shownPage().objectName, "registerPage")
            findChild(shownPage(), "emailField").text = "new@mirevo.app"
            findChild(shownPage(), "passwordField").text = "secret1"
            findChild(shownPage(), "confirmField").text = "secret1"
            clickIn(shownPage(), "registerButton")
            compare(FakeApi.lastArgs("registerUser"), ["new@mirevo.app", "secret1", "new", ""])
            FakeApi.setState({ isLoggedIn: true, userEmail: "new@mirevo.app", userName: "new" })
            API.loginSuccess()
            API.loginStateChanged(true)
            settle()
            compare(pageNames(), data.pages, "both the registration and the sign-in leave")
        }

        function test_refusedRegistrationStays() {
            openSignInFrom("main")
            // A sign-in is still under way when the user goes on to register.
            const signIn = shownPage()
            findChild(signIn, "usernameField").text = "demo@mirevo.app"
            findChild(signIn, "passwordField").text = "secret1"
            clickIn(signIn, "loginButton")
            compare(FakeApi.callCount("login"), 1)
            clickIn(signIn, "registerLinkArea")
            const register = shownPage()
            findChild(register, "emailField").text = "taken@mirevo.app"
            findChild(register, "passwordField").text = "secret1"
            findChild(register, "confirmField").text = "secret1"
            clickIn(register, "registerButton")
            API.registrationError("该邮箱已被注册")
            settle()
            compare(pageNames(), ["mainScreenWrapper", "loginPage", "registerPage"])
            compare(findChild(register, "errorLabel").text, "该邮箱已被注册")
            clickIn(register, "loginLinkArea")
            verify(QmlLog.contains("返回登录界面"))
            compare(pageNames(), ["mainScreenWrapper", "loginPage"])
            verify(!findChild(shownPage(), "errorLabel").visible, "the registration's refusal is not the sign-in's")
        }

        function test_signOutKeepsTheSettingsPage() {
            FakeApi.setState({ isLoggedIn: true, userEmail: "demo@mirevo.app", userName: "demo" })
            openSettings()
            clickIn(shownPage(), "logoutRow")
            compare(FakeApi.callCount("logout"), 1)
            FakeApi.setState({ isLoggedIn: false, userEmail: "", userName: "" })
            settle()
            compare(pageNames(), ["mainScreenWrapper", "settingsPage"])
            compare(findChild(shownPage(), "nameLabel").text, "未登录")
        }
    }
}
