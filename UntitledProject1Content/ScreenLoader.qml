import QtQuick

// A secondary screen, built from its file when its page is pushed. The window names its screens by file
// rather than by type, so that their code loads only for the screens a user opens, not at start-up.
Loader {
    id: screenLoader

    required property url screen
    required property string screenName
    // Further values the screen starts with; a Qt.binding() among them keeps following its source.
    property var initialValues: ({})

    anchors.fill: parent

    Component.onCompleted: screenLoader.setSource(screenLoader.screen,
                                                  Object.assign({ "objectName": screenLoader.screenName },
                                                                screenLoader.initialValues))
}
