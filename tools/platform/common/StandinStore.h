#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Standin {

// The state folder that the stand-in programs share with the tests that read it back: what reg, netsh and
// setx were told (state.json), every command line (commands.jsonl), the failures a test asked for
// (faults.json) and the pid marks of the long-running stand-ins (<name>.pid).
class StandinStore
{
public:
    struct Fault
    {
        QString program;
        QString argumentContains;
        int exitCode = 1;
        int hangSeconds = 0;
        int remaining = 1;
        // Where in the run it strikes: on entry (empty), or, for the core, once its listeners are up
        // (listeningStage: the core then hangs for hangSeconds without answering anyone), or in the
        // core's controller (controllerStage: every answer of that run is `reply`, after `delayMs`).
        QString stage;
        // How many matching runs go by untouched before it strikes.
        int skip = 0;
        int delayMs = 0;
        // For the controller: "unauthorized" (401 to everyone), "without totals" (200, no figures), or
        // empty for the true answer.
        QString reply;
    };
    static const QString listeningStage;
    static const QString controllerStage;

    // $MIREVO_STANDIN_STATE, or else $HOME/.mirevo-standins.
    static QString folder();
    static void reset();

    // The certificate authority the core stand-in trusts for TLS servers (a local endpoint's own).
    static QString trustedCertificateFile();
    // Makes `pemFile` that authority; false when it cannot be copied.
    static bool trustCertificate(const QString &pemFile);

    static QJsonObject readState();
    // Read, change and write state.json as one step, so that two stand-ins never lose each other's change.
    static void updateState(const std::function<void(QJsonObject &)> &change);

    static void appendCommand(const QString &program, const QStringList &arguments);
    static QList<QStringList> commands();

    static void addFault(const Fault &fault);
    // The first fault of `stage` that matches this run, counted down by one; none when nothing matches.
    static std::optional<Fault> takeFault(const QString &program, const QStringList &arguments,
                                          const QString &stage = {});
    // Logs the run and applies a matching fault: returns the exit code the program must end with, or
    // nothing when it should go on. A hanging fault sleeps here first.
    static std::optional<int> enterProgram(const QString &program, const QStringList &arguments);

    static void writePid(const QString &name, qint64 pid);
    // Removes the mark only while it still names `pid`: a successor's mark stays.
    static void removePid(const QString &name, qint64 pid);
    static QString pidFile(const QString &name);
    // The pid recorded under `name` while that process is alive and runs an image whose name is
    // `imageName`; 0 otherwise (a stale mark of a killed process counts as absent).
    static qint64 livePid(const QString &name, const QString &imageName);
    // The file name of the image process `pid` runs, empty when no such process lives (zombies included).
    static QString imageName(qint64 pid);

    // "reg" and "REG.EXE" name the same program.
    static bool sameProgram(const QString &a, const QString &b);
};

} // namespace Standin
