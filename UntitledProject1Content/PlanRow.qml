import QtQuick
import UntitledProject1

// One VIP plan of the list: name and days on the left, price and selection circle on the right.
Rectangle {
    id: planRow

    property bool selected: false
    property bool recommended: false
    property string planName: ""
    property string daysText: ""
    property string priceText: ""

    signal clicked

    height: 72
    radius: 12
    color: Constants.cardColor
    border.width: planRow.selected ? 2 : 1
    border.color: planRow.selected ? Constants.primaryVip : Qt.rgba(255 / 255, 215 / 255, 0, 0.3)

    Rectangle {
        id: recommendTag
        objectName: "recommendTag"
        visible: planRow.recommended
        x: 16
        y: -9
        width: 40
        height: 18
        radius: 4
        color: Constants.primaryVip

        Text {
            anchors.centerIn: parent
            text: "推荐"
            font.pixelSize: 10
            font.bold: true
            color: "#0A0E27"
            font.family: Constants.font.family
        }
    }

    Item {
        id: contentArea
        anchors.fill: parent
        anchors.margins: 16

        Column {
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            spacing: 4

            OneLineText {
                objectName: "planName"
                width: contentArea.width - priceRow.width - 16
                fullText: planRow.planName
                color: Constants.textPrimary
                font.pixelSize: 16
                font.bold: true
                font.family: Constants.font.family
            }
            OneLineText {
                objectName: "planDays"
                room: contentArea.width - priceRow.width - 16
                fullText: planRow.daysText
                color: Constants.textSecondary
                font.pixelSize: 12
                font.family: Constants.font.family
            }
        }

        Row {
            id: priceRow
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            spacing: 16

            // At most half the row, so that the plan's name keeps the other half.
            OneLineText {
                objectName: "planPrice"
                anchors.verticalCenter: parent.verticalCenter
                room: contentArea.width / 2 - selectionCircle.width - priceRow.spacing
                fullText: planRow.priceText
                color: Constants.primaryVip
                font.pixelSize: 20
                font.bold: true
                font.family: Constants.font.family
            }

            Rectangle {
                id: selectionCircle
                objectName: "selectionCircle"
                anchors.verticalCenter: parent.verticalCenter
                width: 20
                height: 20
                radius: 10
                border.width: 1
                border.color: Constants.primaryVip
                color: planRow.selected ? Constants.primaryVip : "transparent"

                Text {
                    anchors.centerIn: parent
                    visible: planRow.selected
                    text: "✓"
                    font.pixelSize: 12
                    font.bold: true
                    color: "#0A0E27"
                }
            }
        }
    }

    MouseArea {
        objectName: "planRowArea"
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: planRow.clicked()
    }
}
