import QtQuick
import QtTest
import UntitledProject1
import UntitledProject1Content

Item {
    id: root
    width: 430
    height: 880

    // Plays the window's current server, which the screen's mark is bound to.
    QtObject {
        id: chosen
        property int serverId: -1
    }

    Component {
        id: screenComponent
        SelectServerScreen {
            selectedServerId: chosen.serverId
        }
    }

    Component {
        id: probeImage
        Image {}
    }

    SignalSpy {
        id: selectedSpy
        signalName: "serverSelected"
    }

    TestCase {
        id: testCase
        name: "SelectServerScreen"
        when: windowShown

        readonly property string link: "vmess://" + "eyJhZGQiOiIxLjIuMy40In0-secret-tail-of-the-link"
        property var screen: null

        function server(id, name, tier, requiresVip, canConnect, extra) {
            const entry = { "id": id, "name": name, "tier": tier, "requiresVip": requiresVip, "canConnect": canConnect,
                            "flag": "🇭🇰", "countryCode": "HK", "vmessLink": testCase.link }
            for (const key in extra)
                entry[key] = extra[key]
            return entry
        }

        function init() {
            FakeApi.reset()
            QmlLog.clear()
            chosen.serverId = -1
            testCase.screen = createTemporaryObject(screenComponent, root)
            selectedSpy.target = testCase.screen
            selectedSpy.clear()
        }

        function part(name) {
            const item = findChild(testCase.screen, name)
            verify(item, name + " not found")
            return item
        }

        // Rows once the list has laid them out, so a click lands on the right one.
        function freeRow(i) {
            waitForItemPolished(part("serverListColumn"))
            return part("freeServersRepeater").itemAt(i)
        }

        function vipRow(i) {
            waitForItemPolished(part("serverListColumn"))
            return part("vipServersRepeater").itemAt(i)
        }

        function test_asksForTheWholeListAndShowsLoading() {
            compare(FakeApi.callNames, ["getServers"])
            compare(FakeApi.lastArgs("getServers"), [""])
            verify(part("loadingLabel").visible)
            verify(!part("emptyLabel").visible)
            verify(!part("errorNotice").visible)
            verify(!part("freeGroup").visible)
            verify(!part("vipGroup").visible)
        }

        function test_grouping_data() {
            return [
                { tag: "free tier", tier: "free", requiresVip: false, group: "free" },
                { tag: "vip tier without VIP requirement", tier: "vip", requiresVip: false, group: "free" },
                { tag: "free tier requiring VIP", tier: "free", requiresVip: true, group: "free" },
                { tag: "Free in other case requiring VIP", tier: "Free", requiresVip: true, group: "vip" },
                { tag: "vip tier requiring VIP", tier: "vip", requiresVip: true, group: "vip" }
            ]
        }

        function test_grouping(data) {
            API.serversLoaded([server(1, "首个", "free", false, true), server(2, "被测", data.tier, data.requiresVip, true)])
            const free = part("freeServersRepeater")
            const vip = part("vipServersRepeater")
            compare(free.count + vip.count, 2)
            compare(data.group === "free" ? free.count : vip.count, data.group === "free" ? 2 : 1)
            const row = data.group === "free" ? free.itemAt(1) : vip.itemAt(0)
            compare(findChild(row, "serverName").text, "被测")
            verify(!part("loadingLabel").visible)
            compare(part("vipGroup").visible, data.group === "vip")
        }

        function test_onlyVipLinesStartUnderTheHeader() {
            API.serversLoaded([server(5, "新加坡 VIP", "vip", true, true)])
            verify(!part("freeGroup").visible)
            verify(part("vipGroup").visible)
            // The list starts 16 px under the 50 px header that sits 20 px below the top.
            compare(part("vipGroup").mapToItem(testCase.screen, 0, 0).y, 86)
        }

        function test_markAndBorder_data() {
            return [
                { tag: "free, not chosen", vip: false, canConnect: true, chosenId: -1, mark: "", border: 0 },
                { tag: "free, chosen", vip: false, canConnect: true, chosenId: 9, mark: "✓", border: 2 },
                { tag: "free, not connectable", vip: false, canConnect: false, chosenId: -1, mark: "", border: 0 },
                { tag: "vip, not chosen", vip: true, canConnect: true, chosenId: -1, mark: "", border: 1 },
                { tag: "vip, chosen", vip: true, canConnect: true, chosenId: 9, mark: "✓", border: 2 },
                { tag: "vip, locked", vip: true, canConnect: false, chosenId: -1, mark: "🔒", border: 1 },
                { tag: "vip, locked and chosen", vip: true, canConnect: false, chosenId: 9, mark: "🔒", border: 2 }
            ]
        }

        function test_markAndBorder(data) {
            chosen.serverId = data.chosenId
            API.serversLoaded([server(9, "行", data.vip ? "vip" : "free", data.vip, data.canConnect)])
            const row = data.vip ? vipRow(0) : freeRow(0)
            const mark = findChild(row, "serverMark")
            compare(mark.text, data.mark)
            compare(row.border.width, data.border)
            if (data.mark === "🔒") {
                compare(mark.font.pixelSize, 16)
                compare(mark.opacity, 0.7)
                compare(mark.color, Constants.textSecondary)
            }
            if (data.border === 2)
                compare(row.border.color, Constants.primaryFree)
        }

        function test_pickedServerHandsOnItsValues_data() {
            return [
                { tag: "free line", vip: false, canConnect: true, extra: {},
                  values: ["香港 01", "🇭🇰", "HK", "", 4, "LINK", false] },
                { tag: "free line that may not connect", vip: false, canConnect: false, extra: {},
                  values: ["香港 01", "🇭🇰", "HK", "", 4, "LINK", false] },
                { tag: "vip line", vip: true, canConnect: true, extra: {},
                  values: ["香港 01", "🇭🇰", "HK", "", 4, "LINK", true] },
                { tag: "missing flag, code and link", vip: false, canConnect: true,
                  extra: { "flag": "", "countryCode": "", "vmessLink": "" },
                  values: ["香港 01", "🌐", "", "", 4, "", false] }
            ]
        }

        function test_pickedServerHandsOnItsValues(data) {
            API.serversLoaded([server(4, "香港 01", data.vip ? "vip" : "free", data.vip, data.canConnect, data.extra)])
            mouseClick(data.vip ? vipRow(0) : freeRow(0))
            compare(selectedSpy.count, 1)
            const expected = data.values.map(v => v === "LINK" ? testCase.link : v)
            compare(Array.from(selectedSpy.signalArguments[0]), expected)
            compare(testCase.screen.selectedServerId, 4)
            compare(findChild(data.vip ? vipRow(0) : freeRow(0), "serverMark").text, "✓")
            verify(!QmlLog.contains("secret-tail-of-the-link"), "a whole link reached the log")
        }

        function test_lockedLineRefusesTheClick() {
            chosen.serverId = 1
            API.serversLoaded([server(1, "免费", "free", false, true), server(2, "锁定", "vip", true, false)])
            mouseClick(vipRow(0))
            compare(selectedSpy.count, 0)
            compare(testCase.screen.selectedServerId, 1)
            verify(QmlLog.contains("⚠️ 此服务器需要VIP权限"))
        }

        function test_markFollowsTheWindowAcrossLists() {
            API.serversLoaded([server(1, "甲", "free", false, true), server(2, "乙", "free", false, true)])
            chosen.serverId = 2
            compare(findChild(freeRow(1), "serverMark").text, "✓")
            API.serversLoaded([server(2, "乙", "free", false, true), server(3, "丙", "vip", true, true)])
            compare(part("freeServersRepeater").count, 1)
            compare(part("vipServersRepeater").count, 1)
            compare(findChild(freeRow(0), "serverName").text, "乙")
            compare(findChild(freeRow(0), "serverMark").text, "✓")
        }

        function test_noLatencyAnywhere() {
            API.serversLoaded([server(1, "甲", "free", false, true), server(2, "乙", "vip", true, true)])
            for (const row of [freeRow(0), vipRow(0)]) {
                const texts = []
                const walk = item => {
                    if (item.text !== undefined)
                        texts.push(String(item.text))
                    for (let i = 0; i < item.children.length; ++i)
                        walk(item.children[i])
                }
                walk(row)
                verify(!texts.some(t => t.indexOf("延迟") >= 0 || t.indexOf("ms") >= 0), texts.join("|"))
            }
        }

        function test_serviceTextsArePlain() {
            API.serversLoaded([server(1, "<b>香港</b>", "free", false, true, { "countryCode": "<i>x</i>" })])
            const name = findChild(freeRow(0), "serverName")
            compare(name.text, "<b>香港</b>")
            compare(name.textFormat, Text.PlainText)
            compare(findChild(freeRow(0), "flagFallbackText").textFormat, Text.PlainText)
        }

        // Codes arrive in whatever case the service sends; one without an image shows its text as it came,
        // and the screen never asks for a file that is not there (no "Cannot open" line per row).
        function test_flag_data() {
            return [
                { tag: "upper case", code: "HK", image: true, source: "resources/flags/hk.png" },
                { tag: "lower case", code: "hk", image: true, source: "resources/flags/hk.png" },
                { tag: "mixed case", code: "Jp", image: true, source: "resources/flags/jp.png" },
                { tag: "unknown code", code: "ZZ", image: false, shown: "ZZ" },
                { tag: "unknown lower-case code", code: "zz", image: false, shown: "zz" },
                { tag: "a name of every script object", code: "constructor", image: false, shown: "constructor" },
                { tag: "empty", code: "", image: false, shown: "??" }
            ]
        }

        function test_flag(data) {
            API.serversLoaded([server(1, "甲", "free", false, true, { "countryCode": data.code })])
            const row = freeRow(0)
            const image = findChild(row, "flagImage")
            const fallback = findChild(row, "flagFallback")
            if (data.image) {
                verify(String(image.source).endsWith(data.source), String(image.source))
                tryCompare(image, "status", Image.Ready)
                compare([image.sourceSize.width, image.sourceSize.height], [32, 24])
                compare([image.paintedWidth, image.paintedHeight], [32, 24])
                verify(!fallback.visible)
            } else {
                compare(String(image.source), "")
                verify(fallback.visible)
                compare(findChild(row, "flagFallbackText").text, data.shown)
            }
            wait(0) // a failed load reports itself from the event loop
            compare(QmlLog.linesContaining("Cannot open"), [])
        }

        // Every code the module lists has its image at the row's size and at twice that for dense screens.
        function test_everyListedFlagHasItsImages() {
            const codes = Object.keys(FlagImages.codes)
            verify(codes.indexOf("cn") >= 0 && codes.indexOf("us") >= 0, codes.join(" "))
            for (const code of codes) {
                for (const variant of [{ suffix: "", width: 32, height: 24 }, { suffix: "@2x", width: 64, height: 48 }]) {
                    const image = createTemporaryObject(probeImage, root, {
                        "source": "qrc:/qt/qml/UntitledProject1Content/resources/flags/" + code + variant.suffix + ".png" })
                    compare(image.status, Image.Ready, code + variant.suffix)
                    compare([image.sourceSize.width, image.sourceSize.height], [variant.width, variant.height],
                            code + variant.suffix)
                }
            }
            compare(QmlLog.linesContaining("Cannot open"), [])
        }

        function test_failedOrEmptyListSaysSo_data() {
            return [
                { tag: "error", error: "网络连接失败", notice: true, empty: false },
                { tag: "error without text", error: "", notice: true, empty: false },
                { tag: "empty list", error: null, notice: false, empty: true }
            ]
        }

        function test_failedOrEmptyListSaysSo(data) {
            if (data.error === null)
                API.serversLoaded([])
            else
                API.serversError(data.error)
            verify(!part("loadingLabel").visible, "no endless loading text")
            compare(part("errorNotice").visible, data.notice)
            compare(part("emptyLabel").visible, data.empty)
            if (data.notice) {
                verify(findChild(part("errorNotice"), "retryMessage").text.indexOf(data.error) >= 0)
                FakeApi.clearCalls()
                mouseClick(findChild(part("errorNotice"), "retryButton"))
                compare(FakeApi.callNames, ["getServers"])
                verify(part("loadingLabel").visible)
                verify(!part("errorNotice").visible)
                API.serversLoaded([server(1, "甲", "free", false, true)])
                verify(part("freeGroup").visible)
                verify(!part("errorNotice").visible)
            }
        }

        function test_errorAfterAListKeepsItsRows() {
            API.serversLoaded([server(1, "甲", "free", false, true)])
            API.serversError("超时")
            compare(part("freeServersRepeater").count, 1)
            verify(part("freeGroup").visible)
            verify(part("errorNotice").visible)
        }

        function test_lastRowOfALongListCanBeReached() {
            const servers = []
            for (let i = 1; i <= 30; ++i)
                servers.push(server(i, "线路 " + i, i <= 15 ? "free" : "vip", i > 15, true))
            API.serversLoaded(servers)
            const flick = part("serverFlickable")
            tryVerify(() => flick.contentHeight > flick.height, 1000)
            const last = vipRow(14)
            tryVerify(() => last.mapToItem(root, 0, 0).y > root.height, 1000, "the last row starts off screen")
            // The user drags the scroll bar's handle down to the end.
            const bar = part("serverScrollBar")
            verify(bar.visible)
            mouseDrag(bar, bar.width / 2, 10, 0, bar.height)
            tryVerify(() => flick.atYEnd, 2000)
            const top = last.mapToItem(root, 0, 0).y
            verify(top >= 70 && top + last.height <= root.height, "last row at " + top)
            compare(findChild(testCase.screen, "titleLabel").mapToItem(root, 0, 0).y,
                    findChild(testCase.screen, "titleLabel").y + 20, "the header stays put")
            selectedSpy.clear()
            mouseClick(last)
            compare(selectedSpy.count, 1)
            compare(selectedSpy.signalArguments[0][4], 30)
        }
    }
}
