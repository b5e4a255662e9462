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
        RegisterScreen {}
    }

    SignalSpy {
        id: loginSpy
        signalName: "loginClicked"
    }

    TestCase {
        id: testCase
        name: "RegisterScreen"
        when: windowShown

        property var screen: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            testCase.screen = createTemporaryObject(screenComponent, root)
            loginSpy.target = testCase.screen
            loginSpy.clear()
        }

        function part(name) {
            return findChild(testCase.screen, name)
        }

        function fill(email, password, confirmation) {
            part("emailField").text = email
            part("passwordField").text = password
            part("confirmField").text = confirmation
        }

        function pressRegister() {
            mouseClick(part("registerButton"))
        }

        function test_refusedBeforeSending_data() {
            return [
                { tag: "no at sign", email: "demo.mirevo.app", password: "secret1", confirmation: "secret1",
                  refusal: "请输入有效的邮箱地址" },
                { tag: "empty form", email: "", password: "", confirmation: "", refusal: "请输入有效的邮箱地址" },
                { tag: "five characters", email: "demo@mirevo.app", password: "abcde", confirmation: "abcde",
                  refusal: "密码至少需要6位" },
                { tag: "three characters in six units", email: "demo@mirevo.app", password: "😀😀😀",
                  confirmation: "😀😀😀", refusal: "密码至少需要6位" },
                { tag: "six characters beyond the basic plane", email: "demo@mirevo.app", password: "😀😀😀密码!",
                  confirmation: "😀😀😀密码!", refusal: "", sent: true },
                { tag: "fields differ", email: "demo@mirevo.app", password: "secret1", confirmation: "secret2",
                  refusal: "两次输入的密码不一致" },
                { tag: "confirmation empty", email: "demo@mirevo.app", password: "secret1", confirmation: "",
                  refusal: "两次输入的密码不一致" },
                { tag: "first check wins", email: "demo", password: "abc", confirmation: "xyz",
                  refusal: "请输入有效的邮箱地址" },
                { tag: "exactly six", email: "a@b", password: "abcdef", confirmation: "abcdef", refusal: "",
                  sent: true }
            ]
        }

        function test_refusedBeforeSending(data) {
            fill(data.email, data.password, data.confirmation)
            pressRegister()
            const error = part("errorLabel")
            compare(FakeApi.callCount("registerUser"), data.sent ? 1 : 0)
            compare(error.visible, data.refusal.length > 0)
            compare(error.text, data.refusal)
            compare(error.color, Constants.colorError)
            compare(part("emailField").text, data.email, "the fields keep what was typed")
            if (data.password.length > 0)
                verify(!QmlLog.contains(data.password), "the password reached the log")
        }

        function test_sendsTheRegistration_data() {
            return [
                { tag: "latin", email: "alice@mirevo.app", password: "secret1", name: "alice" },
                { tag: "chinese name", email: "张三@例子.中国", password: "密码密码密码", name: "张三" },
                { tag: "first at sign", email: "a.b@c@d", password: "123456", name: "a.b" },
                { tag: "nothing before the at sign", email: "@mirevo.app", password: "123456", name: "" }
            ]
        }

        function test_sendsTheRegistration(data) {
            fill(data.email, data.password, data.password)
            pressRegister()
            compare(FakeApi.callCount("registerUser"), 1)
            compare(FakeApi.lastArgs("registerUser"), [data.email, data.password, data.name, ""])
            compare(FakeApi.callCount("login"), 0)
            verify(!part("errorLabel").visible)
            verify(!QmlLog.contains(data.password), "the password reached the log")
        }

        function test_refusalClearedByTheNextAttempt() {
            fill("demo", "secret1", "secret1")
            pressRegister()
            verify(part("errorLabel").visible)
            part("emailField").text = "demo@mirevo.app"
            pressRegister()
            verify(!part("errorLabel").visible)
            compare(FakeApi.callCount("registerUser"), 1)
        }

        function test_answerEndsTheWait_data() {
            return [
                { tag: "refused", success: false, message: "<i>该邮箱已被注册</i>" },
                { tag: "accepted", success: true, message: "" }
            ]
        }

        function test_answerEndsTheWait(data) {
            fill("demo@mirevo.app", "secret1", "secret1")
            pressRegister()
            verify(!part("registerButton").enabled)
            pressRegister()
            compare(FakeApi.callCount("registerUser"), 1, "a second press sent a second registration")
            if (data.success)
                API.loginSuccess()
            else
                API.registrationError(data.message)
            verify(part("registerButton").enabled)
            const error = part("errorLabel")
            compare(error.text, data.message)
            compare(error.visible, !data.success)
            compare(error.textFormat, Text.PlainText)
            compare(part("passwordField").text, "secret1")
        }

        function test_refusalOfASignInIsNotShownHere() {
            // A sign-in of the screen beneath may be answered while this registration waits.
            fill("demo@mirevo.app", "secret1", "secret1")
            pressRegister()
            API.loginError("密码错误")
            verify(!part("errorLabel").visible)
            verify(!part("registerButton").enabled, "the registration is still waiting for its own answer")
            API.registrationError("该邮箱已被注册")
            compare(part("errorLabel").text, "该邮箱已被注册")
        }

        function test_signInLink() {
            mouseClick(part("loginLinkArea"))
            compare(loginSpy.count, 1)
            compare(FakeApi.callCount("registerUser"), 0)
        }

        function test_fields() {
            compare([part("emailField").echoMode, part("passwordField").echoMode, part("confirmField").echoMode],
                    [TextInput.Normal, TextInput.Password, TextInput.Password])
            compare([part("emailField").placeholderText, part("passwordField").placeholderText,
                     part("confirmField").placeholderText], ["电子邮箱", "设置密码 (至少6位)", "确认密码"])
            const terms = part("termsLabel")
            compare(terms.width, part("formColumn").width)
            compare(terms.horizontalAlignment, Text.AlignHCenter)
        }
    }
}
