import QtQuick
import QtQuick.Controls as QQC
import UntitledProject1
import UntitledProject1Content

Window {
    id: appWindow
    width: Constants.width
    height: Constants.height
    visible: true
    title: "Mirevo加速器"
}
