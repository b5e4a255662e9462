import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1

// Buying VIP time: the plan list, then the payment view with the order's QR image while the backend
// polls the order. Polling belongs to the backend and goes on when this page is gone.
Rectangle {
    id: vipRoot
    objectName: "vipRoot"

    property int selectedPlanId: -1
    property string selectedPlanName: ""
    property real selectedPlanPrice: 0
    // True from a created order until it ends, is cancelled or the user signs out.
    property bool isPaying: false
    property string currentOrderId: ""

    // True from the buy press until the service answers, so one press creates one order.
    property bool isCreatingPayment: false
    // The user signed out while the order was being created: its answer is dropped when it comes.
    property bool dropCreatedOrder: false
    // The plan of the order on show, taken at the buy press: the QR code pays for this one whatever
    // the selection becomes.
    property string orderedPlanName: ""
    property real orderedPlanPrice: 0
    property bool plansLoading: true
    property string plansError: ""
    // The outcome of the last payment shown to the user, and whether it is a failure.
    property string paymentMessage: ""
    property bool paymentMessageIsError: false
    property string qrSource: ""

    readonly property bool signedIn: typeof API !== "undefined" && API.isLoggedIn
    readonly property bool canBuy: vipRoot.signedIn && vipRoot.selectedPlanId > 0 && !vipRoot.isPaying
                                   && !vipRoot.isCreatingPayment
    readonly property string buyText: !vipRoot.signedIn ? "请先登录"
                                      : vipRoot.isCreatingPayment ? "正在创建订单..."
                                      : vipRoot.selectedPlanId > 0 ? "立即开通 ¥" + vipRoot.selectedPlanPrice
                                      : "请选择套餐"

    function requestPlans() {
        vipRoot.plansLoading = true
        vipRoot.plansError = ""
        API.getSubscriptionPlans()
    }

    function fillPlans(plans) {
        planModel.clear()
        for (let i = 0; i < plans.length; ++i) {
            const plan = plans[i]
            const price = Number(plan.price) || 0
            const days = Number(plan.days) || 0
            console.log("  套餐", i + 1, ":", plan.name, price, plan.currency, days, "天")
            planModel.append({
                                 "planId": Number(plan.id) || 0,
                                 "planName": plan.name ? String(plan.name) : "",
                                 "planPrice": price,
                                 "planDaysText": typeof plan.daysText === "string" && plan.daysText.length > 0
                                                 ? plan.daysText : days + " 天",
                                 "formattedPrice": typeof plan.formattedPrice === "string"
                                                   && plan.formattedPrice.length > 0 ? plan.formattedPrice : "¥" + price,
                                 "isRecommended": i === 1 || i === 3
                             })
        }
        const preferred = plans.length > 3 ? 3 : 1
        if (plans.length > preferred) {
            const entry = planModel.get(preferred)
            vipRoot.selectedPlanId = entry.planId
            vipRoot.selectedPlanName = entry.planName
            vipRoot.selectedPlanPrice = entry.planPrice
            console.log("📌 默认选择推荐套餐:", entry.planName)
        }
    }

    function selectPlan(index) {
        const entry = planModel.get(index)
        if (vipRoot.isCreatingPayment || vipRoot.isPaying) {
            console.log("⚠️ 订单处理中，保持所选套餐:", vipRoot.selectedPlanName)
            return
        }
        console.log("📦 选择套餐:", entry.planName, entry.planId)
        vipRoot.selectedPlanId = entry.planId
        vipRoot.selectedPlanName = entry.planName
        vipRoot.selectedPlanPrice = entry.planPrice
    }

    function buy() {
        if (!vipRoot.canBuy)
            return
        console.log("💳 创建支付订单, planId:", vipRoot.selectedPlanId)
        vipRoot.paymentMessage = ""
        vipRoot.isCreatingPayment = true
        vipRoot.orderedPlanName = vipRoot.selectedPlanName
        vipRoot.orderedPlanPrice = vipRoot.selectedPlanPrice
        API.createPayment(vipRoot.selectedPlanId, "alipay")
    }

    // An order asked for before a sign-out belongs to the account that left: its answer shows nothing
    // and starts no polling. True when the answer was dropped.
    function dropOrderAfterSignOut() {
        if (!vipRoot.dropCreatedOrder && vipRoot.signedIn)
            return false
        console.log("⚠️ 已退出登录，忽略支付订单的答复")
        if (vipRoot.dropCreatedOrder) {
            vipRoot.dropCreatedOrder = false
            vipRoot.isCreatingPayment = false
        }
        return true
    }

    function showOutcome(text, isError) {
        vipRoot.paymentMessage = text
        vipRoot.paymentMessageIsError = isError
    }

    function endPayment() {
        API.stopPollingPayment()
        vipRoot.isPaying = false
        vipRoot.currentOrderId = ""
    }

    width: Constants.width
    height: Constants.height
    color: Constants.backgroundColor

    Component.onCompleted: {
        console.log("🔄 VIP页面加载，获取套餐列表")
        vipRoot.requestPlans()
    }

    ScreenHeader {
        id: header
        anchors.top: parent.top
        anchors.topMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 40
        title: "升级 VIP 会员"
        titleColor: Constants.primaryVip
    }

    Flickable {
        id: vipFlickable
        objectName: "vipFlickable"
        anchors.top: parent.top
        anchors.topMargin: 70
        anchors.bottom: parent.bottom
        width: parent.width
        clip: true
        contentHeight: contentColumn.height + 20 + 20
        boundsBehavior: Flickable.StopAtBounds

        QQC.ScrollBar.vertical: QQC.ScrollBar {
            policy: QQC.ScrollBar.AsNeeded
        }

        Column {
            id: contentColumn
            y: 20
            width: vipFlickable.width - 40
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 20

            Row {
                id: featureRow
                width: parent.width
                spacing: 10

                Repeater {
                    model: ["🚀 4K秒开", "🔒 专线加速", "📱 多端支持", "🚫 无广告"]
                    delegate: Rectangle {
                        id: chip

                        required property string modelData

                        width: (featureRow.width - 30) / 4
                        height: 30
                        radius: 15
                        color: Qt.rgba(255 / 255, 215 / 255, 0, 0.1)

                        Text {
                            anchors.centerIn: parent
                            text: chip.modelData
                            font.pixelSize: 10
                            color: Constants.primaryVip
                            font.family: Constants.font.family
                        }
                    }
                }
            }

            Column {
                id: planList
                objectName: "planList"
                width: parent.width
                spacing: 16
                visible: !vipRoot.isPaying

                Repeater {
                    id: planRepeater
                    objectName: "planRepeater"
                    model: ListModel {
                        id: planModel
                    }
                    delegate: PlanRow {
                        id: planDelegate

                        required property int index
                        required property var model

                        width: planList.width
                        enabled: !vipRoot.isCreatingPayment
                        selected: vipRoot.selectedPlanId === planDelegate.model.planId
                        recommended: planDelegate.model.isRecommended
                        planName: planDelegate.model.planName
                        daysText: planDelegate.model.planDaysText
                        priceText: planDelegate.model.formattedPrice
                        onClicked: vipRoot.selectPlan(planDelegate.index)
                    }
                }

                Text {
                    objectName: "plansLoadingLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: vipRoot.plansLoading && planModel.count === 0
                    text: "正在加载套餐..."
                    color: Constants.textSecondary
                    font.pixelSize: 14
                    font.family: Constants.font.family
                }

                Text {
                    objectName: "plansEmptyLabel"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !vipRoot.plansLoading && vipRoot.plansError === "" && planModel.count === 0
                    text: "暂无可用套餐"
                    color: Constants.textSecondary
                    font.pixelSize: 14
                    font.family: Constants.font.family
                }

                RetryNotice {
                    objectName: "plansErrorNotice"
                    width: parent.width
                    visible: vipRoot.plansError !== ""
                    message: "套餐列表加载失败: " + vipRoot.plansError
                    onRetry: {
                        console.log("🔄 重新获取套餐列表")
                        vipRoot.requestPlans()
                    }
                }
            }

            Rectangle {
                id: paymentPanel
                objectName: "paymentPanel"
                width: parent.width
                // Grows rather than letting its texts and button run over its edges.
                height: Math.max(350, paymentColumn.height + 40)
                radius: 16
                color: Constants.cardColor
                visible: vipRoot.isPaying

                Column {
                    id: paymentColumn
                    anchors.centerIn: parent
                    spacing: 20

                    // The widest a line may be: the panel less 20 on either side.
                    readonly property real room: paymentPanel.width - 40

                    Text {
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "请使用支付宝扫码支付"
                        color: Constants.textPrimary
                        font.pixelSize: 18
                        font.bold: true
                        font.family: Constants.font.family
                    }
                    OneLineText {
                        objectName: "paymentPlanLine"
                        anchors.horizontalCenter: parent.horizontalCenter
                        room: paymentColumn.room
                        fullText: vipRoot.orderedPlanName + " - ¥" + vipRoot.orderedPlanPrice
                        color: Constants.primaryVip
                        font.pixelSize: 16
                        font.family: Constants.font.family
                    }
                    Image {
                        id: qrCodeImage
                        objectName: "qrCodeImage"
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: 200
                        height: 200
                        fillMode: Image.PreserveAspectFit
                        // Decoded at the size it is shown, and not cached: every order has a picture of
                        // its own, which nothing shows again once the payment is over.
                        sourceSize: Qt.size(qrCodeImage.width, qrCodeImage.height)
                        cache: false
                        source: vipRoot.qrSource

                        onStatusChanged: {
                            if (qrCodeImage.status === Image.Error)
                                console.log("❌ 二维码加载失败:", qrCodeImage.source)
                        }

                        // Without its picture the box says so, rather than standing empty.
                        Rectangle {
                            objectName: "qrFailureBox"
                            anchors.fill: parent
                            visible: qrCodeImage.status === Image.Error
                            color: "transparent"
                            radius: 8
                            border.width: 1
                            border.color: Qt.rgba(1, 1, 1, 0.1)

                            Text {
                                objectName: "qrFailureLabel"
                                anchors.centerIn: parent
                                text: "二维码加载失败"
                                color: Constants.textSecondary
                                font.pixelSize: 14
                                font.family: Constants.font.family
                            }
                        }
                    }
                    // The whole order number, on as many lines as it takes: it is what the user
                    // quotes about this payment.
                    Text {
                        id: orderLine
                        objectName: "orderLine"
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: Math.min(orderLine.implicitWidth, paymentColumn.room)
                        text: "订单号: " + vipRoot.currentOrderId
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignHCenter
                        color: Constants.textSecondary
                        font.pixelSize: 12
                        font.family: Constants.font.family
                    }
                    QQC.Button {
                        id: cancelButton
                        objectName: "cancelButton"
                        anchors.horizontalCenter: parent.horizontalCenter
                        onClicked: {
                            console.log("❌ 取消支付")
                            vipRoot.endPayment()
                        }

                        contentItem: Text {
                            text: "取消支付"
                            font.pixelSize: 14
                            color: Constants.textSecondary
                            font.family: Constants.font.family
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                        background: Rectangle {
                            color: "transparent"
                            border.width: 1
                            border.color: Constants.textSecondary
                            radius: 8
                        }
                    }
                }
            }

            Text {
                id: paymentMessageLabel
                objectName: "paymentMessage"
                width: parent.width
                visible: vipRoot.paymentMessage !== ""
                text: vipRoot.paymentMessage
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                color: vipRoot.paymentMessageIsError ? Constants.colorError : Constants.colorSuccess
                font.pixelSize: 14
                font.bold: true
                font.family: Constants.font.family
            }

            Item {
                width: 1
                height: 20
            }

            QQC.Button {
                id: buyButton
                objectName: "buyButton"
                width: parent.width
                height: 50
                visible: !vipRoot.isPaying
                enabled: vipRoot.canBuy
                onClicked: vipRoot.buy()

                contentItem: Text {
                    objectName: "buyButtonText"
                    text: vipRoot.buyText
                    font.bold: true
                    font.pixelSize: 16
                    color: "#0A0E27"
                    font.family: Constants.font.family
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                background: Rectangle {
                    objectName: "buyButtonBackground"
                    radius: 12
                    opacity: buyButton.enabled ? 1.0 : 0.5
                    gradient: Gradient {
                        GradientStop {
                            position: 0.0
                            color: Constants.accentGlow
                        }
                        GradientStop {
                            position: 1.0
                            color: Constants.primaryVip
                        }
                    }
                }
            }

            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "支付即代表同意《会员服务协议》"
                color: Constants.textSecondary
                font.pixelSize: 11
                font.family: Constants.font.family
            }
        }
    }

    Connections {
        target: typeof API !== "undefined" ? API : null
        ignoreUnknownSignals: true

        function onPlansLoaded(plans) {
            console.log("✅ 套餐列表加载成功，数量:", plans.length)
            vipRoot.fillPlans(plans)
            vipRoot.plansLoading = false
            vipRoot.plansError = ""
        }

        function onPlansError(message) {
            console.log("❌ 套餐列表加载失败:", message)
            vipRoot.plansLoading = false
            vipRoot.plansError = message && message.length > 0 ? message : "未知错误"
        }

        function onPaymentCreated(payment) {
            if (vipRoot.dropOrderAfterSignOut())
                return
            const askedHere = vipRoot.isCreatingPayment
            vipRoot.isCreatingPayment = false
            const orderId = payment && typeof payment.orderId === "string" ? payment.orderId : ""
            const paymentUrl = payment && typeof payment.paymentUrl === "string" ? payment.paymentUrl : ""
            if (orderId === "" || paymentUrl === "") {
                // Without both there is nothing to pay and nothing to poll.
                console.log("❌ 支付订单数据无效, orderId:", orderId, "支付链接长度:", paymentUrl.length)
                vipRoot.showOutcome("创建支付订单失败: 订单信息不完整", true)
                return
            }
            console.log("✅ 支付订单创建成功")
            console.log("  订单号:", orderId)
            console.log("  支付链接:", paymentUrl)
            console.log("  金额:", payment.amount)
            console.log("  套餐:", payment.planName, payment.planDays, "天")
            if (!askedHere) {
                // An order this page did not ask for names its plan itself.
                vipRoot.orderedPlanName = typeof payment.planName === "string" ? payment.planName : ""
                vipRoot.orderedPlanPrice = Number(payment.amount) || 0
            }
            vipRoot.currentOrderId = orderId
            vipRoot.qrSource = paymentUrl
            vipRoot.paymentMessage = ""
            vipRoot.isPaying = true
            console.log("🔄 开始轮询支付状态...")
            API.startPollingPayment(orderId)
        }

        function onPaymentCreationError(message) {
            if (vipRoot.dropOrderAfterSignOut())
                return
            console.log("❌ 创建支付订单失败:", message)
            vipRoot.isCreatingPayment = false
            vipRoot.isPaying = false
            vipRoot.showOutcome("创建支付订单失败: " + (message && message.length > 0 ? message : "未知错误"), true)
        }

        function onPaymentStatusLoaded(status) {
            console.log("📊 支付状态更新:", status.status)
        }

        function onPaymentCompleted(orderNumber) {
            console.log("🎉 支付成功！订单号:", orderNumber)
            vipRoot.endPayment()
            console.log("🔄 刷新用户VIP状态...")
            API.refreshUserInfo()
            console.log("✅ VIP开通成功！")
            vipRoot.showOutcome("🎉 支付成功，VIP会员已开通", false)
        }

        function onPaymentFailed(orderNumber, message) {
            console.log("❌ 支付失败:", message, "订单号:", orderNumber)
            vipRoot.endPayment()
            vipRoot.showOutcome("支付失败: " + (message && message.length > 0 ? message : "未知错误"), true)
        }

        function onLoginStateChanged(loggedIn) {
            if (loggedIn)
                return
            if (vipRoot.isCreatingPayment)
                vipRoot.dropCreatedOrder = true
            // The backend ends polling on a sign-out; the order on show cannot be paid for any more.
            if (!vipRoot.isPaying)
                return
            console.log("🔴 已退出登录，停止支付轮询")
            vipRoot.endPayment()
        }
    }
}
