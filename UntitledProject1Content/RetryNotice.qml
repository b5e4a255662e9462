import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// What a list shows after its request failed: the failure text and a button that asks again.
Column {
    id: notice

    property string message: ""

    signal retry

    spacing: 12

    Text {
        id: messageLabel
        objectName: "retryMessage"
        width: notice.width
        text: notice.message
        textFormat: Text.PlainText
        color: Constants.colorError
        font.pixelSize: 14
        font.family: Constants.font.family
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
    }

    QQC.Button {
        id: retryButton
        objectName: "retryButton"
        anchors.horizontalCenter: parent.horizontalCenter
        width: 120
        height: 36
        onClicked: notice.retry()

        contentItem: Text {
            text: "重试"
            color: Constants.primaryFree
            font.pixelSize: 14
            font.family: Constants.font.family
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            color: "transparent"
            radius: 8
            border.width: 1
            border.color: Constants.primaryFree
        }
    }
}
