#include "StateFile.h"

#include "DevServiceState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace MirevoDev {

QString StateFile::load(DevServiceState &state)
{
    QString line;
    QFile file(path);
    if (!file.exists()) {
        line = QStringLiteral("state: no state file at %1 yet, starting from the demo seed").arg(path);
    } else if (!file.open(QIODevice::ReadOnly)) {
        line = QStringLiteral("state: cannot read %1 (%2), starting from the demo seed")
                   .arg(path, file.errorString());
    } else {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
        file.close();
        QString reason;
        if (parseError.error != QJsonParseError::NoError)
            reason = parseError.errorString();
        else if (!document.isObject())
            reason = QStringLiteral("not a JSON object");
        else if (!state.restore(document.object(), &reason))
            state.reset();
        if (reason.isEmpty()) {
            line = QStringLiteral("state: restored %1 from %2").arg(state.savedSummary(), path);
            const QString upgrade = state.seedUpgrade();
            if (upgrade.isEmpty()) {
                // The file is left as it is until the state changes.
                written = serialized(state);
                return line;
            }
            line += QStringLiteral("; ") + upgrade;
        } else {
            const QString kept = path + QStringLiteral(".broken");
            QFile::remove(kept);
            const bool moved = QFile::rename(path, kept);
            line = QStringLiteral(
                       "state: %1 is not a state file of this service (%2), starting from the demo seed%3")
                       .arg(path, reason,
                            moved ? QStringLiteral("; the old file is kept as %1").arg(kept) : QString());
        }
    }
    const QString error = save(state);
    return error.isEmpty() ? line : line + QLatin1Char('\n') + error;
}

QByteArray StateFile::serialized(const DevServiceState &state)
{
    return QJsonDocument(state.saved()).toJson(QJsonDocument::Indented);
}

QString StateFile::save(const DevServiceState &state)
{
    const QByteArray bytes = serialized(state);
    if (bytes == written)
        return {};
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("state: cannot write %1: %2").arg(path, file.errorString());
    written = bytes;
    return {};
}

} // namespace MirevoDev
