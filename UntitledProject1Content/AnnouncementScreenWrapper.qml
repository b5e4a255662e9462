import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// The announcement centre: one card per announcement of the service, or the failure text.
Item {
    id: wrapper
    objectName: "announcementWrapper"

    property var announcementList: []
    property bool isLoading: false
    property string errorMessage: ""

    readonly property bool apiAvailable: typeof API !== "undefined"

    function isValidDate(value) {
        return value instanceof Date && !isNaN(value.getTime())
    }

    // The publication time, else the creation time; the engine writes it out in local time.
    function dateOf(entry) {
        if (wrapper.isValidDate(entry.publishedAt))
            return entry.publishedAt
        if (wrapper.isValidDate(entry.createdAt))
            return entry.createdAt
        return ""
    }

    Component.onCompleted: {
        if (!wrapper.apiAvailable) {
            wrapper.errorMessage = "API未初始化"
            return
        }
        console.log("开始加载公告列表")
        wrapper.isLoading = true
        API.getAnnouncements()
    }

    Rectangle {
        id: announcementRoot
        anchors.fill: parent
        color: Constants.backgroundColor

        ScreenHeader {
            id: header
            anchors.top: parent.top
            anchors.topMargin: 20
            anchors.horizontalCenter: parent.horizontalCenter
            width: parent.width - 40
            title: "公告中心"
            showArrow: false
        }

        Flickable {
            id: announcementFlickable
            objectName: "announcementFlickable"
            anchors.top: parent.top
            anchors.topMargin: 70
            anchors.bottom: parent.bottom
            width: parent.width
            clip: true
            contentHeight: contentColumn.height + 16 + 20
            boundsBehavior: Flickable.StopAtBounds

            QQC.ScrollBar.vertical: QQC.ScrollBar {
                policy: QQC.ScrollBar.AsNeeded
            }

            Column {
                id: contentColumn
                y: 16
                width: announcementFlickable.width - 40
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 16

                Text {
                    objectName: "loadingLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: wrapper.isLoading
                    text: "加载中..."
                    color: Constants.textSecondary
                    font.pixelSize: 14
                }

                Text {
                    objectName: "errorLabel"
                    width: parent.width
                    visible: wrapper.errorMessage !== ""
                    text: wrapper.errorMessage
                    textFormat: Text.PlainText
                    color: Constants.colorError
                    font.pixelSize: 14
                    wrapMode: Text.Wrap
                }

                Column {
                    id: listColumn
                    objectName: "announcementListColumn"
                    width: parent.width
                    spacing: 16
                    visible: !wrapper.isLoading && wrapper.errorMessage === ""

                    Repeater {
                        id: announcementRepeater
                        objectName: "announcementRepeater"
                        model: wrapper.announcementList

                        delegate: Rectangle {
                            id: card
                            objectName: "announcementCard"

                            required property var modelData

                            width: listColumn.width
                            height: contentCol.height + 32
                            radius: 16
                            color: Constants.cardColor
                            border.width: 1
                            border.color: Qt.rgba(0, 1, 217 / 255, 0.1)

                            Column {
                                id: contentCol
                                width: card.width - 32
                                anchors.centerIn: parent
                                spacing: 8

                                Item {
                                    width: parent.width
                                    height: titleLabel.height

                                    // Title and content break inside a word that is wider than the
                                    // card, rather than running out of it.
                                    Text {
                                        id: titleLabel
                                        objectName: "announcementTitle"
                                        width: parent.width - 40
                                        wrapMode: Text.Wrap
                                        text: card.modelData.title ? card.modelData.title : "无标题"
                                        textFormat: Text.PlainText
                                        color: Constants.textPrimary
                                        font.pixelSize: 16
                                        font.bold: true
                                        font.family: Constants.font.family
                                    }
                                }

                                Text {
                                    objectName: "announcementDate"
                                    text: wrapper.dateOf(card.modelData)
                                    color: Constants.textSecondary
                                    font.pixelSize: 12
                                    font.family: Constants.font.family
                                }

                                Rectangle {
                                    width: parent.width
                                    height: 1
                                    color: Qt.rgba(1, 1, 1, 0.05)
                                }

                                Text {
                                    objectName: "announcementContent"
                                    width: parent.width
                                    wrapMode: Text.Wrap
                                    text: card.modelData.content ? card.modelData.content : "无内容"
                                    textFormat: Text.PlainText
                                    color: Constants.textSecondary
                                    font.pixelSize: 14
                                    font.family: Constants.font.family
                                }
                            }
                        }
                    }
                }
            }
        }
    }

    Connections {
        target: wrapper.apiAvailable ? API : null
        ignoreUnknownSignals: true

        function onAnnouncementsLoaded(announcements) {
            console.log("公告加载成功，数量:", announcements.length)
            wrapper.isLoading = false
            wrapper.errorMessage = ""
            wrapper.announcementList = announcements
        }

        function onAnnouncementsError(message) {
            console.log("公告加载失败:", message)
            wrapper.isLoading = false
            wrapper.errorMessage = "加载失败: " + message
        }
    }
}
