import QtQuick
import QtQuick.Controls
import QtQuick.Shapes
import UntitledProject1

// The main screen: user box, status box and trial button, speeds, the connect button with the mode
// tabs, and the server and VIP cards. The wrapper feeds the user and traffic values; the window
// feeds the chosen server.
Rectangle {
    id: root

    property alias loginArea: userMouseArea
    property alias announcementArea: announcementMouseArea
    property alias settingsArea: settingsMouseArea
    property alias selectServerArea: selectServerMouseArea
    property alias vipArea: vipMouseArea

    property int currentMode: 1
    property bool userLoggedIn: false
    property string userEmail: ""
    property string userName: ""
    property bool userIsVip: false
    property int vipDays: 0
    property int freeMinutes: 120
    property bool userTrialUsed: false
    // A free-trial activation has been asked for and not answered yet.
    property bool trialActivating: false

    property string selectedServerName: "选择服务器"
    property string selectedServerFlag: "🌐"
    property string selectedServerCountryCode: ""
    property string selectedServerLatency: ""
    property int selectedServerId: -1
    property string selectedServerVmessLink: ""
    property bool selectedServerRequiresVip: false

    property string uploadSpeed: "0 B/s"
    property string downloadSpeed: "0 B/s"
    property real uploadBytes: 0
    property real downloadBytes: 0

    signal defaultServerNeeded(int serverId, string serverName, string serverFlag, string countryCode,
                               string vmessLink, bool requiresVip)

    function formatTraffic(bytes) {
        if (bytes < 1024)
            return bytes.toFixed(0) + " B/s"
        if (bytes < 1024 * 1024)
            return (bytes / 1024).toFixed(1) + " KB/s"
        if (bytes < 1024 * 1024 * 1024)
            return (bytes / 1024 / 1024).toFixed(2) + " MB/s"
        return (bytes / 1024 / 1024 / 1024).toFixed(2) + " GB/s"
    }

    width: Constants.width
    height: Constants.height
    gradient: Gradient {
        orientation: Gradient.Vertical
        GradientStop {
            position: 0.0
            color: "#0A0E27"
        }
        GradientStop {
            position: 1.0
            color: "#050715"
        }
    }

    Component.onCompleted: {
        console.log("🔄 主界面加载，获取服务器列表")
        console.log("[DEBUG H5] Screen.onCompleted - selectedServerId:", root.selectedServerId,
                    "selectedServerName:", root.selectedServerName)
        if (typeof API !== "undefined")
            API.getServers()
    }

    Connections {
        target: typeof API !== "undefined" ? API : null
        ignoreUnknownSignals: true

        function onTrialActivated(user) {
            console.log("✅ 免费体验激活成功")
            console.log("  体验剩余:", user.trialHoursRemaining, "小时")
            root.trialActivating = false
        }
        function onTrialActivationError(message) {
            console.log("❌ 免费体验激活失败:", message)
            root.trialActivating = false
        }
        // A list asked for while signed out was refused, and nothing else asks on the main screen:
        // after a sign-in or a registration it asks again, so a server is chosen for the connect button.
        function onLoginSuccess() {
            if (root.selectedServerId === -1)
                API.getServers()
        }
        function onUserInfoChanged() {
            console.log("🔄 用户信息已更新")
            console.log("  VIP状态:", API.isVip)
            console.log("  VIP天数:", API.vipDays)
            console.log("  免费分钟:", API.freeMinutes)
        }
        function onServersLoaded(servers) {
            console.log("✅ 服务器列表加载成功，数量:", servers.length)
            console.log("[DEBUG H1] onServersLoaded BEFORE - selectedServerId:", root.selectedServerId,
                        "selectedServerName:", root.selectedServerName)
            if (servers.length > 0 && root.selectedServerId === -1) {
                let server = null
                for (let i = 0; i < servers.length && server === null; ++i) {
                    if (servers[i].canConnect === true)
                        server = servers[i]
                }
                if (server === null)
                    return
                const link = server.vmessLink || ""
                console.log("📍 需要设置默认服务器:", server.name, "ID:", server.id, "vmessLink长度:", link.length)
                root.defaultServerNeeded(server.id, server.name, server.flag || "🌐", server.countryCode || "",
                                         link, server.requiresVip || false)
            } else if (root.selectedServerId !== -1) {
                console.log("📍 保持已选择的服务器:", root.selectedServerName, "ID:", root.selectedServerId)
            }
        }
        // The chosen server stays in use after a failed list, so the card keeps showing it.
        function onServersError(message) {
            console.log("❌ 服务器列表加载失败:", message)
        }
    }

    Column {
        id: contentColumn
        objectName: "contentColumn"
        width: root.width - 48
        anchors.centerIn: parent
        spacing: 24

        // Top bar: who is signed in, the announcement and settings icons.
        Item {
            id: topBar
            width: contentColumn.width
            height: 50

            // The pill holds its whole content: at least 160 wide, growing with a long name or the VIP
            // badge up to the room the icons leave, where the name is cut short instead.
            Rectangle {
                id: userInfoBox
                objectName: "userInfoBox"

                readonly property real inset: 12
                readonly property real widest: topBar.width - iconRow.width - 16

                width: Math.min(Math.max(160, userRow.implicitWidth + 2 * userInfoBox.inset), userInfoBox.widest)
                height: 44
                radius: 22
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                color: userMouseArea.containsMouse ? Qt.lighter(Constants.cardColor, 1.2) : Constants.cardColor
                border.width: 1
                border.color: "transparent"

                Behavior on color {
                    ColorAnimation {
                        duration: 200
                    }
                }

                Row {
                    id: userRow
                    objectName: "userRow"
                    anchors.centerIn: parent
                    spacing: 10

                    Rectangle {
                        id: avatar
                        objectName: "avatar"
                        width: 28
                        height: 28
                        radius: 14
                        color: root.userLoggedIn ? (root.userIsVip ? Constants.colorVip : Constants.primaryFree)
                                                 : Constants.textSecondary
                        border.width: root.userIsVip ? 1.5 : 0
                        border.color: root.userIsVip ? Qt.rgba(Constants.primaryVip.r, Constants.primaryVip.g,
                                                                Constants.primaryVip.b, 0.6) : "transparent"

                        Text {
                            id: avatarInitial
                            objectName: "avatarInitial"
                            anchors.centerIn: parent
                            text: root.userLoggedIn ? (root.userName.length > 0 ? String.fromCodePoint(root.userName.codePointAt(0)).toUpperCase()
                                                                                 : "U") : "?"
                            textFormat: Text.PlainText
                            font.bold: true
                            color: Constants.backgroundColor
                        }
                    }

                    Column {
                        id: userTextColumn
                        anchors.verticalCenter: parent.verticalCenter

                        Row {
                            id: nameRow
                            spacing: 4

                            OneLineText {
                                id: userNameLabel
                                objectName: "userNameLabel"

                                // What the pill's widest size leaves beside the avatar and the badge.
                                room: userInfoBox.widest - 2 * userInfoBox.inset - avatar.width
                                      - userRow.spacing
                                      - (vipStar.visible ? vipStar.implicitWidth + nameRow.spacing : 0)
                                      - (vipBadge.visible ? vipBadge.implicitWidth + nameRow.spacing : 0)
                                fullText: root.userLoggedIn ? (root.userName.length > 0 ? root.userName : root.userEmail)
                                                            : "未登录"
                                font.pixelSize: 14
                                font.bold: true
                                font.family: Constants.font.family
                                color: Constants.textPrimary
                            }
                            Text {
                                id: vipStar
                                objectName: "vipStar"
                                text: "⭐"
                                font.pixelSize: 12
                                color: Constants.colorVip
                                visible: root.userLoggedIn && root.userIsVip
                            }
                            Text {
                                id: vipBadge
                                objectName: "vipBadge"
                                text: "VIP"
                                font.pixelSize: 12
                                font.bold: true
                                color: Constants.colorVip
                                visible: root.userLoggedIn && root.userIsVip
                            }
                        }

                        Text {
                            id: userSubtitle
                            objectName: "userSubtitle"
                            text: root.userLoggedIn ? (root.userIsVip ? "VIP会员" : "免费用户") : "点击登录"
                            font.pixelSize: 10
                            font.family: Constants.font.family
                            color: root.userIsVip ? Constants.colorVip : Constants.textSecondary
                        }
                    }
                }

                MouseArea {
                    id: userMouseArea
                    objectName: "userMouseArea"
                    anchors.fill: parent
                    hoverEnabled: true
                    enabled: !root.userLoggedIn
                    cursorShape: root.userLoggedIn ? Qt.ArrowCursor : Qt.PointingHandCursor
                }
            }

            Row {
                id: iconRow
                objectName: "iconRow"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 24

                Item {
                    id: announcementIcon
                    width: 24
                    height: 24

                    Shape {
                        anchors.fill: parent
                        ShapePath {
                            strokeWidth: 2
                            strokeColor: Constants.textSecondary
                            fillColor: "transparent"
                            capStyle: ShapePath.RoundCap
                            joinStyle: ShapePath.RoundJoin
                            startX: 4
                            startY: 6
                            PathLine { x: 10; y: 6 }
                            PathLine { x: 16; y: 2 }
                            PathLine { x: 16; y: 22 }
                            PathLine { x: 10; y: 18 }
                            PathLine { x: 4; y: 18 }
                            PathLine { x: 4; y: 6 }
                            PathMove { x: 20; y: 8 }
                            PathQuad { x: 22; y: 12; controlX: 23; controlY: 12 }
                        }
                    }

                    MouseArea {
                        id: announcementMouseArea
                        objectName: "announcementMouseArea"
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                    }
                }

                Item {
                    id: settingsIcon
                    width: 24
                    height: 24

                    Shape {
                        anchors.fill: parent
                        ShapePath {
                            strokeWidth: 2
                            strokeColor: Constants.textSecondary
                            fillColor: "transparent"
                            capStyle: ShapePath.RoundCap
                            joinStyle: ShapePath.RoundJoin
                            startX: 12
                            startY: 4
                            PathArc { x: 12; y: 20; radiusX: 8; radiusY: 8; useLargeArc: true; direction: PathArc.Clockwise }
                            PathArc { x: 12; y: 4; radiusX: 8; radiusY: 8; useLargeArc: true; direction: PathArc.Clockwise }
                            PathMove { x: 12; y: 9 }
                            PathArc { x: 12; y: 15; radiusX: 3; radiusY: 3; useLargeArc: true; direction: PathArc.Clockwise }
                            PathArc { x: 12; y: 9; radiusX: 3; radiusY: 3; useLargeArc: true; direction: PathArc.Clockwise }
                            PathMove { x: 12; y: 2 }
                            PathLine { x: 12; y: 4 }
                            PathMove { x: 12; y: 20 }
                            PathLine { x: 12; y: 22 }
                            PathMove { x: 2; y: 12 }
                            PathLine { x: 4; y: 12 }
                            PathMove { x: 20; y: 12 }
                            PathLine { x: 22; y: 12 }
                        }
                    }

                    MouseArea {
                        id: settingsMouseArea
                        objectName: "settingsMouseArea"
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                    }
                }
            }
        }

        // VIP days or free-trial minutes left. While the trial button offers the trial, no minutes of it
        // are running, so the line gives way to the button.
        Item {
            id: statusBox
            objectName: "statusBox"
            width: contentColumn.width
            height: 40
            visible: (root.userIsVip || root.freeMinutes > 0) && !trialButton.visible

            Rectangle {
                id: statusPanel
                objectName: "statusPanel"
                width: statusBox.width * 0.75
                height: 40
                radius: 8
                anchors.centerIn: parent
                color: root.userIsVip ? Qt.rgba(Constants.primaryVip.r, Constants.primaryVip.g, Constants.primaryVip.b, 0.1)
                                      : Qt.rgba(Constants.primaryFree.r, Constants.primaryFree.g, Constants.primaryFree.b, 0.1)
                border.width: root.userIsVip ? 1.5 : 0
                border.color: root.userIsVip ? Qt.rgba(Constants.primaryVip.r, Constants.primaryVip.g, Constants.primaryVip.b, 0.5)
                                             : "transparent"

                Text {
                    id: statusText
                    objectName: "statusText"
                    anchors.centerIn: parent
                    text: root.userIsVip ? "VIP " + root.vipDays + "天" : "免费体验时长剩余 " + root.freeMinutes + " 分钟"
                    font.pixelSize: 13
                    font.bold: true
                    font.family: Constants.font.family
                    color: root.userIsVip ? Constants.colorVip : Constants.primaryFree
                }
            }
        }

        // Offered while the account may still activate its free trial.
        Button {
            id: trialButton
            objectName: "trialButton"
            width: contentColumn.width * 0.75
            height: 44
            anchors.horizontalCenter: parent.horizontalCenter
            visible: root.userLoggedIn && !root.userIsVip && !root.userTrialUsed
            enabled: !root.trialActivating
            onClicked: {
                console.log("🎁 激活免费体验")
                root.trialActivating = true
                if (typeof API !== "undefined")
                    API.activateFreeTrial()
            }

            contentItem: Text {
                text: "🎁 激活 2 小时免费体验"
                font.pixelSize: 14
                font.bold: true
                font.family: Constants.font.family
                color: "#0A0E27"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                radius: 10
                gradient: Gradient {
                    orientation: Gradient.Vertical
                    GradientStop {
                        position: 0.0
                        color: Constants.primaryFree
                    }
                    GradientStop {
                        position: 1.0
                        color: Qt.lighter(Constants.primaryFree, 1.2)
                    }
                }
            }
        }

        // Download speed, connection state, upload speed.
        Item {
            id: trafficRow
            width: contentColumn.width
            height: 80

            Row {
                id: downloadGroup
                anchors.left: parent.left
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8

                Text {
                    text: "↓"
                    color: Constants.colorSuccess
                    font.bold: true
                }
                Column {
                    OnScreenText {
                        id: downloadSpeedLabel
                        objectName: "downloadSpeedLabel"
                        liveText: root.downloadSpeed
                        color: Constants.textPrimary
                        font.bold: true
                        font.pixelSize: 14
                    }
                    Text {
                        text: "下载速度"
                        color: Constants.textSecondary
                        font.pixelSize: 10
                    }
                }
            }

            Column {
                id: statusGroup
                anchors.centerIn: parent
                spacing: 4

                Text {
                    id: connectionStateLabel
                    objectName: "connectionStateLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: connectBtn.connected ? "已连接" : "未连接"
                    color: Constants.textPrimary
                    font.pixelSize: 24
                    font.bold: true
                    font.family: Constants.font.family
                }
                Text {
                    id: connectHint
                    objectName: "connectHint"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "点击连接"
                    color: Constants.textSecondary
                    font.pixelSize: 12
                    visible: !connectBtn.connected
                }
            }

            Row {
                id: uploadGroup
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8
                layoutDirection: Qt.RightToLeft

                Text {
                    text: "↑"
                    color: Constants.accentGlow
                    font.bold: true
                }
                Column {
                    id: uploadColumn
                    OnScreenText {
                        id: uploadSpeedLabel
                        objectName: "uploadSpeedLabel"
                        anchors.right: uploadColumn.right
                        liveText: root.uploadSpeed
                        color: Constants.textPrimary
                        font.bold: true
                        font.pixelSize: 14
                    }
                    Text {
                        anchors.right: uploadColumn.right
                        text: "上传速度"
                        color: Constants.textSecondary
                        font.pixelSize: 10
                    }
                }
            }
        }

        Item {
            id: connectArea
            width: contentColumn.width
            height: 250

            ConnectButton {
                id: connectBtn
                objectName: "connectBtn"
                anchors.centerIn: parent
                selectedServerId: root.selectedServerId
                selectedServerName: root.selectedServerName
                serverRequiresVip: root.selectedServerRequiresVip
                vmessLink: root.selectedServerVmessLink
                isVip: root.userIsVip

                onConnectionRequested: {
                    console.log("========================================")
                    console.log("🔵 [VPN连接] 处理连接请求")
                    console.log("  服务器ID:", connectBtn.selectedServerId)
                    console.log("  服务器名称:", connectBtn.selectedServerName)
                    console.log("  VMess链接长度:", connectBtn.vmessLink.length > 0 ? connectBtn.vmessLink.length : "空")
                    console.log("  需要VIP:", connectBtn.serverRequiresVip)
                    console.log("  用户是VIP:", root.userIsVip)
                    console.log("========================================")
                    if (typeof API === "undefined") {
                        console.log("❌ API未定义")
                        return
                    }
                    if (!API.isLoggedIn) {
                        console.log("❌ 未登录，无法连接")
                        return
                    }
                    if (!(connectBtn.selectedServerId > 0)) {
                        console.log("❌ 未选择服务器, selectedServerId:", connectBtn.selectedServerId)
                        return
                    }
                    if (connectBtn.vmessLink.length === 0) {
                        console.log("❌ VMess链接为空，无法连接")
                        console.log("  请确保选择了有效的服务器")
                        return
                    }
                    console.log("🔍 检查VPN连接权限...")
                    const code = API.checkVpnPermission(connectBtn.selectedServerId, connectBtn.serverRequiresVip)
                    if (code !== 0) {
                        console.log("❌ 权限不足:", API.getVpnFailureReasonText(code), "错误码:", code)
                        return
                    }
                    console.log("✅ 权限检查通过，开始连接VPN...")
                    connectBtn.connecting = true
                    if (API.connectVpn(connectBtn.selectedServerId, connectBtn.vmessLink, connectBtn.serverRequiresVip)) {
                        console.log("✅ VPN连接请求已发送，等待连接结果...")
                    } else {
                        console.log("❌ API.connectVpn返回失败")
                        connectBtn.connecting = false
                    }
                }
                onDisconnectionRequested: {
                    console.log("🔴 处理断开请求")
                    if (typeof API !== "undefined")
                        API.disconnectVpn()
                }
            }
        }

        // Smart or global routing, applied at the next connect.
        Rectangle {
            id: modeBar
            width: contentColumn.width
            height: 48
            radius: 24
            color: Constants.cardColor

            Row {
                id: modeRow
                anchors.fill: parent

                Repeater {
                    id: modeTabs
                    objectName: "modeTabs"
                    model: [{ "mode": 0, "label": "智能模式" }, { "mode": 1, "label": "全局模式" }]

                    delegate: Rectangle {
                        id: modeTab
                        required property var modelData
                        readonly property bool selected: root.currentMode === modeTab.modelData.mode
                        width: modeRow.width / 2
                        height: modeRow.height
                        radius: 24
                        color: "transparent"

                        Rectangle {
                            id: modeIndicator
                            objectName: "modeIndicator"
                            anchors.fill: parent
                            anchors.margins: 4
                            radius: 20
                            color: Constants.primaryFree
                            opacity: modeTab.selected ? 0.15 : 0

                            Behavior on opacity {
                                NumberAnimation {
                                    duration: 200
                                }
                            }
                        }

                        Text {
                            id: modeLabel
                            objectName: "modeLabel"
                            anchors.centerIn: parent
                            text: modeTab.modelData.label
                            color: modeTab.selected ? Constants.primaryFree : Constants.textSecondary
                            font.bold: modeTab.selected
                            font.pixelSize: 14
                            font.family: Constants.font.family
                        }

                        MouseArea {
                            id: modeMouseArea
                            objectName: "modeMouseArea"
                            anchors.fill: parent
                            cursorShape: Qt.PointingHandCursor
                            onClicked: {
                                console.log(modeTab.modelData.mode === 0 ? "切换到智能模式" : "切换到全局模式")
                                root.currentMode = modeTab.modelData.mode
                                if (typeof API !== "undefined")
                                    API.setRoutingMode(modeTab.modelData.mode)
                            }
                        }
                    }
                }
            }
        }

        // The chosen server and the VIP offer; the window handles their clicks.
        Column {
            id: cardColumn
            width: contentColumn.width
            spacing: 12

            Rectangle {
                id: serverCard
                objectName: "serverCard"
                width: cardColumn.width
                height: 64
                color: Constants.cardColor
                radius: 16

                Row {
                    id: serverRow
                    anchors.left: parent.left
                    anchors.leftMargin: 20
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 16

                    Rectangle {
                        id: flagBox
                        objectName: "flagBox"
                        width: 36
                        height: 36
                        color: Qt.rgba(1, 1, 1, 0.05)
                        radius: 6
                        border.width: 1
                        border.color: Qt.rgba(1, 1, 1, 0.1)

                        Image {
                            id: flagImage
                            objectName: "flagImage"
                            width: 28
                            height: 21
                            anchors.centerIn: parent
                            source: FlagImages.imageSource(root.selectedServerCountryCode)
                            fillMode: Image.PreserveAspectFit
                            cache: true

                            Rectangle {
                                id: flagFallback
                                objectName: "flagFallback"
                                anchors.fill: parent
                                color: "transparent"
                                visible: flagImage.status === Image.Null || flagImage.status === Image.Error

                                // A code longer than the box is cut short inside it.
                                OneLineText {
                                    id: flagFallbackText
                                    objectName: "flagFallbackText"
                                    anchors.centerIn: parent
                                    room: flagBox.width - 4
                                    horizontalAlignment: Text.AlignHCenter
                                    fullText: root.selectedServerCountryCode.length > 0 ? root.selectedServerCountryCode : "🌐"
                                    font.pixelSize: root.selectedServerCountryCode.length > 0 ? 14 : 20
                                    font.bold: true
                                    font.family: Constants.font.family
                                    color: Constants.textPrimary
                                }
                            }
                        }
                    }

                    Column {
                        id: serverTextColumn
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2

                        // Room up to the arrow, with a gap of 12 before it.
                        readonly property real room: serverCard.width - serverRow.anchors.leftMargin - flagBox.width
                                                     - serverRow.spacing - 12 - serverArrow.width
                                                     - serverArrow.anchors.rightMargin

                        OneLineText {
                            id: serverNameLabel
                            objectName: "serverNameLabel"
                            room: serverTextColumn.room
                            fullText: root.selectedServerName
                            color: Constants.textPrimary
                            font.bold: true
                            font.pixelSize: 15
                            font.family: Constants.font.family
                        }
                        OneLineText {
                            id: serverLatencyLabel
                            objectName: "serverLatencyLabel"
                            room: serverTextColumn.room
                            fullText: root.selectedServerLatency
                            color: Constants.colorSuccess
                            font.pixelSize: 11
                            font.family: Constants.font.family
                            visible: root.selectedServerLatency !== ""
                        }
                    }
                }

                Text {
                    id: serverArrow
                    anchors.right: parent.right
                    anchors.rightMargin: 20
                    anchors.verticalCenter: parent.verticalCenter
                    text: ">"
                    color: Constants.textSecondary
                    font.pixelSize: 18
                }

                MouseArea {
                    id: selectServerMouseArea
                    objectName: "selectServerMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }

            Rectangle {
                id: vipCard
                objectName: "vipCard"
                width: cardColumn.width
                height: 64
                color: Constants.cardColor
                radius: 16
                border.width: 1
                border.color: Qt.rgba(Constants.primaryVip.r, Constants.primaryVip.g, Constants.primaryVip.b, 0.3)

                Row {
                    id: vipRow
                    anchors.left: parent.left
                    anchors.leftMargin: 20
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 16

                    Rectangle {
                        id: crownBadge
                        width: 36
                        height: 36
                        color: Qt.rgba(Constants.primaryVip.r, Constants.primaryVip.g, Constants.primaryVip.b, 0.1)
                        radius: 12

                        Text {
                            anchors.centerIn: parent
                            text: "👑"
                        }
                    }

                    Column {
                        id: vipTextColumn
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2

                        Text {
                            text: "升级 VIP 会员"
                            color: Constants.primaryVip
                            font.bold: true
                            font.pixelSize: 15
                            font.family: Constants.font.family
                        }
                        Text {
                            text: "解锁 4K 秒开 / 专线节点"
                            color: Constants.textSecondary
                            font.pixelSize: 11
                            font.family: Constants.font.family
                        }
                    }
                }

                Text {
                    anchors.right: parent.right
                    anchors.rightMargin: 20
                    anchors.verticalCenter: parent.verticalCenter
                    text: ">"
                    color: Constants.primaryVip
                    font.pixelSize: 18
                }

                MouseArea {
                    id: vipMouseArea
                    objectName: "vipMouseArea"
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                }
            }
        }
    }
}
