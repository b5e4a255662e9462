import QtQuick

// A text from the service in a place of one line: it never wraps, a line break in it shows as a blank,
// and what does not fit ends in an ellipsis. It takes its natural width up to room, the width its place
// leaves it; a place of a fixed width sets width instead.
Text {
    id: oneLineText

    // The text as it came.
    property string fullText: ""
    // The widest it may be.
    property real room: Number.POSITIVE_INFINITY

    width: Math.min(oneLineText.implicitWidth, oneLineText.room)
    text: oneLineText.fullText.replace(/\r\n|[\r\n\u2028\u2029]/g, " ")
    textFormat: Text.PlainText
    elide: Text.ElideRight
    maximumLineCount: 1
}
