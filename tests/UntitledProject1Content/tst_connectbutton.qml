import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    Component {
        id: buttonComponent
        ConnectButton {
            x: 100
            y: 100
        }
    }

    // Keeps time with the button's own scale behaviour: once this one has reached a new scale, the
    // button's would have too.
    Component {
        id: clockComponent
        ConnectButton {
            x: 100
            y: 400
        }
    }

    SignalSpy {
        id: connectSpy
        signalName: "connectionRequested"
    }
    SignalSpy {
        id: disconnectSpy
        signalName: "disconnectionRequested"
    }

    TestCase {
        id: testCase
        name: "ConnectButton"
        when: windowShown

        property var button: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            testCase.button = createTemporaryObject(buttonComponent, root)
            connectSpy.target = testCase.button
            disconnectSpy.target = testCase.button
            connectSpy.clear()
            disconnectSpy.clear()
        }

        function cleanup() {
            root.Window.window.showNormal()
            tryCompare(root.Window.window, "visibility", Window.Windowed)
        }

        function part(name) {
            const item = findChild(testCase.button, name)
            verify(item, name + " not found")
            return item
        }

        function test_freshButton() {
            compare(button.width, 220)
            compare(button.height, 220)
            compare(button.durationText, "00:00:00")
            compare(part("durationLabel").text, "00:00:00")
            verify(!part("glowEffect").visible)
            verify(!part("busyIndicator").visible)
            verify(!part("busyIndicator").running)
            mouseClick(button)
            compare(connectSpy.count, 1)
            compare(disconnectSpy.count, 0)
        }

        function test_clickAsksByState_data() {
            return [
                { tag: "idle", connected: false, connecting: false, connect: 1, disconnect: 0 },
                { tag: "connected", connected: true, connecting: false, connect: 0, disconnect: 1 },
                { tag: "connecting", connected: false, connecting: true, connect: 0, disconnect: 0 }
            ]
        }

        function test_clickAsksByState(data) {
            button.connected = data.connected
            button.connecting = data.connecting
            mouseClick(button)
            compare(connectSpy.count, data.connect)
            compare(disconnectSpy.count, data.disconnect)
            // A request never changes the button's own state; only API's answers do.
            compare(button.connected, data.connected)
            compare(button.connecting, data.connecting)
        }

        function test_cornerOutsideTheCircleCounts() {
            mouseClick(button, 3, 3)
            mouseClick(button, 217, 217)
            compare(connectSpy.count, 2)
        }

        function test_busyWhileConnecting() {
            button.connecting = true
            verify(part("busyIndicator").visible)
            verify(part("busyIndicator").running)
            const area = part("buttonMouseArea")
            verify(!area.enabled)
            const clock = createTemporaryObject(clockComponent, root)
            mousePress(button)
            clock.scale = 0.96
            verify(!area.pressed, "a disabled area takes the press")
            verify(!QmlLog.contains("按钮按下"), "the press handler ran")
            tryCompare(clock, "scale", 0.96)
            compare(button.scale, 1, "a disabled area ignores presses")
            mouseRelease(button)
            compare(connectSpy.count + disconnectSpy.count, 0)
        }

        function test_apiSignal_data() {
            return [
                { tag: "connected from idle", connected: false, connecting: false, duration: "00:00:00",
                  emit: () => API.vpnConnected(), after: [true, false, "00:00:00"] },
                { tag: "connected from connecting", connected: false, connecting: true, duration: "00:00:00",
                  emit: () => API.vpnConnected(), after: [true, false, "00:00:00"] },
                { tag: "new connection counts from zero", connected: false, connecting: true, duration: "01:02:05",
                  emit: () => API.vpnConnected(), after: [true, false, "00:00:00"] },
                { tag: "failure while connected resets the duration", connected: true, connecting: false,
                  duration: "01:02:05", emit: () => API.vpnConnectionFailed(10, "网络连接失败，请检查网络设置"),
                  after: [false, false, "00:00:00"] },
                { tag: "failure while connecting", connected: false, connecting: true, duration: "00:00:00",
                  emit: () => API.vpnConnectionFailed(3, "此线路为VIP专线，请升级VIP后使用"),
                  after: [false, false, "00:00:00"] },
                { tag: "disconnected", connected: true, connecting: false, duration: "00:10:00",
                  emit: () => API.vpnDisconnected(), after: [false, false, "00:00:00"] },
                { tag: "disconnected while connecting", connected: false, connecting: true, duration: "00:00:00",
                  emit: () => API.vpnDisconnected(), after: [false, false, "00:00:00"] },
                { tag: "forced off", connected: true, connecting: false, duration: "02:00:00",
                  emit: () => API.vpnForceDisconnected("您的账号在其他设备登录，已被强制下线"),
                  after: [false, false, "00:00:00"] },
                { tag: "permission denied is not the button's", connected: false, connecting: true,
                  duration: "00:00:00", emit: () => API.vpnPermissionDenied(3, "x"), after: [false, true, "00:00:00"] },
                { tag: "traffic is not the button's", connected: true, connecting: false, duration: "00:00:07",
                  emit: () => API.vpnTrafficUpdate(10, 20), after: [true, false, "00:00:07"] }
            ]
        }

        function test_apiSignal(data) {
            button.connected = data.connected
            button.connecting = data.connecting
            button.durationText = data.duration
            data.emit()
            compare([button.connected, button.connecting, button.durationText], data.after)
            compare(part("durationLabel").text, data.after[2])
            compare(part("glowEffect").visible, data.after[0])
            compare(part("busyIndicator").visible, data.after[1])
        }

        function test_forcedOffSequenceEndsIdle() {
            API.vpnConnected()
            API.vpnDurationChanged(42)
            API.vpnDisconnected()
            API.vpnForceDisconnected("强制下线")
            API.vpnConnectionFailed(9, "强制下线")
            compare([button.connected, button.connecting, button.durationText], [false, false, "00:00:00"])
        }

        function test_durationText_data() {
            return [
                { tag: "zero", seconds: 0, text: "00:00:00" },
                { tag: "five seconds", seconds: 5, text: "00:00:05" },
                { tag: "hour, minutes, seconds", seconds: 3725, text: "01:02:05" },
                { tag: "a second short of a day", seconds: 86399, text: "23:59:59" },
                { tag: "one day", seconds: 86400, text: "24:00:00" },
                { tag: "25 hours", seconds: 90061, text: "25:01:01" },
                { tag: "100 hours", seconds: 360000, text: "100:00:00" }
            ]
        }

        function test_durationText(data) {
            API.vpnConnected()
            API.vpnDurationChanged(data.seconds)
            compare(button.durationText, data.text)
            compare(part("durationLabel").text, data.text)
        }

        function test_colours_data() {
            return [
                { tag: "free", vip: false, glow: Constants.primaryFree, top: Constants.colorSuccess,
                  bottom: Constants.primaryFree, accent: Constants.primaryFree },
                { tag: "vip", vip: true, glow: Constants.accentGlow, top: Constants.accentGlow,
                  bottom: Constants.primaryVip, accent: Constants.primaryVip }
            ]
        }

        function test_colours(data) {
            button.isVip = data.vip
            const ring = part("outerRingBase").gradient.stops
            verify(Qt.colorEqual(part("glowEffect").color, data.glow))
            verify(Qt.colorEqual(ring[0].color, data.top))
            verify(Qt.colorEqual(ring[1].color, data.bottom))
            verify(Qt.colorEqual(part("circleBorder").border.color, data.accent))
        }

        function test_glowPulsesOnlyWhileConnected() {
            const glow = part("glowEffect")
            API.vpnConnected()
            verify(glow.visible)
            tryVerify(() => glow.opacity > 0.02, 2000, "the glow pulses")
            API.vpnDisconnected()
            verify(!glow.visible)
        }

        // Hidden or minimised, the window shows nothing: the glow stops pulsing and the duration label
        // asks for no frame. The next show takes up what a visible window would show by then.
        function test_offScreenWindow_data() {
            return [
                { tag: "hidden, still connected", away: "hide", visibility: Window.Hidden,
                  meanwhile: () => API.vpnDurationChanged(6), pulsing: true, shown: "00:00:06" },
                { tag: "minimised, still connected", away: "showMinimized", visibility: Window.Minimized,
                  meanwhile: () => API.vpnDurationChanged(6), pulsing: true, shown: "00:00:06" },
                { tag: "hidden, disconnected meanwhile", away: "hide", visibility: Window.Hidden,
                  meanwhile: () => API.vpnDisconnected(), pulsing: false, shown: "00:00:00" }
            ]
        }

        function test_offScreenWindow(data) {
            const window = root.Window.window
            const pulse = part("glowPulse")
            const label = part("durationLabel")
            API.vpnConnected()
            API.vpnDurationChanged(5)
            verify(pulse.running)
            window[data.away]()
            tryCompare(window, "visibility", data.visibility)
            verify(!pulse.running, "the glow pulses off screen")
            data.meanwhile()
            compare(label.text, "00:00:05", "the hidden label follows the duration")
            window.showNormal()
            tryCompare(window, "visibility", Window.Windowed)
            compare(pulse.running, data.pulsing)
            compare(part("glowEffect").visible, data.pulsing)
            compare(label.text, data.shown)
        }

        function test_pointerFeedback() {
            mouseMove(button, 110, 110)
            tryCompare(button, "scale", 1.02)
            mousePress(button, 110, 110)
            tryCompare(button, "scale", 0.96)
            mouseRelease(button, 110, 110)
            tryCompare(button, "scale", 1)
            mouseMove(root, 5, 5)
        }

        function test_linkIsNeverLoggedWhole() {
            const link = "vmess://" + "c2VjcmV0LXZtZXNzLXBheWxvYWQtdGhhdC1tdXN0LW5vdC1sZWFr"
            button.vmessLink = link
            mouseClick(button)
            verify(QmlLog.contains("  VMess链接长度: " + link.length))
            verify(!QmlLog.contains("c2VjcmV0LXZtZXNzLXBheWxvYWQ"), "the link's payload reached the log")
        }
    }
}
