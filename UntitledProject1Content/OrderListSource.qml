import QtQuick

// Feeds the order list form: asks for the orders once and copies every answer into its model.
Item {
    id: source

    property ListModel model: ListModel {}

    function dateOrInvalid(value) {
        return value instanceof Date ? value : new Date(NaN)
    }

    visible: false

    Component.onCompleted: {
        console.log("🔄 我的订单页面加载，获取订单列表")
        API.getUserOrders()
    }

    Connections {
        target: typeof API !== "undefined" ? API : null
        ignoreUnknownSignals: true

        function onOrdersLoaded(orders) {
            console.log("✅ 订单列表加载成功，数量:", orders.length)
            source.model.clear()
            for (let i = 0; i < orders.length; ++i) {
                const order = orders[i]
                source.model.append({
                                        "orderNumber": order.orderNumber ? String(order.orderNumber) : "",
                                        "planName": order.planName ? String(order.planName) : "",
                                        "amount": Number(order.amount) || 0,
                                        "status": order.status ? String(order.status) : "",
                                        "statusText": order.statusText ? String(order.statusText) : "",
                                        "createdAt": source.dateOrInvalid(order.createdAt)
                                    })
            }
        }

        function onOrdersError(message) {
            console.log("❌ 订单列表加载失败:", message)
        }
    }
}
