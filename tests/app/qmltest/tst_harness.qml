import QtQuick
import QtTest
import UntitledProject1

// The runner itself: the modules load from the resources, `API` is the fake and its control answers.
Item {
    id: root
    width: 100
    height: 100

    SignalSpy {
        id: userInfoSpy
        target: API
        signalName: "userInfoChanged"
    }

    TestCase {
        id: testCase
        name: "Harness"
        when: windowShown

        function init() {
            FakeApi.reset()
        }

        function test_modulesAndFake() {
            compare(Constants.width, 430)
            verify(typeof API !== "undefined")
            compare(API.isLoggedIn, false)
            compare(API.freeMinutes, 120)
            API.getServers()
            API.getServers("vip")
            compare(FakeApi.callCount("getServers"), 2)
            compare(FakeApi.lastArgs("getServers"), ["vip"])
        }

        function test_windowLoadsFromTheResources() {
            const component = Qt.createComponent("qrc:/qt/qml/UntitledProject1Content/App.qml")
            compare(component.status, Component.Ready, component.errorString())
        }

        function test_stateAndSignals() {
            userInfoSpy.clear()
            FakeApi.setState({ "isLoggedIn": true, "userEmail": "a@b.c", "freeMinutes": 0, "trialUsed": true })
            compare(userInfoSpy.count, 1)
            compare(API.isLoggedIn, true)
            compare(API.userEmail, "a@b.c")
            compare(API.trialUsed, true)
            FakeApi.permissionResult = 4
            compare(API.checkVpnPermission(3, false), 4)
            compare(API.getVpnFailureReasonText(4), "您的免费体验时长已用完，请升级VIP继续使用")
            compare(API.connectVpn(3, "", false), false)
        }
    }
}
