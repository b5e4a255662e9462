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
        LoginScreenWrapper {
            width: 430
            height: 880
        }
    }

    SignalSpy {
        id: successSpy
        signalName: "loginSuccess"
    }
    SignalSpy {
        id: registerSpy
        signalName: "registerClicked"
    }

    TestCase {
        id: testCase
        name: "LoginScreen"
        when: windowShown

        property var wrapper: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            testCase.wrapper = createTemporaryObject(wrapperComponent, root)
            successSpy.target = testCase.wrapper
            successSpy.clear()
            registerSpy.target = testCase.wrapper
            registerSpy.clear()
        }

        function part(name) {
            return findChild(testCase.wrapper, name)
        }

        function fill(username, password) {
            part("usernameField").text = username
            part("passwordField").text = password
        }

        function pressSignIn() {
            mouseClick(part("loginButton"))
        }

        function test_signInSendsTheTextsAsTyped_data() {
            return [
                { tag: "both empty", username: "", password: "" },
                { tag: "blanks kept", username: "  demo@mirevo.app ", password: " pa ss " },
                { tag: "user name", username: "张三", password: "密码123456" }
            ]
        }

        function test_signInSendsTheTextsAsTyped(data) {
            fill(data.username, data.password)
            pressSignIn()
            compare(FakeApi.callCount("login"), 1)
            compare(FakeApi.lastArgs("login"), [data.username, data.password])
            verify(QmlLog.contains("尝试登录用户: " + data.username), QmlLog.lines.join("\n"))
            if (data.password.trim().length > 0)
                verify(!QmlLog.contains(data.password), "the password reached the log")
        }

        function test_buttonTakesNoSecondPressUntilTheAnswer_data() {
            return [
                { tag: "refused", success: false },
                { tag: "accepted", success: true }
            ]
        }

        function test_buttonTakesNoSecondPressUntilTheAnswer(data) {
            fill("demo@mirevo.app", "secret1")
            pressSignIn()
            verify(!part("loginButton").enabled)
            pressSignIn()
            pressSignIn()
            compare(FakeApi.callCount("login"), 1, "a second press sent a second sign-in")
            if (data.success)
                API.loginSuccess()
            else
                API.loginError("密码错误")
            verify(part("loginButton").enabled)
            compare(successSpy.count, data.success ? 1 : 0)
        }

        function test_successIsReportedOnce() {
            fill("demo@mirevo.app", "secret1")
            pressSignIn()
            API.loginSuccess()
            // A second success (a stale answer, or a registration's) must not pop a second screen.
            API.loginSuccess()
            compare(successSpy.count, 1)
            verify(QmlLog.indexOf("登录成功") >= 0)
        }

        function test_refusalShownUnderTheForm_data() {
            return [
                { tag: "service text", message: "邮箱或密码错误" },
                { tag: "markup stays text", message: "<b>账号</b> 已停用 <a href='x'>详情</a>" },
                { tag: "invalid reply", message: "响应数据无效" }
            ]
        }

        function test_refusalShownUnderTheForm(data) {
            const error = part("errorLabel")
            verify(!error.visible)
            fill("demo@mirevo.app", "wrong-pass")
            pressSignIn()
            API.loginError(data.message)
            verify(error.visible)
            compare(error.text, data.message)
            compare(error.textFormat, Text.PlainText)
            compare(error.color, Constants.colorError)
            waitForItemPolished(part("formColumn"))
            verify(error.y > part("loginButton").y, "the error line is under the button")
            compare(part("usernameField").text, "demo@mirevo.app")
            compare(part("passwordField").text, "wrong-pass")
            verify(QmlLog.contains("登录失败: " + data.message))
            compare(successSpy.count, 0)

            // The next attempt clears the line.
            pressSignIn()
            verify(!error.visible)
            compare(error.text, "")
            compare(FakeApi.callCount("login"), 2)
        }

        function test_refusalOfARegistrationIsNotShownHere_data() {
            return [
                { tag: "no sign-in under way", signingIn: false },
                { tag: "sign-in under way", signingIn: true }
            ]
        }

        function test_refusalOfARegistrationIsNotShownHere(data) {
            if (data.signingIn) {
                fill("demo@mirevo.app", "secret1")
                pressSignIn()
            }
            // The registration screen above shows its own refusal.
            API.registrationError("邮箱已被注册")
            verify(!part("errorLabel").visible)
            compare(part("loginButton").enabled, !data.signingIn, "the sign-in waits for its own answer")
            if (data.signingIn) {
                API.loginError("密码错误")
                compare(part("errorLabel").text, "密码错误")
            }
        }

        function test_registerLink() {
            mouseClick(part("registerLinkArea"))
            compare(registerSpy.count, 1)
            const link = QmlLog.indexOf("🔗 点击立即注册")
            const forwarded = QmlLog.indexOf("🔗 跳转到注册页面")
            verify(link >= 0 && forwarded > link, QmlLog.lines.join("\n"))
            compare(FakeApi.callCount("login"), 0)
        }

        function test_nothingElseSends_data() {
            return [
                { tag: "enter in the name field", field: "usernameField", key: Qt.Key_Return },
                { tag: "enter in the password field", field: "passwordField", key: Qt.Key_Enter },
                { tag: "forgot password", area: "forgotLinkArea" },
                { tag: "arrow", area: "arrowArea" }
            ]
        }

        function test_nothingElseSends(data) {
            fill("demo@mirevo.app", "secret1")
            if (data.field) {
                part(data.field).forceActiveFocus()
                keyClick(data.key)
            } else {
                mouseClick(part(data.area))
            }
            compare(FakeApi.callCount("login"), 0)
            compare(registerSpy.count, 0)
            compare(successSpy.count, 0)
        }

        function test_fields() {
            compare(part("usernameField").echoMode, TextInput.Normal)
            compare(part("passwordField").echoMode, TextInput.Password)
            compare(part("usernameField").placeholderText, "邮箱 / 用户名")
            compare(part("passwordField").placeholderText, "密码")
            compare(part("loginButton").text, "登 录")
            const column = part("formColumn")
            compare(column.width, 344)
            compare(column.x + column.width / 2, 215)
        }
    }
}
