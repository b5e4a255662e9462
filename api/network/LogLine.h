#pragma once

#include <QString>
#include <QStringView>

namespace Tavorin::Api::Network {

// One logged message is one line of the log: values from links and from the service may hold line
// breaks or terminal control sequences, and a line break inside a value would let it write lines
// that look like the client's own.
class LogLine
{
public:
    // Control characters (C0, DEL, C1) and the Unicode line and paragraph separators written out as
    // escapes: "\n", "\r", "\t", "\x1b", "\u2028". Backslashes stay as they are (Windows paths).
    static QString escaped(QStringView text);
    // Every message of the process goes through `escaped` on its way to the log.
    static void installHandler();
};

} // namespace Tavorin::Api::Network
