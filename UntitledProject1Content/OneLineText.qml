import QtQuick

// A text from the service in a place of one line: it never wraps, a line break in it shows as a blank,
// and what does not fit the width ends in an ellipsis. The user gives it a width, usually its natural
// one up to the room there is: Math.min(implicitWidth, room).
Text {
    id: oneLineText

    // The text as it came.
    property string fullText: ""

    text: oneLineText.fullText.replace(/\r\n|[\r\n\u2028\u2029]/g, " ")
    textFormat: Text.PlainText
    elide: Text.ElideRight
    maximumLineCount: 1
}
