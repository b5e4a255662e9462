import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

// Texts from the service that are longer than their place: every screen keeps them inside their cards,
// on one line where the place has one line, never over another element, and no control leaves the window.
Item {
    id: root
    width: 430
    height: 880

    Component {
        id: mainScreenComponent
        Screen {}
    }
    Component {
        id: loginComponent
        LoginScreenWrapper {
            width: 430
            height: 880
        }
    }
    Component {
        id: settingsComponent
        SettingsScreen {}
    }
    Component {
        id: serversComponent
        SelectServerScreen {}
    }
    Component {
        id: vipComponent
        VipScreen {}
    }
    Component {
        id: ordersComponent
        MyOrdersScreenWrapper {
            width: 430
            height: 880
        }
    }
    Component {
        id: announcementsComponent
        AnnouncementScreenWrapper {
            width: 430
            height: 880
        }
    }

    MessageDialog {
        id: dialog
    }

    TestCase {
        id: testCase
        name: "LongTexts"
        when: windowShown

        property var screen: null

        // About 200 characters of words, one word of 80 characters, and four lines.
        function longTexts() {
            const words = "服务说明 Mirevo Premium 高速专线 with words that go on and on 直到一行放不下为止 "
            return [
                { tag: "200 characters", text: words.repeat(5).slice(0, 200) },
                { tag: "one 80-character word", text: "Supercalifragilistic".repeat(4) },
                { tag: "three newlines", text: "第一行说明\n第二行说明\n第三行说明\n第四行说明" }
            ]
        }

        function init() {
            FakeApi.reset()
            QmlLog.clear()
        }

        function cleanup() {
            dialog.close()
            tryCompare(dialog, "visible", false)
        }

        function open(component, signedIn) {
            FakeApi.setState({ "isLoggedIn": signedIn })
            testCase.screen = createTemporaryObject(component, root)
            verify(testCase.screen)
            return testCase.screen
        }

        function part(item, name) {
            const found = findChild(item, name)
            verify(found, name + " not found")
            return found
        }

        function isText(item) {
            return typeof item.lineCount === "number" && typeof item.elide === "number"
        }

        // What an item paints, in the coordinates of target: a text paints beyond its own box when its
        // lines are wider or taller than the box and nothing clips it.
        function paintedRect(item, target) {
            let x = 0
            let y = 0
            let width = item.width
            let height = item.height
            if (testCase.isText(item) && !item.clip) {
                if (item.contentWidth > item.width) {
                    width = item.contentWidth
                    if (item.effectiveHorizontalAlignment === Text.AlignHCenter)
                        x = (item.width - width) / 2
                    else if (item.effectiveHorizontalAlignment === Text.AlignRight)
                        x = item.width - width
                }
                if (item.contentHeight > item.height) {
                    height = item.contentHeight
                    if (item.verticalAlignment === Text.AlignVCenter)
                        y = (item.height - height) / 2
                    else if (item.verticalAlignment === Text.AlignBottom)
                        y = item.height - height
                }
            }
            const origin = item.mapToItem(target, x, y)
            return Qt.rect(origin.x, origin.y, width, height)
        }

        function describe(item) {
            return (item.objectName || "a " + item.toString().split("(")[0])
                    + (testCase.isText(item) ? " \"" + item.text.slice(0, 20) + "\"" : "")
        }

        function rectText(r) {
            return "(" + Math.round(r.x) + ", " + Math.round(r.y) + ", " + Math.round(r.width) + " x "
                    + Math.round(r.height) + ")"
        }

        // Every text shown under item, the subtrees named in skip left out.
        function shownTexts(item, skip, found) {
            if (!item.visible || item.opacity === 0 || skip.indexOf(item.objectName) >= 0)
                return found
            if (testCase.isText(item) && item.text.length > 0)
                found.push(item)
            for (let i = 0; i < item.children.length; ++i)
                testCase.shownTexts(item.children[i], skip, found)
            return found
        }

        function verifyInside(item, box) {
            const r = testCase.paintedRect(item, box)
            verify(r.x >= -0.5 && r.y >= -0.5 && r.x + r.width <= box.width + 0.5 && r.y + r.height <= box.height + 0.5,
                   testCase.describe(item) + " at " + testCase.rectText(r) + " leaves " + testCase.describe(box)
                   + " of " + box.width + " x " + box.height)
        }

        function encloses(outer, inner) {
            for (let p = inner.parent; p; p = p.parent) {
                if (p === outer)
                    return true
            }
            return false
        }

        function overlap(a, b) {
            return a.x < b.x + b.width - 0.5 && b.x < a.x + a.width - 0.5 && a.y < b.y + b.height - 0.5
                    && b.y < a.y + a.height - 0.5
        }

        // Every text shown in the card, and the named other elements, lie inside it and clear of each other.
        function verifyHeld(card, others, skip) {
            const items = testCase.shownTexts(card, skip || [], [])
            verify(items.length > 0, "no text in " + testCase.describe(card))
            for (const name of others || [])
                items.push(testCase.part(card, name))
            for (const item of items)
                testCase.verifyInside(item, card)
            for (let i = 0; i < items.length; ++i) {
                for (let j = i + 1; j < items.length; ++j) {
                    const a = items[i]
                    const b = items[j]
                    if (testCase.encloses(a, b) || testCase.encloses(b, a))
                        continue
                    const ra = testCase.paintedRect(a, card)
                    const rb = testCase.paintedRect(b, card)
                    verify(!testCase.overlap(ra, rb), testCase.describe(a) + " at " + testCase.rectText(ra)
                           + " runs over " + testCase.describe(b) + " at " + testCase.rectText(rb))
                }
            }
        }

        // A field of one line: the text on one line, a line break shown as a blank.
        function verifyOneLine(card, name) {
            const label = testCase.part(card, name)
            compare(label.lineCount, 1, name + " takes " + label.lineCount + " lines")
            verify(label.text.indexOf("\n") < 0, name + " shows a line break")
        }

        function settle(item) {
            waitForRendering(item)
        }

        function test_serverCard_data() {
            return testCase.longTexts()
        }

        function test_serverCard(data) {
            const screen = testCase.open(mainScreenComponent, true)
            screen.selectedServerName = data.text
            screen.selectedServerCountryCode = data.text
            screen.selectedServerLatency = data.text
            testCase.settle(screen)
            const card = testCase.part(screen, "serverCard")
            testCase.verifyHeld(card, ["flagBox"])
            testCase.verifyInside(testCase.part(card, "flagFallbackText"), testCase.part(card, "flagBox"))
            for (const name of ["serverNameLabel", "serverLatencyLabel", "flagFallbackText"])
                testCase.verifyOneLine(card, name)
        }

        function test_userPill_data() {
            return testCase.longTexts()
        }

        function test_userPill(data) {
            const screen = testCase.open(mainScreenComponent, true)
            screen.userLoggedIn = true
            screen.userIsVip = true
            screen.userName = data.text
            testCase.settle(screen)
            const pill = testCase.part(screen, "userInfoBox")
            testCase.verifyHeld(pill, ["avatar"], ["avatarInitial"])
            testCase.verifyOneLine(pill, "userNameLabel")
        }

        function test_serverRows_data() {
            return testCase.longTexts()
        }

        function test_serverRows(data) {
            const screen = testCase.open(serversComponent, true)
            API.serversLoaded([
                { "id": 1, "name": data.text, "countryCode": data.text, "tier": "free", "requiresVip": false,
                  "canConnect": true, "vmessLink": "vmess://a" },
                { "id": 2, "name": data.text, "countryCode": data.text, "tier": "vip", "requiresVip": true,
                  "canConnect": false, "vmessLink": "vmess://b" }
            ])
            screen.selectedServerId = 1
            testCase.settle(screen)
            for (const repeater of ["freeServersRepeater", "vipServersRepeater"]) {
                const row = testCase.part(screen, repeater).itemAt(0)
                testCase.verifyHeld(row, ["flagImage"])
                testCase.verifyInside(testCase.part(row, "flagFallbackText"), testCase.part(row, "flagImage"))
                testCase.verifyOneLine(row, "serverName")
                testCase.verifyOneLine(row, "flagFallbackText")
            }
        }

        function test_planRows_data() {
            return testCase.longTexts()
        }

        function test_planRows(data) {
            const screen = testCase.open(vipComponent, true)
            API.plansLoaded([
                { "id": 1, "name": data.text, "days": 30, "price": 15, "daysText": data.text, "formattedPrice": data.text },
                { "id": 2, "name": data.text, "days": 30, "price": 15, "daysText": "30天", "formattedPrice": "¥15" }
            ])
            testCase.settle(screen)
            for (let i = 0; i < 2; ++i) {
                const row = testCase.part(screen, "planRepeater").itemAt(i)
                // The tag straddles the row's upper border by design.
                testCase.verifyHeld(row, ["selectionCircle"], ["recommendTag"])
                for (const name of ["planName", "planDays", "planPrice"])
                    testCase.verifyOneLine(row, name)
                const name = testCase.part(row, "planName")
                verify(name.width >= 100, "the plan name keeps " + name.width + " px beside the price")
            }
        }

        function test_paymentPanel_data() {
            return testCase.longTexts()
        }

        function test_paymentPanel(data) {
            const screen = testCase.open(vipComponent, true)
            API.plansLoaded([{ "id": 1, "name": data.text, "days": 30, "price": 15 },
                             { "id": 2, "name": data.text, "days": 90, "price": 40 }])
            mouseClick(testCase.part(screen, "buyButton"))
            API.paymentCreated({ "orderId": data.text, "paymentUrl": "qrc:/no/such/qr-code.png", "amount": 40,
                                 "planName": data.text, "planDays": 90 })
            const panel = testCase.part(screen, "paymentPanel")
            tryVerify(() => testCase.part(panel, "qrFailureLabel").visible)
            testCase.settle(screen)
            testCase.verifyHeld(panel, ["qrCodeImage", "cancelButton"])
            testCase.verifyOneLine(panel, "paymentPlanLine")
            testCase.verifyInside(panel, testCase.part(screen, "vipFlickable").contentItem)
        }

        function test_settingsUserCard_data() {
            return testCase.longTexts()
        }

        function test_settingsUserCard(data) {
            const screen = testCase.open(settingsComponent, true)
            screen.loggedIn = true
            screen.isVip = true
            screen.vipDays = 30
            screen.name = data.text
            screen.email = data.text
            testCase.settle(screen)
            const card = testCase.part(screen, "userCard")
            testCase.verifyHeld(card, ["avatar"])
            testCase.verifyOneLine(card, "nameLabel")
            testCase.verifyOneLine(card, "emailLabel")
        }

        function test_orderRows_data() {
            return testCase.longTexts()
        }

        function test_orderRows(data) {
            const screen = testCase.open(ordersComponent, true)
            API.ordersLoaded([{ "orderNumber": data.text, "planName": data.text, "amount": 30, "status": "pending",
                                "statusText": data.text, "paymentMethod": "alipay", "paymentMethodText": data.text,
                                "createdAt": new Date(2026, 0, 15, 10, 0, 0) }])
            testCase.settle(screen)
            const card = testCase.part(screen, "ordersRepeater").itemAt(0)
            testCase.verifyHeld(card, ["statusBadge"])
            for (const name of ["orderNumber", "statusText", "paymentLine"])
                testCase.verifyOneLine(card, name)
        }

        function test_announcement_data() {
            return testCase.longTexts()
        }

        function test_announcement(data) {
            const screen = testCase.open(announcementsComponent, true)
            API.announcementsLoaded([{ "id": 1, "title": data.text, "content": data.text, "type": "update",
                                       "publishedAt": new Date(2026, 0, 31, 8, 0, 0) }])
            testCase.settle(screen)
            testCase.verifyHeld(testCase.part(screen, "announcementRepeater").itemAt(0))
        }

        function test_messageDialog_data() {
            const rows = testCase.longTexts()
            rows.push({ tag: "a message longer than the window", text: rows[0].text.repeat(12), scrolls: true })
            return rows
        }

        function test_messageDialog(data) {
            dialog.showWarning(data.text)
            tryCompare(dialog, "opened", true)
            const box = dialog.contentItem.parent
            testCase.settle(box)
            testCase.verifyHeld(box, ["messageViewport", "okButton"], ["messageLabel"])
            const ok = testCase.part(box, "okButton")
            testCase.verifyInside(ok, root)
            testCase.verifyInside(box, root)
            const viewport = testCase.part(box, "messageViewport")
            const label = testCase.part(box, "messageLabel")
            verify(label.contentWidth <= viewport.width + 0.5, "the message is " + label.contentWidth
                   + " px wide in a view of " + viewport.width)
            // A message taller than the view scrolls; 确定 stays where it is.
            compare(label.height > viewport.height, data.scrolls === true, "the message scrolls")
            if (data.scrolls) {
                const okTop = ok.mapToItem(root, 0, 0).y
                viewport.contentY = label.height - viewport.height
                testCase.settle(box)
                compare(ok.mapToItem(root, 0, 0).y, okTop)
            }
            mouseClick(ok)
            tryCompare(dialog, "visible", false)
        }

        function test_signInError_data() {
            // Whether the text needs more than the error's three lines.
            const cut = { "200 characters": true, "one 80-character word": false, "three newlines": true }
            return testCase.longTexts().map(row => Object.assign(row, { cut: cut[row.tag] }))
        }

        function test_signInError(data) {
            const screen = testCase.open(loginComponent, false)
            mouseClick(testCase.part(screen, "loginButton"))
            API.loginError(data.text)
            testCase.settle(screen)
            const error = testCase.part(screen, "errorLabel")
            verify(error.visible)
            verify(error.lineCount <= 3, "the error takes " + error.lineCount + " lines")
            compare(error.truncated, data.cut)
            testCase.verifyHeld(screen, ["usernameField", "passwordField", "loginButton"])
        }
    }
}
