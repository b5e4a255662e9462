import QtQuick
import UntitledProject1

// One line of the server picker. A VIP line the user may not use shows a lock; a free line never does.
Rectangle {
    id: serverRow

    property bool vipLine: false
    property bool selected: false
    property bool canConnect: true
    property string serverName: ""
    property string countryCode: ""

    readonly property bool locked: serverRow.vipLine && !serverRow.canConnect

    signal clicked

    height: 64
    radius: 12
    color: Constants.cardColor
    border.width: serverRow.selected ? 2 : (serverRow.vipLine ? 1 : 0)
    border.color: serverRow.selected || !serverRow.vipLine ? Constants.primaryFree : Qt.rgba(255 / 255, 215 / 255, 0, 0.2)

    Row {
        id: contentRow
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 16

        Image {
            id: flagImage
            objectName: "flagImage"
            width: 32
            height: 24
            anchors.verticalCenter: parent.verticalCenter
            fillMode: Image.PreserveAspectFit
            cache: true
            source: FlagImages.imageSource(serverRow.countryCode)

            Rectangle {
                objectName: "flagFallback"
                anchors.fill: parent
                color: "transparent"
                visible: flagImage.status === Image.Null || flagImage.status === Image.Error

                // A code longer than the flag's place is cut short inside it.
                OneLineText {
                    objectName: "flagFallbackText"
                    anchors.centerIn: parent
                    room: flagImage.width
                    horizontalAlignment: Text.AlignHCenter
                    fullText: serverRow.countryCode.length > 0 ? serverRow.countryCode : "??"
                    font.pixelSize: 14
                    font.bold: true
                    color: Constants.primaryFree
                    font.family: Constants.font.family
                }
            }
        }

        OneLineText {
            id: nameLabel
            objectName: "serverName"
            anchors.verticalCenter: parent.verticalCenter
            width: serverRow.width - 16 - flagImage.width - contentRow.spacing - 56
            fullText: serverRow.serverName
            font.bold: true
            font.pixelSize: 15
            font.family: Constants.font.family
            color: serverRow.vipLine ? Constants.primaryVip : Constants.textPrimary
        }
    }

    Text {
        id: markLabel
        objectName: "serverMark"
        anchors.right: parent.right
        anchors.rightMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        font.bold: true
        text: serverRow.locked ? "🔒" : (serverRow.selected ? "✓" : "")
        color: serverRow.locked ? Constants.textSecondary : Constants.primaryFree
        font.pixelSize: serverRow.locked ? 16 : 20
        opacity: serverRow.locked ? 0.7 : 1.0
    }

    MouseArea {
        objectName: "serverRowArea"
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: serverRow.clicked()
    }
}
