import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// Order list form: fixed-height cards with a crown; it asks for the orders itself.
Rectangle {
    id: myOrdersRoot
    objectName: "myOrdersFormRoot"

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    OrderListSource {
        id: ordersSource
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
            text: "我的订单"
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
        id: ordersFlickable
        objectName: "ordersFormFlickable"
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
            width: ordersFlickable.width - 40
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12

            Repeater {
                id: ordersRepeater
                objectName: "ordersRepeater"
                model: ordersSource.model

                delegate: Rectangle {
                    id: card

                    required property var model

                    objectName: "orderFormCard"
                    width: listColumn.width
                    height: 110
                    radius: 12
                    color: Constants.cardColor
                    border.width: 1
                    border.color: Qt.rgba(1, 215 / 255, 0, 0.3)

                    Column {
                        anchors.fill: parent
                        anchors.margins: 16
                        spacing: 8

                        Item {
                            width: parent.width
                            height: orderNumberLabel.height

                            Text {
                                id: orderNumberLabel
                                objectName: "orderNumber"
                                anchors.left: parent.left
                                text: card.model.orderNumber
                                textFormat: Text.PlainText
                                color: Constants.textSecondary
                                font.pixelSize: 12
                                font.family: Constants.font.family
                            }
                            Text {
                                objectName: "date"
                                anchors.right: parent.right
                                text: card.model.createdAt
                                color: Constants.textSecondary
                                font.pixelSize: 12
                                font.family: Constants.font.family
                            }
                        }

                        Row {
                            spacing: 8

                            Text {
                                text: "👑"
                                font.pixelSize: 14
                            }
                            Text {
                                objectName: "planName"
                                text: card.model.planName
                                textFormat: Text.PlainText
                                color: Constants.primaryVip
                                font.bold: true
                                font.pixelSize: 16
                                font.family: Constants.font.family
                            }
                        }

                        Item {
                            width: parent.width
                            height: 20

                            Text {
                                objectName: "amount"
                                anchors.left: parent.left
                                anchors.verticalCenter: parent.verticalCenter
                                text: "¥" + card.model.amount
                                color: Constants.primaryVip
                                font.bold: true
                                font.pixelSize: 16
                                font.family: Constants.font.family
                            }

                            Rectangle {
                                objectName: "statusChip"
                                anchors.right: parent.right
                                anchors.verticalCenter: parent.verticalCenter
                                width: 60
                                height: 24
                                radius: 4
                                color: card.model.status === "paid" || card.model.status === "completed"
                                       ? Qt.rgba(0, 1, 217 / 255, 0.1)
                                       : card.model.status === "pending" ? Qt.rgba(1, 165 / 255, 0, 0.1)
                                                                    : Qt.rgba(1, 82 / 255, 82 / 255, 0.1)

                                Text {
                                    objectName: "statusText"
                                    anchors.centerIn: parent
                                    text: card.model.statusText
                                    textFormat: Text.PlainText
                                    font.pixelSize: 12
                                    font.bold: true
                                    font.family: Constants.font.family
                                    color: card.model.status === "paid" || card.model.status === "completed"
                                           ? Constants.colorSuccess
                                           : card.model.status === "pending" ? Constants.primaryVip : Constants.colorError
                                }
                            }
                        }
                    }
                }
            }

            Text {
                objectName: "loadingLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: ordersSource.model.count === 0
                text: "正在加载订单..."
                color: Constants.textSecondary
                font.pixelSize: 14
                font.family: Constants.font.family
            }
        }
    }
}
