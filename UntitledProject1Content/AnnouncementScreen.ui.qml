import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// Announcement list form: an icon per kind and at most two lines of content; it fills from every
// announcement list API delivers.
Rectangle {
    id: announcementRoot
    objectName: "announcementFormRoot"

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    AnnouncementListSource {
        id: announcementsSource
    }

    Item {
        id: header
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 40
        height: 50

        Text {
            anchors.centerIn: parent
            text: "公告中心"
            color: Constants.textPrimary
            font.pixelSize: 20
            font.bold: true
            font.family: Constants.font.family
        }

        Text {
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            text: "←"
            color: "#FFFFFF"
            font.pixelSize: 24
            font.bold: true
            style: Text.Outline
            styleColor: "#000000"
            font.family: Constants.font.family

            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
            }
        }
    }

    Flickable {
        id: announcementFlickable
        objectName: "announcementFormFlickable"
        anchors.top: parent.top
        anchors.topMargin: 70
        anchors.bottom: parent.bottom
        width: parent.width
        clip: true
        contentHeight: listColumn.height + 16 + 20
        boundsBehavior: Flickable.StopAtBounds

        QQC.ScrollBar.vertical: QQC.ScrollBar {
            policy: QQC.ScrollBar.AsNeeded
        }

        Column {
            id: listColumn
            y: 16
            width: announcementFlickable.width - 40
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 16

            Repeater {
                id: announcementsRepeater
                objectName: "announcementsRepeater"
                model: announcementsSource.model

                delegate: Rectangle {
                    id: card

                    required property var model

                    objectName: "announcementFormCard"
                    width: listColumn.width
                    height: contentCol.height + 32
                    radius: 12
                    color: Constants.cardColor

                    Column {
                        id: contentCol
                        width: card.width - 32
                        anchors.centerIn: parent
                        spacing: 8

                        Item {
                            width: parent.width
                            height: Math.max(iconLabel.height, titleLabel.height)

                            Text {
                                id: iconLabel
                                objectName: "typeIcon"
                                anchors.left: parent.left
                                anchors.top: parent.top
                                text: card.model.icon
                                font.pixelSize: 16
                            }
                            Text {
                                id: titleLabel
                                objectName: "announcementTitle"
                                anchors.left: iconLabel.right
                                anchors.leftMargin: 8
                                anchors.verticalCenter: parent.verticalCenter
                                text: card.model.title
                                textFormat: Text.PlainText
                                color: Constants.textPrimary
                                font.bold: true
                                font.pixelSize: 15
                                font.family: Constants.font.family
                            }
                            Text {
                                objectName: "announcementDate"
                                anchors.right: parent.right
                                anchors.verticalCenter: parent.verticalCenter
                                text: card.model.shownDate
                                color: Constants.textSecondary
                                font.pixelSize: 12
                                font.family: Constants.font.family
                            }
                        }

                        Text {
                            objectName: "announcementContent"
                            width: parent.width
                            text: card.model.content
                            textFormat: Text.PlainText
                            color: Constants.textSecondary
                            font.pixelSize: 13
                            font.family: Constants.font.family
                            wrapMode: Text.WordWrap
                            maximumLineCount: 2
                            elide: Text.ElideRight
                            lineHeight: 1.4
                        }
                    }
                }
            }

            Text {
                objectName: "loadingLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: announcementsSource.model.count === 0
                text: "正在加载公告..."
                color: Constants.textSecondary
                font.pixelSize: 14
                font.family: Constants.font.family
            }
        }
    }
}
