import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// The server picker: the service's whole list in a free and a VIP group. It hands the chosen server to
// the window and neither connects nor measures anything itself.
Rectangle {
    id: selectServerRoot
    objectName: "selectServerRoot"

    // The row carrying the selection mark; the window binds its current server into it.
    property int selectedServerId: -1
    // True from a request until its answer; an error keeps its text until the next answer.
    property bool isLoading: true
    property string errorMessage: ""

    readonly property bool hasServers: freeServersModel.count > 0 || vipServersModel.count > 0

    // Nothing measures latency, so the delay handed on is always empty.
    signal serverSelected(string name, string flag, string countryCode, string delay, int id, string vmessLink,
                          bool requiresVip)

    function requestServers() {
        selectServerRoot.isLoading = true
        selectServerRoot.errorMessage = ""
        API.getServers()
    }

    // One model entry from one server map of API; every role keeps a single type whatever the map holds.
    function entryOf(server) {
        return {
            "serverId": Number(server.id) || 0,
            "name": server.name ? String(server.name) : "",
            "flag": server.flag ? String(server.flag) : "🌐",
            "countryCode": server.countryCode ? String(server.countryCode) : "",
            "location": server.location ? String(server.location) : "",
            "tier": server.tier ? String(server.tier) : "",
            "requiresVip": !!server.requiresVip,
            "canConnect": !!server.canConnect,
            "vmessLink": server.vmessLink ? String(server.vmessLink) : "",
            "maxUsers": Number(server.maxUsers) || 0,
            "currentUsers": Number(server.currentUsers) || 0,
            "cpuUsage": Number(server.cpuUsage) || 0,
            "loadPercentage": Number(server.loadPercentage) || 0
        }
    }

    function fill(servers) {
        freeServersModel.clear()
        vipServersModel.clear()
        for (let i = 0; i < servers.length; ++i) {
            const server = servers[i]
            if (!server)
                continue
            console.log("  服务器", i + 1, ":", server.name, server.tier, server.canConnect ? "可连接" : "需要VIP")
            const entry = selectServerRoot.entryOf(server)
            if (entry.tier === "free" || !entry.requiresVip)
                freeServersModel.append(entry)
            else
                vipServersModel.append(entry)
        }
    }

    function choose(entry, group) {
        console.log(group === "vip" ? "📍 选择VIP服务器:" : "📍 选择免费服务器:", entry.name, entry.serverId)
        console.log(group === "vip" ? "[DEBUG H3] VIP server clicked - serverId:" : "[DEBUG H3] Free server clicked - serverId:",
                    entry.serverId, "serverName:", entry.name, "vmessLink长度:", entry.vmessLink.length)
        selectServerRoot.selectedServerId = entry.serverId
        selectServerRoot.serverSelected(entry.name, entry.flag, entry.countryCode, "", entry.serverId, entry.vmessLink,
                                        entry.requiresVip)
    }

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    Component.onCompleted: {
        console.log("🔄 选择服务器页面加载，获取服务器列表")
        console.log("[DEBUG H10] SelectServerScreen.onCompleted - selectedServerId:", selectServerRoot.selectedServerId)
        selectServerRoot.requestServers()
    }

    ScreenHeader {
        id: header
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 40
        title: "选择服务器"
    }

    // Below the fixed header the list scrolls, so every row can be reached however long it is.
    Flickable {
        id: serverFlickable
        objectName: "serverFlickable"
        anchors.top: parent.top
        anchors.topMargin: 70
        anchors.bottom: parent.bottom
        width: parent.width
        clip: true
        contentHeight: listColumn.height + 16 + 20
        boundsBehavior: Flickable.StopAtBounds

        QQC.ScrollBar.vertical: QQC.ScrollBar {
            objectName: "serverScrollBar"
            policy: QQC.ScrollBar.AsNeeded
        }

        Column {
            id: listColumn
            objectName: "serverListColumn"
            y: 16
            width: serverFlickable.width - 40
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 20

            Column {
                id: freeGroup
                objectName: "freeGroup"
                width: parent.width
                spacing: 8
                visible: freeServersModel.count > 0

                Text {
                    text: "免费线路 (Free)"
                    color: Constants.textSecondary
                    font.bold: true
                    font.pixelSize: 12
                    leftPadding: 4
                    font.family: Constants.font.family
                }

                Repeater {
                    id: freeServersRepeater
                    objectName: "freeServersRepeater"
                    model: ListModel {
                        id: freeServersModel
                    }
                    delegate: ServerRow {
                        id: freeDelegate

                        required property int index
                        required property var model

                        width: freeGroup.width
                        vipLine: false
                        selected: selectServerRoot.selectedServerId === freeDelegate.model.serverId
                        serverName: freeDelegate.model.name
                        countryCode: freeDelegate.model.countryCode
                        canConnect: freeDelegate.model.canConnect
                        onClicked: selectServerRoot.choose(freeServersModel.get(freeDelegate.index), "free")
                    }
                }
            }

            Column {
                id: vipGroup
                objectName: "vipGroup"
                width: parent.width
                spacing: 8
                visible: vipServersModel.count > 0

                Text {
                    text: "VIP 专线 (Premium)"
                    color: Constants.primaryVip
                    font.bold: true
                    font.pixelSize: 12
                    leftPadding: 4
                    font.family: Constants.font.family
                }

                Repeater {
                    id: vipServersRepeater
                    objectName: "vipServersRepeater"
                    model: ListModel {
                        id: vipServersModel
                    }
                    delegate: ServerRow {
                        id: vipDelegate

                        required property int index
                        required property var model

                        width: vipGroup.width
                        vipLine: true
                        selected: selectServerRoot.selectedServerId === vipDelegate.model.serverId
                        serverName: vipDelegate.model.name
                        countryCode: vipDelegate.model.countryCode
                        canConnect: vipDelegate.model.canConnect
                        onClicked: {
                            if (vipDelegate.model.canConnect)
                                selectServerRoot.choose(vipServersModel.get(vipDelegate.index), "vip")
                            else
                                console.log("⚠️ 此服务器需要VIP权限")
                        }
                    }
                }
            }

            Text {
                id: loadingLabel
                objectName: "loadingLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: selectServerRoot.isLoading && !selectServerRoot.hasServers
                text: "正在加载服务器列表..."
                color: Constants.textSecondary
                font.pixelSize: 14
                font.family: Constants.font.family
            }

            Text {
                id: emptyLabel
                objectName: "emptyLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: !selectServerRoot.isLoading && selectServerRoot.errorMessage === ""
                         && !selectServerRoot.hasServers
                text: "暂无可用服务器"
                color: Constants.textSecondary
                font.pixelSize: 14
                font.family: Constants.font.family
            }

            RetryNotice {
                id: errorNotice
                objectName: "errorNotice"
                width: parent.width
                visible: selectServerRoot.errorMessage !== ""
                message: "服务器列表加载失败: " + selectServerRoot.errorMessage
                onRetry: {
                    console.log("🔄 重新获取服务器列表")
                    selectServerRoot.requestServers()
                }
            }
        }
    }

    Connections {
        target: typeof API !== "undefined" ? API : null
        ignoreUnknownSignals: true

        function onServersLoaded(servers) {
            console.log("✅ 服务器列表加载成功，数量:", servers.length)
            console.log("[DEBUG H11] SelectServerScreen.onServersLoaded - selectedServerId:",
                        selectServerRoot.selectedServerId)
            selectServerRoot.fill(servers)
            selectServerRoot.isLoading = false
            selectServerRoot.errorMessage = ""
            console.log("📍 服务器列表加载完成，当前选中ID:", selectServerRoot.selectedServerId)
        }

        function onServersError(message) {
            console.log("❌ 服务器列表加载失败:", message)
            selectServerRoot.isLoading = false
            // An empty text would hide the notice and its retry.
            selectServerRoot.errorMessage = message && message.length > 0 ? message : "未知错误"
        }
    }
}
