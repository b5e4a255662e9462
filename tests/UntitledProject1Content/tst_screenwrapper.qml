import QtQuick
import QtTest
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    Component {
        id: wrapperComponent
        ScreenWrapper {
            width: 430
            height: 880
        }
    }

    // A clock the test moves by hand.
    QtObject {
        id: fakeClock
        property real now: 1000
    }

    SignalSpy {
        id: defaultSpy
        signalName: "defaultServerNeeded"
    }

    TestCase {
        id: testCase
        name: "ScreenWrapper"
        when: windowShown

        property var wrapper: null

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            fakeClock.now = 1000
        }

        function makeWrapper() {
            testCase.wrapper = createTemporaryObject(wrapperComponent, root, { "clock": () => fakeClock.now })
            defaultSpy.target = testCase.wrapper
            defaultSpy.clear()
            return testCase.wrapper
        }

        function screenItem() {
            return findChild(testCase.wrapper, "screenItem")
        }

        function test_refreshOnOpening_data() {
            return [
                { tag: "signed in", loggedIn: true, refreshes: 1 },
                { tag: "signed out", loggedIn: false, refreshes: 0 }
            ]
        }

        function test_refreshOnOpening(data) {
            FakeApi.setState({ "isLoggedIn": data.loggedIn })
            FakeApi.clearCalls()
            makeWrapper()
            compare(FakeApi.callCount("refreshUserInfo"), data.refreshes)
        }

        function test_userValuesFollowApi() {
            makeWrapper()
            const screen = screenItem()
            compare([screen.userLoggedIn, screen.userEmail, screen.userIsVip, screen.freeMinutes], [false, "", false, 120])
            const states = [
                { isLoggedIn: true, userEmail: "a@x.cn", userName: "甲", isVip: false, vipDays: 0, freeMinutes: 120,
                  trialUsed: false },
                { isLoggedIn: true, userEmail: "a@x.cn", userName: "甲", isVip: false, vipDays: 0, freeMinutes: 0,
                  trialUsed: true },
                { isLoggedIn: true, userEmail: "b@x.cn", userName: "", isVip: true, vipDays: 31, freeMinutes: 0,
                  trialUsed: true },
                { isLoggedIn: false, userEmail: "", userName: "", isVip: false, vipDays: 0, freeMinutes: 120,
                  trialUsed: false }
            ]
            // Each change must show, also after the first userInfoChanged has been handled.
            for (const state of states) {
                FakeApi.setState(state)
                compare([screen.userLoggedIn, screen.userEmail, screen.userName, screen.userIsVip, screen.vipDays,
                         screen.freeMinutes, screen.userTrialUsed],
                        [state.isLoggedIn, state.userEmail, state.userName, state.isVip, state.vipDays,
                         state.freeMinutes, state.trialUsed])
            }
        }

        function test_signOutShowsBeforeTheUserIsCleared() {
            FakeApi.setState({ "isLoggedIn": true, "userEmail": "a@x.cn" })
            makeWrapper()
            // The facade announces the sign-out first and clears the user afterwards.
            FakeApi.setState({ "isLoggedIn": false })
            const screen = screenItem()
            verify(!screen.userLoggedIn)
            compare(screen.userEmail, "a@x.cn")
        }

        function test_defaultServerRequestIsPassedOnUntouched() {
            makeWrapper()
            screenItem().defaultServerNeeded(3, "香港", "🌐", "", "", false)
            compare(defaultSpy.count, 1)
            compare(Array.from(defaultSpy.signalArguments[0]), [3, "香港", "🌐", "", "", false])
        }

        function test_aliasesReachTheScreen() {
            makeWrapper()
            wrapper.selectedServerName = "首尔"
            wrapper.selectedServerId = 9
            compare(screenItem().selectedServerName, "首尔")
            compare(screenItem().selectedServerId, 9)
            compare(wrapper.selectServerArea, findChild(wrapper, "selectServerMouseArea"))
        }

        // Each step: advance the clock to t, deliver the totals, expect the two speed texts.
        function test_speeds_data() {
            return [
                { tag: "growth over the time between updates", steps: [
                    [3000, 2048, 4096, "1.0 KB/s", "2.0 KB/s"],
                    [5000, 2048 + 10240, 4096, "5.0 KB/s", "0 B/s"]] },
                { tag: "not the totals halved", steps: [
                    [3000, 2000, 0, "1000 B/s", "0 B/s"],
                    [5000, 4000, 0, "1000 B/s", "0 B/s"]] },
                { tag: "uneven periods", steps: [
                    [2000, 0, 0, "0 B/s", "0 B/s"],
                    [2500, 512, 1024 * 1024, "1.0 KB/s", "2.00 MB/s"],
                    [6500, 512 + 4096, 1024 * 1024, "1.0 KB/s", "0 B/s"]] },
                { tag: "counters that went back show no growth", steps: [
                    [3000, 8192, 8192, "4.0 KB/s", "4.0 KB/s"],
                    [5000, 100, 100, "0 B/s", "0 B/s"],
                    [7000, 2148, 100, "1.0 KB/s", "0 B/s"]] },
                { tag: "two updates at the same moment keep the last speed", steps: [
                    [3000, 2048, 2048, "1.0 KB/s", "1.0 KB/s"],
                    [3000, 9999, 9999, "1.0 KB/s", "1.0 KB/s"],
                    [5000, 2048 + 4096, 2048, "2.0 KB/s", "0 B/s"]] }
            ]
        }

        function test_speeds(data) {
            makeWrapper()
            API.vpnConnected()
            for (const step of data.steps) {
                fakeClock.now = step[0]
                API.vpnTrafficUpdate(step[1], step[2])
                compare([wrapper.uploadBytes, wrapper.downloadBytes], [step[1], step[2]])
                compare([wrapper.uploadSpeed, wrapper.downloadSpeed], [step[3], step[4]], "at " + step[0] + " ms")
                compare(findChild(wrapper, "uploadSpeedLabel").text, step[3])
                compare(findChild(wrapper, "downloadSpeedLabel").text, step[4])
            }
        }

        function test_resets_data() {
            return [
                { tag: "connected", emit: () => API.vpnConnected() },
                { tag: "disconnected", emit: () => API.vpnDisconnected() },
                { tag: "connection failed", emit: () => API.vpnConnectionFailed(10, "网络连接失败，请检查网络设置") },
                { tag: "forced off", emit: () => API.vpnForceDisconnected("强制下线") }
            ]
        }

        function test_resets(data) {
            makeWrapper()
            API.vpnConnected()
            fakeClock.now = 3000
            API.vpnTrafficUpdate(4096, 8192)
            verify(wrapper.uploadSpeed !== "0 B/s")
            fakeClock.now = 4000
            data.emit()
            compare([wrapper.uploadBytes, wrapper.downloadBytes, wrapper.uploadSpeed, wrapper.downloadSpeed],
                    [0, 0, "0 B/s", "0 B/s"])
            // The next figures count from the reset, not from the old totals.
            fakeClock.now = 6000
            API.vpnTrafficUpdate(2048, 0)
            compare(wrapper.uploadSpeed, "1.0 KB/s")
        }
    }
}
