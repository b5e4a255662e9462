import QtQuick
import QtTest

// Proves the end-to-end harness: the real `API` reaches the development service.
TestCase {
    id: root
    name: "EndToEndHarness"

    SignalSpy {
        id: loginSpy
        target: API
        signalName: "loginSuccess"
    }

    function test_signInReachesTheService() {
        API.login(Dev.demoEmail, Dev.demoPassword)
        loginSpy.wait(5000)
        compare(API.isLoggedIn, true)
        compare(API.userEmail, Dev.demoEmail)
        compare(Dev.requests("auth/login").length, 1)
        API.logout()
        tryCompare(API, "isLoggedIn", false)
    }
}
