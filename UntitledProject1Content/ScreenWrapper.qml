import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1
import UntitledProject1Content

// The main screen bound to API: user values, traffic figures and speeds, and the refresh on opening.
Item {
    id: wrapper

    property alias loginArea: screenItem.loginArea
    property alias announcementArea: screenItem.announcementArea
    property alias settingsArea: screenItem.settingsArea
    property alias selectServerArea: screenItem.selectServerArea
    property alias vipArea: screenItem.vipArea

    property alias selectedServerName: screenItem.selectedServerName
    property alias selectedServerFlag: screenItem.selectedServerFlag
    property alias selectedServerCountryCode: screenItem.selectedServerCountryCode
    property alias selectedServerLatency: screenItem.selectedServerLatency
    property alias selectedServerId: screenItem.selectedServerId
    property alias selectedServerVmessLink: screenItem.selectedServerVmessLink
    property alias selectedServerRequiresVip: screenItem.selectedServerRequiresVip

    property alias uploadSpeed: screenItem.uploadSpeed
    property alias downloadSpeed: screenItem.downloadSpeed
    property alias uploadBytes: screenItem.uploadBytes
    property alias downloadBytes: screenItem.downloadBytes

    // Milliseconds of a monotonic-enough clock; the speeds are the growth of the totals over its time.
    property var clock: () => Date.now()

    signal defaultServerNeeded(int serverId, string serverName, string serverFlag, string countryCode,
                               string vmessLink, bool requiresVip)

    readonly property bool apiAvailable: typeof API !== "undefined"

    // The totals and time of the previous traffic figures, the base of the next speed.
    QtObject {
        id: speedMeter

        property real lastUpload: 0
        property real lastDownload: 0
        property real lastTime: -1

        function restart() {
            screenItem.uploadBytes = 0
            screenItem.downloadBytes = 0
            screenItem.uploadSpeed = screenItem.formatTraffic(0)
            screenItem.downloadSpeed = screenItem.formatTraffic(0)
            speedMeter.lastUpload = 0
            speedMeter.lastDownload = 0
            speedMeter.lastTime = wrapper.clock()
        }

        function sample(upload, download) {
            const now = wrapper.clock()
            screenItem.uploadBytes = upload
            screenItem.downloadBytes = download
            const elapsed = now - speedMeter.lastTime
            if (speedMeter.lastTime >= 0 && elapsed > 0) {
                // Counters that went backwards started afresh: no growth to show for this period.
                const upGrowth = Math.max(0, upload - speedMeter.lastUpload)
                const downGrowth = Math.max(0, download - speedMeter.lastDownload)
                screenItem.uploadSpeed = screenItem.formatTraffic(upGrowth * 1000 / elapsed)
                screenItem.downloadSpeed = screenItem.formatTraffic(downGrowth * 1000 / elapsed)
            }
            if (speedMeter.lastTime < 0 || elapsed > 0) {
                speedMeter.lastUpload = upload
                speedMeter.lastDownload = download
                speedMeter.lastTime = now
            }
        }
    }

    Screen {
        id: screenItem
        objectName: "screenItem"
        anchors.fill: parent

        userLoggedIn: wrapper.apiAvailable ? API.isLoggedIn : false
        userEmail: wrapper.apiAvailable ? API.userEmail : ""
        userName: wrapper.apiAvailable ? API.userName : ""
        userIsVip: wrapper.apiAvailable ? API.isVip : false
        vipDays: wrapper.apiAvailable ? API.vipDays : 0
        freeMinutes: wrapper.apiAvailable ? API.freeMinutes : 120
        userTrialUsed: wrapper.apiAvailable ? API.trialUsed : false

        onSelectedServerIdChanged: console.log("[DEBUG H4] screenItem.selectedServerId changed - newId:",
                                               screenItem.selectedServerId, "newName:",
                                               screenItem.selectedServerName)
        onDefaultServerNeeded: (serverId, serverName, serverFlag, countryCode, vmessLink, requiresVip) => {
            console.log("[DEBUG H6] ScreenWrapper收到defaultServerNeeded信号:", serverName, serverId,
                        "vmessLink长度:", vmessLink.length)
            wrapper.defaultServerNeeded(serverId, serverName, serverFlag, countryCode, vmessLink, requiresVip)
        }
    }

    // The six user values follow API through the bindings above; these handlers only log.
    Connections {
        target: wrapper.apiAvailable ? API : null
        ignoreUnknownSignals: true

        function onUserInfoChanged() {
            console.log("✅ 用户信息已更新: VIP=" + API.isVip + ", VIP天数=" + API.vipDays + ", 免费分钟=" + API.freeMinutes)
        }
        function onLoginStateChanged(loggedIn) {
            console.log("登录状态变更:", loggedIn)
        }
        function onVpnTrafficUpdate(uploadBytes, downloadBytes) {
            speedMeter.sample(uploadBytes, downloadBytes)
        }
        function onVpnConnected() {
            speedMeter.restart()
        }
        function onVpnDisconnected() {
            speedMeter.restart()
        }
        function onVpnConnectionFailed(reasonCode, message) {
            speedMeter.restart()
        }
        function onVpnForceDisconnected(message) {
            speedMeter.restart()
        }
    }

    Component.onCompleted: {
        if (wrapper.apiAvailable && API.isLoggedIn) {
            console.log("主界面加载，刷新用户信息")
            API.refreshUserInfo()
        }
    }
}
