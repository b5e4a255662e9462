import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The window's one modal message box, in four kinds that differ in title, glyph and accent colour.
// A show call while it is open replaces its texts in place: the latest call wins.
Dialog {
    id: root

    property string messageText: ""
    property string titleText: "提示"
    property string iconText: "ℹ️"
    property color iconColor: "#4A90E2"
    // The tallest the message may make the dialog before it scrolls.
    readonly property real maxMessageHeight: (root.parent ? root.parent.height : 0) * 0.5

    function showInfo(message) {
        root.showKind("提示", "ℹ️", "#4A90E2", message)
    }
    function showWarning(message) {
        root.showKind("警告", "⚠️", "#FF9800", message)
    }
    function showError(message) {
        root.showKind("错误", "❌", "#F44336", message)
    }
    function showSuccess(message) {
        root.showKind("成功", "✅", "#4CAF50", message)
    }
    function showKind(title, icon, accent, message) {
        root.titleText = title
        root.iconText = icon
        root.iconColor = accent
        root.messageText = message
        root.open()
    }

    title: root.titleText
    modal: true
    anchors.centerIn: parent
    width: Math.min(400, (root.parent ? root.parent.width : 0) * 0.8)
    standardButtons: Dialog.NoButton

    background: Rectangle {
        color: "#F5F5F5"
        radius: 12
        border.width: 1
        border.color: "#E0E0E0"

        Rectangle {
            anchors.fill: parent
            anchors.margins: -2
            z: -1
            color: "#20000000"
            radius: 14
        }
    }

    ColumnLayout {
        id: contentColumn
        width: root.availableWidth
        spacing: 20

        RowLayout {
            id: messageRow
            Layout.fillWidth: true
            spacing: 15

            Text {
                id: iconLabel
                objectName: "iconLabel"
                text: root.iconText
                font.pixelSize: 48
                color: root.iconColor
            }

            // The dialog grows with its message up to half the window; a longer one scrolls here, so
            // that 确定 always stays on screen.
            Flickable {
                id: messageViewport
                objectName: "messageViewport"
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(messageLabel.implicitHeight, root.maxMessageHeight)
                contentWidth: messageViewport.width
                contentHeight: messageLabel.height
                clip: true
                interactive: messageViewport.contentHeight > messageViewport.height
                boundsBehavior: Flickable.StopAtBounds

                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AsNeeded
                }

                Text {
                    id: messageLabel
                    objectName: "messageLabel"
                    width: messageViewport.width
                    text: root.messageText
                    // The message often comes from the service: never interpreted as markup.
                    textFormat: Text.PlainText
                    font.pixelSize: 16
                    color: "#333333"
                    // A word wider than the line breaks inside it.
                    wrapMode: Text.Wrap
                }
            }
        }

        Button {
            id: okButton
            objectName: "okButton"
            Layout.alignment: Qt.AlignRight
            Layout.preferredWidth: 100
            text: "确定"
            onClicked: root.close()

            background: Rectangle {
                objectName: "okBackground"
                color: root.iconColor
                radius: 6
            }

            contentItem: Text {
                text: okButton.text
                font.pixelSize: 14
                font.bold: true
                color: "#FFFFFF"
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
        }
    }
}
