import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1
import UntitledProject1Content

// The one application window: the screen stack and its routes, the chosen server, the reaction to the
// service's configuration, the forced-disconnect warning and the disconnect on closing.
Window {
    id: appWindow

    property string appName: "Mirevo加速器"
    property bool maintenanceMode: false

    // The single source of the chosen server; the main screen's card and connect button follow it.
    property string currentServerName: "选择服务器"
    property string currentServerFlag: "🌐"
    property string currentServerCountryCode: ""
    property string currentServerLatency: ""
    property int currentServerId: -1
    property string currentServerVmessLink: ""
    property bool currentServerRequiresVip: false

    // How long the splash stays, in milliseconds.
    property int splashDuration: 3000

    // The pages pushed from the main screen and the settings screen. Each screen's own change fills
    // its page in; a route whose page is not there yet only logs.
    property Component loginPage: loginComp
    property Component registerPage: registerComp
    property Component settingsPage: settingsComp
    property Component myOrdersPage: myOrdersComp
    property Component selectServerPage: selectServerComp
    property Component aboutUsPage: aboutUsComp
    property Component announcementPage: announcementComp
    property Component vipPage: vipComp

    readonly property bool apiAvailable: typeof API !== "undefined"

    // The warning dialog, built the first time a warning comes from the file below: most runs never
    // show one, and it would otherwise sit in memory from the start.
    property QtObject messageDialog: null
    property url messageDialogSource: "MessageDialog.qml"

    // The dialog, or null when it cannot be built: that is logged, the warning is lost and the screen
    // stays as it is; the next warning tries again.
    function createMessageDialog() {
        const component = Qt.createComponent(appWindow.messageDialogSource)
        if (component.status !== Component.Ready) {
            console.error("❌ [App] 消息对话框无法加载:", component.errorString())
            return null
        }
        const dialog = component.createObject(appWindow.contentItem, { "objectName": "messageDialog" })
        if (dialog === null)
            console.error("❌ [App] 消息对话框无法创建:", appWindow.messageDialogSource)
        return dialog
    }

    // Pushes a page afresh; the log line names the route.
    function openPage(page, logLine) {
        console.log(logLine)
        if (page === null) {
            console.warn("⚠️ [App] 页面尚未提供:", logLine)
            return
        }
        stackView.push(page)
    }

    function closePage(logLine) {
        console.log(logLine)
        stackView.pop()
    }

    // A server chosen by hand replaces the current one, whether or not one was chosen before.
    // Nothing measures latency, so no latency text is shown for it.
    function adoptSelectedServer(name, flag, countryCode, delay, id, vmessLink, requiresVip) {
        console.log("✅ 选中服务器:", name, id, "vmessLink长度:", vmessLink.length, "requiresVip:", requiresVip)
        console.log("[DEBUG H3] App.onServerSelected - name:", name, "id:", id, "beforeCurrentId:",
                    appWindow.currentServerId)
        appWindow.currentServerName = name
        appWindow.currentServerFlag = flag
        appWindow.currentServerCountryCode = countryCode
        appWindow.currentServerLatency = ""
        appWindow.currentServerId = id
        appWindow.currentServerVmessLink = vmessLink
        appWindow.currentServerRequiresVip = requiresVip
        console.log("[DEBUG H2] App AFTER update - currentServerId:", appWindow.currentServerId,
                    "currentServerName:", appWindow.currentServerName)
        stackView.pop()
    }

    width: Constants.width
    height: Constants.height
    minimumWidth: Constants.width
    maximumWidth: Constants.width
    minimumHeight: Constants.height
    maximumHeight: Constants.height
    visible: true
    title: "Mirevo加速器"

    Component.onCompleted: {
        if (appWindow.apiAvailable) {
            console.log("应用启动，获取系统配置")
            API.getSystemConfig()
        }
    }

    onClosing: {
        console.log("窗口正在关闭，断开VPN连接...")
        if (appWindow.apiAvailable)
            API.disconnectVpn()
    }

    Connections {
        target: appWindow.apiAvailable ? API : null
        ignoreUnknownSignals: true

        function onSystemConfigLoaded(config) {
            console.log("=== 系统配置已加载 ===")
            console.log("  应用名称:", config.appName)
            console.log("  维护模式:", config.maintenanceMode)
            console.log("  启用注册:", config.enableRegistration)
            if (typeof config.appName === "string" && config.appName.length > 0) {
                appWindow.appName = config.appName
                appWindow.title = config.appName
            }
            appWindow.maintenanceMode = config.maintenanceMode === true
            if (appWindow.maintenanceMode)
                console.warn("⚠️ 系统处于维护模式")
        }
        function onVpnForceDisconnected(message) {
            console.log("⚠️ [App] 收到强制断开信号:", message)
            if (appWindow.messageDialog === null)
                appWindow.messageDialog = appWindow.createMessageDialog()
            if (appWindow.messageDialog !== null)
                appWindow.messageDialog.showWarning(message)
        }
    }

    QQC.StackView {
        id: stackView
        objectName: "stackView"
        anchors.fill: parent
        initialItem: splashScreenComp

        pushEnter: Transition {
            PropertyAnimation {
                property: "opacity"
                from: 0
                to: 1
                duration: 300
            }
        }
        pushExit: Transition {
            PropertyAnimation {
                property: "opacity"
                from: 1
                to: 0
                duration: 300
            }
        }
        popEnter: Transition {
            PropertyAnimation {
                property: "opacity"
                from: 0
                to: 1
                duration: 300
            }
        }
        popExit: Transition {
            PropertyAnimation {
                property: "opacity"
                from: 1
                to: 0
                duration: 300
            }
        }
    }

    Component {
        id: splashScreenComp

        SplashScreen {
            id: splashScreen
            objectName: "splashScreen"

            Timer {
                id: splashTimer
                interval: appWindow.splashDuration
                running: true
                repeat: false
                onTriggered: {
                    console.log("启动画面结束，跳转到主界面")
                    stackView.replace(mainScreenComp)
                }
            }
        }
    }

    Component {
        id: mainScreenComp

        ScreenWrapper {
            id: mainScreenWrapper
            objectName: "mainScreenWrapper"

            selectedServerName: appWindow.currentServerName
            selectedServerFlag: appWindow.currentServerFlag
            selectedServerCountryCode: appWindow.currentServerCountryCode
            selectedServerLatency: appWindow.currentServerLatency
            selectedServerId: appWindow.currentServerId
            selectedServerVmessLink: appWindow.currentServerVmessLink
            selectedServerRequiresVip: appWindow.currentServerRequiresVip

            onSelectedServerIdChanged: console.log("[DEBUG H2] ScreenWrapper.selectedServerId changed - newId:",
                                                   mainScreenWrapper.selectedServerId, "newName:",
                                                   mainScreenWrapper.selectedServerName, "appCurrentId:",
                                                   appWindow.currentServerId)

            onDefaultServerNeeded: (serverId, serverName, serverFlag, countryCode, vmessLink, requiresVip) => {
                const linkLength = vmessLink.length
                console.log("[DEBUG H7] App收到defaultServerNeeded信号:", serverName, serverId, "链接长度:", linkLength)
                if (appWindow.currentServerId !== -1) {
                    console.log("📍 已有选中服务器，忽略默认服务器设置")
                    return
                }
                console.log("📍 设置默认服务器:", serverName, serverId)
                appWindow.currentServerId = serverId
                appWindow.currentServerName = serverName
                appWindow.currentServerFlag = serverFlag
                appWindow.currentServerCountryCode = countryCode
                appWindow.currentServerVmessLink = vmessLink
                appWindow.currentServerRequiresVip = requiresVip
                // Nothing measures latency, so the default server shows none.
                appWindow.currentServerLatency = ""
            }

            Component.onCompleted: {
                console.log("主界面加载完成")
                console.log("[DEBUG H2] ScreenWrapper.onCompleted - wrapperId:", mainScreenWrapper.selectedServerId,
                            "wrapperName:", mainScreenWrapper.selectedServerName, "appCurrentId:",
                            appWindow.currentServerId)
            }

            Connections {
                target: mainScreenWrapper.loginArea
                function onClicked() {
                    appWindow.openPage(appWindow.loginPage, "点击用户信息，跳转到登录界面")
                }
            }
            Connections {
                target: mainScreenWrapper.announcementArea
                function onClicked() {
                    appWindow.openPage(appWindow.announcementPage, "点击公告图标，跳转到公告界面")
                }
            }
            Connections {
                target: mainScreenWrapper.settingsArea
                function onClicked() {
                    appWindow.openPage(appWindow.settingsPage, "点击设置图标，跳转到设置界面")
                }
            }
            Connections {
                target: mainScreenWrapper.selectServerArea
                function onClicked() {
                    appWindow.openPage(appWindow.selectServerPage, "点击选择服务器，跳转到服务器选择界面")
                }
            }
            Connections {
                target: mainScreenWrapper.vipArea
                function onClicked() {
                    appWindow.openPage(appWindow.vipPage, "点击VIP区域，跳转到VIP界面")
                }
            }
        }
    }

    Component {
        id: loginComp

        Item {
            id: loginPage
            objectName: "loginPage"

            readonly property int stackIndex: QQC.StackView.index

            ScreenLoader {
                id: loginWrapper
                screen: "LoginScreenWrapper.qml"
                screenName: "loginWrapper"
            }

            Connections {
                target: loginWrapper.item

                function onRegisterClicked() {
                    appWindow.openPage(appWindow.registerPage, "跳转到注册界面")
                }
                function onLoginSuccess() {
                    console.log("登录成功，返回上一页")
                    // Back to the page the sign-in was opened from; a registration screen on top of
                    // the sign-in leaves with it.
                    if (loginPage.stackIndex > 0)
                        stackView.pop(stackView.get(loginPage.stackIndex - 1))
                }
            }

            BackButton {
                onBack: appWindow.closePage("返回主界面")
            }
        }
    }

    Component {
        id: registerComp

        Item {
            id: registerPage
            objectName: "registerPage"

            ScreenLoader {
                id: registerScreen
                screen: "RegisterScreen.qml"
                screenName: "registerScreen"
            }

            Connections {
                target: registerScreen.item

                function onLoginClicked() {
                    appWindow.closePage("返回登录界面")
                }
            }

            BackButton {
                onBack: appWindow.closePage("返回登录界面")
            }
        }
    }

    Component {
        id: settingsComp

        Item {
            id: settingsPage
            objectName: "settingsPage"

            ScreenLoader {
                id: settingsWrapper
                screen: "SettingsScreenWrapper.qml"
                screenName: "settingsWrapper"
            }

            Connections {
                target: settingsWrapper.item

                function onMyOrdersClicked() {
                    appWindow.openPage(appWindow.myOrdersPage, "跳转到我的订单")
                }
                function onAnnouncementClicked() {
                    appWindow.openPage(appWindow.announcementPage, "跳转到公告系统")
                }
                function onAboutUsClicked() {
                    appWindow.openPage(appWindow.aboutUsPage, "跳转到关于我们")
                }
                function onVipClicked() {
                    appWindow.openPage(appWindow.vipPage, "👑 从设置页面跳转到VIP界面")
                }
                function onLoginClicked() {
                    appWindow.openPage(appWindow.loginPage, "📱 从设置页面跳转到登录界面")
                }
            }

            BackButton {
                onBack: appWindow.closePage("返回主界面")
            }
        }
    }

    Component {
        id: aboutUsComp

        Item {
            id: aboutUsPage
            objectName: "aboutUsPage"

            ScreenLoader {
                screen: "AboutUsScreen.ui.qml"
                screenName: "aboutUsScreen"
            }

            BackButton {
                onBack: appWindow.closePage("返回设置界面")
            }
        }
    }

    Component {
        id: selectServerComp

        Item {
            id: selectServerPage
            objectName: "selectServerPage"

            ScreenLoader {
                id: selectServerScreen
                screen: "SelectServerScreen.qml"
                screenName: "selectServerScreen"
                initialValues: ({ "selectedServerId": Qt.binding(() => appWindow.currentServerId) })
            }

            Connections {
                target: selectServerScreen.item

                function onServerSelected(name, flag, countryCode, delay, id, vmessLink, requiresVip) {
                    appWindow.adoptSelectedServer(name, flag, countryCode, delay, id, vmessLink, requiresVip)
                }
            }

            BackButton {
                onBack: appWindow.closePage("返回主界面")
            }
        }
    }

    Component {
        id: vipComp

        Item {
            id: vipPage
            objectName: "vipPage"

            // Leaving tells the backend nothing: a payment being polled goes on.
            ScreenLoader {
                screen: "VipScreen.qml"
                screenName: "vipScreen"
            }

            BackButton {
                onBack: appWindow.closePage("返回主界面")
            }
        }
    }

    Component {
        id: myOrdersComp

        Item {
            id: myOrdersPage
            objectName: "myOrdersPage"

            ScreenLoader {
                screen: "MyOrdersScreenWrapper.qml"
                screenName: "myOrdersScreen"
            }

            BackButton {
                onBack: appWindow.closePage("返回设置界面")
            }
        }
    }

    Component {
        id: announcementComp

        Item {
            id: announcementPage
            objectName: "announcementPage"

            ScreenLoader {
                screen: "AnnouncementScreenWrapper.qml"
                screenName: "announcementScreen"
            }

            BackButton {
                onBack: appWindow.closePage("返回主界面")
            }
        }
    }
}
