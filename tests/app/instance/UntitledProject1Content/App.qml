import QtQuick

// Stands for the client's window in a start-up that runs the real entry point: it signs in with the
// account its command line names, connects to the service's first free line, hides itself, and says
// on the console whenever it is shown or hidden.
Window {
    id: root
    width: 200
    height: 100
    visible: true

    readonly property var arguments: Qt.application.arguments

    function connectFirstFreeLine() {
        API.getServers("free")
    }

    Connections {
        target: API
        function onLoginSuccess() { API.activateFreeTrial() }
        function onTrialActivated() { root.connectFirstFreeLine() }
        function onTrialActivationError() { root.connectFirstFreeLine() }
        function onServersLoaded(servers) {
            API.connectVpn(servers[0].id, servers[0].vmessLink, false)
        }
        function onVpnConnected() {
            console.log("instance-test: connected")
            root.hide()
        }
    }

    // As the client's window: closing it takes the connection down first.
    onClosing: API.disconnectVpn()
    onVisibleChanged: console.log(root.visible ? "instance-test: shown" : "instance-test: hidden")
    Component.onCompleted: API.login(root.arguments[1], root.arguments[2])
}
