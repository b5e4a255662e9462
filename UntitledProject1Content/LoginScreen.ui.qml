import QtQuick
import QtQuick.Controls
import UntitledProject1

// The sign-in form: two fields, the sign-in button and the links. It shows what it is given (an error
// line, the busy state) and reports clicks; the wrapper talks to the backend.
Rectangle {
    id: loginRoot

    signal loginClicked(string username, string password)
    signal registerClicked

    // The latest refusal, shown under the button; empty hides the line.
    property string errorText: ""
    // A sign-in is under way: the button takes no second press until the answer arrives.
    property bool busy: false

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    Column {
        id: formColumn
        objectName: "formColumn"
        anchors.centerIn: parent
        width: parent.width * 0.8
        spacing: 24

        Text {
            id: titleLabel
            anchors.horizontalCenter: parent.horizontalCenter
            text: "欢迎回来"
            color: Constants.textPrimary
            font.pixelSize: 28
            font.bold: true
            font.family: Constants.font.family
        }

        Text {
            id: subtitleLabel
            anchors.horizontalCenter: parent.horizontalCenter
            text: "请登录您的 Tavorin 账号"
            color: Constants.textSecondary
            font.pixelSize: 14
            font.family: Constants.font.family
            bottomPadding: 20
        }

        TextField {
            id: usernameField
            objectName: "usernameField"
            width: parent.width
            height: 50
            placeholderText: "邮箱 / 用户名"
            color: Constants.textPrimary
            placeholderTextColor: Constants.textHint
            font.pixelSize: 14
            background: Rectangle {
                color: "transparent"
                border.width: 1
                radius: 12
                border.color: usernameField.activeFocus ? Constants.primaryFree : Qt.rgba(0, 1, 217 / 255, 0.3)
            }
        }

        TextField {
            id: passwordField
            objectName: "passwordField"
            width: parent.width
            height: 50
            placeholderText: "密码"
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

        Button {
            id: loginButton
            objectName: "loginButton"
            width: parent.width
            height: 50
            text: "登 录"
            enabled: !loginRoot.busy

            contentItem: Text {
                text: loginButton.text
                font.bold: true
                font.pixelSize: 16
                font.family: Constants.font.family
                color: "#0A0E27"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            background: Rectangle {
                radius: 12
                color: loginButton.down ? Qt.darker(Constants.primaryFree) : Constants.primaryFree
                opacity: loginButton.enabled ? 1 : 0.5
            }

            onClicked: loginRoot.loginClicked(usernameField.text, passwordField.text)
        }

        Text {
            id: errorLabel
            objectName: "errorLabel"
            width: parent.width
            visible: loginRoot.errorText.length > 0
            text: loginRoot.errorText
            textFormat: Text.PlainText
            color: Constants.colorError
            font.pixelSize: 13
            font.family: Constants.font.family
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            // A longer refusal would push the form, which stays centred, off the window.
            maximumLineCount: 3
            elide: Text.ElideRight
        }

        Row {
            id: linksRow
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 30

            Text {
                id: registerLink
                objectName: "registerLink"
                text: "立即注册"
                color: Constants.primaryFree
                font.underline: true
                font.pixelSize: 14
                font.bold: true
                font.family: Constants.font.family

                MouseArea {
                    id: registerLinkArea
                    objectName: "registerLinkArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: {
                        console.log("🔗 点击立即注册")
                        loginRoot.registerClicked()
                    }
                }
            }

            Text {
                id: forgotLink
                objectName: "forgotLink"
                text: "忘记密码?"
                color: Constants.textSecondary
                font.pixelSize: 14
                font.family: Constants.font.family

                MouseArea {
                    id: forgotLinkArea
                    objectName: "forgotLinkArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }
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
