import QtQuick
import QtQuick.Controls
import UntitledProject1

// The registration form. It checks what was typed before anything is sent, registers through API with
// the part of the e-mail address before "@" as the name, and shows a refusal under the form. A
// success signs the user in; the sign-in screen beneath then leaves together with this one.
Rectangle {
    id: registerRoot

    signal loginClicked

    readonly property bool apiAvailable: typeof API !== "undefined"
    // A registration of this screen is under way.
    property bool registering: false
    // The latest refusal, ours or the service's; empty hides the line.
    property string errorText: ""

    // What is wrong with the typed values, or "" when they may be sent.
    function refusal(email: string, password: string, confirmation: string): string {
        if (email.indexOf("@") < 0)
            return "请输入有效的邮箱地址"
        // Characters, not UTF-16 units: an emoji counts once.
        if (password.replace(/[\uD800-\uDBFF][\uDC00-\uDFFF]/g, "_").length < 6)
            return "密码至少需要6位"
        if (password !== confirmation)
            return "两次输入的密码不一致"
        return ""
    }

    function submit() {
        if (registerRoot.registering)
            return
        const email = emailField.text
        const password = passwordField.text
        const problem = registerRoot.refusal(email, password, confirmField.text)
        registerRoot.errorText = problem
        if (problem.length > 0) {
            console.log("[RegisterScreen] 注册信息未通过检查:", problem)
            return
        }
        if (!registerRoot.apiAvailable) {
            console.error("API未初始化")
            return
        }
        const name = email.substring(0, email.indexOf("@"))
        console.log("[RegisterScreen] 提交注册:", email)
        registerRoot.registering = true
        API.registerUser(email, password, name)
    }

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    Connections {
        target: registerRoot.apiAvailable ? API : null
        ignoreUnknownSignals: true

        // A refused registration has a signal of its own, so that a refused sign-in under way on the
        // screen beneath never lands here, nor this refusal there.
        function onRegistrationError(message) {
            if (!registerRoot.registering)
                return
            console.log("[RegisterScreen] 注册失败:", message)
            registerRoot.registering = false
            registerRoot.errorText = message
        }

        function onLoginSuccess() {
            registerRoot.registering = false
        }
    }

    Column {
        id: formColumn
        objectName: "formColumn"
        anchors.centerIn: parent
        width: parent.width * 0.8
        spacing: 20

        Text {
            id: titleLabel
            anchors.horizontalCenter: parent.horizontalCenter
            text: "创建账号"
            color: Constants.textPrimary
            font.pixelSize: 28
            font.bold: true
            font.family: Constants.font.family
        }

        Text {
            id: subtitleLabel
            anchors.horizontalCenter: parent.horizontalCenter
            text: "开启高速网络体验"
            color: Constants.textSecondary
            font.pixelSize: 14
            font.family: Constants.font.family
            bottomPadding: 10
        }

        TextField {
            id: emailField
            objectName: "emailField"
            width: parent.width
            height: 50
            placeholderText: "电子邮箱"
            color: Constants.textPrimary
            placeholderTextColor: Constants.textHint
            font.pixelSize: 14
            background: Rectangle {
                color: "transparent"
                border.width: 1
                radius: 12
                border.color: emailField.activeFocus ? Constants.primaryFree : Qt.rgba(0, 1, 217 / 255, 0.3)
            }
        }

        TextField {
            id: passwordField
            objectName: "passwordField"
            width: parent.width
            height: 50
            placeholderText: "设置密码 (至少6位)"
            echoMode: TextInput.Password
            color: Constants.textPrimary
            placeholderTextColor: Constants.textHint
            font.pixelSize: 14
            background: Rectangle {
                color: "transparent"
                border.width: 1
                radius: 12
                border.color: passwordField.activeFocus ? Constants.primaryFree : Qt.rgba(0, 1, 217 / 255, 0.3)
            }
        }

        TextField {
            id: confirmField
            objectName: "confirmField"
            width: parent.width
            height: 50
            placeholderText: "确认密码"
            echoMode: TextInput.Password
            color: Constants.textPrimary
            placeholderTextColor: Constants.textHint
            font.pixelSize: 14
            background: Rectangle {
                color: "transparent"
                border.width: 1
                radius: 12
                border.color: confirmField.activeFocus ? Constants.primaryFree : Qt.rgba(0, 1, 217 / 255, 0.3)
            }
        }

        Button {
            id: registerButton
            objectName: "registerButton"
            width: parent.width
            height: 50
            text: "立即注册"
            enabled: !registerRoot.registering

            contentItem: Text {
                text: registerButton.text
                font.bold: true
                font.pixelSize: 16
                font.family: Constants.font.family
                color: "#0A0E27"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            background: Rectangle {
                radius: 12
                color: registerButton.down ? Qt.darker(Constants.primaryFree) : Constants.primaryFree
                opacity: registerButton.enabled ? 1 : 0.5
            }

            onClicked: registerRoot.submit()
        }

        Text {
            id: errorLabel
            objectName: "errorLabel"
            width: parent.width
            visible: registerRoot.errorText.length > 0
            text: registerRoot.errorText
            textFormat: Text.PlainText
            color: Constants.colorError
            font.pixelSize: 13
            font.family: Constants.font.family
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
        }

        Row {
            id: signInRow
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 8

            Text {
                id: haveAccountLabel
                text: "已有账号?"
                color: Constants.textSecondary
                font.pixelSize: 14
                font.family: Constants.font.family
            }

            Text {
                id: loginLink
                objectName: "loginLink"
                text: "直接登录"
                color: Constants.primaryFree
                font.underline: true
                font.pixelSize: 14
                font.bold: true
                font.family: Constants.font.family

                MouseArea {
                    id: loginLinkArea
                    objectName: "loginLinkArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: registerRoot.loginClicked()
                }
            }
        }

        Text {
            id: termsLabel
            objectName: "termsLabel"
            width: parent.width
            text: "注册即代表同意《服务条款》和《隐私政策》"
            color: Constants.textHint
            font.pixelSize: 12
            font.family: Constants.font.family
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            topPadding: 10
        }
    }

    Item {
        id: arrowBox
        objectName: "arrowBox"
        width: 40
        height: 40
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 20

        Text {
            id: arrowLabel
            anchors.centerIn: parent
            text: "←"
            color: "#FFFFFF"
            font.pixelSize: 24
        }

        MouseArea {
            id: arrowArea
            objectName: "arrowArea"
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
        }
    }
}
