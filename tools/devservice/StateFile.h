#pragma once

#include <QByteArray>
#include <QString>

namespace MirevoDev {

class DevServiceState;

// The file that carries what a restart keeps (accounts, tokens, orders, trials) from one run of the
// service to the next. Written whole, through a temporary file renamed over the old one, so that a
// service killed while writing leaves the previous state, never half of one.
class StateFile
{
public:
    explicit StateFile(const QString &file) : path(file) {}

    // Fills the state from the file. A missing file or one that is not a state file leaves the seed (the
    // latter kept beside it as PATH.broken), which is written at once; a state file is rewritten only
    // when it was brought up to the current seed. Answers the line that says which of these happened.
    QString load(DevServiceState &state);
    // Writes the state when it changed since the last write; answers an error text, empty on success.
    QString save(const DevServiceState &state);

private:
    static QByteArray serialized(const DevServiceState &state);

    QString path;
    QByteArray written;
};

} // namespace MirevoDev
