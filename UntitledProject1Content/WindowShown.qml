import QtQuick

// Whether the window holding this item shows anything at all. Hidden or minimised it draws nothing, so
// what runs only for the eye (animations, labels that change every second) can wait for the next show.
Item {
    id: windowShown

    readonly property bool shown: windowShown.Window.visibility !== Window.Hidden
                                  && windowShown.Window.visibility !== Window.Minimized
}
