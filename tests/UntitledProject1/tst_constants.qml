import QtQuick
import QtTest
import UntitledProject1

Item {
    id: root
    width: 100
    height: 100

    TestCase {
        id: testCase
        name: "Constants"

        function test_value_data() {
            return [
                { tag: "width", name: "width", value: 430 },
                { tag: "height", name: "height", value: 880 },
                { tag: "relativeFontDirectory", name: "relativeFontDirectory", value: "fonts" },
                { tag: "backgroundColor", name: "backgroundColor", value: "#0A0E27" },
                { tag: "cardColor", name: "cardColor", value: "#1A1E37" },
                { tag: "primaryFree", name: "primaryFree", value: "#00FFD9" },
                { tag: "primaryVip", name: "primaryVip", value: "#FFD700" },
                { tag: "colorVip", name: "colorVip", value: "#FFE55C" },
                { tag: "accentGlow", name: "accentGlow", value: "#FFEB3B" },
                { tag: "textPrimary", name: "textPrimary", value: "#FFFFFF" },
                { tag: "textSecondary", name: "textSecondary", value: "#B0B0B0" },
                { tag: "textHint", name: "textHint", value: "#808080" },
                { tag: "colorError", name: "colorError", value: "#FF5252" },
                { tag: "colorSuccess", name: "colorSuccess", value: "#00CCAA" },
                { tag: "colorWarning", name: "colorWarning", value: "#FF9800" }
            ]
        }

        function test_value(data) {
            const actual = Constants[data.name]
            verify(actual !== undefined, data.name + " is missing")
            if (typeof data.value === "string" && data.value.startsWith("#"))
                verify(Qt.colorEqual(actual, data.value), data.name + " is " + actual + ", not " + data.value)
            else
                compare(actual, data.value)
        }

        function test_fontsFollowTheApplicationFont() {
            compare(Constants.font.family, Qt.application.font.family)
            compare(Constants.largeFont.family, Qt.application.font.family)
        }

        function test_fontPathFollowsTheFontDirectory() {
            verify(Constants.fontPath.endsWith("/UntitledProject1Content/fonts"), Constants.fontPath)
            verify(Constants.fontPath.indexOf("UntitledProject1/") < 0, "resolved against the theme's own folder: "
                   + Constants.fontPath)
            Constants.relativeFontDirectory = "typefaces"
            verify(Constants.fontPath.endsWith("/UntitledProject1Content/typefaces"), Constants.fontPath)
            Constants.relativeFontDirectory = "fonts"
        }

        function test_unknownNameIsUndefined_data() {
            return [
                { tag: "colorInfo", name: "colorInfo" },
                { tag: "primaryColor", name: "primaryColor" },
                { tag: "fontSize", name: "fontSize" },
                { tag: "warningColor", name: "warningColor" }
            ]
        }

        function test_unknownNameIsUndefined(data) {
            compare(Constants[data.name], undefined)
        }

        function test_readOnlyValuesRefuseWrites_data() {
            return [
                { tag: "width", name: "width", value: 800 },
                { tag: "backgroundColor", name: "backgroundColor", value: "#FFFFFF" },
                { tag: "colorWarning", name: "colorWarning", value: "#000000" },
                { tag: "fontPath", name: "fontPath", value: "elsewhere" }
            ]
        }

        function test_readOnlyValuesRefuseWrites(data) {
            const before = Constants[data.name]
            let refused = false
            try {
                Constants[data.name] = data.value
            } catch (error) {
                refused = true
            }
            verify(refused, data.name + " accepted a write")
            compare(Constants[data.name], before)
        }
    }
}
