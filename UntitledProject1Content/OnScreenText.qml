import QtQuick

// A label whose text changes every second or so (a speed, a duration). It follows liveText only while
// the window shows anything, so a hidden or minimised window asks for no frame for it; the next show
// brings the current text.
Text {
    id: onScreenText

    property string liveText

    WindowShown {
        id: windowShown
    }

    Binding {
        target: onScreenText
        property: "text"
        value: onScreenText.liveText
        when: windowShown.shown
        restoreMode: Binding.RestoreNone
    }
}
