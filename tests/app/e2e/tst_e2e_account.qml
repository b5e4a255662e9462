import QtQuick
import QtTest
import UntitledProject1Content

// Signing in, signing out and registering through the screens, with the real API against the
// development service.
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
        name: "AccountEndToEnd"
        when: windowShown

        property var app: null

        // Every case starts alike, whatever ran before it: signed out, the service in its seeded state,
        // a fresh window on its main screen.
        function init() {
            signOut()
            Dev.reset()
            testCase.app = appComponent.createObject(root, { "splashDuration": 10 })
            verify(testCase.app)
            tryVerify(() => shownPage() && shownPage().objectName === "mainScreenWrapper", 5000)
            settle()
        }

        function cleanup() {
            if (testCase.app)
                testCase.app.destroy()
            testCase.app = null
            // Leave no stored sign-in behind for the next case or a repeated run in the same sandbox.
            signOut()
        }

        function signOut() {
            if (!API.isLoggedIn)
                return
            API.logout()
            tryCompare(API, "isLoggedIn", false, 5000)
        }

        function signInDirectly() {
            loginSpy.clear()
            API.login(Dev.demoEmail, Dev.demoPassword)
            loginSpy.wait(5000)
            verify(API.isLoggedIn)
        }

        function stack() {
            return findChild(testCase.app.contentItem, "stackView")
        }

        function shownPage() {
            return stack().currentItem
        }

        function settle() {
            tryCompare(stack(), "busy", false, 3000)
        }

        function pageNames() {
            const names = []
            for (let i = 0; i < stack().depth; ++i)
                names.push(stack().get(i).objectName)
            return names
        }

        function clickIn(name) {
            const target = findChild(shownPage(), name)
            verify(target, name)
            mouseClick(target)
            settle()
        }

        function type(name, text) {
            const field = findChild(shownPage(), name)
            verify(field, name)
            field.forceActiveFocus()
            field.selectAll()
            keySequence(StandardKey.Delete)
            for (const c of text)
                keyClick(c)
            compare(field.text, text)
        }

        function shownName(email) {
            return API.userName.length > 0 ? API.userName : email
        }

        function test_signInFromTheMainScreen() {
            verify(!API.isLoggedIn)
            clickIn("userMouseArea")
            compare(pageNames(), ["mainScreenWrapper", "loginPage"])
            type("usernameField", Dev.demoEmail)
            type("passwordField", Dev.demoPassword)
            clickIn("loginButton")
            tryCompare(API, "isLoggedIn", true, 5000)
            tryVerify(() => pageNames().length === 1, 5000)
            settle()
            compare(pageNames(), ["mainScreenWrapper"])
            compare(Dev.requests("auth/login").length, 1)
            compare(findChild(shownPage(), "userNameLabel").text, shownName(Dev.demoEmail))
            // The list the main screen asked for while signed out was refused; signed in, it has a
            // server to connect to without a visit to the server list.
            tryVerify(() => testCase.app.currentServerId > 0, 5000, "a server chosen after signing in")
        }

        function test_signOutFromSettings() {
            signInDirectly()
            clickIn("settingsMouseArea")
            compare(findChild(shownPage(), "nameLabel").text, shownName(Dev.demoEmail))
            compare(findChild(shownPage(), "emailLabel").text, Dev.demoEmail)
            clickIn("logoutRow")
            tryCompare(API, "isLoggedIn", false, 5000)
            tryCompare(findChild(shownPage(), "nameLabel"), "text", "未登录")
            compare(findChild(shownPage(), "statusLabel").text, "点击登录")
            verify(!findChild(shownPage(), "logoutRow").visible)
            compare(pageNames(), ["mainScreenWrapper", "settingsPage"], "the settings page stays after the sign-out")
            verify(Dev.requests("auth/logout").length >= 1)
        }

        function test_registerThroughTheForm() {
            verify(!API.isLoggedIn)
            clickIn("settingsMouseArea")
            compare(pageNames(), ["mainScreenWrapper", "settingsPage"])
            clickIn("userCardMouseArea")
            clickIn("registerLinkArea")
            compare(pageNames(), ["mainScreenWrapper", "settingsPage", "loginPage", "registerPage"])

            // The service refuses an address it knows; the refusal is shown and nothing moves.
            type("emailField", Dev.demoEmail)
            type("passwordField", "secret12")
            type("confirmField", "secret12")
            clickIn("registerButton")
            const error = findChild(shownPage(), "errorLabel")
            tryVerify(() => error.visible, 5000)
            compare(error.text, "该邮箱已被注册")
            verify(findChild(shownPage(), "registerButton").enabled)
            compare(pageNames(), ["mainScreenWrapper", "settingsPage", "loginPage", "registerPage"])
            verify(!API.isLoggedIn)

            const email = "e2e.newcomer@mirevo.dev"
            type("emailField", email)
            clickIn("registerButton")
            tryCompare(API, "isLoggedIn", true, 5000)
            tryVerify(() => pageNames().length === 2, 5000)
            settle()
            compare(pageNames(), ["mainScreenWrapper", "settingsPage"], "both the registration and the sign-in leave")
            compare(API.userEmail, email)
            compare(API.userName, "e2e.newcomer")
            const sent = Dev.requests("auth/register")
            compare(sent.length, 2)
            const body = JSON.parse(sent[1].body)
            compare([body.email, body.name, body.password], [email, "e2e.newcomer", "secret12"])
            tryCompare(findChild(shownPage(), "nameLabel"), "text", "e2e.newcomer")
            compare(findChild(shownPage(), "statusLabel").text, "免费用户")
            verify(findChild(shownPage(), "logoutRow").visible)
        }
    }
}
