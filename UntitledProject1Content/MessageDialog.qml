import QtQuick
import QtQuick.Controls

Dialog {
    id: root
}
