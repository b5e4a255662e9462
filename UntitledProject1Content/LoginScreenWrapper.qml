import QtQuick
import UntitledProject1
import UntitledProject1Content

// Binds the sign-in form to API: sends the sign-in, shows its refusal and reports its success once.
Item {
    id: wrapper

    signal registerClicked
    signal loginSuccess

    readonly property bool apiAvailable: typeof API !== "undefined"
    // A sign-in of this screen is under way.
    property bool signingIn: false
    // The success was reported; this screen is on its way out and reports nothing more.
    property bool finished: false

    LoginScreen {
        id: loginScreen
        objectName: "loginScreen"
        anchors.fill: parent
        busy: wrapper.signingIn

        onLoginClicked: (username, password) => {
            console.log("尝试登录用户:", username)
            if (!wrapper.apiAvailable) {
                console.error("API未初始化")
                return
            }
            loginScreen.errorText = ""
            wrapper.signingIn = true
            API.login(username, password)
        }

        onRegisterClicked: {
            console.log("🔗 跳转到注册页面")
            wrapper.registerClicked()
        }

        Connections {
            target: wrapper.apiAvailable ? API : null
            ignoreUnknownSignals: true

            function onLoginError(message) {
                console.log("登录失败:", message)
                // The answer to a sign-in of another screen is not this one's to show.
                if (!wrapper.signingIn)
                    return
                wrapper.signingIn = false
                loginScreen.errorText = message
            }

            function onLoginSuccess() {
                console.log("登录成功")
                wrapper.signingIn = false
                if (wrapper.finished)
                    return
                wrapper.finished = true
                wrapper.loginSuccess()
            }
        }
    }
}
