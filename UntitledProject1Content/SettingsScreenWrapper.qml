import QtQuick
import UntitledProject1
import UntitledProject1Content

// Feeds the settings page the account values of API, signs out through API and turns the page's
// clicks into navigation signals for the window.
Item {
    id: wrapper

    signal myOrdersClicked
    signal announcementClicked
    signal aboutUsClicked
    signal vipClicked
    signal loginClicked

    readonly property bool apiAvailable: typeof API !== "undefined"

    property bool userLoggedIn: wrapper.apiAvailable ? API.isLoggedIn : false
    property string userEmail: wrapper.apiAvailable ? API.userEmail : ""
    property string userName: wrapper.apiAvailable ? API.userName : ""
    property bool userIsVip: wrapper.apiAvailable ? API.isVip : false
    property int vipDays: wrapper.apiAvailable ? API.vipDays : 0

    function takeUserValues() {
        wrapper.userLoggedIn = API.isLoggedIn
        wrapper.userEmail = API.userEmail
        wrapper.userName = API.userName
        wrapper.userIsVip = API.isVip
        wrapper.vipDays = API.vipDays
    }

    Component.onCompleted: {
        if (!wrapper.apiAvailable)
            return
        console.log("📱 设置界面加载，初始化用户信息")
        wrapper.takeUserValues()
    }

    SettingsScreen {
        id: settingsScreen
        objectName: "settingsScreen"
        anchors.fill: parent

        loggedIn: wrapper.userLoggedIn
        email: wrapper.userEmail
        name: wrapper.userName
        isVip: wrapper.userIsVip
        vipDays: wrapper.vipDays

        onLogoutClicked: {
            console.log("🔴 SettingsWrapper收到退出登录信号")
            if (wrapper.apiAvailable)
                API.logout()
        }
        onLoginClicked: {
            console.log("📱 SettingsWrapper收到登录跳转信号")
            wrapper.loginClicked()
        }
    }

    Connections {
        target: settingsScreen.vipUpgradeArea
        function onClicked() {
            console.log("👑 点击升级VIP会员")
            wrapper.vipClicked()
        }
    }
    Connections {
        target: settingsScreen.myOrdersArea
        function onClicked() {
            console.log("点击我的订单")
            wrapper.myOrdersClicked()
        }
    }
    Connections {
        target: settingsScreen.announcementArea
        function onClicked() {
            console.log("点击公告系统")
            wrapper.announcementClicked()
        }
    }
    Connections {
        target: settingsScreen.aboutUsArea
        function onClicked() {
            console.log("点击关于我们")
            wrapper.aboutUsClicked()
        }
    }

    Connections {
        target: wrapper.apiAvailable ? API : null
        ignoreUnknownSignals: true

        function onUserInfoChanged() {
            console.log("✅ 设置界面：用户信息已更新")
            wrapper.takeUserValues()
        }

        function onLoginStateChanged(loggedIn) {
            console.log("设置界面：登录状态变更:", loggedIn)
            wrapper.userLoggedIn = loggedIn
            if (loggedIn && wrapper.apiAvailable) {
                wrapper.userEmail = API.userEmail
                wrapper.userName = API.userName
                wrapper.userIsVip = API.isVip
            }
        }
    }
}
