import QtQuick
import UntitledProject1

// The about page: product, mission and contact texts in a view that scrolls below a fixed header.
Rectangle {
    id: aboutUsRoot

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    Item {
        id: header
        objectName: "header"
        width: parent.width - 40
        height: 50
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter

        Text {
            id: titleLabel
            anchors.centerIn: parent
            text: "关于我们"
            color: Constants.textPrimary
            font.pixelSize: 20
            font.bold: true
            font.family: Constants.font.family
        }

        Text {
            id: arrowLabel
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            text: "←"
            color: "#FFFFFF"
            font.pixelSize: 24

            MouseArea {
                id: arrowArea
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
            }
        }
    }

    Flickable {
        id: scrollView
        objectName: "scrollView"
        anchors.top: parent.top
        anchors.topMargin: 70
        anchors.bottom: parent.bottom
        width: parent.width
        contentHeight: contentCol.height + 40
        clip: true

        Column {
            id: contentCol
            objectName: "contentCol"
            width: parent.width - 60
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 30

            Column {
                id: logoBlock
                width: parent.width
                spacing: 10
                anchors.horizontalCenter: parent.horizontalCenter

                Text {
                    id: productLabel
                    objectName: "productLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Mirevo加速器"
                    color: Constants.textPrimary
                    font.pixelSize: 24
                    font.bold: true
                    font.family: Constants.font.family
                }

                Text {
                    id: sloganLabel
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "连接世界，畅享极速"
                    color: Constants.primaryFree
                    font.pixelSize: 14
                    font.family: Constants.font.family
                }

                Text {
                    id: versionLabel
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "Version 1.0.0 (Build 1024)"
                    color: Constants.textSecondary
                    font.pixelSize: 12
                    font.family: Constants.font.family
                }
            }

            Column {
                id: missionBlock
                width: parent.width
                spacing: 8

                Text {
                    id: missionHeading
                    text: "我们的使命"
                    color: Constants.primaryFree
                    font.pixelSize: 16
                    font.bold: true
                    font.family: Constants.font.family
                }

                Text {
                    id: missionBody
                    objectName: "missionBody"
                    width: parent.width
                    text: "Corvexa 致力于为全球用户提供安全、快速、稳定的网络连接服务。无论您身在何处，我们都能助您突破地域限制，保护您的在线隐私。"
                    color: Constants.textSecondary
                    font.pixelSize: 14
                    font.family: Constants.font.family
                    wrapMode: Text.WordWrap
                    lineHeight: 1.4
                }
            }

            Column {
                id: contactBlock
                width: parent.width
                spacing: 8

                Text {
                    id: contactHeading
                    text: "联系我们"
                    color: Constants.primaryFree
                    font.pixelSize: 16
                    font.bold: true
                    font.family: Constants.font.family
                }

                Text {
                    id: contactBody
                    objectName: "contactBody"
                    width: parent.width
                    text: "客服邮箱: support@mirevo.app\n官方网站: https://www.mirevo.app"
                    color: Constants.textSecondary
                    font.pixelSize: 14
                    font.family: Constants.font.family
                    wrapMode: Text.WordWrap
                    lineHeight: 1.4
                }
            }

            Row {
                id: footerRow
                objectName: "footerRow"
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 20
                padding: 20

                Text {
                    id: termsLink
                    text: "服务条款"
                    color: Constants.primaryFree
                    font.bold: true
                    font.underline: true
                    font.family: Constants.font.family

                    MouseArea {
                        id: termsArea
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                    }
                }

                Text {
                    id: separatorLabel
                    text: "|"
                    color: Constants.textSecondary
                }

                Text {
                    id: privacyLink
                    text: "隐私政策"
                    color: Constants.primaryFree
                    font.bold: true
                    font.underline: true
                    font.family: Constants.font.family

                    MouseArea {
                        id: privacyArea
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                    }
                }
            }
        }
    }
}
