import QtQuick
import UntitledProject1

// The settings page: the user-info card, the VIP upgrade row, the navigation rows and the sign-out
// row. It shows the five account values it is given and reports clicks; the wrapper does the rest.
Rectangle {
    id: settingsRoot

    property bool loggedIn: false
    property string email: ""
    property string name: ""
    property bool isVip: false
    property int vipDays: 0

    signal logoutClicked
    signal loginClicked

    property alias vipUpgradeArea: vipUpgradeMouseArea
    property alias myOrdersArea: myOrdersMouseArea
    property alias announcementArea: announcementMouseArea
    property alias aboutUsArea: aboutUsMouseArea

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    Column {
        id: contentColumn
        objectName: "contentColumn"
        width: parent.width - 40
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 16

        Item {
            id: header
            objectName: "header"
            width: parent.width
            height: 50

            Text {
                id: titleLabel
                anchors.centerIn: parent
                text: "设置"
                color: Constants.textPrimary
                font.pixelSize: 20
                font.bold: true
                font.family: Constants.font.family
            }

            Text {
                id: arrowLabel
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                text: "←"
                color: "#FFFFFF"
                font.pixelSize: 24

                MouseArea {
                    id: arrowArea
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }
        }

        Rectangle {
            id: userCard
            objectName: "userCard"
            width: parent.width
            height: 80
            radius: 16
            color: Constants.cardColor
            border.width: 1
            border.color: "transparent"

            Row {
                id: userRow
                anchors.fill: parent
                anchors.margins: 16
                spacing: 16

                Rectangle {
                    id: avatar
                    objectName: "avatar"
                    width: 48
                    height: 48
                    radius: 24
                    color: !settingsRoot.loggedIn ? Qt.rgba(128 / 255, 128 / 255, 128 / 255, 0.1)
                                                  : (settingsRoot.isVip ? Qt.rgba(1, 215 / 255, 0, 0.2)
                                                                        : Qt.rgba(0, 1, 217 / 255, 0.1))

                    Text {
                        id: avatarInitial
                        objectName: "avatarInitial"
                        anchors.centerIn: parent
                        // The first character, not the first UTF-16 unit: a name may start outside the BMP.
                        text: !settingsRoot.loggedIn ? "?"
                                                     : (settingsRoot.name.length > 0
                                                        ? String.fromCodePoint(settingsRoot.name.codePointAt(0)).toUpperCase()
                                                        : "U")
                        textFormat: Text.PlainText
                        color: settingsRoot.isVip ? Constants.colorVip : Constants.primaryFree
                        font.bold: true
                    }
                }

                Column {
                    id: userTextColumn
                    objectName: "userTextColumn"
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 2

                    // Room beside the avatar, up to the chevron while it shows.
                    readonly property real room: userRow.width - avatar.width - userRow.spacing
                                                 - (cardChevron.visible ? cardChevron.width + 8 : 0)

                    Row {
                        id: nameRow
                        spacing: 4

                        OneLineText {
                            id: nameLabel
                            objectName: "nameLabel"
                            room: userTextColumn.room - (vipStar.visible ? vipStar.width + nameRow.spacing : 0)
                            fullText: !settingsRoot.loggedIn ? "未登录"
                                                             : (settingsRoot.name.length > 0 ? settingsRoot.name
                                                                                             : settingsRoot.email)
                            color: Constants.textPrimary
                            font.bold: true
                            font.pixelSize: 16
                            font.family: Constants.font.family
                        }

                        Text {
                            id: vipStar
                            objectName: "vipStar"
                            text: "⭐"
                            color: Constants.colorVip
                            font.pixelSize: 14
                            visible: settingsRoot.loggedIn && settingsRoot.isVip
                        }
                    }

                    OneLineText {
                        id: emailLabel
                        objectName: "emailLabel"
                        room: userTextColumn.room
                        fullText: settingsRoot.email
                        color: Constants.textSecondary
                        font.pixelSize: 11
                        font.family: Constants.font.family
                        visible: settingsRoot.loggedIn
                    }

                    Text {
                        id: statusLabel
                        objectName: "statusLabel"
                        text: !settingsRoot.loggedIn ? "点击登录"
                                                     : (settingsRoot.isVip ? "VIP会员 · 剩余" + settingsRoot.vipDays + "天"
                                                                           : "免费用户")
                        color: settingsRoot.isVip ? Constants.colorVip : Constants.textSecondary
                        font.pixelSize: 12
                        font.family: Constants.font.family
                    }
                }
            }

            Text {
                id: cardChevron
                objectName: "cardChevron"
                text: ">"
                color: Constants.textSecondary
                anchors.right: parent.right
                anchors.rightMargin: 16
                anchors.verticalCenter: parent.verticalCenter
                font.pixelSize: 18
                visible: !settingsRoot.loggedIn
            }

            MouseArea {
                id: userCardMouseArea
                objectName: "userCardMouseArea"
                anchors.fill: parent
                enabled: !settingsRoot.loggedIn
                cursorShape: settingsRoot.loggedIn ? Qt.ArrowCursor : Qt.PointingHandCursor
                onClicked: {
                    if (!settingsRoot.loggedIn) {
                        console.log("📱 点击未登录，跳转到登录页面")
                        settingsRoot.loginClicked()
                    }
                }
            }
        }

        Column {
            id: settingsList
            objectName: "settingsList"
            width: parent.width
            spacing: 12

            Rectangle {
                id: vipUpgradeRow
                objectName: "vipUpgradeRow"
                width: parent.width
                height: 60
                radius: 12
                color: Constants.cardColor
                border.width: 1
                border.color: Qt.rgba(1, 215 / 255, 0, 0.3)

                Row {
                    id: vipUpgradeContent
                    anchors.left: parent.left
                    anchors.leftMargin: 16
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 16

                    SettingsRowIcon {
                        id: crownBox
                        objectName: "crownBox"
                        icon: "👑"
                    }

                    Column {
                        id: vipUpgradeTexts
                        anchors.verticalCenter: parent.verticalCenter

                        Text {
                            id: vipUpgradeTitle
                            objectName: "vipUpgradeTitle"
                            text: settingsRoot.isVip ? "VIP会员 剩余" + settingsRoot.vipDays + "天" : "升级 VIP 会员"
                            color: Constants.primaryVip
                            font.bold: true
                            font.pixelSize: 15
                            font.family: Constants.font.family
                        }

                        Text {
                            id: vipUpgradeSubtitle
                            objectName: "vipUpgradeSubtitle"
                            text: settingsRoot.isVip ? "感谢您的支持" : "解锁所有高级功能"
                            color: Constants.textSecondary
                            font.pixelSize: 11
                            font.family: Constants.font.family
                        }
                    }
                }

                Text {
                    id: vipUpgradeChevron
                    text: ">"
                    color: Constants.primaryVip
                    anchors.right: parent.right
                    anchors.rightMargin: 16
                    anchors.verticalCenter: parent.verticalCenter
                    font.pixelSize: 18
                }

                MouseArea {
                    id: vipUpgradeMouseArea
                    objectName: "vipUpgradeMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            SettingsMenuRow {
                id: appSettingsRow
                objectName: "appSettingsRow"
                icon: "🌐"
                title: "应用设置"
                subtitle: "语言、开机自启"

                MouseArea {
                    objectName: "appSettingsMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            SettingsMenuRow {
                id: myOrdersRow
                objectName: "myOrdersRow"
                icon: "📦"
                title: "我的订单"
                subtitle: "查看购买记录"

                MouseArea {
                    id: myOrdersMouseArea
                    objectName: "myOrdersMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            SettingsMenuRow {
                id: announcementRow
                objectName: "announcementRow"
                icon: "📢"
                title: "公告系统"
                subtitle: "最新通知公告"

                MouseArea {
                    id: announcementMouseArea
                    objectName: "announcementMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            SettingsMenuRow {
                id: privacyRow
                objectName: "privacyRow"
                icon: "🛡️"
                title: "安全与隐私"
                subtitle: "隐私政策、服务条款"

                MouseArea {
                    objectName: "privacyMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            SettingsMenuRow {
                id: aboutUsRow
                objectName: "aboutUsRow"
                icon: "ℹ️"
                title: "关于我们"
                subtitle: "版本 v1.0.0"

                MouseArea {
                    id: aboutUsMouseArea
                    objectName: "aboutUsMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            Rectangle {
                id: logoutRow
                objectName: "logoutRow"
                width: parent.width
                height: 50
                radius: 12
                color: Qt.rgba(1, 82 / 255, 82 / 255, 0.1)
                border.width: 1
                border.color: Constants.colorError
                visible: settingsRoot.loggedIn

                Row {
                    id: logoutContent
                    objectName: "logoutContent"
                    anchors.centerIn: parent
                    spacing: 8

                    Text {
                        id: doorLabel
                        text: "🚪"
                        font.pixelSize: 16
                    }

                    Text {
                        id: logoutLabel
                        text: "退出登录"
                        color: Constants.colorError
                        font.bold: true
                        font.pixelSize: 15
                        font.family: Constants.font.family
                    }
                }

                MouseArea {
                    objectName: "logoutMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: {
                        console.log("🔴 用户点击退出登录")
                        settingsRoot.logoutClicked()
                    }
                }
            }
        }
    }
}
