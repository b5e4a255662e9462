import QtQuick
import UntitledProject1

// The decorative first screen: a gradient sky with four families of animated particles, the title,
// the service's host, a progress sweep and a pulsing loading line. It shows no real progress.
Rectangle {
    id: splashRoot

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor
    gradient: Gradient {
        orientation: Gradient.Vertical
        GradientStop {
            position: 0.0
            color: "#020410"
        }
        GradientStop {
            position: 1.0
            color: "#0A0E27"
        }
    }

    // Hidden or minimised, every animation stops, and they run again from the next show.
    WindowShown {
        id: windowShown
    }

    Item {
        id: particleLayer
        objectName: "particleLayer"
        anchors.fill: parent
        clip: true

        Repeater {
            id: mainStream
            objectName: "mainStream"
            model: 15

            delegate: Rectangle {
                id: streamParticle
                required property int index
                width: 3
                height: 3
                radius: 1.5
                color: streamParticle.index % 3 === 0 ? Constants.primaryFree : "white"
                opacity: 0.7
                x: -20
                y: particleLayer.height + 50

                SequentialAnimation on x {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    PauseAnimation {
                        duration: streamParticle.index * 200
                    }
                    NumberAnimation {
                        from: -20
                        to: particleLayer.width + 20
                        duration: 3000 + streamParticle.index * 100
                        easing.type: Easing.InOutQuad
                    }
                }
                SequentialAnimation on y {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    PauseAnimation {
                        duration: streamParticle.index * 200
                    }
                    NumberAnimation {
                        from: particleLayer.height + 50
                        to: -50
                        duration: 3000 + streamParticle.index * 100
                        easing.type: Easing.InOutQuad
                    }
                }
                SequentialAnimation on opacity {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    NumberAnimation {
                        to: 0.2
                        duration: 800 + streamParticle.index * 50
                    }
                    NumberAnimation {
                        to: 0.9
                        duration: 800 + streamParticle.index * 50
                    }
                }
            }
        }

        Repeater {
            id: secondaryStream
            objectName: "secondaryStream"
            model: 10

            delegate: Rectangle {
                id: secondaryParticle
                required property int index
                width: 2
                height: 2
                radius: 1
                color: "white"
                opacity: 0.5
                x: particleLayer.width / 3
                y: particleLayer.height

                SequentialAnimation on y {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    PauseAnimation {
                        duration: secondaryParticle.index * 300
                    }
                    NumberAnimation {
                        from: particleLayer.height + 30
                        to: -30
                        duration: 4000 + secondaryParticle.index * 150
                        easing.type: Easing.Linear
                    }
                }
                SequentialAnimation on x {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    PauseAnimation {
                        duration: secondaryParticle.index * 300
                    }
                    NumberAnimation {
                        from: particleLayer.width / 3 - 20
                        to: particleLayer.width / 3 + 20
                        duration: 2000
                        easing.type: Easing.InOutSine
                    }
                    NumberAnimation {
                        from: particleLayer.width / 3 + 20
                        to: particleLayer.width / 3 - 20
                        duration: 2000
                        easing.type: Easing.InOutSine
                    }
                }
                SequentialAnimation on opacity {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    NumberAnimation {
                        to: 0.1
                        duration: 1000
                    }
                    NumberAnimation {
                        to: 0.7
                        duration: 1000
                    }
                }
            }
        }

        Repeater {
            id: meteors
            objectName: "meteors"
            model: 8

            delegate: Rectangle {
                id: meteor
                required property int index
                width: 4
                height: 4
                radius: 2
                color: Constants.primaryFree
                opacity: 0.8
                x: particleLayer.width
                y: meteor.index * 100

                SequentialAnimation on x {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    PauseAnimation {
                        duration: meteor.index * 500
                    }
                    NumberAnimation {
                        from: particleLayer.width + 50
                        to: -50
                        duration: 2000
                        easing.type: Easing.InQuad
                    }
                    PauseAnimation {
                        duration: 2000
                    }
                }
                SequentialAnimation on y {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    PauseAnimation {
                        duration: meteor.index * 500
                    }
                    NumberAnimation {
                        from: meteor.index * 100
                        to: meteor.index * 100 + 50
                        duration: 2000
                        easing.type: Easing.InQuad
                    }
                    PauseAnimation {
                        duration: 2000
                    }
                }
                SequentialAnimation on opacity {
                    loops: Animation.Infinite
                    running: windowShown.shown
                    NumberAnimation {
                        to: 0.2
                        duration: 500
                    }
                    NumberAnimation {
                        to: 0.9
                        duration: 500
                    }
                }
            }
        }

        Repeater {
            id: stars
            objectName: "stars"
            model: 30

            delegate: Rectangle {
                id: star
                required property int index
                width: star.index % 3 === 0 ? 2 : 1
                height: star.width
                radius: star.width / 2
                color: "white"
                opacity: 0.3 + (star.index % 5) * 0.1
                x: (star.index * 37) % particleLayer.width
                y: (star.index * 73) % particleLayer.height

                SequentialAnimation on opacity {
                    objectName: "twinkle"
                    loops: Animation.Infinite
                    running: windowShown.shown
                    NumberAnimation {
                        to: 0.1
                        duration: 1500 + star.index * 100
                    }
                    NumberAnimation {
                        to: 0.6
                        duration: 1500 + star.index * 100
                    }
                }
            }
        }
    }

    Column {
        id: titleBlock
        anchors.centerIn: parent
        spacing: 24

        Column {
            id: titleGroup
            spacing: 8

            Text {
                id: titleText
                objectName: "titleText"
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Mirevo加速器"
                color: Constants.textPrimary
                font.bold: true
                font.pixelSize: 32
                font.family: Constants.font.family
                style: Text.Outline
                styleColor: Constants.primaryFree
            }

            Text {
                id: subtitleText
                objectName: "subtitleText"
                anchors.horizontalCenter: parent.horizontalCenter
                text: BuildInfo.serviceHost
                textFormat: Text.PlainText
                color: Constants.textSecondary
                font.pixelSize: 14
                font.letterSpacing: 4
                font.family: Constants.font.family
                opacity: 0.8
            }
        }
    }

    Column {
        id: loadingBlock
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 60
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 16

        Rectangle {
            id: progressTrack
            width: 200
            height: 4
            color: Qt.rgba(1, 1, 1, 0.1)
            radius: 2
            clip: false

            Rectangle {
                id: progressSweep
                objectName: "progressSweep"
                width: 60
                height: progressTrack.height
                color: Constants.primaryFree
                radius: 2
                x: 0

                SequentialAnimation on x {
                    objectName: "sweepMotion"
                    loops: Animation.Infinite
                    running: windowShown.shown
                    NumberAnimation {
                        from: -60
                        to: 200
                        duration: 1500
                        easing.type: Easing.InOutQuad
                    }
                }
            }
        }

        Text {
            id: loadingText
            objectName: "loadingText"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "正在初始化Mirevo链路..."
            color: Constants.textSecondary
            font.pixelSize: 12
            font.family: Constants.font.family

            SequentialAnimation on opacity {
                objectName: "loadingPulse"
                loops: Animation.Infinite
                running: windowShown.shown
                NumberAnimation {
                    to: 0.4
                    duration: 800
                }
                NumberAnimation {
                    to: 1.0
                    duration: 800
                }
            }
        }
    }

    Text {
        id: noticeText
        objectName: "noticeText"
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        text: "安全加密 · 稳定高速 · 请遵守当地法律法规使用"
        color: Qt.rgba(1, 1, 1, 0.3)
        font.pixelSize: 10
        font.family: Constants.font.family
    }
}
