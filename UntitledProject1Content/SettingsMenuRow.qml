import QtQuick
import UntitledProject1

// One navigation row of the settings list: icon, title over subtitle, and ">" at the right edge. The
// click area is declared by the user of the row, as its child, so it lies above the texts.
Rectangle {
    id: menuRow

    property string icon: ""
    property string title: ""
    property string subtitle: ""

    width: parent ? parent.width : 0
    height: 60
    radius: 12
    color: Constants.cardColor

    Row {
        id: contentRow
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 16

        SettingsRowIcon {
            id: iconBox
            objectName: "iconBox"
            icon: menuRow.icon
            color: Constants.textSecondary
        }

        Column {
            id: textColumn
            anchors.verticalCenter: parent.verticalCenter

            Text {
                id: titleLabel
                objectName: "rowTitle"
                text: menuRow.title
                color: Constants.textPrimary
                font.bold: true
                font.pixelSize: 15
                font.family: Constants.font.family
            }

            Text {
                id: subtitleLabel
                text: menuRow.subtitle
                color: Constants.textSecondary
                font.pixelSize: 11
                font.family: Constants.font.family
            }
        }
    }

    Text {
        id: chevron
        text: ">"
        color: Constants.textSecondary
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        font.pixelSize: 18
    }
}
