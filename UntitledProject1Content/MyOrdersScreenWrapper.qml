import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// The signed-in user's order history: loading, error, empty, or one card per order.
Item {
    id: wrapper
    objectName: "myOrdersWrapper"

    property var orderList: []
    property bool isLoading: false
    property string errorMessage: ""

    readonly property bool apiAvailable: typeof API !== "undefined"

    function getStatusColor(status) {
        if (status === "completed" || status === "paid")
            return Constants.colorSuccess
        if (status === "pending" || status === "processing")
            return Constants.colorWarning
        if (status === "cancelled" || status === "failed")
            return Constants.colorError
        return Constants.textSecondary
    }

    // The calendar day in local time; a missing or invalid date gives no text at all.
    function formatDate(value) {
        if (!(value instanceof Date) || isNaN(value.getTime()))
            return ""
        return Qt.formatDate(value, "yyyy-MM-dd")
    }

    function amountText(amount) {
        const value = Number(amount) || 0
        return "¥" + (value === 0 ? "0.00" : value)
    }

    Component.onCompleted: {
        if (!wrapper.apiAvailable) {
            wrapper.errorMessage = "API未初始化"
            return
        }
        if (!API.isLoggedIn) {
            wrapper.errorMessage = "请先登录"
            return
        }
        console.log("开始加载订单列表")
        wrapper.isLoading = true
        API.getUserOrders()
    }

    Rectangle {
        id: myOrdersRoot
        anchors.fill: parent
        color: Constants.backgroundColor

        ScreenHeader {
            id: header
            anchors.top: parent.top
            anchors.topMargin: 20
            anchors.horizontalCenter: parent.horizontalCenter
            width: parent.width - 40
            title: "我的订单"
            showArrow: false
        }

        Flickable {
            id: ordersFlickable
            objectName: "ordersFlickable"
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
                width: ordersFlickable.width - 40
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

                // The service's text may hold a word wider than the line: it breaks inside it.
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

                Text {
                    objectName: "emptyLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !wrapper.isLoading && wrapper.errorMessage === "" && wrapper.orderList.length === 0
                    text: "暂无订单记录"
                    color: Constants.textSecondary
                    font.pixelSize: 14
                }

                Column {
                    id: listColumn
                    objectName: "orderListColumn"
                    width: parent.width
                    spacing: 12
                    visible: !wrapper.isLoading && wrapper.errorMessage === "" && wrapper.orderList.length > 0

                    Repeater {
                        id: ordersRepeater
                        objectName: "ordersRepeater"
                        model: wrapper.orderList

                        delegate: Rectangle {
                            id: card
                            objectName: "orderCard"

                            required property var modelData

                            width: listColumn.width
                            height: orderCol.height + 24
                            radius: 16
                            color: Constants.cardColor
                            border.width: 1
                            border.color: Qt.rgba(0, 1, 217 / 255, 0.1)

                            Column {
                                id: orderCol
                                width: card.width - 24
                                anchors.centerIn: parent
                                spacing: 8

                                // The badge follows the order number and keeps up to half the line.
                                Row {
                                    id: orderLine
                                    width: parent.width
                                    spacing: 8

                                    OneLineText {
                                        objectName: "orderNumber"
                                        room: orderLine.width - statusBadge.width - orderLine.spacing
                                        fullText: card.modelData.orderNumber ? card.modelData.orderNumber : "N/A"
                                        color: Constants.textSecondary
                                        font.pixelSize: 12
                                        font.family: Constants.font.family
                                    }

                                    Rectangle {
                                        id: statusBadge
                                        objectName: "statusBadge"
                                        width: statusText.width + 16
                                        height: 20
                                        radius: 10
                                        color: wrapper.getStatusColor(card.modelData.status)

                                        OneLineText {
                                            id: statusText
                                            objectName: "statusText"
                                            anchors.centerIn: parent
                                            room: orderLine.width / 2 - 16
                                            fullText: card.modelData.statusText ? card.modelData.statusText
                                                                                : card.modelData.status ? card.modelData.status : "未知"
                                            color: Constants.textPrimary
                                            font.pixelSize: 11
                                            font.bold: true
                                            font.family: Constants.font.family
                                        }
                                    }
                                }

                                Rectangle {
                                    width: parent.width
                                    height: 1
                                    color: Qt.rgba(1, 1, 1, 0.05)
                                }

                                Text {
                                    objectName: "planName"
                                    width: parent.width
                                    wrapMode: Text.Wrap
                                    text: card.modelData.planName ? card.modelData.planName : "未知套餐"
                                    textFormat: Text.PlainText
                                    color: Constants.textPrimary
                                    font.pixelSize: 16
                                    font.bold: true
                                    font.family: Constants.font.family
                                }

                                // The dates of all cards form one column at the right edge, whatever the
                                // width of the amount beside them.
                                Item {
                                    width: parent.width
                                    height: Math.max(amountLabel.height, dateLabel.height)

                                    Text {
                                        id: amountLabel
                                        objectName: "amount"
                                        width: Math.min(amountLabel.implicitWidth, parent.width - dateLabel.width - 8)
                                        elide: Text.ElideRight
                                        text: wrapper.amountText(card.modelData.amount)
                                        color: Constants.colorVip
                                        font.pixelSize: 18
                                        font.bold: true
                                        font.family: Constants.font.family
                                    }
                                    Text {
                                        id: dateLabel
                                        objectName: "date"
                                        anchors.right: parent.right
                                        text: wrapper.formatDate(card.modelData.createdAt)
                                        color: Constants.textSecondary
                                        font.pixelSize: 12
                                        font.family: Constants.font.family
                                    }
                                }

                                OneLineText {
                                    objectName: "paymentLine"
                                    room: parent.width
                                    visible: !!card.modelData.paymentMethod
                                    fullText: "支付方式: " + (card.modelData.paymentMethodText ? card.modelData.paymentMethodText
                                                                                           : card.modelData.paymentMethod)
                                    color: Constants.textSecondary
                                    font.pixelSize: 12
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

        function onOrdersLoaded(orders) {
            console.log("订单加载成功，数量:", orders.length)
            wrapper.isLoading = false
            wrapper.errorMessage = ""
            wrapper.orderList = orders
        }

        function onOrdersError(message) {
            console.log("订单加载失败:", message)
            wrapper.isLoading = false
            wrapper.errorMessage = "加载失败: " + message
        }
    }
}
