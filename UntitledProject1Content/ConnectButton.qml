import QtQuick
import QtQuick.Controls
import QtQuick.Shapes
import UntitledProject1

// The round connect button. A click only asks (connectionRequested / disconnectionRequested); the
// connection state itself comes from the VPN signals of API.
Item {
    id: root

    property bool connected: false
    property bool connecting: false
    property string durationText: "00:00:00"
    property bool isVip: false
    property int selectedServerId: -1
    property string selectedServerName: "选择服务器"
    property string vmessLink: ""
    property bool serverRequiresVip: false

    signal connectionRequested
    signal disconnectionRequested

    // hh:mm:ss with the hours counted on past 24, as the connection service counts them.
    function formatDuration(seconds) {
        const total = Math.max(0, Math.floor(seconds))
        const hours = Math.floor(total / 3600)
        const minutes = Math.floor((total % 3600) / 60)
        const secs = total % 60
        const pad = value => (value < 10 ? "0" : "") + value
        return pad(hours) + ":" + pad(minutes) + ":" + pad(secs)
    }

    width: 220
    height: 220

    Behavior on scale {
        NumberAnimation {
            duration: 150
            easing.type: Easing.OutQuad
        }
    }

    onConnectingChanged: console.log("🔧 [ConnectButton] connecting状态变化:", root.connecting)
    onConnectedChanged: console.log("🔧 [ConnectButton] connected状态变化:", root.connected)
    onSelectedServerIdChanged: console.log("🔧 [ConnectButton] selectedServerId变化:", root.selectedServerId)
    onVmessLinkChanged: console.log("🔧 [ConnectButton] vmessLink变化, 长度:", root.vmessLink.length)

    Component.onCompleted: {
        console.log("========================================")
        console.log("🔧 [ConnectButton] 组件初始化完成")
        console.log("  selectedServerId:", root.selectedServerId)
        console.log("  selectedServerName:", root.selectedServerName)
        console.log("  vmessLink长度:", root.vmessLink.length)
        console.log("  serverRequiresVip:", root.serverRequiresVip)
        console.log("  connected:", root.connected)
        console.log("  connecting:", root.connecting)
        console.log("========================================")
    }

    Connections {
        target: typeof API !== "undefined" ? API : null
        ignoreUnknownSignals: true

        function onVpnConnected() {
            console.log("✅ [ConnectButton] VPN连接成功")
            root.connected = true
            root.connecting = false
            // A new connection counts from zero, whatever the last one showed.
            root.durationText = "00:00:00"
        }
        function onVpnConnectionFailed(reasonCode, message) {
            console.log("❌ [ConnectButton] VPN连接失败:", message)
            root.connected = false
            root.connecting = false
            root.durationText = "00:00:00"
        }
        function onVpnDisconnected() {
            console.log("🔴 [ConnectButton] VPN已断开")
            root.connected = false
            root.connecting = false
            root.durationText = "00:00:00"
        }
        function onVpnForceDisconnected(message) {
            console.log("⚠️ [ConnectButton] VPN被强制断开:", message)
            root.connected = false
            root.connecting = false
            root.durationText = "00:00:00"
        }
        function onVpnDurationChanged(seconds) {
            root.durationText = root.formatDuration(seconds)
        }
    }

    // Hidden or minimised, the glow stops pulsing; the next show picks up the current state.
    WindowShown {
        id: windowShown
    }

    Rectangle {
        id: glowEffect
        objectName: "glowEffect"
        width: parent.width + 40
        height: parent.height + 40
        anchors.centerIn: parent
        radius: width / 2
        color: root.isVip ? Constants.accentGlow : Constants.primaryFree
        opacity: glowEffect.level / 255
        visible: root.connected

        // The pulse moves in steps of 1/255, the finest a display shows: an animation frame between two
        // steps would draw the same pixels again.
        property int level: 0

        SequentialAnimation on level {
            id: glowPulse
            objectName: "glowPulse"
            running: root.connected && windowShown.shown
            loops: Animation.Infinite
            NumberAnimation {
                to: 0.2 * 255
                duration: 1500
                easing.type: Easing.InOutSine
            }
            NumberAnimation {
                to: 0
                duration: 1500
                easing.type: Easing.InOutSine
            }
        }
    }

    // The ring, the icon and the texts change seldom: while the glow pulses beneath them they are drawn
    // from one cached picture, at rest size only, so that the pointer feedback scales the drawing itself.
    Item {
        id: buttonFace
        objectName: "buttonFace"
        anchors.fill: parent
        layer.enabled: root.connected && root.scale === 1

        Rectangle {
            id: outerRingBase
            objectName: "outerRingBase"
            anchors.fill: parent
            radius: width / 2
            gradient: Gradient {
                orientation: Gradient.Vertical
                GradientStop {
                    position: 0.0
                    color: root.isVip ? Constants.accentGlow : Constants.colorSuccess
                }
                GradientStop {
                    position: 1.0
                    color: root.isVip ? Constants.primaryVip : Constants.primaryFree
                }
            }
        }

        Rectangle {
            id: ringMask
            width: parent.width - 24
            height: parent.height - 24
            anchors.centerIn: parent
            radius: width / 2
            gradient: Gradient {
                orientation: Gradient.Vertical
                GradientStop {
                    position: 0.0
                    color: "#0A0E27"
                }
                GradientStop {
                    position: 1.0
                    color: "#080A1F"
                }
            }
        }

        Item {
            id: innerCircleGroup
            width: 80
            height: 80
            anchors.centerIn: parent

            Rectangle {
                id: circleBorder
                objectName: "circleBorder"
                anchors.fill: parent
                radius: width / 2
                color: "transparent"
                border.width: 3
                border.color: root.isVip ? Constants.primaryVip : Constants.primaryFree
                opacity: 0.8
            }

            Shape {
                id: powerIcon
                width: 32
                height: 32
                anchors.centerIn: parent

                ShapePath {
                    id: powerPath
                    strokeWidth: 3
                    strokeColor: root.isVip ? Constants.primaryVip : Constants.primaryFree
                    fillColor: "transparent"
                    capStyle: ShapePath.RoundCap

                    PathAngleArc {
                        centerX: 16
                        centerY: 16
                        radiusX: 14
                        radiusY: 14
                        startAngle: -60
                        sweepAngle: 300
                    }
                    PathMove {
                        x: 16
                        y: 2
                    }
                    PathLine {
                        x: 16
                        y: 14
                    }
                }
            }
        }

        Column {
            id: infoText
            anchors.centerIn: parent
            anchors.verticalCenterOffset: 60
            spacing: 4

            Text {
                id: durationCaption
                anchors.horizontalCenter: parent.horizontalCenter
                text: "连接时长"
                color: Constants.textSecondary
                font.pixelSize: 11
                font.family: Constants.font.family
                opacity: 0.7
            }

            OnScreenText {
                id: durationLabel
                objectName: "durationLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                liveText: root.durationText
                color: Constants.textPrimary
                font.pixelSize: 18
                font.bold: true
                font.family: Constants.font.family
                style: Text.Outline
                styleColor: "#000000"
            }
        }
    }

    MouseArea {
        id: buttonMouseArea
        objectName: "buttonMouseArea"
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        enabled: !root.connecting

        onEnabledChanged: console.log("🔧 [ConnectButton] MouseArea enabled状态变化:", buttonMouseArea.enabled,
                                      "connecting:", root.connecting)
        Component.onCompleted: console.log("🔧 [ConnectButton] MouseArea初始化完成, enabled:", buttonMouseArea.enabled)

        onEntered: {
            console.log("🖱️ [ConnectButton] 鼠标进入按钮区域")
            root.scale = 1.02
        }
        onPressed: {
            console.log("🖱️ [ConnectButton] 按钮按下")
            root.scale = 0.96
        }
        onReleased: {
            console.log("🖱️ [ConnectButton] 按钮释放")
            root.scale = 1.0
        }
        onExited: {
            console.log("🖱️ [ConnectButton] 鼠标离开按钮区域")
            root.scale = 1.0
        }
        onClicked: {
            console.log("========================================")
            console.log("🖱️ [ConnectButton] 按钮被点击")
            console.log("  当前状态 - connected:", root.connected, "connecting:", root.connecting)
            console.log("  MouseArea enabled:", buttonMouseArea.enabled)
            console.log("  服务器ID:", root.selectedServerId)
            console.log("  服务器名称:", root.selectedServerName)
            console.log("  VMess链接长度:", root.vmessLink.length)
            console.log("========================================")
            if (root.connected) {
                console.log("🔴 用户点击断开VPN")
                root.disconnectionRequested()
            } else {
                console.log("🔵 用户点击连接VPN，发送connectionRequested信号")
                root.connectionRequested()
            }
        }
    }

    BusyIndicator {
        id: busyIndicator
        objectName: "busyIndicator"
        width: 40
        height: 40
        anchors.centerIn: parent
        visible: root.connecting
        running: root.connecting
    }
}
